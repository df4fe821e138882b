#pragma once
// The program's windows, created once in their start-up order and kept until it ends, and its
// message loop.
#include "reports/HelpViewer.h"
#include "ui/AboutForm.h"
#include "ui/AdjustBonusTimeForm.h"
#include "ui/DetailedTimeUsageForm.h"
#include "ui/DailyTimeLimitsForm.h"
#include "ui/MainForm.h"
#include "ui/PreferencesForm.h"

namespace vantrel {

class TApplication {
public:
    TApplication() = default;
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // The main window first, then the dialogs in their order; false if one cannot be made.
    bool CreateForms();
    // Shows the main window and runs the message loop until it is closed. The exit code.
    int Run(int cmdShow);
    // Handles the messages waiting now, shortcuts included, and returns.
    void ProcessMessages();
    // One message of the loop: the main window's shortcuts, then the usual dispatch.
    void DispatchOne(MSG& msg);

    // Declared first: the help viewer's library is loaded before the first window and freed
    // after the last.
    THelpViewer HelpViewer;
    TMainForm MainForm;
    TDialog<TDailyTimeLimitsForm> DailyTimeLimitsForm;
    TDialog<TAdjustBonusTimeForm> AdjustBonusTimeForm;
    TDialog<TPreferencesForm> PreferencesForm;
    TDialog<TAboutForm> AboutForm;
    TDialog<TDetailedTimeUsageForm> DetailedTimeUsageForm;
};

} // namespace vantrel
