#include "ui/Application.h"

#include "win/MessagePump.h"

namespace vantrel {

bool TApplication::CreateForms() {
    MainForm.HelpViewer = &HelpViewer;
    if (!MainForm.Create())
        return false;
    if (!DailyTimeLimitsForm.Create(MainForm.Handle(), &MainForm.Prefs))
        return false;
    MainForm.DailyTimeLimitsForm = &DailyTimeLimitsForm;
    // The bonus time and detailed usage dialogs take their places around these as they are
    // added to the program.
    if (!PreferencesForm.Create(MainForm.Handle()))
        return false;
    MainForm.PreferencesForm = &PreferencesForm;
    if (!AboutForm.Create(MainForm.Handle()))
        return false;
    MainForm.AboutForm = &AboutForm;
    return true;
}

int TApplication::Run(int cmdShow) {
    MainForm.QuitOnDestroy = true;
    if (!MainForm.Show(cmdShow))
        return 0;
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchOne(msg);
    return static_cast<int>(msg.wParam);
}

void TApplication::ProcessMessages() {
    PumpWaitingMessages([this](MSG& msg) { return MainForm.TranslateAccelerator(msg); });
}

void TApplication::DispatchOne(MSG& msg) {
    if (MainForm.TranslateAccelerator(msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

} // namespace vantrel
