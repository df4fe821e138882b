#include "ui/ReportMessages.h"

#include "model/Constants.h"
#include "ui/controls/MessageBox.h"
#include "ui/controls/Shell.h"
#include "win/SystemError.h"

#include <string>

namespace vantrel {

namespace {

// The shell answers 32 or less for a failure.
bool Opened(HWND owner, const std::wstring& path) {
    return ShellOpen(owner, path) > 32;
}

} // namespace

void ShowUsageReport(HWND owner, const TUsageReport& report) {
    switch (report.State) {
    case TUsageReportState::NoTempFolder:
        ShowMessage(owner, L"Could not find Windows temp folder.", TMsgKind::Error);
        return;
    case TUsageReportState::NotCreated:
        ShowMessage(owner, L"Could not create report file in Windows temp folder.",
                    TMsgKind::Error);
        return;
    case TUsageReportState::NotWritten:
        // An incomplete report is not opened as if it were whole.
        ShowMessage(owner,
                    L"Could not write the report file '" + report.Path + L"'.\r\n" +
                        SystemErrorText(report.Error),
                    TMsgKind::Error);
        return;
    case TUsageReportState::Written:
        if (!Opened(owner, report.Path))
            ShowMessage(owner, L"Cannot open report file.", TMsgKind::Warning);
        return;
    }
}

void ShowEventLog(HWND owner, const TEventLog& log) {
    switch (log.State) {
    case TEventLogState::NoFolder:
        return;
    case TEventLogState::Missing:
        ShowMessage(owner, L"Logfile does not exist (yet).", TMsgKind::Information);
        return;
    case TEventLogState::Found:
        if (!Opened(owner, log.Path))
            ShowMessage(owner, L"Cannot open logfile.", TMsgKind::Warning);
        return;
    }
}

void ShowHelpResult(HWND owner, THelpResult result) {
    const wchar_t* failure = nullptr;
    if (result == THelpResult::FileMissing)
        failure = L"' could not be found.";
    else if (result == THelpResult::NotOpened)
        failure = L"' could not be opened.";
    if (failure)
        ShowMessage(owner, std::wstring(L"The help file '") + kHelpFileName + failure,
                    TMsgKind::Warning);
}

} // namespace vantrel
