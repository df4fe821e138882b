#include "service/QorService.h"

#include "model/Constants.h"
#include "model/AskMessage.h"
#include "model/ServiceNews.h"
#include "model/TimeRequest.h"
#include "model/UserStore.h"
#include "pipes/PipeClient.h"
#include "win/Handle.h"

#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <functional>
#include <thread>

namespace vantrel {
namespace {

using namespace vantrel::testing;

class QorServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        CleanStore();
        SetClockSeam([] { return Time(2026, 6, 10, 3, 12, 0); });
        WritePrefs(false, L"", false, false);
        options.PipeName = UniqueName(L"Service");
        options.LogPath = TempPath(UniqueName(L"Log") + L".log");
        options.MinuteMs = 3600000; // no minute passes during a test
        options.ThisComputer = L"PC-HERE";
        stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    void TearDown() override {
        SetClockSeam(nullptr);
        SetMonotonicSeam(nullptr);
        SetRemoteRegistrySeam(nullptr);
        CleanStore();
        DeleteFileW(options.LogPath.c_str());
    }
    std::string LogText() const { return ReadFileText(options.LogPath); }

    TServiceOptions options;
    THandle stop;
    TFakeSessionHost host;
};

TEST_F(QorServiceTest, TheServiceMessageMakesItReadTheSettingsBeforeItsNextMinute) {
    WritePrefs(false, L"", false, true); // the debug lines show when the user was checked
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 8, 20, 600);
    host.Add(1, L"anna");
    TQorService service(host, options);
    bool ran = false;
    std::thread runner([&] { ran = service.Run(stop.Get()); });

    TPipeClient client;
    client.SetPipeName(options.PipeName);
    EXPECT_TRUE(PumpUntil([&] { return client.Connect(100, true); }));
    // The start-up check comes after the pipe is served: the new hours must not reach it.
    EXPECT_TRUE(PumpUntil([&] { return CountOf(LogText(), "Minute of anna") == 1; }));
    EXPECT_EQ(1, CountOf(LogText(), "Service started on PC-HERE"));
    EXPECT_TRUE(host.Shown().empty());
    // A lock or an unlock the system reports is looked at at once, not at the next look.
    const int listed = host.Listings;
    service.SessionChanged();
    EXPECT_TRUE(PumpUntil([&] { return host.Listings > listed; }));

    // The program saves hours that exclude noon, then tells the service.
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 13, 20, 600);
    ASSERT_TRUE(client.Write(kServiceMessage, 10));
    client.WaitForQueueEmpty();
    EXPECT_TRUE(PumpUntil([&] { return !host.Shown().empty(); }));
    EXPECT_EQ(std::vector<std::wstring>{L"Not now."}, host.ShownTexts());
    EXPECT_EQ(1, CountOf(LogText(), "Settings and preferences read again"));
    EXPECT_EQ(-1, ReadUsage(HKEY_LOCAL_MACHINE, L"anna", L"PC-HERE", 3).first);

    // A second service for the same pipe waits while the first runs, and takes over after it.
    const THandle secondStop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    TQorService second(host, options);
    std::thread secondRunner([&] { second.Run(secondStop.Get()); });
    EXPECT_TRUE(PumpUntil([&] { return CountOf(LogText(), "Another Vantrel service") == 1; }));
    EXPECT_EQ(1, CountOf(LogText(), "Service started on PC-HERE"));

    client.Disconnect();
    SetEvent(stop.Get());
    runner.join();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(PumpUntil([&] { return CountOf(LogText(), "Service started on PC-HERE") == 2; }));
    SetEvent(secondStop.Get());
    secondRunner.join();
    EXPECT_EQ(2, CountOf(LogText(), "Service stopped"));
}

// Log-offs that Windows refuses (Refuse), accepts without the session ending (Linger), or
// carries out.
class TLogoffHost : public TFakeSessionHost {
public:
    bool Logoff(DWORD session) override {
        if (Refuse || Linger) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return Linger.load();
        }
        return TFakeSessionHost::Logoff(session);
    }
    std::atomic<bool> Refuse{true}, Linger{false};
};

TEST_F(QorServiceTest, AnUnfinishedLogoffIsToldToTheProgramsUntilTheSessionHasGone) {
    ForgetBlocks();
    std::atomic<ULONGLONG> extra{0};
    options.MinuteMs = 100;
    SetMonotonicSeam([&] { return GetTickCount64() + extra.load(); });
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60);
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", L"PC-HERE", 3, 161, 60);
    TLogoffHost logoffs;
    logoffs.Add(1, L"anna");
    TQorService service(logoffs, options);
    std::thread runner([&] { service.Run(stop.Get()); });
    std::mutex lock;
    std::vector<std::string> texts;
    const auto record = [&](std::vector<std::string>& into) {
        return [&into, &lock](TPipeClient&, HANDLE, TStream& stream) {
            std::string text(static_cast<size_t>(stream.Size()), '\0');
            stream.SetPosition(0);
            text.resize(stream.Read(text.data(), static_cast<uint32_t>(text.size())));
            std::lock_guard<std::mutex> guard(lock);
            into.push_back(text);
        };
    };
    const auto toldNow = [&](const std::vector<TUnfinishedLogoff>& expected) {
        return PumpUntil([&] {
            std::lock_guard<std::mutex> guard(lock);
            TServiceNews news;
            return !texts.empty() && ParseServiceNews(texts.back(), news) &&
                   news.Logoffs == expected;
        });
    };
    TPipeClient client;
    client.SetPipeName(options.PipeName);
    client.OnPipeMessage = record(texts);
    EXPECT_TRUE(PumpUntil([&] { return client.Connect(100, true); }));
    // Within the grace nothing is unfinished; after it, Windows refuses.
    EXPECT_TRUE(toldNow({}));
    extra += TMinuteLoop::kLogoffMs;
    EXPECT_TRUE(toldNow({{L"anna", true}}));
    // A program that connects now learns it at once.
    std::vector<std::string> welcome;
    TPipeClient late;
    late.SetPipeName(options.PipeName);
    late.OnPipeMessage = record(welcome);
    EXPECT_TRUE(PumpUntil([&] { return late.Connect(100, true); }));
    EXPECT_TRUE(PumpUntil([&] {
        std::lock_guard<std::mutex> guard(lock);
        return !welcome.empty();
    }));
    EXPECT_NE(std::string::npos, welcome.front().find("; logofffailed=anna")) << welcome.front();
    // Asked for, but the session stays: not done yet. Then it goes.
    logoffs.Linger = true;
    logoffs.Refuse = false;
    EXPECT_TRUE(toldNow({{L"anna", false}}));
    logoffs.Linger = false;
    EXPECT_TRUE(toldNow({}));
    EXPECT_TRUE(logoffs.Sessions().empty());
    late.Disconnect();
    client.Disconnect();
    SetEvent(stop.Get());
    runner.join();
    ForgetBlocks();
}

// Its first listing of the sessions throws what no handler of std::exception catches.
class TThrowingHost : public TFakeSessionHost {
public:
    std::vector<TSessionInfo> Sessions() override {
        if (Throws-- > 0)
            throw 42;
        return TFakeSessionHost::Sessions();
    }
    std::atomic<int> Throws{0};
};

TEST_F(QorServiceTest, CountsWhoeverHoldsItsNamesAndWhateverAMinuteThrows) {
    options.MinuteMs = 100;
    TThrowingHost throwing;
    throwing.Add(1, L"anna");
    struct TRow {
        const char* Case;
        bool TakeGuard, TakePipe, Throw;
        std::string Logged;
    } rows[] = {
        {"guard taken by a user", true, false, false, "not by SYSTEM or the Administrators"},
        {"pipe served by a user", false, true, false,
         "process " + std::to_string(GetCurrentProcessId()) + " ("},
        {"a minute throws", false, false, true, "an exception that is not a std::exception"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Case);
        CleanStore();
        WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 600);
        DeleteFileW(options.LogPath.c_str());
        THandle taken(
            row.TakeGuard
                ? CreateMutexW(nullptr, TRUE, (L"Global\\QORsvc." + options.PipeName).c_str())
            : row.TakePipe
                ? CreateNamedPipeW((L"\\\\.\\pipe\\" + options.PipeName).c_str(),
                                   PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 0, 0, 0, nullptr)
                : nullptr);
        throwing.Throws = row.Throw ? 1 : 0;
        TQorService service(throwing, options);
        std::thread runner([&] { service.Run(stop.Get()); });
        EXPECT_TRUE(PumpUntil([] {
            return ReadUsage(HKEY_LOCAL_MACHINE, L"anna", L"PC-HERE", 3).first >= 2;
        })) << LogText();
        EXPECT_EQ(1, CountOf(LogText(), row.Logged)) << LogText();

        // The name free again, the service serves it within a minute.
        taken.Close();
        TPipeClient client;
        client.SetPipeName(options.PipeName);
        EXPECT_TRUE(PumpUntil([&] { return client.Connect(100, true); }));
        EXPECT_TRUE(client.Write(kServiceMessage, 10));
        client.WaitForQueueEmpty();
        EXPECT_TRUE(PumpUntil([&] { return CountOf(LogText(), "Settings and preferences") == 1; }));
        client.Disconnect();
        SetEvent(stop.Get());
        runner.join();
        ResetEvent(stop.Get());
    }
}

TEST_F(QorServiceTest, CountsTheMinutesThatPassWhileTheStoreIsSlowAndChangesPourIn) {
    // The network store "\\OFFICE" is a key of this registry; while `slow`, each connection to
    // it takes a minute of the service's clock.
    std::atomic<ULONGLONG> extra{0};
    std::atomic<bool> slow{true};
    options.MinuteMs = 1000;
    SetMonotonicSeam([&] { return GetTickCount64() + extra.load(); });
    SetRemoteRegistrySeam([&](const std::wstring&, HKEY* root) -> LONG {
        if (slow) {
            extra += options.MinuteMs;
            Sleep(10);
        }
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VantrelSvcTest\\OFFICE", 0, nullptr,
                               0, KEY_ALL_ACCESS, nullptr, root, nullptr);
    });
    WritePrefs(true, L"\\\\OFFICE", false, false);
    TRegKey office;
    office.Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VantrelSvcTest\\OFFICE", KEY_ALL_ACCESS);
    host.Add(1, L"anna");
    const auto counted = [&] { return ReadUsage(office.Get(), L"anna", L"PC-HERE", 3).first; };
    for (const bool pour : {false, true}) {
        SCOPED_TRACE(pour ? "the program sends changes without pause" : "no changes");
        RegDeleteTreeW(office.Get(), L"System");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users"); // this computer's copy
        WriteUser(office.Get(), L"anna", true, 0, 24, 600);
        slow = true;
        const ULONGLONG start = MonotonicMs();
        TQorService service(host, options);
        std::thread runner([&] { service.Run(stop.Get()); });
        std::atomic<bool> pouring{pour};
        std::thread sender([&] {
            THandle pipe;
            while (pouring && !pipe) {
                Sleep(10);
                pipe.Reset(CreateFileW((L"\\\\.\\pipe\\" + options.PipeName).c_str(), GENERIC_WRITE,
                                       0, nullptr, OPEN_EXISTING, 0, nullptr));
            }
            DWORD written = 0;
            while (pouring && WriteFile(pipe.Get(), kServiceMessage, 10, &written, nullptr)) {
            }
        });
        EXPECT_TRUE(PumpUntil([&] { return counted() >= 20; })) << counted();
        // Quick again: two more ticks, and every minute that passed is counted.
        slow = false;
        for (int tick = 0; tick < 2; ++tick) {
            const int before = counted();
            EXPECT_TRUE(PumpUntil([&] { return counted() > before; }));
        }
        SetEvent(stop.Get());
        const ULONGLONG passed = (MonotonicMs() - start) / options.MinuteMs;
        pouring = false;
        sender.join();
        runner.join();
        ResetEvent(stop.Get());
        EXPECT_NEAR(static_cast<double>(passed), counted(), 1);
    }
}

TEST_F(QorServiceTest, TheConsoleServiceCountsTheMinutesOfThisSessionsUser) {
    wchar_t user[257] = {};
    DWORD length = 257;
    ASSERT_TRUE(GetUserNameW(user, &length));
    WriteUser(HKEY_LOCAL_MACHINE, user, true, 0, 24, 600);
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring folder = self;
    folder.resize(folder.find_last_of(L'\\'));
    const std::wstring exe = folder + L"\\..\\src\\service\\QORsvc.exe";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(exe.c_str())) << exe.c_str();

    SetClockSeam(nullptr); // the service runs on the real clock
    std::wstring command = L"\"" + exe + L"\" --console --pipe " + options.PipeName + L" --log \"" +
                           options.LogPath + L"\" --minute 200";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &process));
    const THandle processHandle(process.hProcess), threadHandle(process.hThread);

    // Three short minutes counted, as the program loads them.
    TQorUser seen;
    seen.Username = user;
    const bool counted = PumpUntil([&] {
        LoadUser(seen, false, L"");
        return seen.TodaysTimeUsage >= 3;
    });
    // Asked through the way in, the service learns from the system who asks: this account.
    std::string answer = "no pipe";
    for (int attempt = 0; attempt < 100 && answer == "no pipe"; ++attempt) {
        const THandle ask(CreateFileW((std::wstring(L"\\\\.\\pipe\\") + kAskPipeName).c_str(),
                                      GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES, 0,
                                      nullptr, OPEN_EXISTING,
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        DWORD mode = PIPE_READMODE_MESSAGE, count = 0;
        char buffer[64];
        if (!ask || !SetNamedPipeHandleState(ask.Get(), &mode, nullptr, nullptr)) {
            Sleep(50);
            continue;
        }
        answer = WriteFile(ask.Get(), "ASK 10 x", 8, &count, nullptr) &&
                         ReadFile(ask.Get(), buffer, sizeof(buffer), &count, nullptr)
                     ? std::string(buffer, count)
                     : "closed";
    }
    TerminateProcess(processHandle.Get(), 0);
    WaitForSingleObject(processHandle.Get(), 10000);
    EXPECT_TRUE(counted) << LogText();
    EXPECT_EQ(1, CountOf(LogText(), "Service started"));
    EXPECT_EQ("OK", answer) << LogText();
    TTimeRequest request;
    EXPECT_TRUE(ReadTimeRequest(HKEY_LOCAL_MACHINE, user, request));
    EXPECT_EQ(10, request.Minutes);
}

} // namespace
} // namespace vantrel
