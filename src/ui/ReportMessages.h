#pragma once
// What the administrator sees of a report, the service's log and the help file: a file found or
// written is opened through the shell, and whatever went wrong is told in a box. Boxes belong
// to `owner`, or to the modal dialog open over it (ui/controls/MessageBox.h).
#include "reports/EventLog.h"
#include "reports/HelpViewer.h"
#include "reports/UsageReport.h"

#include <windows.h>

namespace vantrel {

void ShowUsageReport(HWND owner, const TUsageReport& report);
// Without a place for the log nothing is shown.
void ShowEventLog(HWND owner, const TEventLog& log);
// The viewer shows help itself; only a failure is told.
void ShowHelpResult(HWND owner, THelpResult result);

} // namespace vantrel
