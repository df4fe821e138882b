#pragma once
// Where a limited user stands at a moment of today: judged here once, for the service that
// enforces it and for the figures the user is shown (model/UserFigures.h), so that what the
// user reads is what the service does. Every function takes the record with today's figures
// derived (TQorUser::DeriveTodaysFigures) and the local time in the zone days and hours are
// judged in (LocalNow).
#include "model/Prefs.h"
#include "model/QorUser.h"
#include "model/UserFigures.h"

#include <windows.h>

namespace vantrel {

// Whether the hour (0..23) lies in today's allowed hours, from TodaysAllowBegin up to but not
// including TodaysAllowEnd. Hours that cannot be (a begin at or after the end) allow none.
bool AllowedAt(const TQorUser& user, int hour);

// The minutes before today's time ends: those left of limit and bonus, or those to the end of
// the allowed hours when that comes first. An end of 24 runs into tomorrow, which has hours of
// its own. Meaningful while the user is allowed and has time left.
long long MinutesToEnd(const TQorUser& user, const SYSTEMTIME& now);

// The figures of the user at `now`; Written is the writer's. A user without a limit gets only
// Limited off and the preferences. A user whose time is used up is OverLimit, also outside the
// allowed hours: more hours would not help. AgainDays is 0 only when the allowed hours of today
// are still to begin and time is left; otherwise the first coming day (1 tomorrow .. 7 the same
// weekday next week) with time (its limit and the bonus stored for its day of the year) and
// some allowed hour, at its first allowed hour. Today's bonus opens no other day.
TUserFigures FiguresOf(const TQorUser& user, const SYSTEMTIME& now, const TQorPrefs& prefs);

} // namespace vantrel
