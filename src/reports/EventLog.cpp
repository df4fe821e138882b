#include "reports/EventLog.h"

#include "model/Constants.h"
#include "win/Files.h"

namespace vantrel {

std::wstring EventLogPath() {
    const std::wstring folder = EnvironmentVariable(L"PROGRAMFILES");
    if (folder.empty())
        return std::wstring();
    return folder + L"\\QOR\\" + kEventLogFileName;
}

TEventLog FindEventLog() {
    TEventLog log;
    log.Path = EventLogPath();
    if (log.Path.empty())
        return log;
    log.State = FileExists(log.Path) ? TEventLogState::Found : TEventLogState::Missing;
    return log;
}

} // namespace vantrel
