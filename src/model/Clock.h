#pragma once
// Today's date and time as the program and the service judge days and allowed hours: the time in
// UTC seen in the time zone an administrator recorded for that ("EnforcementTimeZone" under the
// preferences key, which only administrators may write). A standard user may change the
// computer's zone; that must move no day and no hour. While no zone is recorded, the computer's
// own zone counts; while the record cannot be read, the one last read well (by this process,
// or, in one that never read it well, by the administrators' programs that keep a copy of it
// beside the record: "EnforcementTimeZoneKept"). Tests decide the
// time in UTC and the computer's zone through SetClockSeam; nothing caches them.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

namespace vantrel {

// What the platform decides: the time in UTC and the zone the computer is set to.
struct TClockReading {
    SYSTEMTIME Utc{};
    DYNAMIC_TIME_ZONE_INFORMATION Zone{};
};

// The local date and time in the recorded zone (the computer's zone while none is recorded).
SYSTEMTIME LocalNow();
// The time in UTC, as the clock seam decides it.
SYSTEMTIME UtcNow();
// A moment in UTC seen in the zone LocalNow uses.
SYSTEMTIME LocalTimeOf(const SYSTEMTIME& utc);

// Weekday 1 (Monday) to 7 (Sunday) of a local date.
int WeekdayOf(const SYSTEMTIME& t);
// Day of the year, 1 January = 1, up to 366.
int DayOfYearOf(const SYSTEMTIME& t);
// The date `days` before a local date (at noon, so that no daylight-saving shift can move the
// subtraction onto another date); the date itself when the system cannot convert it.
SYSTEMTIME DaysBefore(const SYSTEMTIME& today, int days);

inline int TodayWeekday() {
    return WeekdayOf(LocalNow());
}
inline int TodayDayOfYear() {
    return DayOfYearOf(LocalNow());
}

// Replaces the system's clock and zone; an empty function restores them.
void SetClockSeam(std::function<TClockReading()> now);
// For tests that care for the local time only: that local time in the recorded zone, which is
// then also the computer's (a zone without offset while none is recorded).
void SetClockSeam(std::function<SYSTEMTIME()> localNow);
void SetClockSeam(std::nullptr_t);

// The zone the computer is set to now.
DYNAMIC_TIME_ZONE_INFORMATION SystemZone();
// The zone recorded for days and allowed hours as it is stored now: ERROR_SUCCESS, or
// ERROR_FILE_NOT_FOUND when none is recorded, or the code of a record that cannot be read (a
// damaged value, a key that may not be read).
LONG ReadRecordedZone(DYNAMIC_TIME_ZONE_INFORMATION& zone);
// The recorded zone in force: the record, or, while it cannot be read, the one this process
// last read well, or the kept copy. False when none is recorded (or none could ever be read); the
// computer's zone counts then.
bool RecordedZone(DYNAMIC_TIME_ZONE_INFORMATION& zone);
// Records the zone in this computer's registry; the system's code.
LONG RecordZone(const DYNAMIC_TIME_ZONE_INFORMATION& zone);
// Whether two zones tell the same local time at every moment (their display names aside).
bool SameZone(const DYNAMIC_TIME_ZONE_INFORMATION& a, const DYNAMIC_TIME_ZONE_INFORMATION& b);
// The zone's name and its offset without daylight saving: "W. Europe Standard Time (UTC+01:00)".
std::wstring ZoneDescription(const DYNAMIC_TIME_ZONE_INFORMATION& zone);

// Milliseconds on a clock that only goes forward and does not run while the computer sleeps
// (QueryUnbiasedInterruptTime): the measure of time passed, whatever anyone does to the date,
// the time or the zone. Tests decide it through SetMonotonicSeam; an empty function restores it.
ULONGLONG MonotonicMs();
void SetMonotonicSeam(std::function<ULONGLONG()> now);

} // namespace vantrel
