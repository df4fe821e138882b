#pragma once
// One monitored Windows account: its weekly settings, its usage and today's figures.
#include <string>

namespace vantrel {

// A 64-bit figure brought into the int range: beyond it, the nearest end of the range.
int SaturatedInt(long long value);

// Preset weekly schedules of SetDefaults; any other number gives the Default schedule.
enum TProfile { ProfileStrict = 0, ProfileDefault = 1, ProfileLenient = 2 };

// What the last load found of a user's settings in the store. Only a record read whole, or one
// of an account that the store has no key for, may be written back as it is: any other record
// holds values that the store does not, and only the administrator editing that user may
// confirm them.
enum class TLoadState { Incomplete, Complete, NoKey };

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
    // Takes over the settings in which `after` differs from `before`, and keeps the rest, so
    // that an edit started from `before` goes onto what the store holds by now. A day's
    // allowed period, and the bonus with its day, go as pairs: half of one would not fit the
    // other half.
    void TakeChanges(const TQorUser& before, const TQorUser& after);
    // Bounds a bonus so that limit + bonus stays within 0 to 1440 minutes, as far as the int
    // range allows: a limit from a damaged store may lie so far out that no bonus reaches it.
    static int ClampBonusTime(int bonus, int todaysTimeLimit);

    // The field of a weekday (1 = Monday .. 7 = Sunday) in each family of seven.
    int& AllowBegin(int weekday);
    int& AllowEnd(int weekday);
    int& TimeLimit(int weekday);
    int& LocalTimeUsage(int weekday);
    int& LocalDayOfYear(int weekday);
    int& TotalTimeUsage(int weekday);
    int AllowBegin(int weekday) const { return const_cast<TQorUser*>(this)->AllowBegin(weekday); }
    int AllowEnd(int weekday) const { return const_cast<TQorUser*>(this)->AllowEnd(weekday); }
    int TimeLimit(int weekday) const { return const_cast<TQorUser*>(this)->TimeLimit(weekday); }
    int LocalTimeUsage(int weekday) const {
        return const_cast<TQorUser*>(this)->LocalTimeUsage(weekday);
    }
    int LocalDayOfYear(int weekday) const {
        return const_cast<TQorUser*>(this)->LocalDayOfYear(weekday);
    }
    int TotalTimeUsage(int weekday) const {
        return const_cast<TQorUser*>(this)->TotalTimeUsage(weekday);
    }

    // Whether the stored bonus is that of the day (day of the year and year): a bonus stored
    // without its year (older data) is that of its day of the year in any year.
    bool BonusOf(int dayOfYear, int year) const {
        return BonusDayOfYear == dayOfYear && (BonusYear == 0 || BonusYear == year);
    }
    // Sets the five derived figures from the weekly fields for the weekday and the day (day of
    // the year and year).
    void DeriveTodaysFigures(int weekday, int dayOfYear, int year);
    // Merges one computer's usage of today (weekday, day of the year) into the totals: for
    // this computer's own entry the larger of the stored minutes and the program's own count
    // of today, then the sum, which stops at the ends of the int range.
    void MergeUsage(int weekday, int dayOfYear, int minutes, bool thisComputer);
    // Today's limit + bonus; in 64 bits, since both are stored values of any size.
    long long TodaysTotal() const {
        return static_cast<long long>(TodaysTimeLimit) + TodaysBonusTime;
    }
    // Today's time remaining: limit + bonus - usage, never negative and at most the largest
    // int. Meaningful with QorControl.
    int TimeRemaining() const;
    // Raises (positive amount) or lowers (negative amount) today's bonus, clamped; the bonus
    // then belongs to today (day of the year and year).
    void AdjustBonus(int signedAmount, int todayDayOfYear, int todayYear);

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
    // The year of BonusDayOfYear; 0 when the store does not say (written before years were).
    int BonusYear = 0;
    int LocalTimeUsageMon = 0, LocalTimeUsageTue = 0, LocalTimeUsageWed = 0, LocalTimeUsageThu = 0,
        LocalTimeUsageFri = 0, LocalTimeUsageSat = 0, LocalTimeUsageSun = 0;
    // The day of the year each LocalTimeUsage count belongs to (0: none). A count of another
    // day is last week's and never counts for today.
    int LocalDayOfYearMon = 0, LocalDayOfYearTue = 0, LocalDayOfYearWed = 0, LocalDayOfYearThu = 0,
        LocalDayOfYearFri = 0, LocalDayOfYearSat = 0, LocalDayOfYearSun = 0;
    int TotalTimeUsageMon = 0, TotalTimeUsageTue = 0, TotalTimeUsageWed = 0, TotalTimeUsageThu = 0,
        TotalTimeUsageFri = 0, TotalTimeUsageSat = 0, TotalTimeUsageSun = 0;
    int TodaysAllowBegin = 0;
    int TodaysAllowEnd = 0;
    int TodaysTimeLimit = 0;
    int TodaysBonusTime = 0;
    int TodaysTimeUsage = 0;
    // Scratch sum of the weekly usage report; never stored.
    int WeekTimeUsage = 0;
    // Set by every load; a record never loaded holds nothing of the store.
    TLoadState LoadState = TLoadState::Incomplete;
};

} // namespace vantrel
