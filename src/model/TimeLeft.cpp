#include "model/TimeLeft.h"

#include "model/Clock.h"

#include <algorithm>

namespace vantrel {

namespace {

constexpr int kMinutesPerDay = 24 * 60;

// Hours as the figures show them: a stored hour beyond the day allows what its end of the day
// allows, so 0..24 say the same.
int DayHour(int hour) {
    return std::clamp(hour, 0, 24);
}

} // namespace

bool AllowedAt(const TQorUser& user, int hour) {
    return user.TodaysAllowBegin <= hour && hour < user.TodaysAllowEnd;
}

long long MinutesToEnd(const TQorUser& user, const SYSTEMTIME& now) {
    long long left = user.TimeRemaining();
    if (user.TodaysAllowEnd < 24)
        left = std::min<long long>(left, static_cast<long long>(user.TodaysAllowEnd) * 60 -
                                             (now.wHour * 60 + now.wMinute));
    return left;
}

TUserFigures FiguresOf(const TQorUser& user, const SYSTEMTIME& now, const TQorPrefs& prefs) {
    TUserFigures figures;
    figures.LogsOff = !prefs.DoNotForceLogoff;
    figures.Clock24 = prefs.Use24HourClock;
    figures.Limited = user.QorControl;
    if (!figures.Limited)
        return figures;
    figures.Limit = user.TodaysTimeLimit;
    figures.Bonus = user.TodaysBonusTime;
    figures.Used = user.TodaysTimeUsage;
    figures.Left = user.TimeRemaining();
    figures.AllowBegin = DayHour(user.TodaysAllowBegin);
    figures.AllowEnd = DayHour(user.TodaysAllowEnd);
    if (figures.Left > 0 && AllowedAt(user, now.wHour)) {
        figures.State = TFiguresState::TimeLeft;
        figures.Until = static_cast<int>(std::min<long long>(
            now.wHour * 60 + now.wMinute + MinutesToEnd(user, now), kMinutesPerDay));
        return figures;
    }
    figures.State = figures.Left > 0 ? TFiguresState::OutsideHours : TFiguresState::OverLimit;
    if (figures.Left > 0 && now.wHour < figures.AllowBegin &&
        figures.AllowBegin < figures.AllowEnd) {
        figures.AgainDays = 0;
        figures.AgainAt = figures.AllowBegin * 60;
        return figures;
    }
    // A coming day starts with nothing used and has the bonus stored for its day of the year,
    // as the service will judge that day.
    const int weekday = WeekdayOf(now);
    for (int days = 1; days <= 7; ++days) {
        const int day = (weekday - 1 + days) % 7 + 1;
        const int begin = DayHour(user.AllowBegin(day));
        const SYSTEMTIME date = DaysBefore(now, -days);
        const bool bonus = user.BonusOf(DayOfYearOf(date), date.wYear);
        if (static_cast<long long>(user.TimeLimit(day)) + (bonus ? user.BonusTime : 0) > 0 &&
            begin < DayHour(user.AllowEnd(day))) {
            figures.AgainDays = days;
            figures.AgainAt = begin * 60;
            break;
        }
    }
    return figures;
}

} // namespace vantrel
