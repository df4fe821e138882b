#include "pipes/PipeClient.h"

#include "../../tools/standin/StandInControl.h"
#include "PipeTestSupport.h"

#include <gtest/gtest.h>

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
            Bytes bytes(static_cast<size_t>(stream.Size()));
            size_t at = 0;
            while (at < bytes.size()) {
                uint32_t count = stream.Read(
                    bytes.data() + at,
                    static_cast<uint32_t>(std::min<size_t>(1 << 20, bytes.size() - at)));
                if (!count)
                    break;
                at += count;
            }
            received.push_back(std::move(bytes));
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

int ThreadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            count++;
    CloseHandle(snapshot);
    return count;
}

// The stand-in's generated reply bytes: byte i is (i * 7) mod 251.
Bytes StandInPattern(size_t size) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>((static_cast<uint64_t>(i) * 7) % 251);
    return b;
}

TEST(StandIn, ServiceMessageIsReceivedAndLogged) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_TRUE(link.client.Write("40, QORsvc", 10));
    ASSERT_TRUE(PumpUntil([&] { return link.sent.size() == 1; }));
    // A sent notification means the service has read the message.
    EXPECT_EQ("40, QORsvc", link.standIn.Command("last"));
    EXPECT_EQ(0u, link.standIn.Command("stats").find("clients=1 messages=1 bytes=10"));
    std::string logged = ReadFileText(link.log);
    EXPECT_NE(std::string::npos, logged.find("  10 bytes  40, QORsvc\r\n")) << logged;
}

TEST(StandIn, RepliesOfAnyLengthArriveWhole) {
    TServiceLink link;
    ASSERT_TRUE(link.Open());
    ASSERT_EQ("ok", link.standIn.Command("send 10"));
    ASSERT_EQ("ok", link.standIn.Command("send 65535"));
    ASSERT_EQ("ok", link.standIn.Command("raw 200000"));
    ASSERT_EQ("ok", link.standIn.Command("send 3000000"));
    ASSERT_TRUE(PumpUntil([&] { return link.received.size() == 4; }));
    EXPECT_EQ(StandInPattern(10), link.received[0]);
    EXPECT_EQ(StandInPattern(65535), link.received[1]);
    EXPECT_EQ(StandInPattern(200000), link.received[2]);
    EXPECT_TRUE(StandInPattern(3000000) == link.received[3]);
    EXPECT_TRUE(link.errors.empty());
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
    const ULONGLONG start = GetTickCount64();
    while (link.client.IsConnected() && GetTickCount64() - start < 20000)
        Sleep(10);
    ASSERT_FALSE(link.client.IsConnected());
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
    EXPECT_EQ("40, QORsvc", link.standIn.Command("last"));
    EXPECT_EQ(0u, link.standIn.Command("stats").find("clients=1 messages=1 bytes=10"));
    EXPECT_EQ(1, link.disconnects);
    EXPECT_TRUE(link.errors.empty());
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
    auto client = std::make_unique<TPipeClient>();
    client->SetPipeName(link.name);
    client->SetStopTimeout(500);
    ASSERT_TRUE(client->Connect(5000, true));
    ASSERT_TRUE(client->Write("40, QORsvc", 10));
    client.reset();
    SUCCEED();
}

} // namespace
} // namespace vantrel
