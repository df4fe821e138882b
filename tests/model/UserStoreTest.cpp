#include "accounts/Accounts.h"
#include "ModelTestSupport.h"
#include "model/Clock.h"
#include "model/QorUsers.h"
#include "model/Registry.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vantrel {
namespace {

// Wednesday 10 June 2026: weekday 3, day of the year 161.
constexpr int kToday = 161;
constexpr int kWeekday = 3;
const wchar_t kRemoteRoot[] = L"SOFTWARE\\VantrelTest\\Remote";
const wchar_t kRemoteName[] = L"\\\\OFFICE-PC";

class UserStore : public ::testing::Test {
protected:
    void SetUp() override {
        thisComputer = GetWorkstationName();
        ASSERT_FALSE(thisComputer.empty());
        SetClockSeam(TestWednesday);
        // The network computer is a separate key of this registry, reached through the seam.
        SetRemoteRegistrySeam([](const std::wstring& computer, HKEY* root) -> LONG {
            if (computer != kRemoteName)
                return ERROR_BAD_NETPATH;
            return RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                   (std::wstring(kRemoteRoot) + L"\\OFFICE-PC").c_str(), 0, nullptr,
                                   0, KEY_ALL_ACCESS, nullptr, root, nullptr);
        });
        SetAccountSourceSeam(nullptr);
        Clean();
    }
    void TearDown() override {
        Clean();
        SetClockSeam(nullptr);
        SetRemoteRegistrySeam(nullptr);
        SetAccountSourceSeam(nullptr);
    }
    static void Clean() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VantrelTest");
    }
    static HKEY RemoteRoot() {
        HKEY root = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kRemoteRoot) + L"\\OFFICE-PC").c_str(), 0,
                        nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr);
        return root;
    }
    static TRegKey UserKey(const std::wstring& name, HKEY root = HKEY_LOCAL_MACHINE) {
        TRegKey key;
        key.Create(root, L"System\\QOR\\Users\\" + name, KEY_ALL_ACCESS);
        return key;
    }
    static void Usage(const std::wstring& user, const std::wstring& computer, int weekday, int day,
                      int minutes, HKEY root = HKEY_LOCAL_MACHINE) {
        static const wchar_t* suffix[] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};
        TRegKey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  key.Create(root, L"System\\QOR\\Users\\" + user + L"\\Computers\\" + computer,
                             KEY_ALL_ACCESS));
        key.WriteInt((std::wstring(L"DayOfYear") + suffix[weekday - 1]).c_str(), day);
        key.WriteInt((std::wstring(L"TimeUsage") + suffix[weekday - 1]).c_str(), minutes);
    }
    std::wstring thisComputer;
};

TEST_F(UserStore, EmptyStoreLoadsFalseWithTheDefaultProfile) {
    TQorUser u;
    u.Username = L"anna";
    EXPECT_FALSE(LoadUser(u, false, L""));
    EXPECT_FALSE(u.QorControl);
    EXPECT_EQ(7, u.AllowBeginMon);
    EXPECT_EQ(60, u.TodaysTimeLimit); // Wednesday's default
    EXPECT_EQ(0, u.TodaysTimeUsage);
    EXPECT_EQ(20, u.TodaysAllowEnd);
}

TEST_F(UserStore, MissingAndWronglyTypedValuesReadAsMissing) {
    TRegKey key = UserKey(L"anna");
    key.WriteDword(L"QorControl", 5);
    key.WriteDword(L"AllowBeginMon", 9);
    TQorUser u;
    u.Username = L"anna";
    EXPECT_TRUE(LoadUser(u, false, L""));
    EXPECT_EQ(TLoadState::Incomplete, u.LoadState);
    EXPECT_TRUE(u.QorControl);
    // Half a period allows no hour; a missing limit gives no minute.
    EXPECT_EQ(std::make_tuple(0, 0, 0),
              std::make_tuple(u.AllowBeginMon, u.AllowEndMon, u.TimeLimitMon));

    TRegKey full = UserKey(L"ben");
    TQorUser all;
    all.Username = L"ben";
    all.SetDefaults(ProfileLenient, true);
    all.BonusTime = 45;
    all.BonusDayOfYear = kToday;
    all.BonusYear = 2026;
    ASSERT_TRUE(SaveUser(all, false, L""));
    full.WriteString(L"TimeLimitWed", L"300");
    TQorUser b;
    b.Username = L"ben";
    EXPECT_TRUE(LoadUser(b, false, L""));
    EXPECT_EQ(TLoadState::Incomplete, b.LoadState);
    EXPECT_EQ(120, b.TimeLimitMon);
    EXPECT_EQ(0, b.TimeLimitWed);
    EXPECT_EQ(240, b.TimeLimitFri);
    EXPECT_EQ(6, b.AllowBeginSun);
    EXPECT_EQ(45, b.TodaysBonusTime); // the values after it are read
    // A bonus the store no longer holds is no bonus, whatever the record held before.
    RegDeleteValueW(full.Get(), L"BonusDayOfYear");
    EXPECT_TRUE(LoadUser(b, false, L""));
    EXPECT_EQ(std::make_tuple(0, 0, 0),
              std::make_tuple(b.BonusTime, b.TodaysBonusTime, b.BonusYear));
    EXPECT_EQ(TLoadState::Incomplete, b.LoadState);
    TQorUser bonusAlone;
    bonusAlone.Username = L"ben";
    bonusAlone.BonusTime = 45;
    EXPECT_TRUE(LoadBonus(bonusAlone, false, L""));
    EXPECT_EQ(0, bonusAlone.BonusTime);

    // A key that only usage made holds no settings: a save of the bonus writes them all.
    Usage(L"carl", thisComputer, kWeekday, kToday, 5);
    TQorUser c;
    c.Username = L"carl";
    LoadUser(c, false, L"");
    EXPECT_EQ(TLoadState::NoKey, c.LoadState);
    c.QorControl = true;
    c.TimeLimitWed = 30;
    c.AdjustBonus(15, kToday, 2026);
    ASSERT_TRUE(SaveUserSettings(c, SettingsBonus, false, L""));
    TQorUser back;
    back.Username = L"carl";
    LoadUser(back, false, L"");
    EXPECT_EQ(TLoadState::Complete, back.LoadState);
    EXPECT_EQ(std::make_tuple(true, 30, 15, 2026),
              std::make_tuple(back.QorControl, back.TodaysTimeLimit, back.TodaysBonusTime,
                              back.BonusYear));
}

TEST_F(UserStore, SaveWritesEverySettingAsDwordAndNeverUsage) {
    TQorUser u;
    u.Username = L"carla";
    u.QorControl = true;
    u.AllowBeginThu = 10;
    u.AllowEndThu = 24;
    u.TimeLimitSat = 480;
    u.BonusTime = -30;
    u.BonusDayOfYear = kToday;
    u.LocalTimeUsageWed = 99;
    ASSERT_TRUE(SaveUser(u, false, L""));

    TRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users\\carla", KEY_READ));
    DWORD value = 0;
    ASSERT_EQ(ERROR_SUCCESS, key.ReadDword(L"QorControl", value));
    EXPECT_EQ(1u, value);
    ASSERT_EQ(ERROR_SUCCESS, key.ReadDword(L"BonusTime", value));
    EXPECT_EQ(static_cast<DWORD>(-30), value);
    std::vector<std::wstring> subkeys{L"stale"};
    EXPECT_EQ(ERROR_SUCCESS, key.SubkeyNames(subkeys));
    EXPECT_TRUE(subkeys.empty());

    TQorUser back;
    back.Username = L"carla";
    ASSERT_TRUE(LoadUser(back, false, L""));
    EXPECT_TRUE(back.QorControl);
    EXPECT_EQ(10, back.AllowBeginThu);
    EXPECT_EQ(24, back.AllowEndThu);
    EXPECT_EQ(480, back.TimeLimitSat);
    EXPECT_EQ(-30, back.TodaysBonusTime);
}

TEST_F(UserStore, TodaysUsageSumsComputersOfTodayOnly) {
    UserKey(L"anna").WriteDword(L"QorControl", 1);
    Usage(L"anna", L"PC1", kWeekday, kToday, 30);
    Usage(L"anna", L"PC2", kWeekday, kToday, 45);
    Usage(L"anna", L"PC3", kWeekday, kToday - 7, 200); // last week's Wednesday
    Usage(L"anna", L"PC4", kWeekday + 1, kToday, 500); // another weekday's family
    TQorUser u;
    u.Username = L"anna";
    ASSERT_TRUE(LoadUser(u, false, L""));
    EXPECT_EQ(75, u.TodaysTimeUsage);
    EXPECT_EQ(75, u.TotalTimeUsageWed);
    EXPECT_EQ(0, u.TotalTimeUsageThu);

    // Reloading starts the totals afresh.
    ASSERT_TRUE(LoadUser(u, false, L""));
    EXPECT_EQ(75, u.TodaysTimeUsage);
}

TEST_F(UserStore, ThisComputersUsageNeverDecreasesWhileTheRecordLives) {
    UserKey(L"anna");
    Usage(L"anna", thisComputer, kWeekday, kToday, 50);
    Usage(L"anna", L"OTHER", kWeekday, kToday, 10);
    TQorUser u;
    u.Username = L"anna";
    u.LocalTimeUsageWed = 70;
    u.LocalDayOfYearWed = kToday;
    ASSERT_TRUE(LoadUser(u, false, L""));
    EXPECT_EQ(80, u.TodaysTimeUsage);
    EXPECT_EQ(70, u.LocalTimeUsageWed);
}

TEST_F(UserStore, LastWeeksCountNeverCountsForToday) {
    // Eight days from Monday 7 December 2026 (day 341) to the next Monday (day 348), with the
    // collection loaded in place every day as a program left open for a week would.
    SYSTEMTIME today{};
    today.wYear = 2026;
    today.wMonth = 12;
    today.wHour = 9;
    SetClockSeam([&] { return today; });
    SetAccountSourceSeam([] { return std::vector<std::wstring>{L"anna"}; });
    TQorUser settings; // the Default profile: 60 minutes on Monday
    settings.Username = L"anna";
    settings.QorControl = true;
    ASSERT_TRUE(SaveUser(settings, false, L""));
    TQorUsers users;

    for (int day = 7; day <= 13; ++day) {
        today.wDay = static_cast<WORD>(day);
        today.wDayOfWeek = static_cast<WORD>((day - 7 + 1) % 7);
        const int weekday = day - 6;
        const int dayOfYear = 334 + day;
        Usage(L"anna", thisComputer, weekday, dayOfYear, weekday == 1 ? 120 : 30);
        EXPECT_TRUE(users.LoadAll(false, L""));
        TQorUser& anna = users.Items(0);
        EXPECT_EQ(weekday == 1 ? 120 : 30, anna.TodaysTimeUsage) << "day " << dayOfYear;
        EXPECT_EQ(weekday == 1 ? 120 : 30, anna.LocalTimeUsage(weekday));
        EXPECT_EQ(dayOfYear, anna.LocalDayOfYear(weekday));
        if (weekday == 1) {
            // Later that Monday a stale copy in the store cannot lower the count.
            Usage(L"anna", thisComputer, 1, dayOfYear, 100);
            EXPECT_TRUE(users.LoadAll(false, L""));
            EXPECT_EQ(120, users.Items(0).TodaysTimeUsage);
        }
    }

    // The next Monday: the service has not yet written today's minutes, so the store still
    // holds last Monday's 100 and the program's own count last Monday's 120.
    today.wDay = 14;
    today.wDayOfWeek = 1;
    EXPECT_TRUE(users.LoadAll(false, L""));
    EXPECT_EQ(0, users.Items(0).TodaysTimeUsage);
    EXPECT_EQ(60, users.Items(0).TimeRemaining());

    Usage(L"anna", thisComputer, 1, 348, 10);
    Usage(L"anna", L"LAPTOP", 1, 348, 5);
    EXPECT_TRUE(users.LoadAll(false, L""));
    TQorUser& anna = users.Items(0);
    EXPECT_EQ(15, anna.TodaysTimeUsage);
    EXPECT_EQ(10, anna.LocalTimeUsageMon);
    EXPECT_EQ(348, anna.LocalDayOfYearMon);
    EXPECT_EQ(45, anna.TimeRemaining());

    // A single record loaded on its own follows the same rule.
    TQorUser single;
    single.Username = L"anna";
    single.LocalTimeUsageMon = 120;
    single.LocalDayOfYearMon = 341;
    ASSERT_TRUE(LoadUser(single, false, L""));
    EXPECT_EQ(15, single.TodaysTimeUsage);
    EXPECT_EQ(10, single.LocalTimeUsageMon);
}

TEST_F(UserStore, UnreachableRemoteFallsBackToLocalAndReportsFalse) {
    SetRemoteRegistrySeam(nullptr); // the real remote-registry call, to a name that does not exist
    TRegKey key = UserKey(L"anna");
    key.WriteDword(L"QorControl", 1);
    TQorUser u;
    u.Username = L"anna";
    EXPECT_FALSE(LoadUser(u, true, L"\\\\NO-SUCH-COMPUTER-4711"));
    EXPECT_TRUE(u.QorControl);

    u.TimeLimitWed = 200;
    EXPECT_FALSE(SaveUser(u, true, L"\\\\NO-SUCH-COMPUTER-4711"));
    TQorUser back;
    back.Username = L"anna";
    ASSERT_TRUE(LoadUser(back, false, L""));
    EXPECT_EQ(200, back.TimeLimitWed);

    std::vector<std::wstring> list{L"stale"};
    EXPECT_FALSE(ReadUsagePerComputer(u, true, L"\\\\NO-SUCH-COMPUTER-4711", list, 3, kToday));
    EXPECT_TRUE(list.empty());
}

TEST_F(UserStore, RemoteLoadReadsLocalThenRemote) {
    HKEY remote = RemoteRoot();
    TQorUser settings;
    settings.Username = L"anna";
    settings.QorControl = true;
    settings.TimeLimitWed = 90;
    ASSERT_TRUE(SaveUser(settings, false, L""));
    Usage(L"anna", thisComputer, kWeekday, kToday, 40);

    TRegKey remoteUser = UserKey(L"anna", remote);
    remoteUser.WriteDword(L"QorControl", 1);
    remoteUser.WriteDword(L"AllowBeginMon", 8);
    remoteUser.WriteDword(L"AllowEndMon", 20);
    Usage(L"anna", thisComputer, kWeekday, kToday, 25, remote);
    Usage(L"anna", L"LAPTOP", kWeekday, kToday, 15, remote);

    TQorUser u;
    u.Username = L"anna";
    EXPECT_TRUE(LoadUser(u, true, kRemoteName));
    // The remote key read in part: this computer's copy, as the service enforces it, and the
    // record is not one to save back whole.
    EXPECT_EQ(7, u.AllowBeginMon);
    EXPECT_EQ(90, u.TimeLimitWed);
    EXPECT_EQ(TLoadState::Incomplete, u.LoadState);
    // This computer counts with the larger of the local (40) and the remote (25) value.
    EXPECT_EQ(55, u.TodaysTimeUsage);
    EXPECT_EQ(40, u.LocalTimeUsageWed);
    // The main window's rows read again show the same.
    SetAccountSourceSeam([] { return std::vector<std::wstring>{L"anna"}; });
    TQorUsers users;
    users.LoadAll(true, kRemoteName);
    EXPECT_TRUE(users.ReloadShown(true, kRemoteName));
    EXPECT_EQ(std::make_tuple(7, 90, 90, 55),
              std::make_tuple(users.Items(0).AllowBeginMon, users.Items(0).TimeLimitWed,
                              users.Items(0).TodaysTimeLimit, users.Items(0).TodaysTimeUsage));
    EXPECT_EQ(TLoadState::Incomplete, users.Items(0).LoadState);

    // A remote store without the user: false, local settings, no usage.
    TQorUser other;
    other.Username = L"ben";
    TQorUser localBen;
    localBen.Username = L"ben";
    localBen.TimeLimitWed = 33;
    ASSERT_TRUE(SaveUser(localBen, false, L""));
    Usage(L"ben", L"DESK", kWeekday, kToday, 12);
    EXPECT_FALSE(LoadUser(other, true, kRemoteName));
    EXPECT_EQ(33, other.TodaysTimeLimit);
    EXPECT_EQ(0, other.TodaysTimeUsage);
    RegCloseKey(remote);
}

TEST_F(UserStore, RemoteSaveWritesBothRegistries) {
    TQorUser u;
    u.Username = L"anna";
    u.TimeLimitMon = 150;
    ASSERT_TRUE(SaveUser(u, true, kRemoteName));
    HKEY remote = RemoteRoot();
    for (HKEY root : {HKEY_LOCAL_MACHINE, remote}) {
        TRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Open(root, L"System\\QOR\\Users\\anna", KEY_READ));
        int limit = 0;
        EXPECT_EQ(ERROR_SUCCESS, key.ReadInt(L"TimeLimitMon", limit));
        EXPECT_EQ(150, limit);
    }
    RegCloseKey(remote);
}

TEST_F(UserStore, UsagePerComputerListsMinutesOfThatDay) {
    UserKey(L"anna");
    Usage(L"anna", L"PC1", kWeekday, kToday, 45);
    Usage(L"anna", L"PC2", kWeekday, kToday, 0);
    Usage(L"anna", L"PC3", kWeekday, kToday - 7, 20);
    Usage(L"anna", L"PC4", kWeekday, kToday, -5);
    TQorUser u;
    u.Username = L"anna";
    std::vector<std::wstring> list{L"old"};
    EXPECT_TRUE(ReadUsagePerComputer(u, false, L"", list, kWeekday, kToday));
    EXPECT_EQ(std::vector<std::wstring>{L"PC1=45"}, list);
    EXPECT_TRUE(ReadUsagePerComputer(u, false, L"", list, kWeekday, kToday - 7));
    EXPECT_EQ(std::vector<std::wstring>{L"PC3=20"}, list);

    HKEY remote = RemoteRoot();
    Usage(L"anna", L"FAR", kWeekday, kToday, 7, remote);
    EXPECT_TRUE(ReadUsagePerComputer(u, true, kRemoteName, list, kWeekday, kToday));
    EXPECT_EQ(std::vector<std::wstring>{L"FAR=7"}, list);
    RegCloseKey(remote);

    TQorUser nobody;
    nobody.Username = L"nobody";
    EXPECT_TRUE(ReadUsagePerComputer(nobody, false, L"", list, kWeekday, kToday));
    EXPECT_TRUE(list.empty());
}

TEST_F(UserStore, NonAsciiNamesReachTheirOwnKeys) {
    const std::wstring names[] = {L"Łukasz", L"山田", L"Zoë"};
    for (const auto& name : names) {
        TQorUser u;
        u.Username = name;
        u.TimeLimitWed = 100 + static_cast<int>(name.size());
        ASSERT_TRUE(SaveUser(u, false, L""));
        Usage(name, L"PC-" + name, kWeekday, kToday, 10);
    }
    for (const auto& name : names) {
        TRegKey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  key.Open(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users\\" + name, KEY_READ));
        TQorUser u;
        u.Username = name;
        ASSERT_TRUE(LoadUser(u, false, L""));
        EXPECT_EQ(100 + static_cast<int>(name.size()), u.TodaysTimeLimit);
        EXPECT_EQ(10, u.TodaysTimeUsage);
        std::vector<std::wstring> list;
        ReadUsagePerComputer(u, false, L"", list, kWeekday, kToday);
        EXPECT_EQ(std::vector<std::wstring>{L"PC-" + name + L"=10"}, list);
    }
    TRegKey users;
    ASSERT_EQ(ERROR_SUCCESS, users.Open(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users", KEY_READ));
    std::vector<std::wstring> listed;
    EXPECT_EQ(ERROR_SUCCESS, users.SubkeyNames(listed));
    EXPECT_EQ(3u, listed.size());
}

TEST_F(UserStore, NamesThatWouldAddressAnotherKeyAreRefused) {
    TQorUser empty;
    EXPECT_FALSE(SaveUser(empty, false, L""));
    EXPECT_FALSE(LoadUser(empty, false, L""));
    TQorUser sneaky;
    sneaky.Username = L"anna\\Computers";
    EXPECT_FALSE(SaveUser(sneaky, false, L""));
    TRegKey key;
    EXPECT_NE(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users", KEY_READ));
}

TEST_F(UserStore, CollectionBuildsOnceAndReloadsInPlace) {
    int enumerations = 0;
    std::vector<std::wstring> accounts{L"anna", L"ben"};
    SetAccountSourceSeam([&] {
        ++enumerations;
        return accounts;
    });
    TQorUsers users;
    EXPECT_FALSE(users.LoadAll(false, L"")); // nobody saved yet
    ASSERT_EQ(2, users.Count());
    EXPECT_EQ(L"anna", users.Items(0).Username);
    EXPECT_EQ(L"ben", users.Items(1).Username);

    users.Items(1).QorControl = true;
    users.Items(1).TimeLimitWed = 75;
    EXPECT_TRUE(users.SaveAll(false, L""));
    TQorUser* first = &users.Items(0);
    first->LocalTimeUsageWed = 12;

    accounts.push_back(L"carla"); // appears only after a restart
    Usage(L"ben", L"PC1", kWeekday, kToday, 20);
    EXPECT_TRUE(users.LoadAll(false, L""));
    EXPECT_EQ(1, enumerations);
    ASSERT_EQ(2, users.Count());
    EXPECT_EQ(first, &users.Items(0));
    EXPECT_EQ(12, users.Items(0).LocalTimeUsageWed);
    EXPECT_EQ(75, users.Items(1).TodaysTimeLimit);
    EXPECT_EQ(20, users.Items(1).TodaysTimeUsage);

    EXPECT_FALSE(users.Rebuild(false, L"")); // carla was never saved
    EXPECT_EQ(3, users.Count());
    EXPECT_EQ(L"carla", users.Items(2).Username);
    EXPECT_EQ(2, enumerations);
}

TEST_F(UserStore, SaveAllToAnUnreachableComputerStillWritesEveryUserLocally) {
    SetAccountSourceSeam([] { return std::vector<std::wstring>{L"anna", L"ben"}; });
    TQorUsers users;
    users.LoadAll(false, L"");
    users.Items(0).TimeLimitMon = 11;
    users.Items(1).TimeLimitMon = 22;
    EXPECT_FALSE(users.SaveAll(true, L"\\\\ELSEWHERE"));
    TQorUsers fresh;
    EXPECT_TRUE(fresh.LoadAll(false, L""));
    EXPECT_EQ(11, fresh.Items(0).TimeLimitMon);
    EXPECT_EQ(22, fresh.Items(1).TimeLimitMon);
}

TEST_F(UserStore, NoAccountsIsASuccessfulEmptyList) {
    SetAccountSourceSeam([] { return std::vector<std::wstring>{}; });
    TQorUsers users;
    EXPECT_TRUE(users.LoadAll(false, L""));
    EXPECT_EQ(0, users.Count());
}

} // namespace
} // namespace vantrel
