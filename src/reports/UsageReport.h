#pragma once
// The weekly usage report: today and the six days before it, per user and optionally per
// computer, then every user's total and daily average, written as a text file into the TEMP
// folder. The window that asked opens it, or tells why there is none.
#include "model/Prefs.h"
#include "model/QorUsers.h"

#include <windows.h>

#include <string>

namespace vantrel {

enum class TUsageReportState {
    Written,
    NoTempFolder, // TEMP is missing or empty; nothing was written
    NotCreated,   // the file could not be made, or not even its heading written
    NotWritten,   // a write after the heading failed; what was written stays
};

struct TUsageReport {
    TUsageReportState State = TUsageReportState::NoTempFolder;
    // The report's absolute path, once there is a TEMP folder.
    std::wstring Path;
    // The system's code of the step that failed; ERROR_SUCCESS when written.
    DWORD Error = ERROR_SUCCESS;
};

// The "Time usage report..." command's work: reads the usage fresh from the store that `prefs`
// chooses and writes the file. Nothing is thrown. Leaves each user's WeekTimeUsage at the
// week's sum, unless there was no file to write to.
TUsageReport WriteUsageReport(TQorUsers& users, const TQorPrefs& prefs);

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
