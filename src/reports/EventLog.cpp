#include "reports/EventLog.h"

#include "model/Constants.h"
#include "ui/controls/MessageBox.h"
#include "ui/controls/Shell.h"

namespace vantrel {

std::wstring EventLogPath() {
    DWORD size = GetEnvironmentVariableW(L"PROGRAMFILES", nullptr, 0);
    if (size == 0)
        return std::wstring();
    std::wstring folder(size, L'\0');
    size = GetEnvironmentVariableW(L"PROGRAMFILES", &folder[0], size);
    if (size == 0 || size >= folder.size())
        return std::wstring();
    folder.resize(size);
    return folder + L"\\QOR\\" + kEventLogFileName;
}

void ViewEventLog(HWND owner) {
    const std::wstring path = EventLogPath();
    if (path.empty())
        return;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ShowMessage(owner, L"Logfile does not exist (yet).", TMsgKind::Information);
        return;
    }
    if (ShellOpen(owner, path) <= 32)
        ShowMessage(owner, L"Cannot open logfile.", TMsgKind::Warning);
}

} // namespace vantrel
