#include "model/QorUser.h"

#include <limits>

namespace vantrel {

namespace {

struct TPreset {
    int Begin, End, LimitMonToThu, LimitFriToSun;
};

const TPreset& PresetOf(int profile) {
    static const TPreset kStrict{8, 19, 60, 60};
    static const TPreset kDefault{7, 20, 60, 120};
    static const TPreset kLenient{6, 22, 120, 240};
    if (profile == ProfileStrict)
        return kStrict;
    if (profile == ProfileLenient)
        return kLenient;
    return kDefault;
}

using TDayFields = int TQorUser::*[7];

constexpr TDayFields kAllowBegin = {&TQorUser::AllowBeginMon, &TQorUser::AllowBeginTue,
                                    &TQorUser::AllowBeginWed, &TQorUser::AllowBeginThu,
                                    &TQorUser::AllowBeginFri, &TQorUser::AllowBeginSat,
                                    &TQorUser::AllowBeginSun};
constexpr TDayFields kAllowEnd = {
    &TQorUser::AllowEndMon, &TQorUser::AllowEndTue, &TQorUser::AllowEndWed, &TQorUser::AllowEndThu,
    &TQorUser::AllowEndFri, &TQorUser::AllowEndSat, &TQorUser::AllowEndSun};
constexpr TDayFields kTimeLimit = {&TQorUser::TimeLimitMon, &TQorUser::TimeLimitTue,
                                   &TQorUser::TimeLimitWed, &TQorUser::TimeLimitThu,
                                   &TQorUser::TimeLimitFri, &TQorUser::TimeLimitSat,
                                   &TQorUser::TimeLimitSun};
constexpr TDayFields kLocalTimeUsage = {&TQorUser::LocalTimeUsageMon, &TQorUser::LocalTimeUsageTue,
                                        &TQorUser::LocalTimeUsageWed, &TQorUser::LocalTimeUsageThu,
                                        &TQorUser::LocalTimeUsageFri, &TQorUser::LocalTimeUsageSat,
                                        &TQorUser::LocalTimeUsageSun};
constexpr TDayFields kLocalDayOfYear = {&TQorUser::LocalDayOfYearMon, &TQorUser::LocalDayOfYearTue,
                                        &TQorUser::LocalDayOfYearWed, &TQorUser::LocalDayOfYearThu,
                                        &TQorUser::LocalDayOfYearFri, &TQorUser::LocalDayOfYearSat,
                                        &TQorUser::LocalDayOfYearSun};
constexpr TDayFields kTotalTimeUsage = {&TQorUser::TotalTimeUsageMon, &TQorUser::TotalTimeUsageTue,
                                        &TQorUser::TotalTimeUsageWed, &TQorUser::TotalTimeUsageThu,
                                        &TQorUser::TotalTimeUsageFri, &TQorUser::TotalTimeUsageSat,
                                        &TQorUser::TotalTimeUsageSun};

// Weekdays outside 1..7 cannot come from the clock; treat them as Monday rather than
// reading past the family.
int DayIndex(int weekday) {
    return weekday >= 1 && weekday <= 7 ? weekday - 1 : 0;
}

} // namespace

int SaturatedInt(long long value) {
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

TQorUser::TQorUser() {
    SetDefaults(ProfileDefault, true);
}

TQorUser::~TQorUser() = default;

int& TQorUser::AllowBegin(int weekday) {
    return this->*kAllowBegin[DayIndex(weekday)];
}
int& TQorUser::AllowEnd(int weekday) {
    return this->*kAllowEnd[DayIndex(weekday)];
}
int& TQorUser::TimeLimit(int weekday) {
    return this->*kTimeLimit[DayIndex(weekday)];
}
int& TQorUser::LocalTimeUsage(int weekday) {
    return this->*kLocalTimeUsage[DayIndex(weekday)];
}
int& TQorUser::LocalDayOfYear(int weekday) {
    return this->*kLocalDayOfYear[DayIndex(weekday)];
}
int& TQorUser::TotalTimeUsage(int weekday) {
    return this->*kTotalTimeUsage[DayIndex(weekday)];
}

void TQorUser::SetDefaults(int profile, bool resetUsage) {
    QorControl = false;
    LoggedOn = false;
    Connected = false;
    AppLogoff = false;
    const TPreset& preset = PresetOf(profile);
    for (int weekday = 1; weekday <= 7; ++weekday) {
        AllowBegin(weekday) = preset.Begin;
        AllowEnd(weekday) = preset.End;
        TimeLimit(weekday) = weekday <= 4 ? preset.LimitMonToThu : preset.LimitFriToSun;
    }
    BonusTime = 0;
    BonusDayOfYear = 0;
    BonusYear = 0;
    if (resetUsage) {
        for (int weekday = 1; weekday <= 7; ++weekday) {
            LocalTimeUsage(weekday) = 0;
            LocalDayOfYear(weekday) = 0;
        }
    }
    TodaysAllowBegin = 0;
    TodaysAllowEnd = 0;
    TodaysTimeLimit = 0;
    TodaysBonusTime = 0;
    TodaysTimeUsage = 0;
}

void TQorUser::Assign(const TQorUser& source) {
    if (&source == this)
        return;
    Username = source.Username;
    QorControl = source.QorControl;
    for (int weekday = 1; weekday <= 7; ++weekday) {
        AllowBegin(weekday) = source.AllowBegin(weekday);
        AllowEnd(weekday) = source.AllowEnd(weekday);
        TimeLimit(weekday) = source.TimeLimit(weekday);
    }
    BonusTime = source.BonusTime;
    BonusDayOfYear = source.BonusDayOfYear;
    BonusYear = source.BonusYear;
}

void TQorUser::TakeChanges(const TQorUser& before, const TQorUser& after) {
    if (after.QorControl != before.QorControl)
        QorControl = after.QorControl;
    for (int weekday = 1; weekday <= 7; ++weekday) {
        if (after.AllowBegin(weekday) != before.AllowBegin(weekday) ||
            after.AllowEnd(weekday) != before.AllowEnd(weekday)) {
            AllowBegin(weekday) = after.AllowBegin(weekday);
            AllowEnd(weekday) = after.AllowEnd(weekday);
        }
        if (after.TimeLimit(weekday) != before.TimeLimit(weekday))
            TimeLimit(weekday) = after.TimeLimit(weekday);
    }
    if (after.BonusTime != before.BonusTime || after.BonusDayOfYear != before.BonusDayOfYear ||
        after.BonusYear != before.BonusYear) {
        BonusTime = after.BonusTime;
        BonusDayOfYear = after.BonusDayOfYear;
        BonusYear = after.BonusYear;
    }
}

int TQorUser::ClampBonusTime(int bonus, int todaysTimeLimit) {
    // Computed in 64 bits: a limit or bonus read from a damaged store must not overflow.
    const long long limit = todaysTimeLimit;
    const long long total = limit + bonus;
    if (bonus < 0 && total < 0)
        return SaturatedInt(-limit);
    if (bonus >= 0 && total > 1440)
        return SaturatedInt(1440 - limit);
    return bonus;
}

void TQorUser::DeriveTodaysFigures(int weekday, int dayOfYear, int year) {
    TodaysAllowBegin = AllowBegin(weekday);
    TodaysAllowEnd = AllowEnd(weekday);
    TodaysTimeLimit = TimeLimit(weekday);
    TodaysBonusTime = BonusOf(dayOfYear, year) ? BonusTime : 0;
    TodaysTimeUsage = TotalTimeUsage(weekday);
}

void TQorUser::MergeUsage(int weekday, int dayOfYear, int minutes, bool thisComputer) {
    if (thisComputer) {
        // The count of this weekday may be last week's: today's starts again at 0.
        if (LocalDayOfYear(weekday) != dayOfYear) {
            LocalTimeUsage(weekday) = 0;
            LocalDayOfYear(weekday) = dayOfYear;
        }
        if (LocalTimeUsage(weekday) > minutes)
            minutes = LocalTimeUsage(weekday);
        LocalTimeUsage(weekday) = minutes;
    }
    TotalTimeUsage(weekday) =
        SaturatedInt(static_cast<long long>(TotalTimeUsage(weekday)) + minutes);
}

int TQorUser::TimeRemaining() const {
    const long long remaining = TodaysTotal() - TodaysTimeUsage;
    return remaining > 0 ? SaturatedInt(remaining) : 0;
}

void TQorUser::AdjustBonus(int signedAmount, int todayDayOfYear, int todayYear) {
    // A stored bonus may lie at the end of the int range. Saturating the sum keeps its sign,
    // so the clamp gives the same answer as for the exact sum, as far as an int holds it.
    const long long bonus = BonusOf(todayDayOfYear, todayYear)
                                ? static_cast<long long>(BonusTime) + signedAmount
                                : signedAmount;
    BonusTime = ClampBonusTime(SaturatedInt(bonus), TodaysTimeLimit);
    BonusDayOfYear = todayDayOfYear;
    BonusYear = todayYear;
}

} // namespace vantrel
