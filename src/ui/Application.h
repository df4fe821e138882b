#pragma once
// The program's windows, created once in their start-up order and kept until it ends, and its
// message loop.
#include "reports/HelpViewer.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/AdjustBonusTimeForm.h"
#include "ui/dialogs/AnswerRequestForm.h"
#include "ui/dialogs/DetailedTimeUsageForm.h"
#include "ui/dialogs/DailyTimeLimitsForm.h"
#include "ui/MainForm.h"
#include "ui/dialogs/PreferencesForm.h"

namespace vantrel {

// The user named by the command line "/answer <user>" (also "-answer", letters in any case);
// false for any other command line. The program has no other.
bool AnswerCommandLine(const wchar_t* commandLine, std::wstring& user);
// Hands "/answer <user>" to a Vantrel that runs already (its main window, of the same desktop);
// false when none runs or it did not take the name.
bool AnswerInRunningProgram(const std::wstring& user);

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
    // After the first showing: the answer AnswerAtStart asks for, or a box when no row has
    // that user.
    void StartAnswer();

    // Declared first: the help viewer's library is loaded before the first window and freed
    // after the last.
    THelpViewer HelpViewer;
    TMainForm MainForm;
    TDialog<TDailyTimeLimitsForm> DailyTimeLimitsForm;
    TDialog<TAdjustBonusTimeForm> AdjustBonusTimeForm;
    TDialog<TPreferencesForm> PreferencesForm;
    TDialog<TAboutForm> AboutForm;
    TDialog<TDetailedTimeUsageForm> DetailedTimeUsageForm;
    TDialog<TAnswerRequestForm> AnswerRequestForm;
    // From "/answer <user>": Run selects the user and opens the answer once the list is filled.
    std::wstring AnswerAtStart;

private:
    // The dialogs' posted request to be made; true when it was this one.
    bool HandleOwnMessage(const MSG& msg);

    bool FDialogsCreated = false;
    bool FDialogsFailed = false;
};

} // namespace vantrel
