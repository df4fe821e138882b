#pragma once
// The weekly usage report: today and the six days before it, per user and optionally per
// computer, then every user's total and daily average, written as a text file into the TEMP
// folder and opened with the program the shell associates with text files.
#include "model/Prefs.h"
#include "model/QorUsers.h"

#include <windows.h>

#include <string>

namespace vantrel {

// Runs the "Time usage report..." command: reads the usage fresh from the store that `prefs`
// chooses, writes the file and opens it. Every failure ends in a message box owned by `owner`;
// nothing is thrown. Leaves each user's WeekTimeUsage at the week's sum.
void WriteUsageReport(TQorUsers& users, const TQorPrefs& prefs, HWND owner);

// "QOR_Report_yyyymmdd_hhmm.txt" for the local date and time `now`.
std::wstring UsageReportFileName(const SYSTEMTIME& now);

// The opening lines: separator, heading, separator, each ending in CR LF.
std::wstring UsageReportHeading();

// Everything after the opening lines for the local date and time `now`: the day sections back
// to 1 January at most and the totals. Sets and sums WeekTimeUsage of every user.
std::wstring UsageReportBody(TQorUsers& users, const TQorPrefs& prefs, const SYSTEMTIME& now);

// The bytes of a report text: the ANSI code page when every character has a place in it,
// otherwise UTF-8 behind a byte-order mark.
std::string EncodeReportText(const std::wstring& text);

} // namespace vantrel
