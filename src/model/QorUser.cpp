#include "model/QorUser.h"

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
constexpr TDayFields kTotalTimeUsage = {&TQorUser::TotalTimeUsageMon, &TQorUser::TotalTimeUsageTue,
                                        &TQorUser::TotalTimeUsageWed, &TQorUser::TotalTimeUsageThu,
                                        &TQorUser::TotalTimeUsageFri, &TQorUser::TotalTimeUsageSat,
                                        &TQorUser::TotalTimeUsageSun};

// Weekdays outside 1..7 cannot come from the clock; treat them as Monday rather than
// reading past the family.
int DayIndex(int d) {
    return d >= 1 && d <= 7 ? d - 1 : 0;
}

} // namespace

TQorUser::TQorUser() {
    SetDefaults(ProfileDefault, true);
}

TQorUser::~TQorUser() = default;

int& TQorUser::AllowBegin(int d) {
    return this->*kAllowBegin[DayIndex(d)];
}
int& TQorUser::AllowEnd(int d) {
    return this->*kAllowEnd[DayIndex(d)];
}
int& TQorUser::TimeLimit(int d) {
    return this->*kTimeLimit[DayIndex(d)];
}
int& TQorUser::LocalTimeUsage(int d) {
    return this->*kLocalTimeUsage[DayIndex(d)];
}
int& TQorUser::TotalTimeUsage(int d) {
    return this->*kTotalTimeUsage[DayIndex(d)];
}

void TQorUser::SetDefaults(int profile, bool resetUsage) {
    QorControl = false;
    LoggedOn = false;
    Connected = false;
    AppLogoff = false;
    const TPreset& preset = PresetOf(profile);
    for (int d = 1; d <= 7; ++d) {
        AllowBegin(d) = preset.Begin;
        AllowEnd(d) = preset.End;
        TimeLimit(d) = d <= 4 ? preset.LimitMonToThu : preset.LimitFriToSun;
    }
    BonusTime = 0;
    BonusDayOfYear = 0;
    if (resetUsage) {
        for (int d = 1; d <= 7; ++d)
            LocalTimeUsage(d) = 0;
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
    for (int d = 1; d <= 7; ++d) {
        AllowBegin(d) = source.AllowBegin(d);
        AllowEnd(d) = source.AllowEnd(d);
        TimeLimit(d) = source.TimeLimit(d);
    }
    BonusTime = source.BonusTime;
    BonusDayOfYear = source.BonusDayOfYear;
}

int TQorUser::ClampBonusTime(int bonus, int todaysTimeLimit) {
    // Computed in 64 bits: a limit or bonus read from a damaged store must not overflow.
    long long total = static_cast<long long>(todaysTimeLimit) + bonus;
    if (bonus < 0 && total < 0)
        return -todaysTimeLimit;
    if (bonus >= 0 && total > 1440)
        return 1440 - todaysTimeLimit;
    return bonus;
}

void TQorUser::DeriveTodaysFigures(int d, int n) {
    TodaysAllowBegin = AllowBegin(d);
    TodaysAllowEnd = AllowEnd(d);
    TodaysTimeLimit = TimeLimit(d);
    TodaysBonusTime = BonusDayOfYear == n ? BonusTime : 0;
    TodaysTimeUsage = TotalTimeUsage(d);
}

void TQorUser::MergeUsage(int d, int u, bool thisComputer) {
    if (thisComputer) {
        if (LocalTimeUsage(d) > u)
            u = LocalTimeUsage(d);
        LocalTimeUsage(d) = u;
    }
    TotalTimeUsage(d) += u;
}

int TQorUser::TimeRemaining() const {
    long long total = static_cast<long long>(TodaysTimeLimit) + TodaysBonusTime;
    return total > TodaysTimeUsage ? static_cast<int>(total - TodaysTimeUsage) : 0;
}

void TQorUser::AdjustBonus(int signedAmount, int todayDayOfYear) {
    int bonus = BonusDayOfYear == todayDayOfYear ? BonusTime + signedAmount : signedAmount;
    BonusTime = ClampBonusTime(bonus, TodaysTimeLimit);
    BonusDayOfYear = todayDayOfYear;
}

} // namespace vantrel
