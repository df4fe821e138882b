// The dialog's controls: creation from the control table, their 96-DPI places, and the thin
// accessors the dialogs read and set them with.
#include "ui/controls/ModalDialog.h"

namespace vantrel {

HWND TModalDialog::AddControl(const TControlSpec& entry) {
    HWND control = CreateWindowExW(
        entry.ExStyle, entry.ClassName, entry.Text ? entry.Text : L"",
        WS_CHILD | WS_VISIBLE | entry.Style, Scale(entry.X), Scale(entry.Y), Scale(entry.Width),
        Scale(entry.Height), Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.Id)),
        GetModuleHandleW(nullptr), nullptr);
    if (!control)
        return nullptr;
    FPlacements.push_back(
        TPlacement{control, RECT{entry.X, entry.Y, entry.X + entry.Width, entry.Y + entry.Height},
                   entry.Font});
    HFONT font = entry.Font == TControlFont::Bold ? FBoldFont.Get() : FFont.Get();
    if (font)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (!IS_INTRESOURCE(entry.ClassName) && lstrcmpiW(entry.ClassName, L"BUTTON") == 0 &&
        (entry.Style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
        FDefaultId = entry.Id;
    return control;
}

HWND TModalDialog::AddControl(const wchar_t* className, const std::wstring& text, DWORD style,
                              int x, int y, int width, int height, int id, DWORD exStyle) {
    return AddControl(
        TControlSpec{className, text.c_str(), style, x, y, width, height, id, exStyle});
}

bool TModalDialog::AddControls(const TControlSpec* table, std::size_t count) {
    bool all = true;
    for (std::size_t i = 0; i < count; ++i)
        all = AddControl(table[i]) != nullptr && all;
    return all;
}

HWND TModalDialog::AddButton(const std::wstring& text, int x, int y, int width, int height, int id,
                             bool isDefault) {
    if (isDefault)
        FDefaultId = id;
    return AddControl(L"BUTTON", text, WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                      x, y, width, height, id);
}

bool TModalDialog::AddOKCancel(int placesRight) {
    const int top = metrics::ButtonRowTop(FClientHeight);
    const TControlSpec buttons[] = {
        {L"BUTTON", L"&OK", WS_TABSTOP | BS_DEFPUSHBUTTON,
         metrics::ButtonLeft(FClientWidth, placesRight + 1), top, metrics::kButtonWidth,
         metrics::kButtonHeight, IDOK},
        {L"BUTTON", L"&Cancel", WS_TABSTOP | BS_PUSHBUTTON,
         metrics::ButtonLeft(FClientWidth, placesRight), top, metrics::kButtonWidth,
         metrics::kButtonHeight, IDCANCEL},
    };
    return AddControls(buttons);
}

HWND TModalDialog::AddSeparator(int x, int y, int width) {
    return AddControl(L"STATIC", L"", SS_ETCHEDHORZ, x, y, width, 2, -1);
}

TModalDialog::TPlacement* TModalDialog::PlacementOf(HWND control) {
    for (TPlacement& placement : FPlacements)
        if (placement.Handle == control)
            return &placement;
    return nullptr;
}

void TModalDialog::PlaceControl(const TPlacement& placement) {
    const RECT& b = placement.Bounds;
    SetWindowPos(placement.Handle, nullptr, Scale(b.left), Scale(b.top), Scale(b.right - b.left),
                 Scale(b.bottom - b.top), SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TModalDialog::MoveControl(int id, int x, int y, int width, int height) {
    HWND control = Control(id);
    if (!control)
        return false;
    const RECT bounds{x, y, x + width, y + height};
    TPlacement* placement = PlacementOf(control);
    if (placement) {
        placement->Bounds = bounds;
    } else {
        FPlacements.push_back(TPlacement{control, bounds, TControlFont::Dialog});
        placement = &FPlacements.back();
    }
    PlaceControl(*placement);
    return true;
}

RECT TModalDialog::DesignBounds(int id) const {
    HWND control = Control(id);
    for (const TPlacement& placement : FPlacements)
        if (control && placement.Handle == control)
            return placement.Bounds;
    return RECT{};
}

// --- Accessors ---

std::wstring TModalDialog::ControlText(int id) const {
    HWND control = Control(id);
    if (!control)
        return std::wstring();
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    int length = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length > 0 ? length : 0));
    return text;
}

void TModalDialog::SetControlText(int id, const std::wstring& text) {
    if (HWND control = Control(id))
        SetWindowTextW(control, text.c_str());
}

bool TModalDialog::IsChecked(int id) const {
    HWND control = Control(id);
    return control && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TModalDialog::SetChecked(int id, bool checked) {
    if (HWND control = Control(id))
        SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int TModalDialog::CheckedRadio(const std::vector<int>& ids) const {
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (IsChecked(ids[i]))
            return static_cast<int>(i);
    return -1;
}

void TModalDialog::SetCheckedRadio(const std::vector<int>& ids, int index) {
    for (std::size_t i = 0; i < ids.size(); ++i)
        SetChecked(ids[i], static_cast<int>(i) == index);
}

bool TModalDialog::IsControlEnabled(int id) const {
    HWND control = Control(id);
    return control && IsWindowEnabled(control);
}

bool TModalDialog::IsControlShown(int id) const {
    HWND control = Control(id);
    return control && (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

void TModalDialog::EnableControl(int id, bool enabled) {
    SetControlsState({id}, false, enabled);
}

void TModalDialog::ShowControl(int id, bool shown) {
    SetControlsState({id}, true, shown);
}

void TModalDialog::EnableGroup(const TControlGroup& group, bool enabled) {
    SetControlsState(group.Ids(), false, enabled);
}

void TModalDialog::ShowGroup(const TControlGroup& group, bool shown) {
    SetControlsState(group.Ids(), true, shown);
}

void TModalDialog::SetControlsState(const std::vector<int>& ids, bool showing, bool on) {
    HWND focus = GetFocus();
    HWND lost = nullptr;
    for (int id : ids) {
        HWND control = Control(id);
        if (!control)
            continue;
        if (!on && focus && (control == focus || IsChild(control, focus)))
            lost = control;
        if (showing)
            ShowWindow(control, on ? SW_SHOWNA : SW_HIDE);
        else
            EnableWindow(control, on ? TRUE : FALSE);
    }
    if (!lost)
        return;
    // The system leaves the focus nowhere (or on the dialog) when its control goes; move it
    // on as Tab would, so that the keyboard keeps working.
    HWND next = GetNextDlgTabItem(Handle(), lost, FALSE);
    if (!next || next == lost || !IsWindowEnabled(next) || !IsWindowVisible(next))
        next = Handle();
    SetFocus(next);
    FLastFocus = next == Handle() ? nullptr : next;
}

} // namespace vantrel
