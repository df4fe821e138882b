#include "ui/dialogs/WeeklyTimeUsageForm.h"

#include "ui/Fonts.h"

#include <cstring>

namespace vantrel {

namespace {

using namespace metrics;

constexpr int kWidth = 600;
constexpr int kRadioWidth = 100;
constexpr int kHeadingWidth = kWidth - 2 * kRadioWidth - 8;
constexpr int kChartTop = kMargin + kLabelHeight + kRelatedGap;
constexpr int kChartHeight = 320;
constexpr int kDayTop = kChartTop + kChartHeight + kRelatedGap + 2;
constexpr int kDayHeight = 2 * 13 + 4;
constexpr int kClientWidth = kMargin + kWidth + kMargin;
constexpr int kClientHeight = ClientHeightWithButtonRow(kDayTop + kDayHeight);

// As the service names this computer in the store.
std::wstring LocalComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameExW(ComputerNameNetBIOS, name, &size) ? std::wstring(name)
                                                                : std::wstring();
}

} // namespace

bool TWeeklyTimeUsageForm::Create(HWND owner) {
    if (Handle())
        return true;
    SetDialogFont(CreateSystemFont(WindowDpi(owner)).Get());
    return TModalDialog::Create(owner, L"Weekly time usage", kClientWidth, kClientHeight);
}

void TWeeklyTimeUsageForm::CreateControls() {
    const TControlSpec top[] = {
        {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, kMargin, kHeadingWidth, kLabelHeight,
         IdLabelTop},
        {L"BUTTON", L"By co&mputer", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON,
         kMargin + kWidth - 2 * kRadioWidth, kMargin, kRadioWidth, kCheckBoxHeight,
         IdRadioComputers},
        {L"BUTTON", L"By &program", BS_AUTORADIOBUTTON, kMargin + kWidth - kRadioWidth, kMargin,
         kRadioWidth, kCheckBoxHeight, IdRadioPrograms},
    };
    AddControls(top);
    // Between the heading and the buttons, so that Tab reaches it in that order.
    const RECT bounds{Scale(kMargin), Scale(kChartTop), Scale(kMargin + kWidth),
                      Scale(kChartTop + kChartHeight)};
    if (FChart.Create(Handle(), IdChart, bounds, Dpi(), L"Time usage per day"))
        SendMessageW(FChart.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
    const TControlSpec bottom[] = {
        {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, kDayTop, kWidth, kDayHeight, IdLabelDay},
        {L"BUTTON", L"&Copy", WS_TABSTOP | BS_PUSHBUTTON, kMargin, ButtonRowTop(kClientHeight),
         kButtonWidth, kButtonHeight, IdButtonCopy},
        {L"BUTTON", L"&OK", WS_TABSTOP | BS_DEFPUSHBUTTON, ButtonLeft(kClientWidth, 0),
         ButtonRowTop(kClientHeight), kButtonWidth, kButtonHeight, IDOK},
    };
    AddControls(bottom);
}

void TWeeklyTimeUsageForm::OnShow() {
    SetControlText(IdLabelTop,
                   L"Time usage of the last seven days for user " + Week.Username + L":");
    const std::wstring here = ThisComputer.empty() ? LocalComputerName() : ThisComputer;
    OrderComputers(Week, here);
    FChart.SetWeek(Week, here);
    FChart.SetPrograms(Programs);
    if (CheckedRadio({IdRadioComputers, IdRadioPrograms}) < 0)
        SetCheckedRadio({IdRadioComputers, IdRadioPrograms}, 0);
    ShowView();
    FocusOnShow(IdChart);
}

void TWeeklyTimeUsageForm::ShowCurrentDay() {
    SetControlText(IdLabelDay, FChart.DayText(FChart.CurrentDay()));
}

void TWeeklyTimeUsageForm::ShowView() {
    const bool programs = CheckedRadio({IdRadioComputers, IdRadioPrograms}) == 1;
    FChart.SetView(programs ? TWeekChartView::Programs : TWeekChartView::Computers);
    SetWindowTextW(FChart.Handle(), programs ? L"Time per program and day" : L"Time usage per day");
    ShowCurrentDay();
}

bool TWeeklyTimeUsageForm::CopyTable() {
    const std::wstring table = WeekUsageTable(Week);
    const size_t bytes = (table.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        return false;
    void* target = GlobalLock(memory);
    if (!target) {
        // Never hand the clipboard memory that holds no table.
        GlobalFree(memory);
        return false;
    }
    std::memcpy(target, table.c_str(), bytes);
    GlobalUnlock(memory);
    if (!OpenClipboard(Handle())) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    // The clipboard owns the memory once it took it.
    const bool taken = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    if (!taken)
        GlobalFree(memory);
    return taken;
}

bool TWeeklyTimeUsageForm::OnCommand(int id, int code, HWND control) {
    if (id == IdButtonCopy && code == BN_CLICKED) {
        if (!CopyTable())
            MessageBeep(MB_ICONWARNING);
        return true;
    }
    if ((id == IdRadioComputers || id == IdRadioPrograms) && code == BN_CLICKED) {
        ShowView();
        return true;
    }
    if (id == IdChart && code == kWeekChartChanged) {
        ShowCurrentDay();
        return true;
    }
    return TModalDialog::OnCommand(id, code, control);
}

} // namespace vantrel
