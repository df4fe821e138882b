#include "pipes/PipeClient.h"
#include "pipes/PipeThread.h"

#include "../../tools/standin/StandInControl.h"
#include "PipeTestSupport.h"

#include <gtest/gtest.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace vantrel {
namespace {

using testing::Bytes;
using testing::PumpUntil;
using testing::StandInPath;
using testing::Text;
using testing::ThreadsOfThisProcess;
using testing::UniquePipeName;

std::wstring TempLogPath(const std::wstring& name) {
    wchar_t folder[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder) + name + L"\\QORevents.log";
}

std::string ReadFileText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text(GetFileSize(file, nullptr), '\0');
    DWORD n = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(file);
    text.resize(n);
    return text;
}

// A client talking to a stand-in of its own, with what it received and how it ended.
struct TServiceLink {
    std::wstring name = UniquePipeName(L"StandIn");
    std::wstring log = TempLogPath(name);
    TStandIn standIn;
    TPipeClient client;
    std::vector<Bytes> received;
    std::vector<uint32_t> sent;
    std::vector<int32_t> errors;
    int disconnects = 0;

    bool Open() {
        if (!standIn.Start(StandInPath(), name, log))
            return false;
        client.SetPipeName(name);
        client.OnPipeMessage = [this](TPipeClient&, HANDLE, TStream& stream) {
            received.push_back(testing::ReadAll(stream));
        };
        client.OnPipeSent = [this](TPipeClient&, HANDLE, uint32_t n) { sent.push_back(n); };
        client.OnPipeError = [this](TPipeClient&, HANDLE, TPipeContext, int32_t code) {
            errors.push_back(code);
        };
        client.OnPipeDisconnect = [this](TPipeClient&, HANDLE) { disconnects++; };
        return client.Connect(5000, true) &&
               PumpUntil([&] { return standIn.Command("stats").rfind("clients=1 ", 0) == 0; });
    }
};

// The stand-in's generated reply bytes: byte i is (i * 7) mod 251.
Bytes StandInPattern(size_t size) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>((static_cast<uint64_t>(i) * 7) % 251);
    return b;
}

// The memory this process has committed. Wine reports it as the anonymous memory resident or
// swapped, and leaves PrivateUsage at 0.
uint64_t CommittedBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return 0;
    return counters.PagefileUsage;
}

// A figure of the stand-in's stats ("name=" followed by digits); -1 when it is not there.
long long StandInStat(TStandIn& standIn, const std::string& name) {
    std::string stats = standIn.Command("stats");
    size_t at = stats.find(" " + name + "=");
    if (at == std::string::npos)
        at = stats.rfind(name + "=", 0);
    else
        at += 1;
    return at == std::string::npos ? -1 : std::stoll(stats.substr(at + name.size() + 1));
}

long long Flooded(TStandIn& standIn) {
    return StandInStat(standIn, "flooded");
}

// While the service floods the client: the program's writes get through, a message posted to
// one of its windows is handled, and Disconnect stops the worker rather than giving up on it.
void CheckTheProgramKeepsGoing(TServiceLink& link) {
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    ASSERT_TRUE(PumpUntil([&] { return link.sent.size() == 3; }));
    ASSERT_TRUE(PumpUntil([&] { return StandInStat(link.standIn, "messages") == 3; }));
    EXPECT_EQ("40, QORsvc", link.standIn.Command("last"));
    EXPECT_EQ(30, StandInStat(link.standIn, "bytes"));
    bool handled = false;
    HWND window = AllocateNotifyWindow([&](TMessage& message) {
        if (message.Msg == WM_USER)
            handled = true;
    });
    ASSERT_TRUE(PostMessageW(window, WM_USER, 0, 0));
    EXPECT_TRUE(PumpUntil([&] { return handled; }));
    DeallocateNotifyWindow(window);
    const int threadsWithWorker = ThreadsOfThisProcess();
    link.client.Disconnect();
    EXPECT_EQ(threadsWithWorker - 1, ThreadsOfThisProcess());
    EXPECT_FALSE(link.client.IsConnected());
    EXPECT_EQ(1, link.disconnects);
    EXPECT_TRUE(link.errors.empty());
}

TEST(StandInFlood, ShortMessagesWithoutPauseDoNotStarveTheProgram) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_EQ("ok", link.standIn.Command("flood short"));
    ASSERT_TRUE(PumpUntil([&] { return link.received.size() >= 200; }));
    CheckTheProgramKeepsGoing(link);
    EXPECT_EQ(StandInPattern(10), link.received.back());
}

TEST(StandInFlood, HugeMessagesAreSkippedAsTheyArriveInBoundedMemory) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    const uint64_t before = CommittedBytes();
    ASSERT_GT(before, 0u);
    uint64_t most = before;
    ASSERT_EQ("ok", link.standIn.Command("flood huge 33554432")); // 32 MB each
    ASSERT_TRUE(PumpUntil(
        [&] {
            most = std::max(most, CommittedBytes());
            return Flooded(link.standIn) >= 4;
        },
        90000));
    EXPECT_TRUE(link.received.empty());
    EXPECT_LT(most - before, 8u << 20) << "grew by " << (most - before) << " bytes";
    // A message of the cap that follows arrives whole.
    ASSERT_EQ("ok", link.standIn.Command("flood off"));
    ASSERT_EQ("ok", link.standIn.Command("raw " + std::to_string(kMaxIncomingMessage)));
    ASSERT_TRUE(PumpUntil([&] { return link.received.size() == 1; }, 60000));
    EXPECT_TRUE(StandInPattern(kMaxIncomingMessage) == link.received[0]);
    ASSERT_EQ("ok", link.standIn.Command("flood huge 33554432"));
    CheckTheProgramKeepsGoing(link);
    EXPECT_EQ(1u, link.received.size());
}

TEST(StandInFlood, AnEndlessMultiPartMessageIsSkippedWithoutAGrowingFile) {
    TServiceLink link;
    testing::TPrivateTempFolder temp;
    ASSERT_TRUE(link.Open());
    const uint64_t before = CommittedBytes();
    ASSERT_GT(before, 0u);
    uint64_t most = before;
    uint64_t largestFile = 0;
    ASSERT_EQ("ok", link.standIn.Command("flood multi"));
    // 300 parts of 65,534 bytes: about 19 MB.
    ASSERT_TRUE(PumpUntil(
        [&] {
            most = std::max(most, CommittedBytes());
            for (uint64_t size : testing::PartFileSizes())
                largestFile = std::max(largestFile, size);
            return Flooded(link.standIn) >= 300;
        },
        90000));
    EXPECT_TRUE(link.received.empty());
    EXPECT_LE(largestFile, kMaxIncomingMessage);
    EXPECT_LT(most - before, 8u << 20) << "grew by " << (most - before) << " bytes";
    // Its end block comes; what follows is delivered again.
    ASSERT_EQ("ok", link.standIn.Command("flood off"));
    ASSERT_EQ("ok", link.standIn.Command("send 100000"));
    ASSERT_TRUE(PumpUntil([&] { return link.received.size() == 1; }));
    EXPECT_EQ(StandInPattern(100000), link.received[0]);
    ASSERT_EQ("ok", link.standIn.Command("flood multi"));
    CheckTheProgramKeepsGoing(link);
    EXPECT_EQ(1u, link.received.size());
}

TEST(StandIn, ServiceMessageIsReceivedAndLogged) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    ASSERT_TRUE(PumpUntil([&] { return link.sent.size() == 1; }));
    // A sent notification means the service has read the message; its thread counts it a
    // moment later.
    ASSERT_TRUE(PumpUntil([&] { return StandInStat(link.standIn, "messages") == 1; }));
    EXPECT_EQ("40, QORsvc", link.standIn.Command("last"));
    EXPECT_EQ(0u, link.standIn.Command("stats").find("clients=1 messages=1 bytes=10"));
    std::string logged = ReadFileText(link.log);
    EXPECT_NE(std::string::npos, logged.find("  10 bytes  40, QORsvc\r\n")) << logged;
}

TEST(StandIn, RepliesUpToTheCapArriveWholeLargerOnesAreSkipped) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    const std::string cap = std::to_string(kMaxIncomingMessage);
    const std::string over = std::to_string(kMaxIncomingMessage + 1);
    const std::vector<std::string> commands = {"send 10",     "send 65535", "raw 200000",
                                               "send " + cap, "raw " + cap, "send " + over,
                                               "raw " + over, "send 20"};
    for (const std::string& command : commands)
        ASSERT_EQ("ok", link.standIn.Command(command)) << command;
    ASSERT_TRUE(
        PumpUntil([&] { return !link.received.empty() && link.received.back().size() == 20; }));
    ASSERT_EQ(6u, link.received.size());
    EXPECT_EQ(StandInPattern(10), link.received[0]);
    EXPECT_EQ(StandInPattern(65535), link.received[1]);
    EXPECT_EQ(StandInPattern(200000), link.received[2]);
    EXPECT_TRUE(StandInPattern(kMaxIncomingMessage) == link.received[3]);
    EXPECT_TRUE(StandInPattern(kMaxIncomingMessage) == link.received[4]);
    EXPECT_EQ(StandInPattern(20), link.received[5]);
    EXPECT_TRUE(link.errors.empty());
    EXPECT_TRUE(link.client.IsConnected());
}

TEST(StandIn, ClosingTheServiceEndIsADisconnectNotAnError) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_EQ("ok", link.standIn.Command("close"));
    ASSERT_TRUE(PumpUntil([&] { return link.disconnects == 1; }));
    EXPECT_TRUE(link.errors.empty());
    EXPECT_FALSE(link.client.IsConnected());
    // The service is still there for a new connection.
    EXPECT_TRUE(link.client.Connect(5000, true));
}

// The service went away while the program was busy (no messages dispatched): the worker has
// ended and waits to report that. A commit then connects again and its message reaches the
// restarted service instead of being queued for the ended worker and dropped.
TEST(StandIn, AfterTheServiceWentAwayACommitReachesItsRestart) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    const int threadsWithWorker = ThreadsOfThisProcess();
    ASSERT_EQ("ok", link.standIn.Command("close"));
    ASSERT_TRUE(testing::WaitUntilEnding(link.client));
    EXPECT_FALSE(link.client.Write("lost", 4));
    EXPECT_EQ(0, link.disconnects);
    link.standIn.Stop();
    ASSERT_TRUE(link.standIn.Start(StandInPath(), link.name, link.log));

    // What the main window does for a commit, with nothing dispatched in between.
    ASSERT_TRUE(link.client.IsConnected() || link.client.Connect(0, true));
    ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    // The old worker's end was delivered inside Connect, and the worker is gone.
    EXPECT_EQ(1, link.disconnects);
    EXPECT_EQ(threadsWithWorker, ThreadsOfThisProcess());
    ASSERT_TRUE(PumpUntil([&] { return link.sent.size() == 1; }));
    ASSERT_TRUE(PumpUntil([&] { return StandInStat(link.standIn, "messages") == 1; }));
    EXPECT_EQ("40, QORsvc", link.standIn.Command("last"));
    EXPECT_EQ(0u, link.standIn.Command("stats").find("clients=1 messages=1 bytes=10"));
    EXPECT_EQ(1, link.disconnects);
    EXPECT_TRUE(link.errors.empty());
}

// A session's thread, pipe and events are freed when its client goes, not kept until exit.
TEST(StandIn, EndedSessionsAreFreed) {
    const std::wstring name = UniquePipeName(L"Sessions");
    TStandIn standIn;
    ASSERT_TRUE(standIn.Start(StandInPath(), name, TempLogPath(name)));
    EXPECT_EQ(0, StandInStat(standIn, "sessions"));
    for (int round = 0; round < 4; ++round) {
        TPipeClient first, second;
        first.SetPipeName(name);
        second.SetPipeName(name);
        ASSERT_TRUE(first.Connect(5000, true));
        ASSERT_TRUE(second.Connect(5000, true));
        ASSERT_TRUE(PumpUntil([&] { return StandInStat(standIn, "clients") == 2; }));
        EXPECT_EQ(2, StandInStat(standIn, "sessions"));
        first.Disconnect();
        ASSERT_TRUE(PumpUntil([&] { return StandInStat(standIn, "sessions") == 1; }));
        second.Disconnect();
        ASSERT_TRUE(PumpUntil([&] { return StandInStat(standIn, "sessions") == 0; }));
    }
    ASSERT_TRUE(standIn.Command("stats").rfind("clients=0 ", 0) == 0);
}

TEST(StandIn, RandomMessagesComeBackByteForByteInOrder) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_EQ("ok", link.standIn.Command("echo on"));
    std::mt19937 random(20261207);
    std::uniform_int_distribution<size_t> size(0, 300000);
    std::uniform_int_distribution<int> small(0, 3);
    std::vector<Bytes> sentMessages;
    for (int i = 0; i < 40; ++i) {
        // A quarter of them short, so that short and long ones alternate.
        size_t n = small(random) == 0 ? size(random) % 100 : size(random);
        Bytes m = testing::Pattern(n, static_cast<uint32_t>(i + 7));
        ASSERT_TRUE(link.client.Write(m.data(), static_cast<uint32_t>(m.size())));
        sentMessages.push_back(std::move(m));
    }
    ASSERT_TRUE(PumpUntil([&] { return link.received.size() >= sentMessages.size(); }, 60000))
        << link.received.size();
    ASSERT_EQ(sentMessages.size(), link.received.size());
    for (size_t i = 0; i < sentMessages.size(); ++i)
        EXPECT_TRUE(sentMessages[i] == link.received[i])
            << "message " << i << ": " << sentMessages[i].size() << " bytes sent, "
            << link.received[i].size() << " back";
    EXPECT_TRUE(link.errors.empty());
}

TEST(StandIn, DisconnectFromAServiceThatStoppedReadingEndsInBoundedTime) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_EQ("ok", link.standIn.Command("stall on"));
    link.client.SetStopTimeout(1000);
    ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    ASSERT_TRUE(PumpUntil([&] { return link.client.QueuedBytes() <= 38; }));
    const int threadsWithWorker = ThreadsOfThisProcess();
    // The worker is now blocked until the service reads, which it never will.
    link.client.Disconnect();
    // Its pipe I/O was cancelled and it ended, rather than being left behind.
    EXPECT_EQ(threadsWithWorker - 1, ThreadsOfThisProcess());
    EXPECT_FALSE(link.client.IsConnected());
    EXPECT_EQ(INVALID_HANDLE_VALUE, link.client.Pipe());
    EXPECT_EQ(1, link.disconnects);
    EXPECT_TRUE(link.errors.empty());
    EXPECT_TRUE(link.sent.empty());
}

TEST(StandIn, DestroyingTheClientWhileTheServiceStallsDoesNotHang) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_EQ("ok", link.standIn.Command("stall on"));
    const int threadsBefore = ThreadsOfThisProcess();
    auto client = std::make_unique<TPipeClient>();
    client->SetPipeName(link.name);
    client->SetStopTimeout(500);
    ASSERT_TRUE(client->Connect(5000, true));
    ASSERT_EQ(threadsBefore + 1, ThreadsOfThisProcess());
    ASSERT_TRUE(client->Write("40, QORsvc", 10));
    ASSERT_TRUE(PumpUntil([&] { return client->QueuedBytes() == 0; }));
    // Its worker is now blocked in a write that the service never reads.
    client.reset();
    // The worker ended rather than being left behind...
    EXPECT_EQ(threadsBefore, ThreadsOfThisProcess());
    // ...and the pipe is closed: once the service reads again, it sees that client gone,
    // while the first one stays.
    ASSERT_EQ("ok", link.standIn.Command("stall off"));
    EXPECT_TRUE(PumpUntil([&] { return StandInStat(link.standIn, "clients") == 1; }));
    EXPECT_TRUE(link.client.IsConnected());
}

} // namespace
} // namespace vantrel
