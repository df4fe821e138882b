#include "model/QorUser.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

void ExpectSchedule(const TQorUser& u, int begin, int end, int monToThu, int friToSun) {
    for (int d = 1; d <= 7; ++d) {
        EXPECT_EQ(begin, u.AllowBegin(d)) << "day " << d;
        EXPECT_EQ(end, u.AllowEnd(d)) << "day " << d;
        EXPECT_EQ(d <= 4 ? monToThu : friToSun, u.TimeLimit(d)) << "day " << d;
    }
}

TEST(QorUser, NewRecordHasTheDefaultProfile) {
    TQorUser u;
    ExpectSchedule(u, 7, 20, 60, 120);
    EXPECT_FALSE(u.QorControl);
    EXPECT_EQ(0, u.BonusTime);
    EXPECT_EQ(0, u.BonusDayOfYear);
    EXPECT_TRUE(u.Username.empty());
    // The named fields and the per-day accessors are the same storage.
    EXPECT_EQ(&u.TimeLimitFri, &u.TimeLimit(5));
    EXPECT_EQ(&u.AllowEndSun, &u.AllowEnd(7));
}

TEST(QorUser, PresetsAndTheirEffectOnDayState) {
    TQorUser u;
    u.SetDefaults(ProfileStrict, true);
    ExpectSchedule(u, 8, 19, 60, 60);
    u.SetDefaults(ProfileLenient, true);
    ExpectSchedule(u, 6, 22, 120, 240);
    u.SetDefaults(3, true);
    ExpectSchedule(u, 7, 20, 60, 120);

    u.Username = L"anna";
    u.QorControl = u.LoggedOn = u.Connected = u.AppLogoff = true;
    u.BonusTime = 30;
    u.BonusDayOfYear = 12;
    u.LocalTimeUsageWed = 40;
    u.TotalTimeUsageWed = 90;
    u.TodaysTimeLimit = u.TodaysBonusTime = u.TodaysTimeUsage = 5;
    u.TodaysAllowBegin = u.TodaysAllowEnd = 5;
    u.WeekTimeUsage = 77;
    u.SetDefaults(ProfileDefault, false);
    EXPECT_FALSE(u.QorControl || u.LoggedOn || u.Connected || u.AppLogoff);
    EXPECT_EQ(0, u.BonusTime);
    EXPECT_EQ(0, u.BonusDayOfYear);
    EXPECT_EQ(40, u.LocalTimeUsageWed);
    EXPECT_EQ(90, u.TotalTimeUsageWed);
    EXPECT_EQ(0, u.TodaysTimeLimit + u.TodaysBonusTime + u.TodaysTimeUsage + u.TodaysAllowBegin +
                     u.TodaysAllowEnd);
    EXPECT_EQ(L"anna", u.Username);
    EXPECT_EQ(77, u.WeekTimeUsage);

    u.SetDefaults(ProfileDefault, true);
    EXPECT_EQ(0, u.LocalTimeUsageWed);
}

TEST(QorUser, AssignCopiesSettingsButNeitherUsageNorDerivedFigures) {
    TQorUser source;
    source.Username = L"ben";
    source.QorControl = true;
    source.AllowBeginTue = 9;
    source.AllowEndSat = 23;
    source.TimeLimitSun = 300;
    source.BonusTime = -15;
    source.BonusDayOfYear = 200;
    source.LocalTimeUsageMon = 11;
    source.TodaysTimeUsage = 12;

    TQorUser target;
    target.TotalTimeUsageMon = 50;
    target.TodaysTimeUsage = 50;
    target.TodaysTimeLimit = 60;
    target.WeekTimeUsage = 3;
    target.Assign(source);
    EXPECT_EQ(L"ben", target.Username);
    EXPECT_TRUE(target.QorControl);
    EXPECT_EQ(9, target.AllowBeginTue);
    EXPECT_EQ(23, target.AllowEndSat);
    EXPECT_EQ(300, target.TimeLimitSun);
    EXPECT_EQ(-15, target.BonusTime);
    EXPECT_EQ(200, target.BonusDayOfYear);
    EXPECT_EQ(0, target.LocalTimeUsageMon);
    EXPECT_EQ(50, target.TotalTimeUsageMon);
    EXPECT_EQ(50, target.TodaysTimeUsage);
    EXPECT_EQ(60, target.TodaysTimeLimit);
    EXPECT_EQ(3, target.WeekTimeUsage);
}

TEST(QorUser, ClampKeepsTheDayWithinZeroToOneDay) {
    EXPECT_EQ(-120, TQorUser::ClampBonusTime(-180, 120));
    EXPECT_EQ(40, TQorUser::ClampBonusTime(60, 1400));
    EXPECT_EQ(-60, TQorUser::ClampBonusTime(-60, 120));
    EXPECT_EQ(1320, TQorUser::ClampBonusTime(1320, 120));
    EXPECT_EQ(840, TQorUser::ClampBonusTime(860, 600));
    EXPECT_EQ(0, TQorUser::ClampBonusTime(0, 1440));
    // A limit and bonus from a damaged store must not overflow into a wrong answer.
    EXPECT_EQ(1440 - 2147483000, TQorUser::ClampBonusTime(2147483000, 2147483000));
    EXPECT_EQ(-1000, TQorUser::ClampBonusTime(-2147483647, 1000));
}

TEST(QorUser, BonusAdjustmentReplacesStaleBonusAndClamps) {
    TQorUser u;
    u.TodaysTimeLimit = 120;
    u.BonusTime = 30;
    u.BonusDayOfYear = 99; // yesterday
    u.AdjustBonus(15, 100, 2026);
    EXPECT_EQ(15, u.BonusTime);
    EXPECT_EQ(100, u.BonusDayOfYear);
    EXPECT_EQ(2026, u.BonusYear);
    u.AdjustBonus(-60, 100, 2026);
    EXPECT_EQ(-45, u.BonusTime);
    u.AdjustBonus(-240, 100, 2026);
    EXPECT_EQ(-120, u.BonusTime);

    u.TodaysTimeLimit = 600;
    u.BonusTime = 800;
    u.AdjustBonus(60, 100, 2026);
    EXPECT_EQ(840, u.BonusTime);
    // The same day of last year is another day; one stored without its year is today's.
    u.BonusYear = 2025;
    u.AdjustBonus(60, 100, 2026);
    EXPECT_EQ(60, u.BonusTime);
    u.BonusYear = 0;
    u.AdjustBonus(60, 100, 2026);
    EXPECT_EQ(120, u.BonusTime);
}

TEST(QorUser, TodaysFiguresAndTimeRemaining) {
    TQorUser u;
    u.AllowBeginWed = 9;
    u.AllowEndWed = 17;
    u.TimeLimitWed = 60;
    u.TotalTimeUsageWed = 75;
    u.BonusTime = 30;
    u.BonusDayOfYear = 40;
    u.DeriveTodaysFigures(3, 41, 2026);
    EXPECT_EQ(9, u.TodaysAllowBegin);
    EXPECT_EQ(17, u.TodaysAllowEnd);
    EXPECT_EQ(60, u.TodaysTimeLimit);
    EXPECT_EQ(0, u.TodaysBonusTime);
    EXPECT_EQ(75, u.TodaysTimeUsage);
    EXPECT_EQ(0, u.TimeRemaining());

    // A bonus of that day: stored without its year (older data), or of this year; not of
    // another year.
    struct {
        int year, bonus;
    } years[] = {{0, 30}, {2026, 30}, {2025, 0}};
    for (const auto& y : years) {
        u.BonusYear = y.year;
        u.DeriveTodaysFigures(3, 40, 2026);
        EXPECT_EQ(y.bonus, u.TodaysBonusTime) << y.year;
    }
    u.BonusYear = 0;
    u.DeriveTodaysFigures(3, 40, 2026);
    EXPECT_EQ(15, u.TimeRemaining());
    u.TotalTimeUsageWed = 90;
    u.DeriveTodaysFigures(3, 40, 2026);
    EXPECT_EQ(0, u.TimeRemaining());
}

TEST(QorUser, MergeKeepsTheLargerLocalUsageOfTheSameDayAndSums) {
    TQorUser u;
    u.LocalTimeUsageFri = 70;
    u.LocalDayOfYearFri = 100;
    u.MergeUsage(5, 100, 50, true);
    EXPECT_EQ(70, u.LocalTimeUsageFri);
    EXPECT_EQ(70, u.TotalTimeUsageFri);
    u.MergeUsage(5, 100, 30, false);
    EXPECT_EQ(100, u.TotalTimeUsageFri);
    u.MergeUsage(5, 100, 80, true);
    EXPECT_EQ(80, u.LocalTimeUsageFri);
    EXPECT_EQ(180, u.TotalTimeUsageFri);

    // A week later the Friday count is last week's: it no longer beats the stored minutes.
    u.TotalTimeUsageFri = 0;
    u.MergeUsage(5, 107, 10, true);
    EXPECT_EQ(10, u.LocalTimeUsageFri);
    EXPECT_EQ(107, u.LocalDayOfYearFri);
    EXPECT_EQ(10, u.TotalTimeUsageFri);
    // Another computer's minutes never touch this computer's count.
    u.MergeUsage(5, 114, 25, false);
    EXPECT_EQ(10, u.LocalTimeUsageFri);
    EXPECT_EQ(107, u.LocalDayOfYearFri);

    u.SetDefaults(ProfileDefault, true);
    EXPECT_EQ(0, u.LocalTimeUsageFri);
    EXPECT_EQ(0, u.LocalDayOfYearFri);
}

} // namespace
} // namespace vantrel
