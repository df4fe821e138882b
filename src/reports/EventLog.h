#pragma once
// The time-limit service's event log, %PROGRAMFILES%\QOR\QORevents.log, handed to the shell.
#include <windows.h>

#include <string>

namespace vantrel {

// The log's full path, or an empty text when PROGRAMFILES is missing or empty.
std::wstring EventLogPath();

// Runs the "View logfile..." command: opens the log with the program the shell associates
// with it. Without PROGRAMFILES nothing happens; a missing log or a shell that cannot open it
// is told in a message box owned by `owner`.
void ViewEventLog(HWND owner);

} // namespace vantrel
