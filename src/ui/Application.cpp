#include "ui/Application.h"

#include "win/MessagePump.h"

namespace vantrel {

bool TApplication::CreateForms() {
    MainForm.HelpViewer = &HelpViewer;
    if (!MainForm.Create())
        return false;
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
