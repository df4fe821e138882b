#include "pipes/PipeClient.h"
#include "pipes/PipeThread.h"

#include "win/Files.h"
#include "win/ScopeExit.h"

#include "PipeTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

using testing::Bytes;
using testing::Control;
using testing::PartFileSizes;
using testing::Pattern;
using testing::PumpUntil;
using testing::Text;
using testing::ThreadsOfThisProcess;
using testing::TRawServer;
using testing::UniquePipeName;
using testing::WaitUntilEnding;

// Everything a client reports, in the order it happened.
struct TEvents {
    std::vector<Bytes> messages;
    std::vector<uint32_t> sent;
    std::vector<int32_t> errors;
    int disconnects = 0;
    std::vector<std::string> order;

    void Attach(TPipeClient& client) {
        client.OnPipeMessage = [this](TPipeClient&, HANDLE, TStream& stream) {
            EXPECT_EQ(0u, stream.Position());
            Bytes b = testing::ReadAll(stream);
            EXPECT_EQ(stream.Size(), b.size());
            messages.push_back(std::move(b));
            order.push_back("message");
        };
        client.OnPipeSent = [this](TPipeClient&, HANDLE, uint32_t size) {
            sent.push_back(size);
            order.push_back("sent");
        };
        client.OnPipeError = [this](TPipeClient&, HANDLE, TPipeContext context, int32_t code) {
            EXPECT_EQ(pcWorker, context);
            errors.push_back(code);
            order.push_back("error");
        };
        client.OnPipeDisconnect = [this](TPipeClient&, HANDLE) {
            disconnects++;
            order.push_back("disconnect");
        };
    }
};

// A client connected to a raw server of its own, with every event recorded.
struct TLink {
    std::wstring name = UniquePipeName(L"Client");
    TRawServer server{name};
    TPipeClient client;
    TEvents events;

    bool Open(bool reading = true) {
        events.Attach(client);
        client.SetPipeName(name);
        if (!server.Valid() || !client.Connect(2000, true))
            return false;
        if (reading)
            server.StartReading();
        return client.IsConnected();
    }
    // Writes the messages from the server side and waits until `count` have been delivered.
    bool Deliver(std::vector<Bytes> messages, size_t count) {
        server.WriteAsync(std::move(messages));
        return PumpUntil([&] { return events.messages.size() >= count; });
    }
};

// A hidden window of this thread that counts the WM_CLOSE messages it is given and does
// nothing else with them.
struct TCloseTarget {
    int closes = 0;
    // What `inside` said when the first close arrived.
    bool closedInside = false;
    std::function<bool()> inside = [] { return false; };
    HWND window = AllocateNotifyWindow([this](TMessage& message) {
        if (message.Msg != WM_CLOSE)
            return;
        if (closes++ == 0)
            closedInside = inside();
    });
    ~TCloseTarget() { DeallocateNotifyWindow(window); }
    bool CloseQueued() const {
        MSG message;
        return PeekMessageW(&message, window, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) != FALSE;
    }
};

TEST(PipeClientProperties, PipeNameIsValidatedAndKeptOnRefusal) {
    TPipeClient client;
    EXPECT_EQ(L"PipeServer", client.PipeName());
    EXPECT_EQ(L"", client.ServerName());
    EXPECT_EQ(10240000u, client.MemoryThrottle());
    client.SetPipeName(std::wstring(256, L'p'));
    EXPECT_EQ(256u, client.PipeName().size());
    const std::wstring bad[] = {std::wstring(257, L'p'), L"", L"a\\b", L"\\"};
    for (const auto& name : bad) {
        try {
            client.SetPipeName(name);
            ADD_FAILURE() << "accepted a bad pipe name";
        } catch (const EPipeException& e) {
            EXPECT_STREQ("Invalid pipe name specified!", e.what());
        }
    }
    EXPECT_EQ(256u, client.PipeName().size());
}

TEST(PipeClientProperties, PathIsLocalForThisComputerInAnyCase) {
    TPipeClient client;
    client.SetPipeName(L"QorPipe");
    EXPECT_EQ(L"\\\\.\\pipe\\QorPipe", client.PipePath());
    wchar_t computer[261] = {};
    DWORD size = 261;
    ASSERT_TRUE(GetComputerNameW(computer, &size));
    std::wstring other = computer;
    for (auto& c : other)
        c = iswupper(c) ? towlower(c) : towupper(c);
    client.SetServerName(other);
    EXPECT_EQ(L"\\\\.\\pipe\\QorPipe", client.PipePath());
    client.SetServerName(L"OTHERPC");
    EXPECT_EQ(L"\\\\OTHERPC\\pipe\\QorPipe", client.PipePath());
}

TEST(PipeClientConnect, UnreachablePipeGivesFalseAndStaysClosed) {
    TPipeClient client;
    client.SetPipeName(UniquePipeName(L"Nobody"));
    EXPECT_FALSE(client.Connect(100, true));
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(INVALID_HANDLE_VALUE, client.Pipe());
    const char data[] = "x";
    EXPECT_FALSE(client.Write(data, 1));
}

TEST(PipeClientConnect, OpenWithoutWorkerThenStartOnTheSameHandle) {
    TLink link;
    link.events.Attach(link.client);
    link.client.SetPipeName(link.name);
    ASSERT_TRUE(link.client.Connect(2000, false));
    EXPECT_FALSE(link.client.IsConnected());
    HANDLE opened = link.client.Pipe();
    EXPECT_NE(INVALID_HANDLE_VALUE, opened);
    const char data[] = "x";
    EXPECT_FALSE(link.client.Write(data, 1));
    // Changing a property while merely open is refused too.
    try {
        link.client.SetPipeName(L"Other");
        ADD_FAILURE() << "renamed an open pipe";
    } catch (const EPipeException& e) {
        EXPECT_STREQ("Cannot change property when client is connected!", e.what());
    }
    EXPECT_THROW(link.client.SetServerName(L"x"), EPipeException);
    ASSERT_TRUE(link.client.Connect(2000, true));
    EXPECT_TRUE(link.client.IsConnected());
    EXPECT_EQ(opened, link.client.Pipe());
    // Connected: a second Connect starts nothing new.
    EXPECT_TRUE(link.client.Connect(2000, true));
    EXPECT_EQ(opened, link.client.Pipe());
}

TEST(PipeClientConnect, DisconnectWhileOpenClosesWithoutEvent) {
    TLink link;
    link.events.Attach(link.client);
    link.client.SetPipeName(link.name);
    link.client.Disconnect(); // Closed: nothing happens
    ASSERT_TRUE(link.client.Connect(2000, false));
    link.client.Disconnect();
    EXPECT_EQ(INVALID_HANDLE_VALUE, link.client.Pipe());
    EXPECT_EQ(0, link.events.disconnects);
    link.client.SetPipeName(L"Renamed"); // Closed again, so allowed
}

TEST(PipeClientConnect, FromAnotherThreadIsRefusedAndLeavesTheClientClosed) {
    TLink link;
    link.events.Attach(link.client);
    link.client.SetPipeName(link.name);
    std::string raised;
    std::thread other([&] {
        try {
            link.client.Connect(2000, true);
        } catch (const EPipeException& e) {
            raised = e.what();
        }
    });
    other.join();
    EXPECT_EQ("The notify window and the component window do not exist in the same thread!",
              raised);
    EXPECT_FALSE(link.client.IsConnected());
    EXPECT_EQ(INVALID_HANDLE_VALUE, link.client.Pipe());
    // The owner thread can still connect afterwards.
    EXPECT_TRUE(link.client.Connect(2000, true));
}

// The caller of Connect is in the middle of its own work (the main window commits a change):
// a close or command queued meanwhile must not run inside Connect, where it could free the
// client, while Connect finishes a worker that is ending.
TEST(PipeClientConnect, FinishingAnEndingWorkerLeavesPostedMessagesQueued) {
    TLink link;
    ASSERT_TRUE(link.Open());
    TCloseTarget target;
    link.server.Close();
    ASSERT_TRUE(WaitUntilEnding(link.client));
    // Its end is not delivered yet.
    ASSERT_NE(INVALID_HANDLE_VALUE, link.client.Pipe());
    EXPECT_EQ(0, link.events.disconnects);
    TRawServer again(link.name);
    ASSERT_TRUE(again.Valid());
    ASSERT_TRUE(PostMessageW(target.window, WM_CLOSE, 0, 0));
    ASSERT_TRUE(link.client.Connect(2000, true));
    EXPECT_EQ(0, target.closes);
    EXPECT_TRUE(target.CloseQueued());
    EXPECT_EQ(1, link.events.disconnects);
    EXPECT_TRUE(link.client.IsConnected());
    again.StartReading();
    ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    ASSERT_TRUE(PumpUntil([&] { return again.Count() == 1 && target.closes == 1; }));
    EXPECT_TRUE(link.events.errors.empty());
}

TEST(PipeClientWrite, OneMessageUpToTheLimitAndFourPiecesAbove) {
    TLink link;
    ASSERT_TRUE(link.Open());
    Bytes exact = Pattern(65534, 1);
    Bytes over = Pattern(65535, 2);
    ASSERT_TRUE(link.client.Write(exact.data(), static_cast<uint32_t>(exact.size())));
    ASSERT_TRUE(link.client.Write(over.data(), static_cast<uint32_t>(over.size())));
    ASSERT_TRUE(PumpUntil([&] { return link.events.sent.size() >= 5; }));
    EXPECT_EQ((std::vector<uint32_t>{65534, 16, 65534, 1, 16}), link.events.sent);
    ASSERT_TRUE(PumpUntil([&] { return link.server.Count() >= 5; }));
    auto got = link.server.Messages();
    ASSERT_EQ(5u, got.size());
    EXPECT_EQ(exact, got[0]);
    EXPECT_EQ(Control(kTagStartMulti), got[1]);
    EXPECT_EQ(Bytes(over.begin(), over.begin() + 65534), got[2]);
    EXPECT_EQ(Bytes(1, over.back()), got[3]);
    EXPECT_EQ(Control(kTagEndMulti), got[4]);
    EXPECT_TRUE(link.events.errors.empty());
}

// A long message that runs out of memory half-way through its framing raises in Write and
// sends nothing of itself; what is written next arrives as the service's first message.
TEST(PipeClientWrite, ALongMessageThatCannotBeQueuedWholeSendsNothing) {
    TLink link;
    ASSERT_TRUE(link.Open());
    Bytes longer = Pattern(200000, 5);
    bool raised = false;
    try {
        // The copy, the start block and one part; the next part fails.
        testing::FailAllocationAfter(6);
        link.client.Write(longer.data(), static_cast<uint32_t>(longer.size()));
    } catch (const std::bad_alloc&) {
        raised = true;
    }
    testing::FailAllocationAfter(-1);
    EXPECT_TRUE(raised);
    EXPECT_EQ(0u, link.client.QueuedBytes());
    ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    ASSERT_TRUE(PumpUntil([&] { return link.events.sent.size() == 1; }));
    ASSERT_TRUE(PumpUntil([&] { return link.server.Count() >= 1; }));
    EXPECT_EQ(Text("40, QORsvc"), link.server.Messages()[0]);
    EXPECT_EQ((std::vector<uint32_t>{10}), link.events.sent);
    EXPECT_TRUE(link.events.errors.empty());
}

TEST(PipeClientWrite, ServiceMessageIsTenBytesAsIs) {
    TLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    link.client.WaitForQueueEmpty();
    ASSERT_TRUE(PumpUntil([&] { return link.events.sent.size() == 1; }));
    ASSERT_TRUE(PumpUntil([&] { return link.server.Count() == 1; }));
    EXPECT_EQ(Text("40, QORsvc"), link.server.Messages()[0]);
    EXPECT_EQ(10u, link.events.sent[0]);
}

TEST(PipeClientWrite, ZeroThrottleNeverWaitsAndQueueCountsCost) {
    TLink link;
    ASSERT_TRUE(link.Open(false)); // the server reads nothing: the first write stays unread
    link.client.SetMemoryThrottle(0);
    Bytes block = Pattern(50000);
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(link.client.Write(block.data(), static_cast<uint32_t>(block.size())));
    // The worker took at most one; every other write is queued at its size plus 28.
    uint32_t queued = link.client.QueuedBytes();
    EXPECT_TRUE(queued == 6 * 50028u || queued == 5 * 50028u) << queued;
    EXPECT_TRUE(link.events.sent.empty());
    link.server.StartReading();
    // Messages that go out back to back do not wait for their notifications: the service
    // reads all of them while this thread dispatches nothing.
    for (int i = 0; i < 3000 && link.server.Count() < 6; ++i)
        Sleep(10);
    EXPECT_EQ(6u, link.server.Count());
    EXPECT_TRUE(link.events.sent.empty());
    ASSERT_TRUE(PumpUntil([&] { return link.events.sent.size() == 6; }));
}

TEST(PipeClientWrite, ThrottleMakesTheWriterWaitForAnEmptyQueue) {
    TLink link;
    ASSERT_TRUE(link.Open(false));
    link.client.SetMemoryThrottle(1000);
    Bytes block = Pattern(2000);
    ASSERT_TRUE(link.client.Write(block.data(), 2000));
    ASSERT_TRUE(link.client.Write(block.data(), 2000));
    ASSERT_TRUE(PumpUntil([&] { return link.client.QueuedBytes() == 2028; }));
    // Over the limit now: the next Write waits until the server has let the queue drain.
    std::atomic<bool> returned{false};
    std::atomic<bool> returnedBeforeRelease{false};
    std::thread release([&] {
        Sleep(300);
        returnedBeforeRelease = returned.load();
        link.server.StartReading();
    });
    ASSERT_TRUE(link.client.Write(block.data(), 2000));
    returned = true;
    release.join();
    EXPECT_FALSE(returnedBeforeRelease);
    // The queue was empty when Write went on; only its own message can be waiting now.
    EXPECT_LE(link.client.QueuedBytes(), 2028u);
    ASSERT_TRUE(PumpUntil([&] { return link.events.sent.size() == 3; }));
}

// The writer is in the middle of its own work: while the throttle holds it, only the worker's
// notifications get through, and a close queued meanwhile waits.
TEST(PipeClientWrite, TheThrottleLeavesPostedMessagesQueued) {
    TLink link;
    ASSERT_TRUE(link.Open(false));
    TCloseTarget target;
    link.client.SetMemoryThrottle(0);
    Bytes block = Pattern(2000);
    const uint32_t count = TPipeSentBatch::kCapacity + 2;
    for (uint32_t i = 0; i < count; ++i)
        ASSERT_TRUE(link.client.Write(block.data(), 2000));
    ASSERT_TRUE(PumpUntil([&] { return link.client.QueuedBytes() == (count - 1) * 2028; }));
    link.client.SetMemoryThrottle(1000);
    // The queue can drain only as far as the worker's first notification, which reports as
    // many messages as one can and waits for this thread: the next Write waits, and gets
    // that notification, before it returns.
    link.server.StartReading();
    ASSERT_TRUE(PostMessageW(target.window, WM_CLOSE, 0, 0));
    ASSERT_TRUE(link.client.Write(block.data(), 2000));
    EXPECT_GE(link.events.sent.size(), TPipeSentBatch::kCapacity);
    EXPECT_EQ(0, target.closes);
    EXPECT_TRUE(target.CloseQueued());
    ASSERT_TRUE(
        PumpUntil([&] { return link.events.sent.size() == count + 1 && target.closes == 1; }));
    EXPECT_TRUE(link.events.errors.empty());
}

TEST(PipeClientRead, LongSingleMessageArrivesWhole) {
    TLink link;
    ASSERT_TRUE(link.Open());
    Bytes big = Pattern(200000, 3);
    ASSERT_TRUE(link.Deliver({big}, 1));
    ASSERT_EQ(1u, link.events.messages.size());
    EXPECT_EQ(big, link.events.messages[0]);
}

TEST(PipeClientRead, ZeroLengthMessageIsDeliveredEmpty) {
    TLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_TRUE(link.Deliver({Bytes(), Text("after")}, 2));
    EXPECT_TRUE(link.events.messages[0].empty());
    EXPECT_EQ(Text("after"), link.events.messages[1]);
}

TEST(PipeClientRead, ControlPatternIsSwallowedOtherSixteenBytesAreNot) {
    TLink link;
    ASSERT_TRUE(link.Open());
    Bytes lookalike = Control(0x58585858); // "XXXX": a control block with an unknown tag
    ASSERT_TRUE(link.Deliver({lookalike, Text("0123456789abcdef"), Text("end")}, 2));
    ASSERT_TRUE(PumpUntil([&] { return link.events.messages.size() >= 2; }));
    link.server.JoinWriter();
    PumpUntil([] { return false; }, 100);
    ASSERT_EQ(2u, link.events.messages.size());
    EXPECT_EQ(Text("0123456789abcdef"), link.events.messages[0]);
    EXPECT_EQ(Text("end"), link.events.messages[1]);
}

TEST(PipeClientRead, EndBlockAloneDeliversNothing) {
    TLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_TRUE(link.Deliver({Control(kTagEndMulti), Text("sentinel")}, 1));
    EXPECT_EQ(Text("sentinel"), link.events.messages[0]);
}

TEST(PipeClientRead, SecondStartDropsTheUnfinishedMessage) {
    TLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_TRUE(link.Deliver({Control(kTagStartMulti), Text("first"), Control(kTagStartMulti),
                              Text("second"), Control(kTagEndMulti), Text("sentinel")},
                             2));
    EXPECT_EQ(Text("second"), link.events.messages[0]);
    EXPECT_EQ(Text("sentinel"), link.events.messages[1]);
}

TEST(PipeClientRead, MultiPartMessageComesThroughATemporaryFileThatIsGoneAfterwards) {
    testing::TPrivateTempFolder temp;
    TLink link;
    ASSERT_TRUE(link.Open());
    size_t before = PartFileSizes().size();
    size_t during = 0;
    auto record = link.client.OnPipeMessage;
    link.client.OnPipeMessage = [&](TPipeClient& sender, HANDLE pipe, TStream& stream) {
        during = PartFileSizes().size();
        record(sender, pipe, stream);
    };
    Bytes big = Pattern(kMaxIncomingMessage, 4);
    std::vector<Bytes> wire{Control(kTagStartMulti)};
    for (size_t at = 0; at < big.size(); at += kMaxPipeMessage)
        wire.emplace_back(big.begin() + at,
                          big.begin() + std::min<size_t>(big.size(), at + kMaxPipeMessage));
    wire.push_back(Control(kTagEndMulti));
    ASSERT_TRUE(link.Deliver(wire, 1));
    ASSERT_EQ(1u, link.events.messages.size());
    EXPECT_TRUE(link.events.messages[0] == big);
    EXPECT_EQ(0u, before);
    EXPECT_EQ(1u, during);
    EXPECT_EQ(0u, PartFileSizes().size());
}

TEST(PipeClientLifecycle, ServiceClosingItsEndIsADisconnectNotAnError) {
    TLink link;
    ASSERT_TRUE(link.Open());
    link.server.Close();
    ASSERT_TRUE(PumpUntil([&] { return link.events.disconnects == 1; }));
    EXPECT_TRUE(link.events.errors.empty());
    EXPECT_FALSE(link.client.IsConnected());
    EXPECT_EQ(INVALID_HANDLE_VALUE, link.client.Pipe());
    EXPECT_FALSE(link.client.Write("x", 1));
}

TEST(PipeClientLifecycle, StopWithAReadOutstandingStillDeliversWhatArrived) {
    TLink link;
    ASSERT_TRUE(link.Open());
    // The worker's read is pending; this message completes it while nothing is dispatched.
    ASSERT_TRUE(link.server.WriteOne(Text("last words")));
    link.client.Disconnect();
    EXPECT_FALSE(link.client.IsConnected());
    EXPECT_EQ(INVALID_HANDLE_VALUE, link.client.Pipe());
    ASSERT_EQ(1u, link.events.messages.size());
    EXPECT_EQ(Text("last words"), link.events.messages[0]);
    EXPECT_EQ((std::vector<std::string>{"message", "disconnect"}), link.events.order);
    EXPECT_TRUE(link.events.errors.empty());
}

TEST(PipeClientLifecycle, DisconnectInsideAHandlerRunsAfterIt) {
    TLink link;
    ASSERT_TRUE(link.Open());
    bool connectedAfterCall = false;
    link.client.OnPipeMessage = [&](TPipeClient& sender, HANDLE, TStream&) {
        sender.Disconnect();
        connectedAfterCall = sender.IsConnected();
        link.events.order.push_back("message");
    };
    ASSERT_TRUE(link.server.WriteOne(Text("bye")));
    ASSERT_TRUE(PumpUntil([&] { return link.events.disconnects == 1; }));
    EXPECT_TRUE(connectedAfterCall); // deferred, not run inside the worker's send
    EXPECT_FALSE(link.client.IsConnected());
    EXPECT_EQ((std::vector<std::string>{"message", "disconnect"}), link.events.order);
    EXPECT_TRUE(link.events.errors.empty());
}

// The deferred disconnect runs from the client's own window procedure: a close queued behind
// it must wait until it has returned.
TEST(PipeClientLifecycle, ADeferredDisconnectLeavesPostedMessagesQueued) {
    TLink link;
    ASSERT_TRUE(link.Open());
    TCloseTarget target;
    bool inDeferredDisconnect = false;
    target.inside = [&] { return inDeferredDisconnect; };
    link.client.OnPipeMessage = [&](TPipeClient& sender, HANDLE, TStream&) {
        sender.Disconnect();
        PostMessageW(target.window, WM_CLOSE, 0, 0);
    };
    ASSERT_TRUE(link.server.WriteOne(Text("bye")));
    const ULONGLONG start = GetTickCount64();
    while (target.closes == 0 && GetTickCount64() - start < 30000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            inDeferredDisconnect = message.message == WM_PIPE_DISCONNECT;
            DispatchMessageW(&message);
            inDeferredDisconnect = false;
        }
    }
    ASSERT_EQ(1, target.closes);
    EXPECT_FALSE(target.closedInside);
    EXPECT_EQ(1, link.events.disconnects);
    EXPECT_FALSE(link.client.IsConnected());
}

// What a handler run inside Disconnect writes would never go out: it is refused, not dropped.
TEST(PipeClientLifecycle, WhileDisconnectingTheClientIsNotConnected) {
    TLink link;
    ASSERT_TRUE(link.Open());
    bool connectedInside = true;
    bool writtenInside = true;
    link.client.OnPipeMessage = [&](TPipeClient& sender, HANDLE, TStream&) {
        connectedInside = sender.IsConnected();
        writtenInside = sender.Write("late", 4);
        link.events.order.push_back("message");
    };
    // The worker's read completes with this while Disconnect waits for it.
    ASSERT_TRUE(link.server.WriteOne(Text("last words")));
    link.client.Disconnect();
    EXPECT_EQ((std::vector<std::string>{"message", "disconnect"}), link.events.order);
    EXPECT_FALSE(connectedInside);
    EXPECT_FALSE(writtenInside);
    ASSERT_TRUE(PumpUntil([&] { return link.server.ClientGone(); }));
    EXPECT_EQ(0u, link.server.Count());
    EXPECT_TRUE(link.events.sent.empty());
}

TEST(PipeClientLifecycle, AHandlerThatThrowsDoesNotStopTheTraffic) {
    TLink link;
    ASSERT_TRUE(link.Open());
    int calls = 0;
    link.client.OnPipeMessage = [&](TPipeClient&, HANDLE, TStream&) {
        calls++;
        throw std::runtime_error("handler fault");
    };
    ASSERT_TRUE(link.server.WriteOne(Text("one")));
    ASSERT_TRUE(link.server.WriteOne(Text("two")));
    ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
    EXPECT_TRUE(link.client.IsConnected());
    ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    ASSERT_TRUE(PumpUntil([&] { return link.events.sent.size() == 1; }));
    EXPECT_TRUE(link.events.errors.empty());
}

TEST(PipeClientLifecycle, ReconnectAfterDisconnectUsesAFreshWorker) {
    TLink link;
    ASSERT_TRUE(link.Open());
    link.client.Disconnect();
    EXPECT_EQ(1, link.events.disconnects);
    link.server.Close();
    TRawServer again(link.name);
    ASSERT_TRUE(link.client.Connect(2000, true));
    again.StartReading();
    ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    ASSERT_TRUE(PumpUntil([&] { return again.Count() == 1; }));
    ASSERT_TRUE(PumpUntil([&] { return link.events.sent.size() == 1; }));
}

// A disconnect handler that connects again, here to another service, gets a new pipe, keeps
// it, and what it writes there goes out.
TEST(PipeClientLifecycle, ConnectingAgainInsideTheDisconnectHandlerOpensANewPipe) {
    for (bool serviceCloses : {true, false}) {
        SCOPED_TRACE(serviceCloses ? "the service closed its end" : "Disconnect");
        TLink link;
        ASSERT_TRUE(link.Open());
        const HANDLE first = link.client.Pipe();
        const std::wstring otherName = UniquePipeName(L"Other");
        TRawServer other(otherName);
        ASSERT_TRUE(other.Valid());
        HANDLE reported = nullptr;
        HANDLE seenInHandler = nullptr;
        bool reconnected = false;
        std::string raised;
        link.client.OnPipeDisconnect = [&](TPipeClient& sender, HANDLE pipe) {
            link.events.disconnects++;
            reported = pipe;
            seenInHandler = sender.Pipe();
            try {
                sender.SetPipeName(otherName);
                reconnected = sender.Connect(2000, true);
                if (reconnected)
                    sender.Write("40, QORsvc", 10);
            } catch (const EPipeException& e) {
                raised = e.what();
            }
        };
        if (serviceCloses) {
            link.server.Close();
            ASSERT_TRUE(PumpUntil([&] { return link.events.disconnects == 1; }));
        } else {
            link.client.Disconnect();
            ASSERT_EQ(1, link.events.disconnects);
        }
        EXPECT_EQ("", raised);
        EXPECT_EQ(first, reported);
        EXPECT_EQ(INVALID_HANDLE_VALUE, seenInHandler);
        ASSERT_TRUE(reconnected);
        EXPECT_TRUE(link.client.IsConnected());
        EXPECT_NE(INVALID_HANDLE_VALUE, link.client.Pipe());
        other.StartReading();
        ASSERT_TRUE(PumpUntil([&] { return other.Count() == 1; }));
        EXPECT_EQ(Text("40, QORsvc"), other.Messages()[0]);
        ASSERT_TRUE(PumpUntil([&] { return link.events.sent.size() == 1; }));
        EXPECT_TRUE(link.events.errors.empty());
        link.client.OnPipeDisconnect = nullptr;
        link.client.Disconnect();
        EXPECT_FALSE(link.client.IsConnected());
    }
}

// The worker waits in its send until the handler returns, so nothing can drain the queue
// meanwhile: inside a handler neither the throttle nor WaitForQueueEmpty may wait.
TEST(PipeClientLifecycle, InsideAHandlerWritesAndQueueWaitsReturnAtOnce) {
    TLink link;
    ASSERT_TRUE(link.Open());
    link.client.SetMemoryThrottle(1);
    bool returned = false;
    link.client.OnPipeMessage = [&](TPipeClient& sender, HANDLE, TStream&) {
        EXPECT_TRUE(sender.Write("first", 5));
        EXPECT_TRUE(sender.Write("second", 6)); // over the throttle: would wait outside
        sender.WaitForQueueEmpty();
        returned = true;
    };
    ASSERT_TRUE(link.server.WriteOne(Text("go")));
    ASSERT_TRUE(PumpUntil([&] { return returned; }));
    ASSERT_TRUE(PumpUntil([&] { return link.server.Count() == 2; }));
    EXPECT_EQ(Text("first"), link.server.Messages()[0]);
    EXPECT_EQ(Text("second"), link.server.Messages()[1]);
    EXPECT_TRUE(link.events.errors.empty());
}

// The worker waits in its send for the very handler that destroys the client, so the client
// cannot wait for it there: the worker must still stop, close the pipe and report to nobody.
TEST(PipeClientLifecycle, DestroyedInsideItsOwnHandlerTheWorkerStillStops) {
    const std::wstring name = UniquePipeName(L"Destroyed");
    TRawServer server(name);
    ASSERT_TRUE(server.Valid());
    auto client = std::make_unique<TPipeClient>();
    client->SetPipeName(name);
    ASSERT_TRUE(client->Connect(2000, true));
    server.StartReading();
    bool handled = false;
    client->OnPipeMessage = [&client, &handled](TPipeClient&, HANDLE, TStream&) {
        handled = true;
        client.reset();
    };
    ASSERT_TRUE(server.WriteOne(Text("bye")));
    ASSERT_TRUE(PumpUntil([&] { return handled; }));
    EXPECT_EQ(nullptr, client);
    EXPECT_TRUE(PumpUntil([&] { return server.ClientGone(); }, 10000));
}

// A worker whose client went inside its handler has ended by the time the handler's
// notification returns, and a write queued there never starts.
TEST(PipeClientLifecycle, DestroyedInsideItsOwnHandlerAfterAWriteTheWorkerWritesNothingMore) {
    const std::wstring name = UniquePipeName(L"DestroyedWriting");
    TRawServer server(name); // reads nothing until the end
    ASSERT_TRUE(server.Valid());
    const int threadsBefore = ThreadsOfThisProcess();
    auto client = std::make_unique<TPipeClient>();
    client->SetPipeName(name);
    ASSERT_TRUE(client->Connect(2000, true));
    ASSERT_EQ(threadsBefore + 1, ThreadsOfThisProcess());
    bool handled = false;
    client->OnPipeMessage = [&client, &handled](TPipeClient& sender, HANDLE, TStream&) {
        handled = true;
        EXPECT_TRUE(sender.Write("40, QORsvc", 10));
        client.reset();
    };
    ASSERT_TRUE(server.WriteOne(Text("bye")));
    ASSERT_TRUE(PumpUntil([&] { return handled; }));
    EXPECT_EQ(threadsBefore, ThreadsOfThisProcess());
    server.StartReading();
    EXPECT_TRUE(PumpUntil([&] { return server.ClientGone(); }, 10000));
    EXPECT_EQ(0u, server.Count());
}

// What the client's own waits dispatch, and the disconnect handler it runs, may destroy it:
// the call returns without touching it, and the worker it stopped has ended. The freed memory
// is taken again at once, so that a touch does not go unnoticed.
TEST(PipeClientLifecycle, DestroyedInsideItsOwnCallTheCallTouchesItNoMore) {
    enum TBy { byPostedClose, bySentClose, byDisconnectHandler };
    for (TBy by : {byPostedClose, bySentClose, byDisconnectHandler}) {
        SCOPED_TRACE(by);
        const std::wstring name = UniquePipeName(L"DestroyedInside");
        TRawServer server(name); // reads nothing: the worker's flush holds it
        ASSERT_TRUE(server.Valid());
        const int threadsBefore = ThreadsOfThisProcess();
        auto client = std::make_unique<TPipeClient>();
        client->SetPipeName(name);
        client->SetStopTimeout(300);
        ASSERT_TRUE(client->Connect(2000, true));
        std::vector<std::unique_ptr<char[]>> reused;
        auto destroy = [&] {
            client.reset();
            for (int i = 0; i < 64; ++i)
                reused.push_back(std::make_unique<char[]>(sizeof(TPipeClient)));
            for (auto& block : reused)
                std::memset(block.get(), 0xEE, sizeof(TPipeClient));
        };
        TCloseTarget target;
        target.inside = [&] {
            destroy();
            return true;
        };
        TPipeClient* raw = client.get();
        if (by == byPostedClose) {
            ASSERT_TRUE(raw->Write("x", 1));
            ASSERT_TRUE(PumpUntil([&] { return raw->QueuedBytes() == 0; }));
            ASSERT_TRUE(PostMessageW(target.window, WM_CLOSE, 0, 0));
            raw->Disconnect();
        } else {
            // Connect finishes a worker that is ending; its wait lets sent messages through.
            server.Close();
            ASSERT_TRUE(WaitUntilEnding(*raw));
            if (by == bySentClose)
                std::thread([&] {
                    SendMessageCallbackW(
                        target.window, WM_CLOSE, 0, 0, [](HWND, UINT, ULONG_PTR, LRESULT) {}, 0);
                }).join();
            else
                raw->OnPipeDisconnect = [&](TPipeClient&, HANDLE) { destroy(); };
            EXPECT_FALSE(raw->Connect(2000, true));
        }
        EXPECT_EQ(nullptr, client);
        EXPECT_EQ(threadsBefore, ThreadsOfThisProcess());
    }
}

// A stop that the worker sees when it wakes, with a read outstanding, ends it without a write
// after it, also of what is queued then.
TEST(PipeThreadStop, ARequestedStopIsHonouredAtTheNextWakeWithAReadPending) {
    const std::wstring name = UniquePipeName(L"Worker");
    TRawServer server(name);
    ASSERT_TRUE(server.Valid());
    const std::wstring path = L"\\\\.\\pipe\\" + name;
    THandle pipe(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr));
    ASSERT_TRUE(pipe);
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr);
    server.StartReading();
    TWriteQueue queue;
    // No notification window: the worker reports to nobody.
    auto worker =
        std::make_unique<TPipeThread>(nullptr, GetCurrentThreadId(), queue, std::move(pipe));
    // Asked before or after its first read is under way, which makes no difference here.
    worker->Resume();
    worker->RequestStop();
    // Queued data wakes a worker that went back to its wait.
    queue.Enqueue(AllocPipeWrite("late", 4));
    const bool ended = WaitForSingleObject(worker->Handle(), 10000) == WAIT_OBJECT_0;
    if (!ended) {
        server.Close(); // the broken pipe ends it
        WaitForSingleObject(worker->Handle(), INFINITE);
    }
    ASSERT_TRUE(ended);
    EXPECT_TRUE(PumpUntil([&] { return server.ClientGone(); }, 10000));
    EXPECT_EQ(0u, server.Count());
}

// TEMP and TMP may be longer than MAX_PATH; the tests must put them back as they found them.
TEST(PipeTestSupport, PrivateTempFolderRestoresLongVariables) {
    const std::wstring oldTmp = EnvironmentVariable(L"TMP");
    const std::wstring oldTemp = EnvironmentVariable(L"TEMP");
    auto restore = ScopeExit([&] {
        SetEnvironmentVariableW(L"TMP", oldTmp.empty() ? nullptr : oldTmp.c_str());
        SetEnvironmentVariableW(L"TEMP", oldTemp.empty() ? nullptr : oldTemp.c_str());
    });
    const std::wstring longValue = L"C:\\" + std::wstring(300, L'x');
    SetEnvironmentVariableW(L"TMP", longValue.c_str());
    SetEnvironmentVariableW(L"TEMP", longValue.c_str());
    {
        testing::TPrivateTempFolder temp;
        EXPECT_NE(longValue, EnvironmentVariable(L"TEMP"));
    }
    EXPECT_EQ(longValue, EnvironmentVariable(L"TMP"));
    EXPECT_EQ(longValue, EnvironmentVariable(L"TEMP"));
}

TEST(PipeClientLifecycle, HandlesAreNotInheritable) {
    TLink link;
    ASSERT_TRUE(link.Open());
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(link.client.Pipe(), &flags));
    EXPECT_EQ(0u, flags & HANDLE_FLAG_INHERIT);
}

} // namespace
} // namespace vantrel
