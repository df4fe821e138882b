#pragma once
// The program's windows, created once in their start-up order and kept until it ends, and its
// message loop.
#include "reports/HelpViewer.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/AdjustBonusTimeForm.h"
#include "ui/dialogs/DetailedTimeUsageForm.h"
#include "ui/dialogs/DailyTimeLimitsForm.h"
#include "ui/MainForm.h"
#include "ui/dialogs/PreferencesForm.h"

namespace vantrel {

class TApplication {
public:
    TApplication() = default;
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // The main window first, then the dialogs in their order; false if one cannot be made.
    bool CreateForms();
    // The main window alone; the dialogs follow through CreateDialogs.
    bool CreateMainForm();
    // The dialogs in their order, once; true when they exist. Called on the first message
    // after the main window is shown, and before any command, so that a command given
    // earlier still finds its dialog.
    bool CreateDialogs();
    // Shows the main window and, when they do not exist yet, has the dialogs made by the
    // message loop right after it. False when the window is gone (no administrator rights).
    bool ShowMainForm(int cmdShow);
    // Runs the message loop until the main window is closed. The exit code.
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

private:
    // The dialogs' posted request to be made; true when it was this one.
    bool HandleOwnMessage(const MSG& msg);

    bool FDialogsCreated = false;
    bool FDialogsFailed = false;
};

} // namespace vantrel
