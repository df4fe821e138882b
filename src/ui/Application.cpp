#include "ui/Application.h"

#include "ui/controls/MessageBox.h"
#include "win/MessagePump.h"

#include <shellapi.h>

namespace vantrel {

namespace {

// Posted to the thread once the main window is shown: the dialogs are made then. Under Wine
// each window costs several server round trips, and the dialogs with their controls took
// longer to make than the main window itself.
constexpr UINT WM_APP_CREATE_DIALOGS = WM_APP + 70;

} // namespace

bool AnswerCommandLine(const wchar_t* commandLine, std::wstring& user) {
    if (!commandLine || !*commandLine)
        return false;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine, &count);
    if (!arguments)
        return false;
    // CommandLineToArgvW takes the first word for the program's name only when given a whole
    // command line; wWinMain's holds the arguments alone.
    bool found = false;
    if (count == 2 &&
        (_wcsicmp(arguments[0], L"/answer") == 0 || _wcsicmp(arguments[0], L"-answer") == 0)) {
        const std::wstring name = arguments[1];
        found = ReadAccountName(name.c_str(), name.size(), user);
    }
    LocalFree(arguments);
    return found;
}

bool AnswerInRunningProgram(const std::wstring& user) {
    HWND running = FindWindowW(TMainForm::kClassName, nullptr);
    if (!running)
        return false;
    DWORD process = 0;
    GetWindowThreadProcessId(running, &process);
    // The running program brings its window to the front.
    AllowSetForegroundWindow(process);
    COPYDATASTRUCT data{};
    data.dwData = TMainForm::kAnswerCopyData;
    data.cbData = static_cast<DWORD>((user.size() + 1) * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(user.c_str());
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_ABORTIFHUNG, 5000, &result) != 0 &&
           result == TRUE;
}

bool TApplication::CreateForms() {
    return CreateMainForm() && CreateDialogs();
}

bool TApplication::CreateMainForm() {
    MainForm.HelpViewer = &HelpViewer;
    if (!MainForm.Create())
        return false;
    // Every command passes here first: one given before the posted request arrives (a
    // shortcut typed at once, a message sent by another program) makes the dialogs itself.
    MainForm.ActionManager.OnBeforeExecute = [this] {
        // Ending the program is left to the loop, outside the command.
        if (!CreateDialogs())
            PostThreadMessageW(GetCurrentThreadId(), WM_APP_CREATE_DIALOGS, 0, 0);
    };
    return true;
}

bool TApplication::CreateDialogs() {
    if (FDialogsCreated)
        return true;
    if (FDialogsFailed || !MainForm.Handle())
        return false;
    // Failing halfway leaves nothing to retry: the program ends (see Run).
    FDialogsFailed = true;
    // The dialogs in their start-up order.
    if (!DailyTimeLimitsForm.Create(MainForm.Handle(), &MainForm.Prefs))
        return false;
    MainForm.DailyTimeLimitsForm = &DailyTimeLimitsForm;
    if (!AdjustBonusTimeForm.Create(MainForm.Handle()))
        return false;
    MainForm.AdjustBonusTimeForm = &AdjustBonusTimeForm;
    if (!PreferencesForm.Create(MainForm.Handle()))
        return false;
    MainForm.PreferencesForm = &PreferencesForm;
    if (!AboutForm.Create(MainForm.Handle()))
        return false;
    MainForm.AboutForm = &AboutForm;
    if (!DetailedTimeUsageForm.Create(MainForm.Handle()))
        return false;
    MainForm.DetailedTimeUsageForm = &DetailedTimeUsageForm;
    if (!AnswerRequestForm.Create(MainForm.Handle()))
        return false;
    MainForm.AnswerRequestForm = &AnswerRequestForm;
    FDialogsFailed = false;
    FDialogsCreated = true;
    return true;
}

bool TApplication::ShowMainForm(int cmdShow) {
    if (!MainForm.Show(cmdShow))
        return false;
    // A thread message, not one for the window: it is taken before any input and before the
    // window's repaints, and a modal loop that drops it leaves the work to the first command.
    if (!FDialogsCreated)
        PostThreadMessageW(GetCurrentThreadId(), WM_APP_CREATE_DIALOGS, 0, 0);
    return true;
}

void TApplication::StartAnswer() {
    if (AnswerAtStart.empty())
        return;
    const std::wstring user = std::move(AnswerAtStart);
    AnswerAtStart.clear();
    if (!MainForm.AnswerRequestOf(user))
        ShowMessage(MainForm.Handle(), L"There is no user " + user + L" in the list.",
                    TMsgKind::Information);
}

bool TApplication::HandleOwnMessage(const MSG& msg) {
    if (msg.hwnd || msg.message != WM_APP_CREATE_DIALOGS)
        return false;
    // A program without its dialogs cannot carry out its commands: it ends as it did when
    // they could not be made before the first showing.
    if (!CreateDialogs() && MainForm.Handle())
        DestroyWindow(MainForm.Handle());
    return true;
}

int TApplication::Run(int cmdShow) {
    MainForm.QuitOnDestroy = true;
    if (!ShowMainForm(cmdShow))
        return 0;
    StartAnswer();
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchOne(msg);
    return FDialogsFailed ? 1 : static_cast<int>(msg.wParam);
}

void TApplication::ProcessMessages() {
    PumpWaitingMessages(
        [this](MSG& msg) { return HandleOwnMessage(msg) || MainForm.TranslateAccelerator(msg); });
}

void TApplication::DispatchOne(MSG& msg) {
    if (HandleOwnMessage(msg) || MainForm.TranslateAccelerator(msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

} // namespace vantrel
