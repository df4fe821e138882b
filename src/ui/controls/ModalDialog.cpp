#include "ui/controls/ModalDialog.h"

#include <vector>

namespace vantrel {

namespace {

constexpr wchar_t kClassName[] = L"VantrelDialog";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

} // namespace

bool TModalDialog::Create(HWND owner, const std::wstring& caption, int clientWidth,
                          int clientHeight) {
    if (Handle())
        return true;
    FOwner = owner;
    FDpi = DpiOfWindow(owner);
    FClientWidth = clientWidth;
    FClientHeight = clientHeight;
    if (!RegisterWindowClass(kClassName, CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW),
                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)))
        return false;
    RECT rect{0, 0, Scale(clientWidth), Scale(clientHeight)};
    AdjustWindowRectForDpi(rect, kStyle, kExStyle, FDpi);
    if (!CreateHandle(kExStyle, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      rect.right - rect.left, rect.bottom - rect.top, owner))
        return false;
    if (FFont && !FFontDpi)
        FFontDpi = FDpi; // given before the window existed: made for the owner's DPI
    if (!FFont)
        SetDialogFont(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    CreateControls();
    return true;
}

void TModalDialog::SetOwner(HWND owner) {
    FOwner = owner;
    if (Handle())
        SetWindowLongPtrW(Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
}

void TModalDialog::SetDialogFont(HFONT font) {
    LOGFONTW lf{};
    if (!font || !GetObjectW(font, sizeof(lf), &lf))
        return;
    FFontHeight = lf.lfHeight;
    FFontDpi = Handle() ? FDpi : 0;
    ApplyDialogFont(font);
}

void TModalDialog::ApplyDialogFont(HFONT font) {
    LOGFONTW lf{};
    if (!font || !GetObjectW(font, sizeof(lf), &lf))
        return;
    TFontHandle copy(CreateFontIndirectW(&lf));
    if (!copy)
        return;
    lf.lfWeight = FW_BOLD;
    TFontHandle bold(CreateFontIndirectW(&lf));
    HFONT old = FFont.Get();
    HFONT oldBold = FBoldFont.Get();
    if (Handle()) {
        std::vector<HWND> children;
        EnumChildWindows(
            Handle(),
            [](HWND child, LPARAM list) -> BOOL {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&children));
        for (HWND child : children) {
            HFONT current = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
            const TPlacement* placement = PlacementOf(child);
            const bool isBold = placement && placement->Font == TControlFont::Bold;
            HFONT replacement = isBold ? bold.Get() : copy.Get();
            if (!current || current == old || (oldBold && current == oldBold))
                SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(replacement), TRUE);
        }
        SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(copy.Get()), FALSE);
    }
    FFont = std::move(copy);
    FBoldFont = std::move(bold);
}

void TModalDialog::CenterOnOwner() {
    RECT dialog{};
    GetWindowRect(Handle(), &dialog);
    const int width = dialog.right - dialog.left;
    const int height = dialog.bottom - dialog.top;
    HWND anchor = FOwner && IsWindowVisible(FOwner) && !IsIconic(FOwner) ? FOwner : nullptr;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    HMONITOR where = anchor ? MonitorFromWindow(anchor, MONITOR_DEFAULTTONEAREST)
                            : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    GetMonitorInfoW(where, &monitor);
    RECT around = monitor.rcWork;
    if (anchor)
        GetWindowRect(anchor, &around);
    int x = around.left + ((around.right - around.left) - width) / 2;
    int y = around.top + ((around.bottom - around.top) - height) / 2;
    // Keep the whole dialog on the owner's screen, even when the owner is partly off it.
    const RECT& work = monitor.rcWork;
    if (x + width > work.right)
        x = work.right - width;
    if (y + height > work.bottom)
        y = work.bottom - height;
    if (x < work.left)
        x = work.left;
    if (y < work.top)
        y = work.top;
    SetWindowPos(Handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int TModalDialog::ShowModal() {
    if (!Handle() || FInModalLoop)
        return IDCANCEL;
    FModalResult = 0;
    // The owner may have moved to a screen of another DPI since the last showing.
    if (FOwner)
        ChangeDpi(DpiOfWindow(FOwner), nullptr);
    OnShow();
    CenterOnOwner();
    HWND owner = FOwner;
    const bool reenableOwner = owner && IsWindowEnabled(owner);
    if (reenableOwner)
        EnableWindow(owner, FALSE);
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    // As the dialog manager does: the control OnShow asked for, else the first tab stop,
    // else the default button.
    HWND first = FFocusOnShow ? Control(FFocusOnShow) : nullptr;
    FFocusOnShow = 0;
    if (!first || !IsWindowEnabled(first))
        first = GetNextDlgTabItem(Handle(), nullptr, FALSE);
    if (!first)
        first = Control(FDefaultId);
    if (first)
        SetFocus(first);
    // A late activation restores this, not the focus of the previous showing.
    FLastFocus = first;

    FInModalLoop = true;
    MSG msg;
    while (FModalResult == 0) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: let the outer loop see the quit as well.
            PostQuitMessage(static_cast<int>(msg.wParam));
            FModalResult = IDCANCEL;
            break;
        }
        if (got == -1) {
            FModalResult = IDCANCEL;
            break;
        }
        if (!IsDialogMessageW(Handle(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    FInModalLoop = false;
    // Enable the owner before hiding, so that activation returns to it and not to another
    // program's window.
    if (reenableOwner)
        EnableWindow(owner, TRUE);
    if (Handle())
        ShowWindow(Handle(), SW_HIDE);
    if (owner && IsWindow(owner))
        SetActiveWindow(owner);
    return FModalResult;
}

void TModalDialog::EndModal(int result) {
    FModalResult = result ? result : IDCANCEL;
}

void TModalDialog::ChangeDpi(int dpi, const RECT* suggested) {
    if (dpi <= 0 || dpi == FDpi || !Handle())
        return;
    const int old = FDpi;
    FDpi = dpi;
    std::vector<HWND> children;
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    for (HWND child : children) {
        if (const TPlacement* placement = PlacementOf(child)) {
            PlaceControl(*placement);
            continue;
        }
        // A control the dialog made by itself: only its present place is known.
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(child, nullptr, MulDiv(r.left, dpi, old), MulDiv(r.top, dpi, old),
                     MulDiv(r.right - r.left, dpi, old), MulDiv(r.bottom - r.top, dpi, old),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    LOGFONTW lf{};
    if (FFont && FFontDpi > 0 && GetObjectW(FFont.Get(), sizeof(lf), &lf)) {
        lf.lfHeight = MulDiv(FFontHeight, dpi, FFontDpi);
        TFontHandle scaled(CreateFontIndirectW(&lf));
        ApplyDialogFont(scaled.Get());
    }
    OnDpiChanged();
    RECT outer{0, 0, Scale(FClientWidth), Scale(FClientHeight)};
    AdjustWindowRectForDpi(outer, kStyle, kExStyle, dpi);
    const int x = suggested ? suggested->left : 0;
    const int y = suggested ? suggested->top : 0;
    SetWindowPos(Handle(), nullptr, x, y, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | (suggested ? 0 : SWP_NOMOVE));
    InvalidateRect(Handle(), nullptr, TRUE);
}

bool TModalDialog::OnHelp(const HELPINFO&) {
    return false;
}

bool TModalDialog::OnCommand(int, int, HWND) {
    return false;
}

bool TModalDialog::OnNotify(NMHDR*, LRESULT&) {
    return false;
}

LRESULT TModalDialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        HWND control = reinterpret_cast<HWND>(lParam);
        const bool pressed = code == BN_CLICKED || !control;
        if (id == IDOK && pressed) {
            OnOK();
            return 0;
        }
        if (id == IDCANCEL && pressed) {
            OnCancel();
            return 0;
        }
        if (id == FDefaultId && pressed && !control) {
            // Enter with a default button of another id: press it.
            if (HWND def = Control(FDefaultId))
                SendMessageW(def, BM_CLICK, 0, 0);
            return 0;
        }
        if (OnCommand(id, code, control))
            return 0;
        break;
    }
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (OnNotify(reinterpret_cast<NMHDR*>(lParam), result))
            return result;
        break;
    }
    case WM_HELP:
        // F1 on a control reaches the control first; the system passes it up to here.
        if (lParam && OnHelp(*reinterpret_cast<const HELPINFO*>(lParam)))
            return TRUE;
        break;
    case WM_DPICHANGED:
        // Per-monitor aware: the dialog scales itself when moved to a screen of another DPI.
        ChangeDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(FDefaultId, DC_HASDEFID);
    case DM_SETDEFID:
        FDefaultId = static_cast<int>(wParam);
        return TRUE;
    case WM_NEXTDLGCTL: {
        // The dialog manager moves the focus this way when a label's access key is pressed
        // (to the label, then on to the control it names); only the dialog procedure of the
        // system's dialogs answers it otherwise.
        HWND target = nullptr;
        if (LOWORD(lParam))
            target = reinterpret_cast<HWND>(wParam);
        else
            target = GetNextDlgTabItem(Handle(), GetFocus(), wParam != 0);
        if (target && IsChild(Handle(), target))
            SetFocus(target);
        return 0;
    }
    case WM_CLOSE:
        if (FInModalLoop)
            OnCancel();
        else
            ShowWindow(Handle(), SW_HIDE);
        return 0;
    case WM_ACTIVATE:
        // Keep the focused control across switches to other windows.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(Handle(), focus))
                FLastFocus = focus;
        } else if (FLastFocus && IsWindow(FLastFocus) && IsChild(Handle(), FLastFocus)) {
            SetFocus(FLastFocus);
            return 0;
        }
        break;
    case WM_DESTROY:
        FPlacements.clear();
        break;
    case WM_SETFONT:
        // The dialog's own font is what the Add* helpers give new controls.
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(FFont.Get());
    }
    return TWindow::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
