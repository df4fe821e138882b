#pragma once
// The time-limit service's event log, %PROGRAMFILES%\QOR\QORevents.log: where it lies and
// whether it is there. Opening it is the window's business.
#include <string>

namespace vantrel {

// The log's full path, or an empty text when PROGRAMFILES is missing or empty.
std::wstring EventLogPath();

enum class TEventLogState {
    NoFolder, // PROGRAMFILES is missing or empty: there is no place to look
    Missing,  // nothing, or a folder, lies at the log's path
    Found,
};

struct TEventLog {
    TEventLogState State = TEventLogState::NoFolder;
    // The log's path, whenever there is a place for it.
    std::wstring Path;
};

// What the "View logfile..." command finds.
TEventLog FindEventLog();

} // namespace vantrel
