#include "model/TimeLeft.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

// Wednesday 10 June 2026, day 161: hours 8 to 20 and 60 minutes every day, unless a row
// changes the week.
TEST(UserFigures, TodaysFiguresAsTheServiceJudgesThem) {
    using S = TFiguresState;
    const auto noTomorrow = [](TQorUser& u) {
        u.TimeLimit(4) = 0;
        u.AllowEnd(5) = 8;
    };
    const auto noDay = [](TQorUser& u) {
        for (int d = 1; d <= 7; ++d)
            u.TimeLimit(d) = 0;
    };
    const auto oddToday = [](TQorUser& u) {
        u.AllowBegin(3) = -5;
        u.AllowEnd(3) = 30;
    };
    struct {
        int hour, minute, used, bonus;
        void (*week)(TQorUser&);
        S state;
        int left, until, againDays, againAt, begin, end;
    } cases[] = {
        {12, 0, 20, 0, nullptr, S::TimeLeft, 40, 760, -1, 0, 8, 20},      // the limit ends first
        {19, 30, 0, 0, nullptr, S::TimeLeft, 60, 1200, -1, 0, 8, 20},     // the hours end first
        {23, 30, 0, 0, oddToday, S::TimeLeft, 60, 1440, -1, 0, 0, 24},    // up to midnight
        {7, 59, 0, 0, nullptr, S::OutsideHours, 60, 0, 0, 480, 8, 20},    // later today
        {20, 0, 0, 0, nullptr, S::OutsideHours, 60, 0, 1, 480, 8, 20},    // tomorrow
        {12, 0, 70, 10, nullptr, S::OverLimit, 0, 0, 1, 480, 8, 20},      // bonus used up too
        {7, 0, 60, 0, nullptr, S::OverLimit, 0, 0, 1, 480, 8, 20},        // not later today
        {21, 0, 0, 0, noTomorrow, S::OutsideHours, 60, 0, 3, 480, 8, 20}, // Saturday
        {12, 0, 60, 0, noDay, S::OverLimit, 0, 0, -1, 0, 8, 20},          // never again
    };
    for (const auto& c : cases) {
        TQorUser user;
        user.QorControl = true;
        for (int d = 1; d <= 7; ++d) {
            user.AllowBegin(d) = 8;
            user.AllowEnd(d) = 20;
            user.TimeLimit(d) = 60;
        }
        if (c.week)
            c.week(user);
        user.TotalTimeUsage(3) = c.used;
        user.BonusTime = c.bonus;
        user.BonusDayOfYear = 161;
        user.DeriveTodaysFigures(3, 161);
        SYSTEMTIME now{2026, 6, 3, 10, static_cast<WORD>(c.hour), static_cast<WORD>(c.minute),
                       0,    0};
        const TUserFigures f = FiguresOf(user, now, TQorPrefs{});
        const auto at = ::testing::Message() << c.hour << ":" << c.minute << " used " << c.used;
        EXPECT_TRUE(f.Limited) << at;
        EXPECT_EQ(c.state, f.State) << at;
        EXPECT_EQ(c.left, f.Left) << at;
        EXPECT_EQ(c.used, f.Used) << at;
        EXPECT_EQ(c.until, f.Until) << at;
        EXPECT_EQ(c.againDays, f.AgainDays) << at;
        EXPECT_EQ(c.againAt, f.AgainAt) << at;
        EXPECT_EQ(std::make_pair(c.begin, c.end), std::make_pair(f.AllowBegin, f.AllowEnd)) << at;
    }
    // Without a limit only the preferences are told.
    TQorUser free;
    TQorPrefs prefs;
    prefs.DoNotForceLogoff = prefs.Use24HourClock = true;
    const TUserFigures f = FiguresOf(free, SYSTEMTIME{2026, 6, 3, 10, 12, 0, 0, 0}, prefs);
    EXPECT_FALSE(f.Limited);
    EXPECT_FALSE(f.LogsOff);
    EXPECT_TRUE(f.Clock24);
}

} // namespace
} // namespace vantrel
