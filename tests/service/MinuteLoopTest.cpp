#include "service/MinuteLoop.h"

#include "model/ProgramInfo.h"
#include "model/ProgramRules.h"
#include "model/ProgramUsage.h"
#include "model/UserFigures.h"
#include "model/UserStore.h"
#include "win/Handle.h"

#include "ServiceTestSupport.h"
#include "TestPrograms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>

#include <aclapi.h>
#include <lmcons.h>
#include <sddl.h>

namespace vantrel {
namespace {

using namespace vantrel::testing;

const wchar_t kHere[] = L"PC-HERE";
const wchar_t kOfficeRoot[] = L"SOFTWARE\\VantrelSvcTest\\OFFICE";
const std::wstring kWarn10 = L"You have 10 minutes left before your time limit ends for today.";
const std::wstring kWarn5 = L"You have 5 minutes left before your time limit ends for today.";
const std::wstring kWarn1 = L"You have 1 minutes left before your time limit ends for today.";

// Wednesday 10 June 2026, weekday 3, day of the year 161, unless a test moves the clock.
class MinuteLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        CleanStore();
        At(12, 0);
        SetClockSeam([this] { return now; });
        SetMonotonicSeam([this] { return MsOf(now); });
        // The network computer "\\OFFICE" is a key of this registry while officeUp; while
        // stalled it answers only when released (or after 10 s).
        SetRemoteRegistrySeam([this](const std::wstring& computer, HKEY* root) -> LONG {
            ++connections;
            if (stalled)
                WaitForSingleObject(release.Get(), 10000);
            if (computer != L"\\\\OFFICE" || !officeUp)
                return ERROR_BAD_NETPATH;
            return RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOfficeRoot, 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, root, nullptr);
        });
        logPath = TempPath(UniqueName(L"Log") + L".log");
        log = std::make_unique<TServiceLog>(logPath);
        WritePrefs(false, L"", false, false);
    }
    void TearDown() override {
        SetEvent(release.Get());
        SetClockSeam(nullptr);
        SetMonotonicSeam(nullptr);
        SetRemoteRegistrySeam(nullptr);
        CleanStore();
        DeleteFileW(logPath.c_str());
    }
    void At(int hour, int minute, int second = 0) {
        now = Time(2026, 6, 10, 3, hour, minute, second);
    }
    std::unique_ptr<TMinuteLoop> NewLoop(const std::wstring& computer = kHere) {
        return std::make_unique<TMinuteLoop>(host, *log, computer);
    }
    static HKEY Office() {
        static HKEY root = nullptr;
        if (!root)
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOfficeRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &root, nullptr);
        return root;
    }
    std::string LogText() const { return ReadFileText(logPath); }
    static TUserFigures Figures(const std::wstring& user) {
        TUserFigures figures;
        EXPECT_TRUE(ReadUserFigures(user, figures)) << user;
        return figures;
    }
    static ULONGLONG MsOf(const SYSTEMTIME& t) {
        FILETIME file{};
        SystemTimeToFileTime(&t, &file);
        return ((static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime) / 10000;
    }

    SYSTEMTIME now{};
    std::atomic<bool> officeUp{true};
    std::atomic<bool> stalled{false};
    std::atomic<int> connections{0};
    THandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    TFakeSessionHost host;
    std::wstring logPath;
    std::unique_ptr<TServiceLog> log;
};

TEST_F(MinuteLoopTest, CountsOneMinuteAMinuteForEachMonitoredUserWithASession) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 600);
    WriteUser(HKEY_LOCAL_MACHINE, L"ben", false, 0, 24, 600);
    host.Add(1, L"anna");
    host.Add(2, L"ANNA"); // two sessions of one user, however spelt, make one minute a minute
    host.Add(3, L"ben");  // not monitored
    host.Add(4, L"carl"); // never saved by the program: not monitored
    WriteUser(HKEY_LOCAL_MACHINE, L"dora", true, 0, 24, 600);
    host.Add(6, L"dora", false); // switched away from: not counted
    WriteUser(HKEY_LOCAL_MACHINE, L"eve", true, 0, 24, 600);
    host.Add(7, L"eve", true, true); // its screen locked: not counted
    auto loop = NewLoop();
    loop->Tick();
    EXPECT_EQ(std::make_pair(1, 161), ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3));
    At(12, 1);
    loop->Tick();
    EXPECT_EQ(std::make_pair(2, 161), ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3));
    EXPECT_EQ(std::make_pair(-1, -1), ReadUsage(HKEY_LOCAL_MACHINE, L"ben", kHere, 3));
    EXPECT_EQ(std::make_pair(-1, -1), ReadUsage(HKEY_LOCAL_MACHINE, L"carl", kHere, 3));
    EXPECT_EQ(std::make_pair(-1, -1), ReadUsage(HKEY_LOCAL_MACHINE, L"dora", kHere, 3));
    EXPECT_EQ(std::make_pair(-1, -1), ReadUsage(HKEY_LOCAL_MACHINE, L"eve", kHere, 3));
    ASSERT_NE(nullptr, loop->User(L"anna"));
    EXPECT_EQ(2, loop->User(L"anna")->TodaysTimeUsage);
    EXPECT_EQ(598, loop->User(L"anna")->TimeRemaining());
    const TUserFigures anna = Figures(L"anna");
    EXPECT_EQ(std::make_tuple(true, 2, 598, 12 * 60 + 1 + 598, true, true),
              std::make_tuple(anna.Limited, anna.Used, anna.Left, anna.Until, anna.LogsOff,
                              anna.Clock24));
    FILETIME written{};
    SystemTimeToFileTime(&now, &written);
    EXPECT_EQ(0, CompareFileTime(&written, &anna.Written));
    EXPECT_FALSE(Figures(L"ben").Limited);
    // The program's own load sees the same figure.
    TQorUser seen;
    seen.Username = L"anna";
    LoadUser(seen, false, L"", L"ELSEWHERE");
    EXPECT_EQ(2, seen.TodaysTimeUsage);
    EXPECT_TRUE(host.Shown().empty());

    // Without sessions nothing counts; the minutes of today are continued, not restarted.
    host.Clear();
    loop->Tick();
    EXPECT_EQ(2, ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3).first);
    host.Add(5, L"anna");
    auto restarted = NewLoop();
    restarted->Tick();
    EXPECT_EQ(3, ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3).first);
}

// A program of the child's locks the screen, or switches user, at the moment of every count,
// which the figures key tells to the millisecond. Two hours from 12:00, second by second, with
// a limit of 110 minutes; the service looks every five seconds, and at once at every change
// where the system tells of it.
TEST_F(MinuteLoopTest, TheTimeInUseIsChargedHoweverTheScreenStandsAtTheCount) {
    const auto aroundTheCount = [](int, int second) { return second >= 2 && second <= 58; };
    struct {
        const char* what;
        bool (*usable)(int minute, int second);
        bool switchAway; // switched to another user instead of locked
        bool told;       // the system reports each lock and unlock
        int least, most; // minutes charged
        bool loggedOff;
    } cases[] = {
        // Unlocked 57 s of every minute, 114 of 120 minutes: blocked at 110, the minute of
        // grace is charged too.
        {"locked around each count, reported", aroundTheCount, false, true, 110, 111, true},
        {"locked around each count, unreported", aroundTheCount, false, false, 110, 111, true},
        {"switched away around each count", aroundTheCount, true, false, 110, 111, true},
        {"locked every other whole minute", [](int minute, int) { return minute % 2 == 0; }, false,
         false, 60, 61, false},
        {"unlocked 40 s of every minute",
         [](int, int second) { return second >= 10 && second < 50; }, false, true, 79, 80, false},
    };
    for (const auto& c : cases) {
        CleanStore();
        WritePrefs(false, L"", false, false);
        WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 110);
        host.Clear();
        host.Forget();
        auto loop = NewLoop();
        int shown = -1;
        for (int t = 0; t <= 120 * 60 && host.LoggedOff().empty(); ++t) {
            now = Time(2026, 6, 10, 3, 12 + t / 3600, t / 60 % 60, t % 60);
            const int usable = c.usable(t / 60, t % 60) ? 1 : 0;
            if (usable != shown) {
                host.Clear();
                host.Add(1, L"anna", usable || !c.switchAway, !usable && !c.switchAway);
                shown = usable;
                if (c.told)
                    loop->Look();
            }
            if (t % 60 == 0)
                loop->Tick();
            else if (t % 5 == 3)
                loop->Look();
        }
        const int used = loop->User(L"anna")->TodaysTimeUsage;
        EXPECT_GE(used, c.least) << c.what;
        EXPECT_LE(used, c.most) << c.what;
        EXPECT_EQ(c.loggedOff, !host.LoggedOff().empty()) << c.what;
    }
}

TEST_F(MinuteLoopTest, MidnightAndANewWeekStartTheDayAtZero) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60);
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3, 161, 40);
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 4, 155, 59); // last Thursday's, nearly full
    host.Add(1, L"anna");
    auto loop = NewLoop();
    At(23, 59);
    loop->Tick();
    EXPECT_EQ(std::make_pair(41, 161), ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3));

    now = Time(2026, 6, 11, 4, 0, 0); // Thursday, day 162
    loop->Tick();
    EXPECT_EQ(std::make_pair(1, 162), ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 4));
    EXPECT_EQ(std::make_pair(41, 161), ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3));
    EXPECT_EQ(59, loop->User(L"anna")->TimeRemaining());

    now = Time(2026, 6, 17, 3, 9, 0); // next Wednesday, day 168: last week's 41 do not count
    loop->Tick();
    EXPECT_EQ(std::make_pair(1, 168), ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3));
    EXPECT_EQ(59, loop->User(L"anna")->TimeRemaining());
    EXPECT_TRUE(host.Shown().empty());
}

TEST_F(MinuteLoopTest, OnlyTodaysBonusCounts) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60, 30, 160); // yesterday's bonus
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3, 161, 59);
    host.Add(1, L"anna");
    auto loop = NewLoop();
    loop->Tick();
    EXPECT_EQ(0, loop->User(L"anna")->TimeRemaining());
    EXPECT_EQ(std::vector<std::wstring>{L"Time is up."}, host.ShownTexts());
    EXPECT_EQ(TFiguresState::OverLimit, Figures(L"anna").State);

    host.Forget();
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60, 30, 161); // the same bonus, today
    loop->SettingsChanged();
    EXPECT_EQ(30, loop->User(L"anna")->TimeRemaining());
    EXPECT_EQ(std::make_pair(30, 30),
              std::make_pair(Figures(L"anna").Bonus, Figures(L"anna").Left));
    EXPECT_EQ(60, ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3).first);
    EXPECT_TRUE(host.Shown().empty());
    // A minute writes only what changed; a key taken away meanwhile is made again whole.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE,
                                           (std::wstring(kFiguresKeyPath) + L"\\anna").c_str()));
    At(12, 1);
    loop->Tick();
    EXPECT_TRUE(host.LoggedOff().empty());
    EXPECT_EQ(std::make_pair(30, 29),
              std::make_pair(Figures(L"anna").Bonus, Figures(L"anna").Left));
}

TEST_F(MinuteLoopTest, AllowedHoursAtTheirEdges) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 8, 20, 600);
    host.Add(1, L"anna");
    struct {
        int hour, minute;
        bool allowed;
    } cases[] = {{7, 59, false}, {8, 0, true}, {19, 59, true}, {20, 0, false}, {0, 0, false}};
    for (auto c : cases) {
        host.Forget();
        At(c.hour, c.minute);
        auto loop = NewLoop();
        loop->Tick();
        const auto texts = host.ShownTexts();
        const bool told = std::find(texts.begin(), texts.end(), L"Not now.") != texts.end();
        EXPECT_EQ(!c.allowed, told) << c.hour << ":" << c.minute;
    }
    // Hours 0 to 24 allow the whole day.
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 600);
    for (int hour : {0, 23}) {
        host.Forget();
        At(hour, hour == 0 ? 0 : 59);
        NewLoop()->Tick();
        EXPECT_TRUE(host.Shown().empty()) << hour;
    }
}

TEST_F(MinuteLoopTest, TheThreeWarningsComeOnceEachAndAgainAfterMoreTime) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60);
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3, 161, 48);
    host.Add(7, L"anna");
    auto loop = NewLoop();
    for (int minute = 0; minute < 12; ++minute) {
        At(12, minute);
        loop->Tick(); // 11, 10, ... 1, 0 minutes left
    }
    const std::vector<std::wstring> expected = {kWarn10, kWarn5, kWarn1, L"Time is up."};
    EXPECT_EQ(expected, host.ShownTexts());
    EXPECT_EQ(7u, host.Shown()[0].Session);
    EXPECT_EQ(1, CountOf(LogText(), "Warning to anna (session 7): You have 5 minutes left"));
    const TUserFigures warned = Figures(L"anna");
    EXPECT_EQ(kWarn1, warned.Warning);

    // Twenty more minutes of bonus: the warnings come again as they run down.
    host.Forget();
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60, 20, 161);
    loop->SettingsChanged();
    for (int minute = 12; minute < 22; ++minute) {
        At(12, minute);
        loop->Tick(); // 19 .. 10 left after each minute
    }
    EXPECT_EQ(std::vector<std::wstring>{kWarn10}, host.ShownTexts());
    EXPECT_EQ(kWarn10, Figures(L"anna").Warning);
    EXPECT_GT(Figures(L"anna").WarningSerial, warned.WarningSerial);

    // A jump past two of them (another computer's minutes) gives one warning with the minutes.
    host.Forget();
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", L"PC-OTHER", 3, 161, 6);
    At(12, 22);
    loop->Tick(); // 10 - 1 - 6 = 3 left
    EXPECT_EQ(
        std::vector<std::wstring>{
            L"You have 3 minutes left before your time limit ends for today."},
        host.ShownTexts());
    At(12, 23);
    loop->Tick(); // 2 left: the 5 and 10 warnings were given with it
    EXPECT_EQ(1u, host.Shown().size());
}

TEST_F(MinuteLoopTest, OnlySystemAndTheAdministratorsMayChangeAUsersFigures) {
    wchar_t me[UNLEN + 1] = {};
    DWORD size = ARRAYSIZE(me);
    GetUserNameW(me, &size);
    BYTE account[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, account, sizeof(account), &size));
    CloseHandle(token);
    host.Add(1, L"anna"); // no account here: the computer's Users read her figures
    host.Add(2, me);
    NewLoop()->Tick();
    for (const std::wstring& user : {std::wstring(L"anna"), std::wstring(me)}) {
        const std::wstring key = L"MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QORsvc\\Figures\\";
        PSECURITY_DESCRIPTOR security = nullptr;
        PACL acl = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, GetNamedSecurityInfoW((key + user).c_str(), SE_REGISTRY_KEY,
                                                       DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                                       &acl, nullptr, &security));
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        GetSecurityDescriptorControl(security, &control, &size);
        EXPECT_TRUE(control & SE_DACL_PROTECTED) << user;
        // Anyone but SYSTEM and the Administrators may only read, and only the reader does.
        int readers = 0;
        for (DWORD i = 0; i < acl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            GetAce(acl, i, reinterpret_cast<void**>(&ace));
            PSID sid = &ace->SidStart;
            if (IsWellKnownSid(sid, WinLocalSystemSid) ||
                IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
                continue;
            EXPECT_TRUE(user == me ? EqualSid(sid, reinterpret_cast<TOKEN_USER*>(account)->User.Sid)
                                   : IsWellKnownSid(sid, WinBuiltinUsersSid))
                << user;
            EXPECT_EQ(KEY_READ, ace->Mask) << user;
            ++readers;
        }
        EXPECT_EQ(1, readers) << user;
        LocalFree(security);
    }
}

TEST_F(MinuteLoopTest, TheEndOfTheAllowedHoursIsWarnedOfToo) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 8, 20, 600);
    host.Add(1, L"anna");
    auto loop = NewLoop();
    At(19, 49);
    loop->Tick();
    EXPECT_TRUE(host.Shown().empty());
    At(19, 50);
    loop->Tick();
    EXPECT_EQ(std::vector<std::wstring>{kWarn10}, host.ShownTexts());
}

TEST_F(MinuteLoopTest, TheWarningTextIsNeverUsedAsAFormat) {
    WritePrefs(false, L"", false, false, L"%s%s%s%n %d minutes");
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60);
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3, 161, 49);
    host.Add(1, L"anna");
    NewLoop()->Tick();
    EXPECT_EQ(std::vector<std::wstring>{L"%s%s%s%n %d minutes"}, host.ShownTexts());
}

TEST_F(MinuteLoopTest, TheWarningTextMayHoldPercentSigns) {
    WritePrefs(false, L"", false, false, L"%d minutes, 100%%");
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60);
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3, 161, 49);
    host.Add(1, L"anna");
    NewLoop()->Tick();
    EXPECT_EQ(std::vector<std::wstring>{L"10 minutes, 100%"}, host.ShownTexts());
}

TEST_F(MinuteLoopTest, ABlockedUserIsLoggedOffWithinTwoMinutesOfTheMessageWhateverHisSessionsDo) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60);
    WriteUser(HKEY_LOCAL_MACHINE, L"ben", true, 0, 24, 600);
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3, 161, 60);
    using TStep = void (*)(TFakeSessionHost&);
    const TStep none = [](TFakeSessionHost&) {};
    const TStep away = [](TFakeSessionHost& h) { h.Clear(); }; // gone from the list meanwhile
    struct {
        const char* what;
        TStep beforeFirst, beforeSecond, beforeThird;
        int failures;
        size_t messages;
        bool restarts; // the service starts afresh before every minute (Windows restarted)
    } cases[] = {
        {"away and back, same id", none, away, [](TFakeSessionHost& h) { h.Add(1, L"anna"); }, 0, 1,
         false},
        {"back with a new id", none, away, [](TFakeSessionHost& h) { h.Add(2, L"anna"); }, 0, 2,
         false},
        {"back under another spelling", none, away, [](TFakeSessionHost& h) { h.Add(2, L"ANNA"); },
         0, 2, false},
        {"a failed log-off", none, none, none, 1, 1, false},
        {"a disconnected session", [](TFakeSessionHost& h) { h.Add(2, L"anna", false); }, none,
         none, 0, 1, false},
        {"a locked session", [](TFakeSessionHost& h) { h.Add(2, L"anna", true, true); }, none, none,
         0, 2, false},
        {"service restarted", none, none, none, 0, 2, true},
    };
    for (const auto& c : cases) {
        ForgetBlocks();
        host.Clear();
        host.Forget();
        host.Add(1, L"anna");
        host.Add(3, L"ben");
        host.FailLogoffs = c.failures;
        auto loop = NewLoop();
        const TStep steps[] = {c.beforeFirst, c.beforeSecond, c.beforeThird};
        for (int minute = 0; minute < 3; ++minute) {
            steps[minute](host);
            if (c.restarts)
                loop = NewLoop();
            At(12, minute);
            loop->Tick();
        }
        const auto left = host.Sessions();
        EXPECT_TRUE(std::none_of(left.begin(), left.end(), [](auto& s) {
            return _wcsicmp(s.Username.c_str(), L"anna") == 0;
        })) << c.what;
        EXPECT_EQ(c.messages, host.Shown().size()) << c.what;
    }
    EXPECT_EQ(1, CountOf(LogText(), "Could not log off anna (session 1"));
}

TEST_F(MinuteLoopTest, AFailingLogoffIsTriedEveryMinuteAndTheMessageRepeatsEveryTenMinutes) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60);
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3, 161, 60);
    host.LogoffWorks = false; // as under Wine
    host.Add(5, L"anna");
    auto loop = NewLoop();
    for (int minute = 0; minute <= 9; ++minute) {
        At(13, minute);
        loop->Tick();
    }
    EXPECT_EQ(std::vector<std::wstring>{L"Time is up."}, host.ShownTexts());
    EXPECT_EQ(std::vector<DWORD>(9, 5), host.LoggedOff());
    EXPECT_EQ(1, CountOf(LogText(), "Could not log off anna (session 5"));
    At(13, 10);
    loop->Tick();
    At(13, 10, 30);
    loop->Check();
    At(13, 11);
    loop->Tick();
    EXPECT_EQ(std::vector<std::wstring>(2, L"Time is up."), host.ShownTexts());
}

TEST_F(MinuteLoopTest, DoNotForceLogoffOnlyShowsTheMessage) {
    WritePrefs(false, L"", true, false);
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 13, 20, 600);
    host.Add(1, L"anna");
    auto loop = NewLoop();
    for (int minute = 0; minute <= 20; ++minute) {
        At(12, minute);
        loop->Tick();
    }
    EXPECT_TRUE(host.LoggedOff().empty());
    EXPECT_EQ(std::vector<std::wstring>(3, L"Not now."), host.ShownTexts()); // 12:00, :10, :20
    EXPECT_FALSE(Figures(L"anna").LogsOff);
    // Forcing again: the log-off follows at the next minute.
    WritePrefs(false, L"", false, false);
    At(12, 21);
    loop->Tick();
    EXPECT_EQ(std::vector<DWORD>{1}, host.LoggedOff());
}

TEST_F(MinuteLoopTest, AChangeBetweenMinutesIsHandledAtOnceAndTheLogoffWaitsAFullMinute) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 8, 20, 600);
    host.Add(1, L"anna");
    auto loop = NewLoop();
    loop->Tick();
    EXPECT_TRUE(host.Shown().empty());
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 13, 20, 600);
    At(12, 0, 30);
    loop->SettingsChanged();
    EXPECT_EQ(std::vector<std::wstring>{L"Not now."}, host.ShownTexts());
    EXPECT_EQ(1, ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3).first); // nothing counted
    EXPECT_EQ(1, CountOf(LogText(), "Settings and preferences read again"));
    At(12, 1);
    loop->Tick();
    EXPECT_TRUE(host.LoggedOff().empty());
    // The grace ends between minutes; the look that follows logs off, not the next minute.
    At(12, 1, 29);
    loop->Look();
    EXPECT_TRUE(host.LoggedOff().empty());
    At(12, 1, 31);
    loop->Look();
    EXPECT_EQ(std::vector<DWORD>{1}, host.LoggedOff());
    At(12, 2);
    loop->Tick();
    EXPECT_EQ(std::vector<DWORD>{1}, host.LoggedOff());
}

TEST_F(MinuteLoopTest, TwoComputersOfASharedStoreLimitTogether) {
    WritePrefs(true, L"\\\\OFFICE", false, false);
    WriteUser(Office(), L"anna", true, 0, 24, 60);
    WriteUsage(Office(), L"anna", L"PC-THIRD", 3, 161, 50);
    TFakeSessionHost hostB;
    host.Add(1, L"anna");
    hostB.Add(1, L"anna");
    auto loopA = NewLoop(L"PC-A");
    TMinuteLoop loopB(hostB, *log, L"PC-B");
    for (int minute = 0; minute < 5; ++minute) {
        At(12, minute);
        loopA->Tick();
        loopB.Tick();
    }
    EXPECT_EQ(5, ReadUsage(Office(), L"anna", L"PC-A", 3).first);
    EXPECT_EQ(5, ReadUsage(Office(), L"anna", L"PC-B", 3).first);
    EXPECT_EQ(5, ReadUsage(HKEY_LOCAL_MACHINE, L"anna", L"PC-A", 3).first); // and the copy
    EXPECT_EQ(60, loopB.User(L"anna")->TodaysTimeUsage);
    ASSERT_FALSE(hostB.ShownTexts().empty());
    EXPECT_EQ(L"Time is up.", hostB.ShownTexts().back());
    EXPECT_NE(L"Time is up.", host.ShownTexts().back());
    EXPECT_EQ(59, loopA->User(L"anna")->TodaysTimeUsage);
    At(12, 5);
    loopA->Tick();
    EXPECT_EQ(L"Time is up.", host.ShownTexts().back());
}

TEST_F(MinuteLoopTest, AnUnreachableStoreCountsLocallyWithTheSettingsLastRead) {
    WritePrefs(true, L"\\\\OFFICE", false, false);
    WriteUser(Office(), L"anna", true, 0, 24, 60);
    WriteUsage(Office(), L"anna", L"PC-OTHER", 3, 161, 20);
    host.Add(1, L"anna");
    auto loop = NewLoop();
    loop->Tick();
    EXPECT_EQ(1, ReadUsage(Office(), L"anna", kHere, 3).first);

    officeUp = false;
    WriteUser(Office(), L"anna", true, 0, 24, 10); // not seen while the store is away
    for (int minute = 1; minute <= 3; ++minute) {
        At(12, minute);
        loop->Tick();
    }
    EXPECT_TRUE(loop->StoreUnreachable());
    EXPECT_EQ(std::make_pair(4, 161), ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3));
    EXPECT_EQ(1, ReadUsage(Office(), L"anna", kHere, 3).first);
    EXPECT_EQ(24, loop->User(L"anna")->TodaysTimeUsage);
    EXPECT_EQ(36, loop->User(L"anna")->TimeRemaining());
    EXPECT_EQ(1, CountOf(LogText(), "Cannot reach the user store on \\\\OFFICE"));
    EXPECT_TRUE(host.Shown().empty());

    officeUp = true;
    At(12, 4);
    loop->Tick();
    EXPECT_FALSE(loop->StoreUnreachable());
    EXPECT_EQ(5, ReadUsage(Office(), L"anna", kHere, 3).first); // the minutes counted meanwhile
    EXPECT_EQ(1, CountOf(LogText(), "answers again"));
    EXPECT_EQ(25, loop->User(L"anna")->TodaysTimeUsage);
    EXPECT_EQ(L"Time is up.", host.ShownTexts().back()); // the new limit of 10 counts now
}

TEST_F(MinuteLoopTest, AStoreThatCannotBeWrittenCountsInThisComputersCopy) {
    WritePrefs(true, L"\\\\OFFICE", false, false);
    WriteUser(Office(), L"anna", true, 0, 24, 60);
    WriteUsage(Office(), L"anna", L"PC-OTHER", 3, 161, 20);
    host.Add(1, L"anna");
    // This computer's entry on the network store may be read but not written, as for a
    // machine account with read-only access. Wine checks a key's DACL when it is opened, not
    // the parent's access when a child is created, so the entry itself is made read-only.
    const std::wstring entry = L"System\\QOR\\Users\\anna\\Computers\\" + std::wstring(kHere);
    WriteUsage(Office(), L"anna", kHere, 3, 154, 7); // last week's
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(Office(), entry.c_str(), 0, WRITE_DAC, &key));
    const LONG rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly);
    RegCloseKey(key);
    LocalFree(readOnly);
    ASSERT_EQ(ERROR_SUCCESS, rc);
    auto loop = NewLoop();
    for (int minute = 0; minute < 3; ++minute) {
        At(12, minute);
        loop->Tick();
    }
    EXPECT_EQ(std::make_pair(7, 154), ReadUsage(Office(), L"anna", kHere, 3));
    EXPECT_EQ(std::make_pair(3, 161), ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3));
    EXPECT_EQ(23, loop->User(L"anna")->TodaysTimeUsage);
    EXPECT_FALSE(loop->StoreUnreachable()); // settings are still read from it
    EXPECT_EQ(1, CountOf(LogText(), "Cannot write the usage of anna to the user store on"));

    // A restart finds this computer's minutes in the local copy.
    loop = NewLoop();
    At(12, 3);
    loop->Tick();
    EXPECT_EQ(std::make_pair(4, 161), ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3));
    EXPECT_EQ(24, loop->User(L"anna")->TodaysTimeUsage);

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(Office(), entry.c_str())); // writable again
    At(12, 4);
    loop->Tick();
    EXPECT_EQ(std::make_pair(5, 161), ReadUsage(Office(), L"anna", kHere, 3));
    EXPECT_EQ(25, loop->User(L"anna")->TodaysTimeUsage);
    At(12, 5);
    loop->Tick();
    EXPECT_EQ(6, ReadUsage(Office(), L"anna", kHere, 3).first);
    EXPECT_EQ(26, loop->User(L"anna")->TodaysTimeUsage);
    EXPECT_EQ(2, CountOf(LogText(), "Cannot write the usage of anna"));
}

TEST_F(MinuteLoopTest, AStoreAwayFromTheStartUsesThisComputersCopyAndEndsNoSessionForIt) {
    WritePrefs(true, L"\\\\OFFICE", false, false);
    officeUp = false;
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60); // the local copy the program keeps
    host.Add(1, L"anna");
    host.Add(2, L"ben"); // no settings anywhere
    auto loop = NewLoop();
    for (int minute = 0; minute < 3; ++minute) {
        At(12, minute);
        loop->Tick();
    }
    EXPECT_EQ(3, ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3).first);
    EXPECT_EQ(57, loop->User(L"anna")->TimeRemaining());
    EXPECT_EQ(-1, ReadUsage(HKEY_LOCAL_MACHINE, L"ben", kHere, 3).first);
    EXPECT_TRUE(host.Shown().empty());
    EXPECT_TRUE(host.LoggedOff().empty());
    EXPECT_EQ(1, CountOf(LogText(), "Cannot reach the user store"));

    // The store answers, without an entry of this computer: the minutes counted meanwhile go
    // there, and the total holds them once.
    WriteUser(Office(), L"anna", true, 0, 24, 60);
    WriteUsage(Office(), L"anna", L"PC-OTHER", 3, 161, 20);
    officeUp = true;
    At(12, 3);
    loop->Tick();
    EXPECT_EQ(4, ReadUsage(Office(), L"anna", kHere, 3).first);
    EXPECT_EQ(24, loop->User(L"anna")->TodaysTimeUsage);
}

TEST_F(MinuteLoopTest, AStoreWithoutTheUsersSettingsNeverErasesTheLimit) {
    WritePrefs(true, L"\\\\OFFICE", false, false);
    // The settings are on this computer; the store answers without anna's key, and with a key
    // of ben that only usage made (as an older service's first minute did).
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 30);
    WriteUser(HKEY_LOCAL_MACHINE, L"ben", true, 0, 24, 30);
    WriteUsage(Office(), L"ben", L"PC-OTHER", 3, 161, 20);
    host.Add(1, L"anna");
    host.Add(2, L"ben");
    auto loop = NewLoop();
    for (int minute = 0; minute < 60; ++minute) {
        At(12, minute);
        loop->Tick();
    }
    for (const auto& [name, narrow] : {std::pair{L"anna", "anna"}, {L"ben", "ben"}}) {
        const TQorUser& user = *loop->User(name);
        EXPECT_TRUE(user.QorControl) << name;
        EXPECT_EQ(30, user.TodaysTimeLimit) << name;
        EXPECT_EQ(0, user.TimeRemaining()) << name;
        TQorUser copy;
        copy.Username = name;
        EXPECT_EQ(TStoredSettings::Whole, LoadUser(copy, HKEY_LOCAL_MACHINE, kHere, 3, 161, 2026))
            << name;
        EXPECT_EQ(std::make_tuple(true, 30, 0, 24),
                  std::make_tuple(copy.QorControl, copy.TimeLimitWed, copy.AllowBeginWed,
                                  copy.AllowEndWed))
            << name;
        TQorUser stored;
        stored.Username = name;
        EXPECT_FALSE(Enforceable(LoadUser(stored, Office(), kHere, 3, 161, 2026))) << name;
        EXPECT_EQ(1, CountOf(LogText(), std::string("holds no settings of ") + narrow)) << name;
    }
    EXPECT_EQ(-1, ReadUsage(Office(), L"anna", kHere, 3).first); // usage made no key
    // Ben's key held usage: the other computer's 20 minutes count, and this computer's go there.
    EXPECT_LE(10, ReadUsage(Office(), L"ben", kHere, 3).first);
    EXPECT_GE(12, ReadUsage(Office(), L"ben", kHere, 3).first);
    EXPECT_EQ((std::vector<DWORD>{2, 1}), host.LoggedOff());
}

TEST_F(MinuteLoopTest, AChangeSavedHereWhileTheStoreIsAwayIsEnforcedAndReachesIt) {
    WritePrefs(true, L"\\\\OFFICE", false, false);
    WriteUser(Office(), L"anna", true, 0, 24, 120);
    WriteUser(Office(), L"ben", true, 0, 24, 120);
    host.Add(1, L"anna");
    host.Add(2, L"ben");
    auto loop = NewLoop();
    loop->Tick();
    officeUp = false;
    At(12, 1);
    loop->Tick();
    // The parent cuts both limits to 10 minutes on this computer.
    for (const wchar_t* name : {L"anna", L"ben"}) {
        TQorUser user;
        user.Username = name;
        LoadUser(user, true, L"\\\\OFFICE");
        for (int d = 1; d <= 7; ++d)
            user.TimeLimit(d) = 10;
        EXPECT_FALSE(SaveUserSettings(user, SettingsSchedule, true, L"\\\\OFFICE"));
    }
    loop->SettingsChanged();
    EXPECT_EQ(10, loop->User(L"anna")->TodaysTimeLimit); // at once
    EXPECT_EQ(10, loop->User(L"ben")->TodaysTimeLimit);
    // Later another computer gives ben 45 minutes in the store, and anna a bonus: her
    // schedule was not changed there, and the cut made here still goes.
    At(12, 2);
    WriteUser(Office(), L"ben", true, 0, 24, 45);
    WriteUser(Office(), L"anna", true, 0, 24, 120, 15, 161);
    for (const auto& [name, stamp] : {std::make_pair(L"ben", L"ScheduleChangedAt"),
                                      std::make_pair(L"anna", L"BonusChangedAt")}) {
        FILETIME later{};
        SystemTimeToFileTime(&now, &later);
        TRegKey key;
        key.Open(Office(), std::wstring(L"System\\QOR\\Users\\") + name, KEY_SET_VALUE);
        key.WriteBinary(stamp, &later, sizeof(later));
        key.WriteBinary(L"ChangedAt", &later, sizeof(later));
    }
    At(12, 3);
    loop->Tick(); // still away: this computer's change holds
    EXPECT_EQ(10, loop->User(L"ben")->TodaysTimeLimit);

    officeUp = true;
    At(12, 4);
    loop->Tick();
    TQorUser anna, ben;
    anna.Username = L"anna";
    ben.Username = L"ben";
    LoadUser(anna, Office(), kHere, 3, 161, 2026);
    LoadUser(ben, Office(), kHere, 3, 161, 2026);
    EXPECT_EQ(std::make_pair(10, 45), std::make_pair(anna.TimeLimitWed, ben.TimeLimitWed));
    EXPECT_EQ(15, anna.BonusTime);
    EXPECT_EQ(10, loop->User(L"anna")->TodaysTimeLimit);
    EXPECT_EQ(45, loop->User(L"ben")->TodaysTimeLimit); // the newer change stays
    TQorUser benHere;
    benHere.Username = L"ben";
    LoadUser(benHere, HKEY_LOCAL_MACHINE, kHere, 3, 161, 2026);
    EXPECT_EQ(45, benHere.TimeLimitWed);
    TPendingChange pending;
    EXPECT_FALSE(ReadPendingChange(L"anna", pending));
    EXPECT_FALSE(ReadPendingChange(L"ben", pending));
    EXPECT_EQ(1, CountOf(LogText(), "change of the settings of anna saved on this computer"));
    EXPECT_EQ(1, CountOf(LogText(), "holds a newer one"));
}

TEST_F(MinuteLoopTest, AChangeSavedHereThatTheStoreCannotTakeIsEnforced) {
    WritePrefs(true, L"\\\\OFFICE", false, false);
    WriteUser(Office(), L"anna", true, 0, 24, 120);
    host.Add(1, L"anna");
    auto loop = NewLoop();
    loop->Tick();
    // The store answers and may be read, but the user's key may not be written (an account
    // with read-only access): the parent's cut to 10 minutes stays on this computer.
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
    HKEY raw = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(Office(), L"System\\QOR\\Users\\anna", 0, WRITE_DAC, &raw));
    TRegKey dac(raw);
    const LONG rc = RegSetKeySecurity(dac.Get(), DACL_SECURITY_INFORMATION, readOnly);
    LocalFree(readOnly);
    ASSERT_EQ(ERROR_SUCCESS, rc);
    TQorUser user;
    user.Username = L"anna";
    LoadUser(user, true, L"\\\\OFFICE");
    for (int d = 1; d <= 7; ++d)
        user.TimeLimit(d) = 10;
    EXPECT_FALSE(SaveUserSettings(user, SettingsSchedule, true, L"\\\\OFFICE"));
    TPendingChange pending;
    ASSERT_TRUE(ReadPendingChange(L"anna", pending));
    loop->SettingsChanged();
    EXPECT_EQ(10, loop->User(L"anna")->TodaysTimeLimit);
    for (int minute = 1; minute <= 3; ++minute) {
        At(12, minute);
        loop->Tick();
        EXPECT_EQ(10, loop->User(L"anna")->TodaysTimeLimit) << minute;
    }
    EXPECT_TRUE(ReadPendingChange(L"anna", pending)); // still to go there
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    RegSetKeySecurity(dac.Get(), DACL_SECURITY_INFORMATION, open);
    LocalFree(open);
}

TEST_F(MinuteLoopTest, ADayUsedUpWithTheStoreStaysUsedUpAfterARestartWithoutIt) {
    WritePrefs(true, L"\\\\OFFICE", false, false);
    struct {
        const wchar_t* user;
        bool oldLocalKey, sessionHere;
    } cases[] = {{L"anna", false, true}, {L"ben", true, true}, {L"carl", false, false}};
    for (const auto& c : cases) {
        officeUp = true;
        host.Clear();
        if (c.oldLocalKey)
            WriteUser(HKEY_LOCAL_MACHINE, c.user, true, 0, 24, 120);
        WriteUser(Office(), c.user, true, 0, 24, 30);
        WriteUsage(Office(), c.user, L"PC-OTHER", 3, 161, c.sessionHere ? 20 : 30);
        WriteUsage(Office(), c.user, kHere, 3, 161, 9);
        if (c.sessionHere)
            host.Add(1, c.user);
        NewLoop()->Tick(); // 30 of 30 minutes used
        officeUp = false;
        host.Clear();
        host.Forget();
        host.Add(2, c.user);
        At(12, 1);
        NewLoop()->Tick(); // restarted away from the network
        EXPECT_EQ(std::vector<std::wstring>{L"Time is up."}, host.ShownTexts()) << c.user;
    }
}

TEST_F(MinuteLoopTest, AnotherTimeZoneMovesNeitherTheDayNorTheAllowedHours) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 8, 20, 60);
    DYNAMIC_TIME_ZONE_INFORMATION zone{}; // the computer's, recorded when the service starts
    SetClockSeam([this, &zone] { return TClockReading{now, zone}; });
    // 2 h west, 13 h east, and 2 h west with the record damaged before (kept, not replaced)
    for (const auto& [bias, damaged] :
         {std::pair<long, bool>{120, false}, {-780, false}, {120, true}}) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Preferences");
        ForgetBlocks();
        WritePrefs(false, L"", false, false);
        WriteUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3, 161, 30);
        zone.Bias = 0;
        host.Clear();
        host.Forget();
        host.Add(1, L"anna");
        At(21, 0);
        auto loop = NewLoop();
        loop->Tick();
        zone.Bias = bias;
        if (damaged)
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Preferences", L"EnforcementTimeZone",
                            REG_BINARY, "x", 1);
        for (int minute = 1; minute <= 2; ++minute) {
            At(21, minute);
            loop->Tick();
        }
        EXPECT_EQ(std::vector<std::wstring>{L"Not now."}, host.ShownTexts()) << bias;
        EXPECT_EQ(std::vector<DWORD>{1}, host.LoggedOff()) << bias;
        EXPECT_EQ(std::make_pair(32, 161), ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3))
            << bias;
    }
    EXPECT_EQ(3, CountOf(LogText(), "This computer's time zone is now"));
    EXPECT_EQ(1, CountOf(LogText(), "recorded time zone of days and allowed hours cannot be read"));
}

TEST_F(MinuteLoopTest, TheStoreIsOpenedOnceAMinuteAndOneThatDoesNotAnswerInTimeStallsNothing) {
    WritePrefs(true, L"\\\\OFFICE", false, false);
    WriteUser(Office(), L"anna", true, 0, 24, 60);
    WriteUser(Office(), L"ben", true, 0, 24, 60);
    host.Add(1, L"anna");
    host.Add(2, L"ben");
    auto loop = NewLoop();
    loop->Tick();
    EXPECT_EQ(1, connections.load());
    stalled = true;
    At(12, 1);
    loop->Tick();
    EXPECT_TRUE(loop->StoreUnreachable());
    EXPECT_EQ(std::make_pair(2, 161), ReadUsage(HKEY_LOCAL_MACHINE, L"ben", kHere, 3));
    stalled = false;
    SetEvent(release.Get());
    At(12, 2);
    loop->Tick();
    EXPECT_FALSE(loop->StoreUnreachable());
    // The connection that came late was this minute's; the next minute's is asked for ahead.
    for (int i = 0; i < 500 && connections < 3; ++i)
        Sleep(10);
    EXPECT_EQ(3, connections.load());
    EXPECT_EQ(std::make_pair(3, 161), ReadUsage(Office(), L"ben", kHere, 3));
}

TEST_F(MinuteLoopTest, DamagedAndExtremeStoredValues) {
    host.Add(9, L"carl");
    // A limit stored as text is read as missing, never as a default: it gives no time.
    WriteUser(HKEY_LOCAL_MACHINE, L"carl", true, 0, 24, 300);
    {
        TRegKey key;
        key.Open(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users\\carl", KEY_ALL_ACCESS);
        key.WriteString(L"TimeLimitWed", L"300");
        key.Close();
    }
    auto loop = NewLoop();
    loop->Tick();
    EXPECT_EQ(0, loop->User(L"carl")->TimeRemaining());
    EXPECT_EQ(300, loop->User(L"carl")->TimeLimitThu);
    EXPECT_EQ(std::vector<std::wstring>{L"Time is up."}, host.ShownTexts());
    EXPECT_EQ(1, CountOf(LogText(), "Cannot read the settings of carl whole"));
    host.Clear();
    host.Forget();
    host.Add(1, L"anna");

    // This computer's minutes at the top of the range stay there instead of turning negative.
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 60);
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3, 161, INT_MAX);
    host.Forget();
    At(12, 1);
    auto full = NewLoop();
    full->Tick();
    EXPECT_EQ(INT_MAX, ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3).first);
    EXPECT_EQ(0, full->User(L"anna")->TimeRemaining());
    EXPECT_EQ(std::vector<std::wstring>{L"Time is up."}, host.ShownTexts());

    // A usage stored as text, a day of the year out of range: today starts at 0.
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users\\anna\\Computers");
    {
        TRegKey key;
        key.Create(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users\\anna\\Computers\\PC-HERE",
                   KEY_ALL_ACCESS);
        key.WriteString(L"TimeUsageWed", L"59");
        key.WriteInt(L"DayOfYearWed", 161);
    }
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", L"PC-ODD", 3, 400, 59);
    WriteUsage(HKEY_LOCAL_MACHINE, L"anna", L"PC-NEG", 3, 161, INT_MIN);
    host.Forget();
    auto fresh = NewLoop();
    fresh->Tick();
    EXPECT_EQ(1, ReadUsage(HKEY_LOCAL_MACHINE, L"anna", kHere, 3).first);
    EXPECT_EQ(INT_MIN + 1, fresh->User(L"anna")->TodaysTimeUsage);
    EXPECT_EQ(INT_MAX, fresh->User(L"anna")->TimeRemaining());
    EXPECT_TRUE(host.Shown().empty());

    // Limit and bonus at the top of the range add up in 64 bits.
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, INT_MAX, INT_MAX, 161);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users\\anna\\Computers");
    fresh->Tick();
    EXPECT_EQ(INT_MAX, fresh->User(L"anna")->TimeRemaining());
    EXPECT_TRUE(host.Shown().empty());

    // Hours that cannot be (begin after end, out of range) allow nothing.
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 30, -5, 600);
    fresh->Tick();
    EXPECT_EQ(std::vector<std::wstring>{L"Not now."}, host.ShownTexts());
}

TEST_F(MinuteLoopTest, MinuteDetailIsLoggedOnlyWithDebugLogging) {
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 600);
    host.Add(1, L"anna");
    auto loop = NewLoop();
    loop->Tick();
    EXPECT_EQ(0, CountOf(LogText(), "Minute of anna"));
    WritePrefs(false, L"", false, true);
    At(12, 1);
    loop->Tick();
    At(12, 2);
    loop->Tick();
    EXPECT_EQ(2, CountOf(LogText(), "Minute of anna"));
    EXPECT_EQ(1, CountOf(LogText(), "2026-06-10 12:02:00  Minute of anna: 3 used today (3 here)"));
}

// The users' keys in both stores, and what the service recorded of them.
void ForgetUsers(HKEY office) {
    RegDeleteTreeW(office, L"System\\QOR\\Users");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\QORsvc\\Figures");
    ForgetBlocks();
}

TProgramRule RuleFor(const TProgramInfo& program, bool blocked, int minutes) {
    TProgramRule rule;
    rule.Id = program.Id;
    rule.Name = program.Name;
    rule.Blocked = blocked;
    for (int& day : rule.Minutes)
        day = minutes;
    return rule;
}

// Programs with rules of their own, started for real on a network store: matched by what a
// renamed copy keeps, warned about as their minutes run out (those of another computer count),
// ended in the user's sessions at the minute and again at the next look when started again.
TEST_F(MinuteLoopTest, ProgramsAreWarnedAndEndedAsTheirRulesSay) {
    const std::wstring folder = TempPath(UniqueName(L"Games"));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring renamed = folder + L"\\homework.exe";
    const std::wstring plainCopy = folder + L"\\notes.exe";
    ASSERT_TRUE(CopyFileW(TestGameExe().c_str(), renamed.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(TestPlainExe().c_str(), plainCopy.c_str(), FALSE));
    TProgramInfo game, plain;
    ASSERT_TRUE(ReadProgramInfo(TestGameExe(), game));
    ASSERT_TRUE(ReadProgramInfo(TestPlainExe(), plain));
    const std::wstring name = game.Name;
    const std::wstring ended = name + L" was closed: its time for today is used up.";
    const std::wstring blocked = name + L" is not allowed on this computer.";
    const std::wstring oneMore = name + L" may be used for 1 more minute today.";
    struct {
        const char* what;
        std::wstring exe;
        TProgramRule rule;
        int elsewhere; // the program's minutes of today on another computer
        const wchar_t* owner;
        // Ended at the start ('s'), at the minute after ('m'), started again at the look after
        // that ('l'); the texts shown until the look, and whether it told again (a minute after
        // the last telling).
        std::string ends;
        std::vector<std::wstring> shown;
        bool toldAgain;
        int left; // in the figures after the minute; -1 not listed (not running then)
    } cases[] = {
        // clang-format off
        {"not allowed, renamed", renamed, RuleFor(game, true, 0), 0, L"anna", "sml",
         {blocked}, true, -1},
        {"one minute", TestGameExe(), RuleFor(game, false, 1), 0, L"anna", "ml",
         {oneMore, ended}, false, 0},
        {"three minutes, two used elsewhere", renamed, RuleFor(game, false, 3), 2, L"anna", "ml",
         {oneMore, ended}, false, 0},
        {"eleven minutes", TestGameExe(), RuleFor(game, false, 11), 0, L"anna", "",
         {name + L" may be used for 10 more minutes today."}, false, 10},
        {"another user's", TestGameExe(), RuleFor(game, true, 0), 0, L"ben", "", {}, false, -1},
        {"without version information", TestPlainExe(), RuleFor(plain, true, 0), 0, L"anna", "sml",
         {plain.Name + L" is not allowed on this computer."}, true, -1},
        // Known by its folder and name only: a copy elsewhere is another program.
        {"a copy of one without", plainCopy, RuleFor(plain, true, 0), 0, L"anna", "", {}, false,
         -1},
        // clang-format on
    };
    WritePrefs(true, L"\\\\OFFICE", false, false);
    for (const auto& c : cases) {
        ForgetUsers(Office());
        host.Clear();
        host.Forget();
        At(12, 0);
        WriteUser(Office(), L"anna", true, 0, 24, 600);
        ASSERT_EQ(ERROR_SUCCESS, WriteProgramRules(Office(), L"anna", {c.rule}));
        if (c.elsewhere > 0)
            WriteProgramUsage(Office(), L"anna", L"PC-OTHER", now,
                              {{game.Id, game.Name, c.elsewhere}});
        DWORD session = 0;
        ProcessIdToSessionId(GetCurrentProcessId(), &session);
        host.Add(session, L"anna");
        DWORD pid = 0;
        const std::wstring owner = c.owner;
        SetProcessOwnerSeam(
            [&pid, owner](DWORD asked) { return asked == pid ? owner : std::wstring(); });
        auto loop = NewLoop();
        loop->Check();
        // Started while the service runs: the look that first sees it ends or warns at once.
        TStartedProgram program;
        ASSERT_TRUE(program.Start(c.exe, L"/seconds 60")) << c.what;
        pid = program.Pid;
        loop->Look();
        const auto endedAt = [&](char when) {
            const bool expected = c.ends.find(when) != std::string::npos;
            return expected == program.WaitEnded(expected ? 5000 : 0);
        };
        EXPECT_TRUE(endedAt('s')) << c.what;
        At(12, 1);
        loop->Tick();
        EXPECT_TRUE(endedAt('m')) << c.what;
        EXPECT_EQ(c.shown, host.ShownTexts()) << c.what;
        const TUserFigures figures = Figures(L"anna");
        std::vector<TProgramLeft> left;
        if (c.left >= 0)
            left.push_back({c.rule.Name, c.left});
        EXPECT_EQ(left, figures.Programs) << c.what;
        // Started again: ended at the next look.
        ASSERT_TRUE(program.Start(c.exe, L"/seconds 60"));
        pid = program.Pid;
        loop->Look();
        EXPECT_TRUE(endedAt('l')) << c.what;
        EXPECT_EQ(c.shown.size() + (c.toldAgain ? 1 : 0), host.ShownTexts().size()) << c.what;
    }
    SetProcessOwnerSeam(nullptr);
    DeleteFileW(renamed.c_str());
    DeleteFileW(plainCopy.c_str());
    RemoveDirectoryW(folder.c_str());
}

// The rules of a user are kept here as well as in the network store: the newer save wins, and
// a store that lacks the user's settings takes none away. Here a rule that blocks the game.
TEST_F(MinuteLoopTest, ProgramRulesFollowTheNewerSaveAndAStoreWithoutTheUserTakesNoneAway) {
    TProgramInfo game;
    ASSERT_TRUE(ReadProgramInfo(TestGameExe(), game));
    const std::vector<TProgramRule> blocked{RuleFor(game, true, 0)}, none;
    const ULONGLONG earlier = 133000000000000000ULL, later = earlier + 600000000ULL;
    enum TSettings { NoKey, Partial, Whole };
    struct {
        const char* what;
        TSettings store;
        const std::vector<TProgramRule>* storeRules; // null: none saved there
        ULONGLONG storeAt;
        const std::vector<TProgramRule>* hereRules;
        ULONGLONG hereAt;
        bool ended;
        size_t storeAfter, hereAfter; // rules then; (size_t)-1: none saved
        ULONGLONG storeAtAfter, hereAtAfter;
    } cases[] = {
        {"no key for the user", NoKey, nullptr, 0, &blocked, earlier, true, size_t(-1), 1, 0,
         earlier},
        {"part of the settings, no rules", Partial, &none, later, &blocked, earlier, true, 0, 1,
         later, earlier},
        {"the store's newer", Whole, &blocked, later, &none, earlier, true, 1, 1, later, later},
        {"saved here while away", Whole, &none, earlier, &blocked, later, true, 1, 1, later, later},
        {"none any more in the store", Whole, &none, later, &blocked, earlier, false, 0, 0, later,
         later},
    };
    WritePrefs(true, L"\\\\OFFICE", false, false);
    for (const auto& c : cases) {
        ForgetUsers(Office());
        host.Clear();
        WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 600);
        ASSERT_EQ(ERROR_SUCCESS,
                  WriteProgramRules(HKEY_LOCAL_MACHINE, L"anna", *c.hereRules, c.hereAt));
        if (c.store != NoKey)
            WriteUser(Office(), L"anna", true, 0, 24, 600);
        if (c.store == Partial)
            RegDeleteKeyValueW(Office(), L"System\\QOR\\Users\\anna", L"TimeLimitWed");
        if (c.storeRules) {
            ASSERT_EQ(ERROR_SUCCESS,
                      WriteProgramRules(Office(), L"anna", *c.storeRules, c.storeAt));
        }
        TStartedProgram program;
        ASSERT_TRUE(program.Start(TestGameExe(), L"/seconds 60"));
        DWORD session = 0;
        ProcessIdToSessionId(program.Pid, &session);
        host.Add(session, L"anna");
        DWORD pid = program.Pid;
        SetProcessOwnerSeam([&pid](DWORD asked) { return asked == pid ? L"anna" : L""; });
        // The first logon since the service started: this computer's rules hold until the
        // first minute reads the store.
        auto loop = NewLoop();
        loop->Look();
        const bool here = c.hereRules == &blocked;
        EXPECT_EQ(here, program.WaitEnded(here ? 5000 : 0)) << c.what;
        if (here) {
            ASSERT_TRUE(program.Start(TestGameExe(), L"/seconds 60"));
            pid = program.Pid;
        }
        loop->Check();
        EXPECT_EQ(c.ended, program.WaitEnded(c.ended ? 5000 : 0)) << c.what;
        std::vector<TProgramRule> rules;
        ULONGLONG at = 0;
        const TStoredRules stored = ReadProgramRules(Office(), L"anna", rules, &at);
        EXPECT_EQ(c.storeAfter, stored == TStoredRules::Whole ? rules.size() : size_t(-1))
            << c.what;
        EXPECT_EQ(c.storeAtAfter, at) << c.what;
        at = 0;
        EXPECT_EQ(TStoredRules::Whole, ReadProgramRules(HKEY_LOCAL_MACHINE, L"anna", rules, &at));
        EXPECT_EQ(std::make_pair(c.hereAfter, c.hereAtAfter), std::make_pair(rules.size(), at))
            << c.what;
    }
    SetProcessOwnerSeam(nullptr);
}

// A user without a session here has the rules kept in step as well: the store's newer ones come
// here, for a logon while the store is away, and a change saved here while it was away goes
// there, though the user never logs on here.
TEST_F(MinuteLoopTest, ProgramRulesOfUsersWithoutASessionAreKeptInStep) {
    TProgramRule rule;
    rule.Id = L"v:game.exe|game|maker|";
    rule.Name = L"Game";
    rule.Blocked = true;
    const ULONGLONG earlier = 133000000000000000ULL, later = earlier + 600000000ULL;
    WritePrefs(true, L"\\\\OFFICE", false, false);
    ForgetUsers(Office());
    host.Clear();
    for (const wchar_t* name : {L"anna", L"ben"}) {
        WriteUser(Office(), name, true, 0, 24, 600);
        WriteUser(HKEY_LOCAL_MACHINE, name, true, 0, 24, 600);
    }
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramRules(Office(), L"anna", {rule}, later));
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramRules(HKEY_LOCAL_MACHINE, L"ben", {rule}, later));
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramRules(Office(), L"ben", {}, earlier));
    auto loop = NewLoop();
    loop->Check();
    struct {
        HKEY root;
        const wchar_t* name;
    } cases[] = {{HKEY_LOCAL_MACHINE, L"anna"}, {Office(), L"ben"}};
    for (const auto& c : cases) {
        std::vector<TProgramRule> rules;
        ULONGLONG at = 0;
        EXPECT_EQ(TStoredRules::Whole, ReadProgramRules(c.root, c.name, rules, &at)) << c.name;
        EXPECT_EQ(1u, rules.size()) << c.name;
        EXPECT_EQ(later, at) << c.name;
    }
}

} // namespace
} // namespace vantrel
