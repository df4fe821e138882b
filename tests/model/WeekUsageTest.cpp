// The week at a glance read from the real registry: which stored values count for which day.
#include "model/WeekUsage.h"

#include "ModelTestSupport.h"
#include "model/Constants.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

void StoreUsage(const wchar_t* computer, int weekday, int dayOfYear, int minutes) {
    const std::wstring path = std::wstring(kUsersKeyPath) + L"emma\\Computers\\" + computer;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring suffix = kDaySuffix[weekday - 1];
    const DWORD values[2] = {static_cast<DWORD>(minutes), static_cast<DWORD>(dayOfYear)};
    RegSetValueExW(key, (L"TimeUsage" + suffix).c_str(), 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&values[0]), sizeof(DWORD));
    RegSetValueExW(key, (L"DayOfYear" + suffix).c_str(), 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&values[1]), sizeof(DWORD));
    RegCloseKey(key);
}

TEST(WeekUsage, DaysCountOnlyTheirOwnStoredDayAndTheBonusOfTheirDay) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users");
    // Today is Wednesday 10 June, day 161; the week runs from Thursday 4 June (155).
    StoreUsage(L"PC1", 4, 148, 99); // last week's Thursday
    StoreUsage(L"PC1", 6, 157, 130);
    StoreUsage(L"PC2", 7, 158, 0);
    StoreUsage(L"PC1", 1, 159, 50);
    StoreUsage(L"PC1", 2, 160, 80);
    StoreUsage(L"PC2", 2, 160, 20);
    StoreUsage(L"PC1", 3, 161, 40);
    TQorUser user;
    user.Username = L"emma";
    user.QorControl = true;
    user.BonusTime = 30;
    user.BonusDayOfYear = 160;
    const TWeekUsage week = ReadWeekUsage(user, false, L"", TestWednesday());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users");

    struct TRow {
        int Weekday, DayOfYear, Minutes, Pc1, Pc2, Limit, Bonus, Over;
    };
    const TRow expected[] = {
        {4, 155, 0, 0, 0, 60, 0, 0},       {5, 156, 0, 0, 0, 120, 0, 0},
        {6, 157, 130, 130, 0, 120, 0, 10}, {7, 158, 0, 0, 0, 120, 0, 0},
        {1, 159, 50, 50, 0, 60, 0, 0},     {2, 160, 100, 80, 20, 60, 30, 10},
        {3, 161, 40, 40, 0, 60, 0, 0},
    };
    ASSERT_EQ(week.Days.size(), std::size(expected));
    EXPECT_EQ(week.Computers, (std::vector<std::wstring>{L"PC1", L"PC2"}));
    for (size_t i = 0; i < week.Days.size(); ++i) {
        const TDayUsage& day = week.Days[i];
        const TRow& row = expected[i];
        EXPECT_EQ(day.Weekday, row.Weekday) << i;
        EXPECT_EQ(day.DayOfYear, row.DayOfYear) << i;
        EXPECT_EQ(day.Minutes, row.Minutes) << i;
        EXPECT_EQ(day.MinutesOn(L"PC1"), row.Pc1) << i;
        EXPECT_EQ(day.MinutesOn(L"PC2"), row.Pc2) << i;
        EXPECT_EQ(day.TimeLimit, row.Limit) << i;
        EXPECT_EQ(day.Bonus, row.Bonus) << i;
        EXPECT_EQ(day.OverLimit(), row.Over) << i;
    }
    // Tuesday's line of the copied table: both computers, the total and the limits.
    const std::wstring table = WeekUsageTable(week);
    EXPECT_NE(table.find(L"\t1:20\t0:20\t1:40\t1:00\t0:30\t0:10\t07:00-20:00\r\n"),
              std::wstring::npos)
        << std::string(table.begin(), table.end());
    user.QorControl = false;
    EXPECT_EQ(WeekUsageOf(user, TestWednesday(),
                          [](int, int) { return std::vector<std::wstring>{L"PC1=500"}; })
                  .Days[6]
                  .OverLimit(),
              0);
}

} // namespace
} // namespace vantrel
