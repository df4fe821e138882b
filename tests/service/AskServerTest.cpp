#include "service/AskServer.h"

#include "model/CodeKey.h"
#include "model/Constants.h"
#include "model/OneTimeCode.h"
#include "model/TimeRequest.h"
#include "model/UserFigures.h"
#include "pipes/PipeClient.h"
#include "service/MinuteLoop.h"
#include "service/QorService.h"
#include "service/Requests.h"
#include "win/Handle.h"

#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

using namespace vantrel::testing;

const wchar_t kOfficeRoot[] = L"SOFTWARE\\VantrelSvcTest\\OFFICE";

// A program of a user on the way in: one pipe message out, one back, as QORtray.exe talks.
class TAskClient {
public:
    bool Connect(const std::wstring& name) {
        for (int attempt = 0; attempt < 500; ++attempt) {
            FPipe.Reset(CreateFileW((L"\\\\.\\pipe\\" + name).c_str(),
                                    GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES, 0,
                                    nullptr, OPEN_EXISTING,
                                    SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
            if (FPipe) {
                DWORD mode = PIPE_READMODE_MESSAGE;
                return SetNamedPipeHandleState(FPipe.Get(), &mode, nullptr, nullptr) != FALSE;
            }
            Sleep(20);
        }
        return false;
    }
    // The answer, or "closed" when the service closed the pipe instead.
    std::string Say(const std::string& message) {
        DWORD count = 0;
        if (!WriteFile(FPipe.Get(), message.data(), static_cast<DWORD>(message.size()), &count,
                       nullptr))
            return "closed";
        char buffer[256];
        if (!ReadFile(FPipe.Get(), buffer, sizeof(buffer), &count, nullptr))
            return "closed";
        return std::string(buffer, count);
    }

private:
    THandle FPipe;
};

// Wednesday 10 June 2026 at noon unless a test moves the clock; the monotonic clock follows it.
class AskServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        CleanStore();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kCodeUseKeyPath);
        RemoveCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath);
        At(12, 0);
        SetClockSeam([this] { return Now(); });
        SetMonotonicSeam([this] {
            const SYSTEMTIME t = Now();
            FILETIME file{};
            SystemTimeToFileTime(&t, &file);
            return ((static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime) /
                   10000;
        });
        SetAskCallerSeam([this](HANDLE, TAskCaller& who) {
            std::lock_guard<std::mutex> guard(lock);
            who = caller;
            return !who.Username.empty();
        });
        WritePrefs(false, L"", false, false);
        WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 8, 20, 60);
        WriteUser(HKEY_LOCAL_MACHINE, L"bob", true, 8, 20, 60);
        host.Add(1, L"anna");
        host.Add(2, L"bob");
        options.PipeName = UniqueName(L"Service");
        options.AskPipeName = UniqueName(L"Ask");
        options.LogPath = TempPath(UniqueName(L"Log") + L".log");
        options.MinuteMs = 86400000; // no minute passes during a test
        options.ThisComputer = L"PC-HERE";
        Begin();
    }
    void TearDown() override {
        End();
        SetAskCallerSeam(nullptr);
        SetClockSeam(nullptr);
        SetMonotonicSeam(nullptr);
        SetRemoteRegistrySeam(nullptr);
        CleanStore();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kCodeUseKeyPath);
        RemoveCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath);
        DeleteFileW(options.LogPath.c_str());
    }
    void Begin() {
        stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        service = std::make_unique<TQorService>(host, options);
        runner = std::thread([this] { service->Run(stop.Get()); });
    }
    void End() {
        SetEvent(stop.Get());
        runner.join();
        service.reset();
    }
    SYSTEMTIME Now() {
        std::lock_guard<std::mutex> guard(lock);
        return now;
    }
    void At(int hour, int minute, int second = 0) {
        std::lock_guard<std::mutex> guard(lock);
        now = Time(2026, 6, 10, 3, hour, minute, second);
    }
    void As(const std::wstring& user, const std::wstring& domain = L"",
            const std::wstring& sid = L"") {
        std::lock_guard<std::mutex> guard(lock);
        caller = {user, domain, sid};
    }
    // One message on a connection of its own.
    std::string Say(const std::string& message) {
        TAskClient client;
        EXPECT_TRUE(client.Connect(options.AskPipeName));
        return client.Say(message);
    }
    std::string LogText() const { return ReadFileText(options.LogPath); }
    static TTimeRequest Request(const std::wstring& user) {
        TTimeRequest request;
        ReadTimeRequest(HKEY_LOCAL_MACHINE, user, request);
        return request;
    }
    // The code the parent's phone shows now for the key.
    std::string CodeNow(const TSecret& secret, int stepsLater = 0) {
        const SYSTEMTIME utc = UtcNow();
        FILETIME file{};
        SystemTimeToFileTime(&utc, &file);
        const ULONGLONG units =
            (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
        const std::uint64_t unix =
            (units - 116444736000000000ULL) / 10000000ULL + stepsLater * kCodeStepSeconds;
        char text[8];
        snprintf(text, sizeof(text), "%06d", TimeCode(secret, unix));
        return std::string("CODE ") + text;
    }
    static int Bonus(const std::wstring& user) {
        TRegKey key;
        int bonus = -1;
        key.Open(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users\\" + user, KEY_READ);
        key.ReadInt(L"BonusTime", bonus);
        return bonus;
    }

    std::mutex lock;
    SYSTEMTIME now{};
    TAskCaller caller;
    TFakeSessionHost host;
    TServiceOptions options;
    THandle stop;
    std::unique_ptr<TQorService> service;
    std::thread runner;
};

TEST_F(AskServerTest, EachCallerLandsOnTheRequestOfTheUserTheSystemNames) {
    // Whatever anna writes, the request is hers; bob's is his.
    As(L"anna");
    EXPECT_EQ("OK", Say("ASK 30 this is bob asking"));
    As(L"bob");
    EXPECT_EQ("OK", Say("ASK 15 homework"));
    EXPECT_EQ(30, Request(L"anna").Minutes);
    EXPECT_EQ(L"this is bob asking", Request(L"anna").Reason);
    EXPECT_EQ(L"PC-HERE", Request(L"anna").Computer);
    EXPECT_EQ(15, Request(L"bob").Minutes);
    EXPECT_EQ("OK", Say("WITHDRAW"));
    EXPECT_EQ(TRequestState::Withdrawn, Request(L"bob").State);
    EXPECT_EQ(TRequestState::Waiting, Request(L"anna").State);
    EXPECT_EQ("NO nothing-open", Say("WITHDRAW"));
    EXPECT_EQ("NO amount", Say("ASK 90 more")); // the parent allows 60 at a time

    // A namesake of another domain, an account without a limit, a client the system does not
    // name: none reaches anna's request.
    const DWORD serial = Request(L"anna").Serial;
    As(L"anna", L"SCHOOL", L"S-1-5-21-1-2-3-1001");
    WriteUser(HKEY_LOCAL_MACHINE, L"carl", false, 0, 24, 0);
    EXPECT_EQ("NO not-limited", Say("WITHDRAW"));
    As(L"carl");
    EXPECT_EQ("NO not-limited", Say("ASK 30 x"));
    As(L"");
    EXPECT_EQ("NO not-limited", Say("WITHDRAW"));
    EXPECT_EQ(serial, Request(L"anna").Serial);
    EXPECT_EQ(1, CountOf(LogText(), "Request: anna asks for 30 more minutes"));
    EXPECT_EQ(1, CountOf(LogText(), "bob withdrew the request"));
    // A refused request is logged with its own reason, not that of the request before.
    EXPECT_EQ(1, CountOf(LogText(), "bob asks for 90 more minutes (\"more\")"));

    // The tray follows at once; Vantrel's answer is logged once and reaches the figures.
    TUserFigures figures;
    ASSERT_TRUE(ReadUserFigures(L"anna", figures));
    EXPECT_EQ(static_cast<int>(TRequestState::Waiting), figures.RequestState);
    EXPECT_EQ(30, figures.RequestMinutes);
    EXPECT_EQ(4, figures.RequestsLeft);
    EXPECT_EQ(60, figures.RequestMost);
    TTimeRequest answered = Request(L"anna");
    const FILETIME at{};
    ASSERT_EQ(TRequestRefusal::None, AnswerRequest(answered, 20, L"after dinner", at, 161, 2026));
    ASSERT_EQ(ERROR_SUCCESS, WriteTimeRequest(HKEY_LOCAL_MACHINE, L"anna", answered));
    TPipeClient vantrel;
    vantrel.SetPipeName(options.PipeName);
    ASSERT_TRUE(PumpUntil([&] { return vantrel.Connect(100, true); }));
    ASSERT_TRUE(vantrel.Write(kServiceMessage, 10));
    vantrel.WaitForQueueEmpty();
    // The figures are written after the answer is logged.
    EXPECT_TRUE(PumpUntil([&] {
        return ReadUserFigures(L"anna", figures) &&
               figures.RequestState == static_cast<int>(TRequestState::Granted);
    }));
    EXPECT_EQ(L"after dinner", figures.RequestReply);
    EXPECT_EQ(1, CountOf(LogText(), "granted in Vantrel: 20 minutes (\"after dinner\")"));
    vantrel.Disconnect();
}

TEST_F(AskServerTest, MalformedLongAndTooFrequentMessagesAreRefused) {
    As(L"anna");
    TAskClient client;
    ASSERT_TRUE(client.Connect(options.AskPipeName));
    for (const char* message : {"ASK 30\nUSER bob", "GIVE 60", "ASK 030 x", "CODE 12345", "ASK  x"})
        EXPECT_EQ("NO malformed", client.Say(message)) << message;
    EXPECT_EQ("OK", client.Say("ASK 10 x"));
    // The sixth message of the minute was the last: anna is refused, on any connection, and
    // the flood is logged once; bob is not held up by her.
    EXPECT_EQ("NO busy", client.Say("WITHDRAW"));
    EXPECT_EQ("NO busy", Say("WITHDRAW"));
    As(L"bob");
    EXPECT_EQ("OK", Say("ASK 5 x"));
    As(L"anna");
    At(12, 1);
    EXPECT_EQ("OK", Say("WITHDRAW"));
    EXPECT_EQ(1, CountOf(LogText(), "Requests of anna are refused for a while"));
    EXPECT_EQ(5, CountOf(LogText(), "A malformed request of anna is refused"));

    // A message longer than any is refused unread and the pipe closed.
    EXPECT_EQ("NO malformed", client.Say("ASK 5 " + std::string(kAskMessageMost, 'x')));
    EXPECT_EQ("closed", client.Say("WITHDRAW"));
    EXPECT_EQ(1, CountOf(LogText(), "(longer than 512 bytes)"));
    EXPECT_EQ(TRequestState::Withdrawn, Request(L"anna").State);
}

TEST_F(AskServerTest, ACodeGivesTimeOnceAndWrongOnesLockCodeEntry) {
    As(L"anna");
    EXPECT_EQ("NO no-codes", Say("CODE 123456"));
    TCodeKey key;
    ASSERT_TRUE(NewSecret(key.Secret));
    key.MostMinutes = 25;
    key.PairedAt.dwLowDateTime = 1;
    ASSERT_EQ(ERROR_SUCCESS, WriteCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, key));
    // The code of the step before and after counts too; a waiting request is granted up to the
    // key's most.
    EXPECT_EQ("OK", Say("ASK 40 film"));
    EXPECT_EQ("OK 25", Say(CodeNow(key.Secret, -1)));
    EXPECT_EQ(TRequestState::Granted, Request(L"anna").State);
    EXPECT_EQ(25, Request(L"anna").Granted);
    EXPECT_EQ(25, Bonus(L"anna"));
    // Used: neither it nor an older one works again, also after a restart.
    EXPECT_EQ("NO wrong-code", Say(CodeNow(key.Secret, -1)));
    End();
    Begin();
    EXPECT_EQ("NO wrong-code", Say(CodeNow(key.Secret, -1)));
    EXPECT_EQ(25, Bonus(L"anna"));
    EXPECT_EQ(0, Request(L"anna").WrongCodes);
    // With nothing waiting, the key's most.
    EXPECT_EQ("OK 25", Say(CodeNow(key.Secret, 1)));
    EXPECT_EQ(50, Bonus(L"anna"));

    // Three wrong in a row lock code entry for 15 minutes, even for the right code.
    At(12, 10);
    std::string wrong = "CODE 000000";
    for (int candidate = 1; wrong == CodeNow(key.Secret, -1) || wrong == CodeNow(key.Secret) ||
                            wrong == CodeNow(key.Secret, 1);
         ++candidate)
        wrong = "CODE 00000" + std::to_string(candidate);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ("NO wrong-code", Say(wrong));
    EXPECT_EQ("NO locked 15", Say(CodeNow(key.Secret)));
    TUserFigures figures;
    ASSERT_TRUE(ReadUserFigures(L"anna", figures));
    EXPECT_TRUE(figures.CodesPaired);
    EXPECT_EQ(15, figures.CodesLocked);
    EXPECT_EQ(3, Request(L"anna").WrongCodes);
    // The tenth wrong code of the day locks it until the day ends.
    for (int hour = 13; hour <= 15; ++hour) {
        At(hour, 0);
        for (int i = 0; i < 3 && Request(L"anna").WrongCodes < 10; ++i)
            EXPECT_EQ("NO wrong-code", Say(wrong));
    }
    EXPECT_EQ(10, Request(L"anna").WrongCodes);
    At(17, 0);
    EXPECT_EQ("NO locked 420", Say(CodeNow(key.Secret)));
    EXPECT_EQ(50, Bonus(L"anna"));
    EXPECT_EQ(10, CountOf(LogText(), "anna entered a wrong code"));
    EXPECT_EQ(std::string::npos, LogText().find(CodeNow(key.Secret).substr(5)));
    // Bob's codes are his own.
    As(L"bob");
    EXPECT_EQ("NO wrong-code", Say(wrong));
    EXPECT_EQ(1, Request(L"bob").WrongCodes);
    // The next day anna starts again, whether she asks first or enters a code.
    As(L"anna");
    {
        std::lock_guard<std::mutex> guard(lock);
        now = Time(2026, 6, 11, 4, 9, 0);
    }
    EXPECT_EQ("OK", Say("ASK 10 x"));
    EXPECT_EQ(0, Request(L"anna").WrongCodes);
    EXPECT_EQ(1, Request(L"anna").AskedThatDay);
}

// Clients that take every instance and leave at once never leave the name without an instance
// of the service: a user may serve a name only while it has none (the pipe's list lets no user
// make another instance; under Wine every process may, so the instance waiting is looked at).
TEST_F(AskServerTest, ThePipesNameAlwaysHasAnInstanceOfTheService) {
    As(L"anna");
    const std::wstring path = L"\\\\.\\pipe\\" + options.AskPipeName;
    for (int round = 0; round < 5; ++round) {
        std::vector<std::unique_ptr<TAskClient>> clients;
        for (DWORD i = 0; i < TAskServer::kMostClients; ++i) {
            clients.push_back(std::make_unique<TAskClient>());
            ASSERT_TRUE(clients.back()->Connect(options.AskPipeName));
        }
        clients.clear();
        Sleep(10);
        // Busy while the service takes the instances back, never gone: a name without an
        // instance is anybody's to create.
        THandle next(CreateFileW(path.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
        const DWORD error = next ? ERROR_SUCCESS : GetLastError();
        ASSERT_TRUE(error == ERROR_SUCCESS || error == ERROR_PIPE_BUSY)
            << "round " << round << ", error " << error;
    }
    EXPECT_EQ("OK", Say("ASK 10 x"));
}

// With a network store, each computer takes the paired key from it; one taken from there goes
// with it, one paired on this computer alone stays.
TEST_F(AskServerTest, TheStoresKeyIsCopiedToThisComputerAndGoesWithIt) {
    End();
    HKEY office = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOfficeRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &office, nullptr);
    SetRemoteRegistrySeam([](const std::wstring& computer, HKEY* root) -> LONG {
        if (computer != L"\\\\OFFICE")
            return ERROR_BAD_NETPATH;
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOfficeRoot, 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, root, nullptr);
    });
    WritePrefs(true, L"\\\\OFFICE", false, false);
    WriteUser(office, L"anna", true, 8, 20, 60);
    TServiceLog log(options.LogPath);
    TMinuteLoop loop(host, log, L"PC-HERE");
    TCodeKey stored, local, read;
    ASSERT_TRUE(NewSecret(stored.Secret));
    stored.PairedAt.dwLowDateTime = 20;
    ASSERT_EQ(ERROR_SUCCESS, WriteCodeKey(office, kStoreCodesKeyPath, stored));
    loop.Check();
    ASSERT_TRUE(ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, read));
    EXPECT_EQ(stored.Secret, read.Secret);
    EXPECT_TRUE(CodeKeyIsPrivate(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath));
    // A code works once on all computers of the store: one used on this computer is refused on
    // another (this computer's own record of used codes forgotten), and one used there here.
    TAskMessage code;
    ASSERT_TRUE(ParseAskMessage(CodeNow(stored.Secret), code));
    EXPECT_EQ(TAskRefusal::None, loop.HandleAsk(L"anna", code).Refusal);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kCodeUseKeyPath);
    EXPECT_EQ(TAskRefusal::WrongCode, loop.HandleAsk(L"anna", code).Refusal);
    ASSERT_EQ(ERROR_SUCCESS, RemoveCodeKey(office, kStoreCodesKeyPath));
    loop.Check();
    EXPECT_FALSE(ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, read));
    // Paired here alone, and newer than an older key of the store: it stays.
    ASSERT_TRUE(NewSecret(local.Secret));
    local.PairedAt.dwLowDateTime = 30;
    ASSERT_EQ(ERROR_SUCCESS, WriteCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, local));
    loop.Check();
    ASSERT_TRUE(ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, read));
    EXPECT_EQ(local.Secret, read.Secret);
    ASSERT_EQ(ERROR_SUCCESS, WriteCodeKey(office, kStoreCodesKeyPath, stored));
    loop.Check();
    ASSERT_TRUE(ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, read));
    EXPECT_EQ(local.Secret, read.Secret);
    RegCloseKey(office);
    Begin(); // for TearDown
}

// Wrong codes counted on this computer while the network store was away, or would not take
// them, still count when the store answers again: going offline never unlocks code entry.
TEST_F(AskServerTest, WrongCodesCountedWhileTheStoreIsAwayStillCount) {
    End();
    HKEY office = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOfficeRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &office, nullptr);
    auto away = std::make_shared<bool>(false);
    SetRemoteRegistrySeam([away](const std::wstring& computer, HKEY* root) -> LONG {
        if (computer != L"\\\\OFFICE" || *away)
            return ERROR_BAD_NETPATH;
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOfficeRoot, 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, root, nullptr);
    });
    WritePrefs(true, L"\\\\OFFICE", false, false);
    WriteUser(office, L"anna", true, 8, 20, 60);
    TCodeKey key;
    ASSERT_TRUE(NewSecret(key.Secret));
    key.MostMinutes = 25;
    key.PairedAt.dwLowDateTime = 1;
    ASSERT_EQ(ERROR_SUCCESS, WriteCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, key));
    TServiceLog log(options.LogPath);
    TMinuteLoop loop(host, log, L"PC-HERE");
    loop.Check();
    const auto say = [&loop](const std::string& text) {
        TAskMessage message;
        EXPECT_TRUE(ParseAskMessage(text, message));
        return FormatAskAnswer(loop.HandleAsk(L"anna", message));
    };
    std::string wrong = "CODE 000000";
    for (int candidate = 1; wrong == CodeNow(key.Secret, -1) || wrong == CodeNow(key.Secret) ||
                            wrong == CodeNow(key.Secret, 1);
         ++candidate)
        wrong = "CODE 00000" + std::to_string(candidate);
    EXPECT_EQ("OK", say("ASK 20 film")); // kept in the store and here alike
    *away = true;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ("NO wrong-code", say(wrong));
    EXPECT_EQ("NO locked 15", say(CodeNow(key.Secret)));
    *away = false;
    EXPECT_EQ("NO locked 15", say(CodeNow(key.Secret)));
    // The store's copy learns of them with the next writing.
    At(12, 20);
    EXPECT_EQ("NO wrong-code", say(wrong));
    TTimeRequest stored;
    ASSERT_TRUE(ReadTimeRequest(office, L"anna", stored));
    EXPECT_EQ(4, stored.WrongCodes);
    RegCloseKey(office);
    Begin(); // for TearDown
}

} // namespace
} // namespace vantrel
