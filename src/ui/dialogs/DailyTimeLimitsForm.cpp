#include "ui/dialogs/DailyTimeLimitsForm.h"

#include "ui/Fonts.h"
#include "ui/controls/MessageBox.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace vantrel {

namespace {

using namespace metrics;

// The layout at 96 DPI, top to bottom: the check box, the headings, the hour scale, seven day
// rows 32 pixels apart (day label, grid, list), the legend and the bottom row of buttons.
constexpr int kDayLabelLeft = kMargin;
constexpr int kDayLabelWidth = 32;
constexpr int kGridLeft = kDayLabelLeft + kDayLabelWidth + 6;
constexpr int kGridWidth = kHourGridCells * (kHourGridCellSize + 1) + 1; // 505
constexpr int kListLeft = kGridLeft + kGridWidth + kUnrelatedGap;
// Wide enough for an extra entry such as "-100:00" besides the "hh:mm" choices.
constexpr int kListWidth = 72;
constexpr int kClientWidth = kListLeft + kListWidth + kMargin;

constexpr int kCheckBoxTop = kMargin;
constexpr int kHeadingTop = kCheckBoxTop + kCheckBoxHeight + kUnrelatedGap;
constexpr int kHhMmTop = kHeadingTop + kLabelHeight;
constexpr int kAmPmTop = kHeadingTop + 18;
constexpr int kScaleTop = kAmPmTop + 16;
constexpr int kScaleHeight = 14;
constexpr int kScaleLabelWidth = 20;
constexpr int kAmPmWidth = 40;
constexpr int kRowsTop = kScaleTop + kScaleHeight + kRelatedGap;
constexpr int kRowPitch = 32;
constexpr int kGridHeight = kHourGridCellSize + 2;
constexpr int kLegendTop = kRowsTop + 6 * kRowPitch + kGridHeight + kUnrelatedGap;
constexpr int kSwatchSize = 16;
constexpr int kLegendLabelWidth = 60;
constexpr int kClientHeight = ClientHeightWithButtonRow(kLegendTop + kSwatchSize);
// The open list shows every choice and an extra entry at once.
constexpr int kListItems = TDailyTimeLimitsForm::kChoiceCount + 1;
constexpr int kListOpenHeight = kComboHeight + kListItems * 16 + 4;

constexpr const wchar_t* kDayNames[7] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};
// What a screen reader calls each day's grid.
constexpr const wchar_t* kGridNames[7] = {L"Monday", L"Tuesday",  L"Wednesday", L"Thursday",
                                          L"Friday", L"Saturday", L"Sunday"};
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;

// "hh:mm" without the blank that FormatMinutes puts before values of zero or more.
std::wstring ChoiceText(int minutes) {
    std::wstring text = FormatMinutes(minutes);
    if (!text.empty() && text[0] == L' ')
        text.erase(0, 1);
    return text;
}

// The hour a 12-hour scale shows at a cell boundary: 12, 1 .. 11, 12, 1 .. 11, 12.
int TwelveHourLabel(int boundary) {
    const int hour = boundary % 12;
    return hour == 0 ? 12 : hour;
}

// The caption shows a user name as it is: an ampersand would otherwise become an access key.
std::wstring WithoutAccessKeys(const std::wstring& text) {
    std::wstring result;
    for (wchar_t c : text) {
        result += c;
        if (c == L'&')
            result += L'&';
    }
    return result;
}

} // namespace

bool TDailyTimeLimitsForm::Create(HWND owner, const TQorPrefs* prefs) {
    Prefs = prefs;
    if (Handle())
        return true;
    SetDialogFont(CreateSystemFont(WindowDpi(owner)).Get());
    return TModalDialog::Create(owner, L"Daily time limits", kClientWidth, kClientHeight);
}

TControlGroup TDailyTimeLimitsForm::UserDataControls() {
    TControlGroup group{IdLabelPeriod, IdLabelTimeLimit, IdLabelHhMm, IdLabelAm, IdLabelPm};
    group.AddRange(IdScale12First, IdScale12First + kScaleLabels - 1);
    group.AddRange(IdScale24First, IdScale24First + kScaleLabels - 1);
    group.AddRange(IdDayLabelFirst, IdDayLabelFirst + 6);
    group.AddRange(IdGridFirst, IdGridFirst + 6);
    group.AddRange(IdListFirst, IdListFirst + 6);
    group.Add(IdButtonStrict).Add(IdButtonDefault).Add(IdButtonLenient);
    group.Add(IdLabelAllowed).Add(IdLabelBlocked);
    return group;
}

void TDailyTimeLimitsForm::CreateControls() {
    // Creation order is the tab order: the check box, then each day's grid and list from
    // Monday down, the presets, OK and Cancel.
    const TControlSpec head[] = {
        {L"BUTTON", L"Activate computer time limit for user :",
         BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, kMargin, kCheckBoxTop, kClientWidth - 2 * kMargin,
         kCheckBoxHeight, IdCheckBoxActivateUser},
        {L"STATIC", L"Period of time during which access to the computer is allowed:", kLabel,
         kGridLeft, kHeadingTop, kGridWidth, kLabelHeight, IdLabelPeriod, 0, TControlFont::Bold},
        {L"STATIC", L"Time limit:", kLabel, kListLeft, kHeadingTop, kListWidth, kLabelHeight,
         IdLabelTimeLimit, 0, TControlFont::Bold},
        {L"STATIC", L"(hh:mm)", kLabel, kListLeft, kHhMmTop, kListWidth, kLabelHeight, IdLabelHhMm},
        {L"STATIC", L"a.m.", SS_CENTER | SS_NOPREFIX, kGridLeft + 6 * 21 - kAmPmWidth / 2, kAmPmTop,
         kAmPmWidth, kScaleHeight, IdLabelAm},
        {L"STATIC", L"p.m.", SS_CENTER | SS_NOPREFIX, kGridLeft + 18 * 21 - kAmPmWidth / 2,
         kAmPmTop, kAmPmWidth, kScaleHeight, IdLabelPm},
    };
    AddControls(head);
    for (int boundary = 0; boundary < kScaleLabels; ++boundary) {
        const int x = kGridLeft + boundary * (kHourGridCellSize + 1) - kScaleLabelWidth / 2;
        const std::wstring twelve = std::to_wstring(TwelveHourLabel(boundary));
        AddControl(TControlSpec{L"STATIC", twelve.c_str(), SS_CENTER | SS_NOPREFIX, x, kScaleTop,
                                kScaleLabelWidth, kScaleHeight, IdScale12First + boundary});
    }
    for (int boundary = 0; boundary < kScaleLabels; ++boundary) {
        const int x = kGridLeft + boundary * (kHourGridCellSize + 1) - kScaleLabelWidth / 2;
        const std::wstring hour = std::to_wstring(boundary);
        AddControl(TControlSpec{L"STATIC", hour.c_str(), SS_CENTER | SS_NOPREFIX, x, kScaleTop,
                                kScaleLabelWidth, kScaleHeight, IdScale24First + boundary});
    }
    for (int day = 1; day <= 7; ++day) {
        const int top = kRowsTop + (day - 1) * kRowPitch;
        AddControl(TControlSpec{L"STATIC", kDayNames[day - 1], SS_RIGHT | SS_NOPREFIX,
                                kDayLabelLeft, top + 4, kDayLabelWidth, kLabelHeight,
                                IdDayLabelFirst + day - 1});
        Grid(day).Create(Handle(), GridId(day), Scale(kGridLeft), Scale(top), Dpi(),
                         kGridNames[day - 1]);
        AddControl(TControlSpec{WC_COMBOBOXW, L"",
                                CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP, kListLeft,
                                top, kListWidth, kListOpenHeight, ListId(day)});
        SendMessageW(Control(ListId(day)), CB_SETMINVISIBLE, kListItems, 0);
        FillList(day, 120);
    }
    const int swatchTop = kLegendTop;
    const int blockedLeft = kGridLeft + kSwatchSize + 6 + kLegendLabelWidth + kUnrelatedGap;
    const TControlSpec legend[] = {
        {L"EDIT", L"", ES_READONLY | WS_DISABLED | WS_BORDER, kGridLeft, swatchTop, kSwatchSize,
         kSwatchSize, IdEditAllowed},
        {L"STATIC", L"Allowed", kLabel, kGridLeft + kSwatchSize + 6, swatchTop + 1,
         kLegendLabelWidth, kLabelHeight, IdLabelAllowed},
        {L"EDIT", L"", ES_READONLY | WS_DISABLED | WS_BORDER, blockedLeft, swatchTop, kSwatchSize,
         kSwatchSize, IdEditBlocked},
        {L"STATIC", L"Blocked", kLabel, blockedLeft + kSwatchSize + 6, swatchTop + 1,
         kLegendLabelWidth, kLabelHeight, IdLabelBlocked},
    };
    AddControls(legend);
    const int buttonTop = ButtonRowTop(kClientHeight);
    const TControlSpec presets[] = {
        {L"BUTTON", L"Strict", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, kMargin, buttonTop,
         kButtonWidth, kButtonHeight, IdButtonStrict},
        {L"BUTTON", L"Default", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP,
         kMargin + kButtonWidth + kButtonGap, buttonTop, kButtonWidth, kButtonHeight,
         IdButtonDefault},
        {L"BUTTON", L"Lenient", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP,
         kMargin + 2 * (kButtonWidth + kButtonGap), buttonTop, kButtonWidth, kButtonHeight,
         IdButtonLenient},
    };
    AddControls(presets);
    AddOKCancel();
    FAllowedBrush.Reset(CreateSolidBrush(kAllowedColor));
    PlaceScale();
}

void TDailyTimeLimitsForm::FillList(int weekday, int minutes) {
    TComboBox list = List(weekday);
    list.Clear();
    for (int index = 0; index < kChoiceCount; ++index) {
        list.Add(ChoiceText(kChoiceMinutes[static_cast<size_t>(index)]));
        list.SetItemData(index, kChoiceMinutes[static_cast<size_t>(index)]);
    }
    int selected = MinutesToItemIndex(minutes);
    if (selected < 0) {
        // A value only another writer of the store can have made: shown as it is, so that OK
        // keeps it instead of silently storing another limit.
        selected = list.Add(ChoiceText(minutes));
        list.SetItemData(selected, minutes);
    }
    list.SetSelected(selected);
}

int TDailyTimeLimitsForm::CellBoundaryX(int boundary) const {
    // The grid's line before cell `boundary` (after the last cell for 24).
    RECT grid{};
    GetWindowRect(FGrids[0].Handle(), &grid);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&grid), 2);
    return grid.left + boundary * (ScaleForDpi(kHourGridCellSize, Dpi()) + 1);
}

void TDailyTimeLimitsForm::PlaceGrids() {
    for (int day = 1; day <= 7; ++day) {
        Grid(day).SetDpi(Dpi());
        Grid(day).MoveTo(Scale(kGridLeft), Scale(kRowsTop + (day - 1) * kRowPitch));
    }
}

void TDailyTimeLimitsForm::PlaceScale() {
    const int width = Scale(kScaleLabelWidth);
    const int top = Scale(kScaleTop);
    const int height = Scale(kScaleHeight);
    for (int boundary = 0; boundary < kScaleLabels; ++boundary) {
        const int x = CellBoundaryX(boundary) - width / 2;
        for (int first : {int(IdScale12First), int(IdScale24First)})
            SetWindowPos(Control(first + boundary), nullptr, x, top, width, height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const int amPmWidth = Scale(kAmPmWidth);
    SetWindowPos(Control(IdLabelAm), nullptr, CellBoundaryX(6) - amPmWidth / 2, Scale(kAmPmTop),
                 amPmWidth, height, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(Control(IdLabelPm), nullptr, CellBoundaryX(18) - amPmWidth / 2, Scale(kAmPmTop),
                 amPmWidth, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TDailyTimeLimitsForm::OnDpiChanged() {
    PlaceGrids();
    PlaceScale();
}

int TDailyTimeLimitsForm::MinutesToItemIndex(int minutes) {
    for (int index = 0; index < kChoiceCount; ++index)
        if (kChoiceMinutes[static_cast<size_t>(index)] == minutes)
            return index;
    return -1;
}

int TDailyTimeLimitsForm::ItemIndexToMinutes(int index) {
    if (index < 0 || index >= kChoiceCount)
        return 120;
    return kChoiceMinutes[static_cast<size_t>(index)];
}

void TDailyTimeLimitsForm::UserToControls() {
    SetControlText(IdCheckBoxActivateUser, L"Activate computer time limit for user " +
                                               WithoutAccessKeys(FQorUser.Username) + L":");
    SetChecked(IdCheckBoxActivateUser, FQorUser.QorControl);
    for (int day = 1; day <= 7; ++day) {
        Grid(day).SetPeriod(FQorUser.AllowBegin(day), FQorUser.AllowEnd(day));
        FillList(day, FQorUser.TimeLimit(day));
    }
}

void TDailyTimeLimitsForm::ControlsToUser() {
    ReadControls(FQorUser);
}

void TDailyTimeLimitsForm::ReadControls(TQorUser& user) {
    user.QorControl = IsChecked(IdCheckBoxActivateUser);
    for (int day = 1; day <= 7; ++day) {
        user.AllowBegin(day) = Grid(day).Begin();
        user.AllowEnd(day) = Grid(day).End();
        const TComboBox list = List(day);
        const int index = list.Selected();
        // The extra entry of a value none of the choices stands for keeps that value.
        user.TimeLimit(day) = index >= kChoiceCount ? static_cast<int>(list.ItemData(index))
                                                    : ItemIndexToMinutes(index);
    }
}

void TDailyTimeLimitsForm::ApplyEnablingRule() {
    EnableGroup(UserDataControls(), IsChecked(IdCheckBoxActivateUser));
    EnableControl(IdEditAllowed, false);
    EnableControl(IdEditBlocked, false);
    ControlChanged();
}

void TDailyTimeLimitsForm::CheckBoxActivateUserClick() {
    ApplyEnablingRule();
}

void TDailyTimeLimitsForm::ControlChanged() {
    EnableControl(IDOK, true);
}

void TDailyTimeLimitsForm::ApplyPreset(const wchar_t* question, int profile) {
    if (ShowMessage(Handle(), question, TMsgKind::Confirm, TMsgButtons::YesNo) != IDYES)
        return;
    FQorUser.SetDefaults(profile, false);
    UserToControls();
    SetChecked(IdCheckBoxActivateUser, true);
    CheckBoxActivateUserClick();
}

void TDailyTimeLimitsForm::ButtonStrictClick() {
    ApplyPreset(L"Are you sure you want to revert to the strict values?", ProfileStrict);
}

void TDailyTimeLimitsForm::ButtonDefaultClick() {
    ApplyPreset(L"Are you sure you want to revert to default values?", ProfileDefault);
}

void TDailyTimeLimitsForm::ButtonLenientClick() {
    ApplyPreset(L"Are you sure you want to revert to lenient values?", ProfileLenient);
}

void TDailyTimeLimitsForm::OnShow() {
    const bool use24 = Prefs && Prefs->Use24HourClock;
    TControlGroup twelve{IdLabelAm, IdLabelPm};
    twelve.AddRange(IdScale12First, IdScale12First + kScaleLabels - 1);
    TControlGroup twentyFour;
    twentyFour.AddRange(IdScale24First, IdScale24First + kScaleLabels - 1);
    ShowGroup(twelve, !use24);
    ShowGroup(twentyFour, use24);
    for (THourGrid& grid : FGrids)
        grid.SetClock24(use24);
    UserToControls();
    FShown.Assign(FQorUser);
    ReadControls(FShown);
    ApplyEnablingRule();
    EnableControl(IDOK, false);
}

void TDailyTimeLimitsForm::OnOK() {
    if (!IsControlEnabled(IDOK))
        return;
    ControlsToUser();
    EndModal(IDOK);
}

bool TDailyTimeLimitsForm::OnCommand(int id, int code, HWND) {
    if (id == IdCheckBoxActivateUser && code == BN_CLICKED) {
        CheckBoxActivateUserClick();
        return true;
    }
    if (id >= IdGridFirst && id < IdGridFirst + 7 && code == kHourGridChanged) {
        ControlChanged();
        return true;
    }
    if (id >= IdListFirst && id < IdListFirst + 7 && code == CBN_SELCHANGE) {
        ControlChanged();
        return true;
    }
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IdButtonStrict:
        ButtonStrictClick();
        return true;
    case IdButtonDefault:
        ButtonDefaultClick();
        return true;
    case IdButtonLenient:
        ButtonLenientClick();
        return true;
    }
    return false;
}

LRESULT TDailyTimeLimitsForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CTLCOLORSTATIC) {
        // The legend's swatches are disabled edits, which ask for the colour of static text.
        const HWND control = reinterpret_cast<HWND>(lParam);
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (control && control == Control(IdEditAllowed)) {
            SetBkColor(dc, kAllowedColor);
            return reinterpret_cast<LRESULT>(FAllowedBrush.Get());
        }
        if (control && control == Control(IdEditBlocked)) {
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
    }
    return TModalDialog::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
