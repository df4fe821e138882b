#include "model/Clock.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

SYSTEMTIME Date(int year, int month, int day, int dayOfWeek) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wDayOfWeek = static_cast<WORD>(dayOfWeek);
    return t;
}

TEST(Clock, DayOfYearCountsLeapDaysOnlyInLeapYears) {
    EXPECT_EQ(1, DayOfYearOf(Date(2026, 1, 1, 4)));
    EXPECT_EQ(60, DayOfYearOf(Date(2026, 3, 1, 0)));
    EXPECT_EQ(61, DayOfYearOf(Date(2024, 3, 1, 5)));
    EXPECT_EQ(366, DayOfYearOf(Date(2024, 12, 31, 2)));
    EXPECT_EQ(60, DayOfYearOf(Date(2000, 2, 29, 2)));
    EXPECT_EQ(60, DayOfYearOf(Date(1900, 3, 1, 4)));
}

TEST(Clock, WeekdayRunsFromMondayToSunday) {
    EXPECT_EQ(1, WeekdayOf(Date(2026, 12, 7, 1)));
    EXPECT_EQ(7, WeekdayOf(Date(2026, 12, 6, 0)));
}

TEST(Clock, SeamDecidesTodayAndCanBeRemoved) {
    SetClockSeam([] { return Date(2026, 12, 6, 0); });
    EXPECT_EQ(7, TodayWeekday());
    EXPECT_EQ(340, TodayDayOfYear());
    SetClockSeam(nullptr);
    SYSTEMTIME real{};
    GetLocalTime(&real);
    EXPECT_EQ(DayOfYearOf(real), TodayDayOfYear());
}

} // namespace
} // namespace vantrel
