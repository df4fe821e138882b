// Today's figures from stored values at the ends of the int range, as another writer or a
// damaged store may leave them, read through the real registry.
#include "accounts/Accounts.h"
#include "ModelTestSupport.h"
#include "model/Clock.h"
#include "model/Constants.h"
#include "model/QorUsers.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace vantrel {
namespace {

// Wednesday 10 June 2026: weekday 3, day of the year 161.
constexpr int kToday = 161;
constexpr int kWeekday = 3;
constexpr DWORD kLargest = 0x7FFFFFFF;
constexpr DWORD kSmallest = 0x80000000;
constexpr DWORD kMinus60 = 0xFFFFFFC4;
constexpr int kIntMax = 2147483647;
constexpr int kIntMin = -kIntMax - 1;
const wchar_t kOtherComputer[] = L"OTHER-PC";

// Today's limit and bonus, and today's usage on this computer and on another one.
struct TStored {
    DWORD Limit = 90;
    DWORD Bonus = 30;
    DWORD UsageHere = 20;
    DWORD UsageOther = 10;
};

struct TFigures {
    int Limit;
    int Bonus;
    int Usage;
    long long Total;
    int Remaining;
    int LocalUsage;
    // The stored bonus after raising, or after lowering, today's bonus by 60 minutes.
    int Raised;
    int Lowered;
};

struct TCase {
    const char* Name;
    TStored Stored;
    TFigures Expected;
};

std::ostream& operator<<(std::ostream& out, const TCase& c) {
    return out << c.Name;
}

void Put(HKEY key, const std::wstring& name, DWORD value) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name.c_str(), 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&value), sizeof(value)));
}

HKEY CreateKey(const std::wstring& path) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    return key;
}

// Every setting present, today's limit and today's bonus as given.
void StoreSettings(const std::wstring& user, DWORD limit, DWORD bonus) {
    HKEY key = CreateKey(kUsersKeyPath + user);
    Put(key, L"QorControl", 1);
    for (int weekday = 1; weekday <= 7; ++weekday) {
        Put(key, std::wstring(L"AllowBegin") + kDaySuffix[weekday - 1], 7);
        Put(key, std::wstring(L"AllowEnd") + kDaySuffix[weekday - 1], 20);
    }
    for (int weekday = 1; weekday <= 7; ++weekday)
        Put(key, std::wstring(L"TimeLimit") + kDaySuffix[weekday - 1],
            weekday == kWeekday ? limit : 60);
    Put(key, L"BonusTime", bonus);
    Put(key, L"BonusDayOfYear", kToday);
    RegCloseKey(key);
}

void StoreUsage(const std::wstring& user, const std::wstring& computer, DWORD minutes) {
    HKEY key = CreateKey(kUsersKeyPath + user + L"\\Computers\\" + computer);
    Put(key, std::wstring(L"DayOfYear") + kDaySuffix[kWeekday - 1], kToday);
    Put(key, std::wstring(L"TimeUsage") + kDaySuffix[kWeekday - 1], minutes);
    RegCloseKey(key);
}

class ExtremeStore : public ::testing::Test {
protected:
    void SetUp() override {
        thisComputer = GetWorkstationName();
        ASSERT_FALSE(thisComputer.empty());
        SetClockSeam(TestWednesday);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users");
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users");
        SetClockSeam(nullptr);
    }
    static void Load(TQorUser& user, const std::wstring& name) {
        user.Username = name;
        EXPECT_TRUE(LoadUser(user, false, L""));
    }
    static int StoredBonusOfToday(const std::wstring& name) {
        TQorUser user;
        Load(user, name);
        return user.TodaysBonusTime;
    }
    std::wstring thisComputer;
};

class ExtremeField : public ExtremeStore, public ::testing::WithParamInterface<TCase> {};

TEST_P(ExtremeField, GivesFiguresWithinTheIntRange) {
    const TCase& c = GetParam();
    StoreSettings(L"anna", c.Stored.Limit, c.Stored.Bonus);
    StoreUsage(L"anna", thisComputer, c.Stored.UsageHere);
    StoreUsage(L"anna", kOtherComputer, c.Stored.UsageOther);

    TQorUser user;
    user.Username = L"anna";
    ASSERT_TRUE(LoadUser(user, false, L""));
    EXPECT_EQ(c.Expected.Limit, user.TodaysTimeLimit);
    EXPECT_EQ(c.Expected.Bonus, user.TodaysBonusTime);
    EXPECT_EQ(c.Expected.Usage, user.TodaysTimeUsage);
    EXPECT_EQ(c.Expected.Usage, user.TotalTimeUsage(kWeekday));
    EXPECT_EQ(c.Expected.Total, user.TodaysTotal());
    EXPECT_EQ(c.Expected.Remaining, user.TimeRemaining());
    EXPECT_EQ(c.Expected.LocalUsage, user.LocalTimeUsage(kWeekday));

    // A bonus change of today, saved and read back as the list would show it.
    user.AdjustBonus(60, kToday, 2026);
    EXPECT_EQ(c.Expected.Raised, user.BonusTime);
    ASSERT_TRUE(SaveUser(user, false, L""));
    EXPECT_EQ(c.Expected.Raised, StoredBonusOfToday(L"anna"));

    StoreSettings(L"anna", c.Stored.Limit, c.Stored.Bonus);
    TQorUser lowering;
    Load(lowering, L"anna");
    lowering.AdjustBonus(-60, kToday, 2026);
    EXPECT_EQ(c.Expected.Lowered, lowering.BonusTime);
    ASSERT_TRUE(SaveUser(lowering, false, L""));
    EXPECT_EQ(c.Expected.Lowered, StoredBonusOfToday(L"anna"));
}

// Each stored field in turn holds one of the three values; the others are ordinary
// (limit 90, bonus 30, usage 20 here and 10 on the other computer).
const TCase kCases[] = {
    {"LimitLargest",
     {kLargest, 30, 20, 10},
     {kIntMax, 30, 30, 2147483677LL, kIntMax, 20, 1440 - kIntMax, -30}},
    {"LimitSmallest",
     {kSmallest, 30, 20, 10},
     {kIntMin, 30, 30, -2147483618LL, 0, 20, 90, kIntMax}},
    {"LimitMinus60", {kMinus60, 30, 20, 10}, {-60, 30, 30, -30, 0, 20, 90, 60}},
    {"BonusLargest",
     {90, kLargest, 20, 10},
     {90, kIntMax, 30, 2147483737LL, kIntMax, 20, 1350, 1350}},
    {"BonusSmallest", {90, kSmallest, 20, 10}, {90, kIntMin, 30, -2147483558LL, 0, 20, -90, -90}},
    {"BonusMinus60", {90, kMinus60, 20, 10}, {90, -60, 30, 30, 0, 20, 0, -90}},
    {"UsageHereLargest", {90, 30, kLargest, 10}, {90, 30, kIntMax, 120, 0, kIntMax, 90, -30}},
    // This computer's own count of today starts at 0, and the larger-of rule keeps it.
    {"UsageHereSmallest", {90, 30, kSmallest, 10}, {90, 30, 10, 120, 110, 0, 90, -30}},
    {"UsageHereMinus60", {90, 30, kMinus60, 10}, {90, 30, 10, 120, 110, 0, 90, -30}},
    {"UsageOtherLargest", {90, 30, 20, kLargest}, {90, 30, kIntMax, 120, 0, 20, 90, -30}},
    {"UsageOtherSmallest",
     {90, 30, 20, kSmallest},
     {90, 30, kIntMin + 20, 120, kIntMax, 20, 90, -30}},
    {"UsageOtherMinus60", {90, 30, 20, kMinus60}, {90, 30, -40, 120, 160, 20, 90, -30}},
};

INSTANTIATE_TEST_SUITE_P(EachStoredField, ExtremeField, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(ExtremeStore, SumsOfUsageStopAtTheEndsOfTheIntRange) {
    StoreSettings(L"anna", kLargest, kLargest);
    StoreUsage(L"anna", L"PC1", kSmallest);
    StoreUsage(L"anna", L"PC2", kSmallest);
    StoreUsage(L"anna", L"PC3", kMinus60);
    TQorUser low;
    Load(low, L"anna");
    EXPECT_EQ(kIntMin, low.TodaysTimeUsage);
    EXPECT_EQ(4294967294LL, low.TodaysTotal());
    EXPECT_EQ(kIntMax, low.TimeRemaining());

    StoreSettings(L"ben", kSmallest, kSmallest);
    StoreUsage(L"ben", L"PC1", kLargest);
    StoreUsage(L"ben", L"PC2", kLargest);
    StoreUsage(L"ben", thisComputer, kLargest);
    TQorUser high;
    Load(high, L"ben");
    EXPECT_EQ(kIntMax, high.TodaysTimeUsage);
    EXPECT_EQ(kIntMax, high.LocalTimeUsage(kWeekday));
    EXPECT_EQ(-4294967296LL, high.TodaysTotal());
    EXPECT_EQ(0, high.TimeRemaining());
    // Against the smallest limit, a day of 0 minutes needs a bonus beyond the largest int:
    // the bonus stops there instead of wrapping round.
    high.AdjustBonus(-60, kToday, 2026);
    EXPECT_EQ(kIntMax, high.BonusTime);
}

TEST_F(ExtremeStore, UsagePerComputerListsOnlyWholePositiveMinutes) {
    StoreSettings(L"anna", 90, 30);
    StoreUsage(L"anna", L"PC1", kLargest);
    StoreUsage(L"anna", L"PC2", kSmallest);
    StoreUsage(L"anna", L"PC3", kMinus60);
    TQorUser user;
    user.Username = L"anna";
    std::vector<std::wstring> list;
    EXPECT_TRUE(ReadUsagePerComputer(user, false, L"", list, kWeekday, kToday));
    EXPECT_EQ(std::vector<std::wstring>{L"PC1=2147483647"}, list);
}

TEST(ExtremeBonus, ClampStaysWithinTheIntRange) {
    EXPECT_EQ(kIntMax, TQorUser::ClampBonusTime(-1, kIntMin));
    EXPECT_EQ(kIntMax, TQorUser::ClampBonusTime(kIntMin, kIntMin));
    EXPECT_EQ(-kIntMax, TQorUser::ClampBonusTime(kIntMin, kIntMax));
    EXPECT_EQ(1440 - kIntMax, TQorUser::ClampBonusTime(kIntMax, kIntMax));
    EXPECT_EQ(1500, TQorUser::ClampBonusTime(kIntMax, -60));
    EXPECT_EQ(kIntMax, TQorUser::ClampBonusTime(kIntMax, kIntMin));
    EXPECT_EQ(60, TQorUser::ClampBonusTime(-60, -60));
}

} // namespace
} // namespace vantrel
