#include "reports/EventLog.h"

#include "model/Constants.h"
#include "ui/controls/MessageBox.h"
#include "ui/controls/Shell.h"
#include "win/Files.h"

namespace vantrel {

std::wstring EventLogPath() {
    const std::wstring folder = EnvironmentVariable(L"PROGRAMFILES");
    if (folder.empty())
        return std::wstring();
    return folder + L"\\QOR\\" + kEventLogFileName;
}

void ViewEventLog(HWND owner) {
    const std::wstring path = EventLogPath();
    if (path.empty())
        return;
    if (!FileExists(path)) {
        ShowMessage(owner, L"Logfile does not exist (yet).", TMsgKind::Information);
        return;
    }
    if (ShellOpen(owner, path) <= 32)
        ShowMessage(owner, L"Cannot open logfile.", TMsgKind::Warning);
}

} // namespace vantrel
