#pragma once
// One monitored Windows account: its weekly settings, its usage and today's figures.
#include <memory>
#include <string>

namespace vantrel {

// Preset weekly schedules of SetDefaults; any other number gives the Default schedule.
enum TProfile { ProfileStrict = 0, ProfileDefault = 1, ProfileLenient = 2 };

class TQorUser {
public:
    // All fields start zero, false or empty, then the Default profile is applied with usage reset.
    TQorUser();
    ~TQorUser();
    TQorUser(const TQorUser&) = delete;
    TQorUser& operator=(const TQorUser&) = delete;

    // Loads a preset schedule and clears the day state (flags, bonus, derived figures and,
    // with resetUsage, the local usage). Username, total usage and
    // WeekTimeUsage stay.
    void SetDefaults(int profile, bool resetUsage);
    // Copies the settings only: Username, QorControl, the 21 schedule fields and the bonus.
    void Assign(const TQorUser& source);
    // Bounds a bonus so that limit + bonus stays within 0 to 1440 minutes.
    static int ClampBonusTime(int bonus, int todaysTimeLimit);

    // Field of weekday d (1 = Monday .. 7 = Sunday) of each family of seven.
    int& AllowBegin(int d);
    int& AllowEnd(int d);
    int& TimeLimit(int d);
    int& LocalTimeUsage(int d);
    int& TotalTimeUsage(int d);
    int AllowBegin(int d) const { return const_cast<TQorUser*>(this)->AllowBegin(d); }
    int AllowEnd(int d) const { return const_cast<TQorUser*>(this)->AllowEnd(d); }
    int TimeLimit(int d) const { return const_cast<TQorUser*>(this)->TimeLimit(d); }
    int LocalTimeUsage(int d) const { return const_cast<TQorUser*>(this)->LocalTimeUsage(d); }
    int TotalTimeUsage(int d) const { return const_cast<TQorUser*>(this)->TotalTimeUsage(d); }

    // Sets the five derived figures from the weekly fields for weekday d and day of year n.
    void DeriveTodaysFigures(int d, int n);
    // Merges one computer's usage u of today's weekday d into the totals: the larger-of rule
    // for this computer's own entry, then the sum.
    void MergeUsage(int d, int u, bool thisComputer);
    // Today's time remaining: limit + bonus - usage, never negative. Meaningful with QorControl.
    int TimeRemaining() const;
    // Raises (positive amount) or lowers (negative amount) today's bonus, clamped.
    void AdjustBonus(int signedAmount, int todayDayOfYear);

    std::wstring Username;
    bool QorControl = false;
    bool LoggedOn = false;
    bool Connected = false;
    bool AppLogoff = false;
    int AllowBeginMon = 0, AllowBeginTue = 0, AllowBeginWed = 0, AllowBeginThu = 0,
        AllowBeginFri = 0, AllowBeginSat = 0, AllowBeginSun = 0;
    int AllowEndMon = 0, AllowEndTue = 0, AllowEndWed = 0, AllowEndThu = 0, AllowEndFri = 0,
        AllowEndSat = 0, AllowEndSun = 0;
    int TimeLimitMon = 0, TimeLimitTue = 0, TimeLimitWed = 0, TimeLimitThu = 0, TimeLimitFri = 0,
        TimeLimitSat = 0, TimeLimitSun = 0;
    int BonusTime = 0;
    int BonusDayOfYear = 0;
    int LocalTimeUsageMon = 0, LocalTimeUsageTue = 0, LocalTimeUsageWed = 0, LocalTimeUsageThu = 0,
        LocalTimeUsageFri = 0, LocalTimeUsageSat = 0, LocalTimeUsageSun = 0;
    int TotalTimeUsageMon = 0, TotalTimeUsageTue = 0, TotalTimeUsageWed = 0, TotalTimeUsageThu = 0,
        TotalTimeUsageFri = 0, TotalTimeUsageSat = 0, TotalTimeUsageSun = 0;
    int TodaysAllowBegin = 0;
    int TodaysAllowEnd = 0;
    int TodaysTimeLimit = 0;
    int TodaysBonusTime = 0;
    int TodaysTimeUsage = 0;
    // Scratch sum of the weekly usage report; never stored.
    int WeekTimeUsage = 0;
};

} // namespace vantrel
