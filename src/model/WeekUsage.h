#pragma once
// One user's last seven days at a glance: for today and the six days before it, the minutes
// the store holds per computer, that weekday's time limit and allowed hours, and a bonus that
// belongs to the day. The minutes are read as the weekly report reads them
// (ReadUsagePerComputer): a computer's value counts for a day only where the day of the year
// stored beside it is that day's, so last week's value of the same weekday never shows.
//
// The store keeps no history of the settings: every day shows the limit and hours the user's
// weekday has now. A bonus is stored with its day, so it shows on that day if it lies in the week.
#include "model/QorUser.h"
#include "model/UsageEntry.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace vantrel {

struct TDayUsage {
    SYSTEMTIME Date{};
    int Weekday = 1;
    int DayOfYear = 1;
    // The computers with a minute or more on that day, in the store's order.
    std::vector<TUsageEntry> Computers;
    // Their sum, kept within the int range.
    int Minutes = 0;
    int TimeLimit = 0;
    // The bonus stored for this very day; 0 for none.
    int Bonus = 0;
    int AllowBegin = 0;
    int AllowEnd = 0;
    // Whether time limits are on for the user; without them nothing is over a limit.
    bool Limited = false;
    // The clock in which the allowed hours are told (the preferences' choice).
    bool Clock24 = true;

    long long Allowed() const { return static_cast<long long>(TimeLimit) + Bonus; }
    // The minutes beyond limit + bonus; 0 when within, or without limits.
    int OverLimit() const;
    // The minutes of one computer on this day; 0 when it has none.
    int MinutesOn(const std::wstring& computer) const;
};

struct TWeekUsage {
    std::wstring Username;
    bool Limited = false;
    // Seven days, the oldest first and today last.
    std::vector<TDayUsage> Days;
    // Every computer with usage in the week, in the order they first appear, oldest day first.
    std::vector<std::wstring> Computers;
};

// Lists "computer=minutes" for a weekday (1..7) and day of the year, as ReadUsagePerComputer.
using TUsageReader = std::function<std::vector<std::wstring>(int weekday, int dayOfYear)>;

// The week ending on the local date `today`, from the user's settings and `read`. A day of the
// previous year counts by its own day of the year.
TWeekUsage WeekUsageOf(const TQorUser& user, const SYSTEMTIME& today, const TUsageReader& read,
                       bool clock24 = true);
// The same from the store: the network computer's when `remote`, without a local read first.
TWeekUsage ReadWeekUsage(const TQorUser& user, bool remote, const std::wstring& remoteComputer,
                         const SYSTEMTIME& today, bool clock24 = true);

// A time of the day, minutes 0 to 1440 after midnight: "19:45", or "7:45 p.m." on the 12-hour
// clock; the day's end is "24:00" or "12:00 a.m.", as the allowed hours tell it.
std::wstring TimeOfDayText(int minuteOfDay, bool clock24);
// The allowed hours [begin, end): "07:00-20:00", or "7:00 a.m.-8:00 p.m." on the 12-hour clock;
// brief, "07-20" or "7am-8pm".
std::wstring AllowedHoursText(int begin, int end, bool clock24, bool brief = false);
// "1:35" for 95 minutes; "-0:30" for -30.
std::wstring HoursText(long long minutes);
// The day's figures in one sentence, as a tool tip or a screen reader tells them.
std::wstring DayUsageText(const TDayUsage& day);
// The week as a table of tab-separated text (a heading line, then one line per day), which a
// spreadsheet takes as it is.
std::wstring WeekUsageTable(const TWeekUsage& week);

} // namespace vantrel
