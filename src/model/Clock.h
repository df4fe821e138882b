#pragma once
// Today's local date and time. Tests decide it through SetClockSeam; nothing caches it.
#include <windows.h>
#include <functional>

namespace vantrel {

SYSTEMTIME LocalNow();

// Weekday 1 (Monday) to 7 (Sunday) of a local date.
int WeekdayOf(const SYSTEMTIME& t);
// Day of the year, 1 January = 1, up to 366.
int DayOfYearOf(const SYSTEMTIME& t);

inline int TodayWeekday() {
    return WeekdayOf(LocalNow());
}
inline int TodayDayOfYear() {
    return DayOfYearOf(LocalNow());
}

// Replaces the local clock; an empty function restores it.
void SetClockSeam(std::function<SYSTEMTIME()> now);

// Milliseconds on a clock that only goes forward and does not run while the computer sleeps
// (QueryUnbiasedInterruptTime): the measure of time passed, whatever anyone does to the date,
// the time or the zone. Tests decide it through SetMonotonicSeam; an empty function restores it.
ULONGLONG MonotonicMs();
void SetMonotonicSeam(std::function<ULONGLONG()> now);

} // namespace vantrel
