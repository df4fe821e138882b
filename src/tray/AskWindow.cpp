#include "tray/AskWindow.h"

#include "model/TimeRequest.h"
#include "ui/Fonts.h"
#include "tray/TrayWindowParts.h"
#include "ui/ProgramIcons.h"
#include "ui/controls/DialogMetrics.h"
#include "win/Dpi.h"

#include <commctrl.h>

#include <algorithm>

namespace vantrel {

namespace {

constexpr wchar_t kClassName[] = L"VantrelTrayAsk";
constexpr wchar_t kCaption[] = L"Ask for more time - Vantrel";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
// 96-DPI pixels, beside the shared dialog measures.
constexpr int kContentWidth = 330;
constexpr int kCodeWidth = 90;
constexpr int kComboDrop = 120;

void Place(HWND control, bool shown, int x, int y, int width, int height) {
    ShowWindow(control, shown ? SW_SHOWNA : SW_HIDE);
    if (shown)
        MoveWindow(control, x, y, width, height, TRUE);
}

} // namespace

TAskWindow::~TAskWindow() {
    DestroyHandle();
}

int TAskWindow::Scale(int pixels) const {
    return ScaleForDpi(pixels, FDpi);
}

bool TAskWindow::Create() {
    static const HICON icon = LoadProgramIcon(IDI_PROGRAM, GetSystemMetrics(SM_CXICON));
    static const HICON smallIcon = LoadProgramIcon(IDI_PROGRAM, GetSystemMetrics(SM_CXSMICON));
    if (!RegisterWindowClass(kClassName, 0, LoadCursorW(nullptr, IDC_ARROW),
                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), icon, smallIcon))
        return false;
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    if (!CreateHandle(kExStyle, kClassName, kCaption, kStyle, info.rcWork.right - 200,
                      info.rcWork.bottom - 200, 100, 100, nullptr))
        return false;
    FDpi = DpiOfWindow(Handle());
    const DWORD label = SS_LEFT | SS_NOPREFIX;
    FState = MakeControl(Handle(), L"STATIC", label);
    FLeft = MakeControl(Handle(), L"STATIC", label);
    // Each label comes right before its field: that is how a screen reader names the field.
    FAmountLabel = MakeControl(Handle(), L"STATIC", SS_LEFT);
    FAmount = MakeControl(Handle(), L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN);
    FReasonLabel = MakeControl(Handle(), L"STATIC", SS_LEFT);
    FReason = MakeControl(Handle(), L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, 0, WS_EX_CLIENTEDGE);
    SendMessageW(FReason, EM_LIMITTEXT, kMaxReasonLength, 0);
    FSend = MakeControl(Handle(), L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, kSendId);
    SetWindowTextW(FSend, L"&Send");
    FWithdraw = MakeControl(Handle(), L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, kWithdrawId);
    SetWindowTextW(FWithdraw, L"&Withdraw");
    FCodeLabel = MakeControl(Handle(), L"STATIC", SS_LEFT);
    SetWindowTextW(FCodeLabel, L"Enter a &code from your parent:");
    FCode = MakeControl(Handle(), L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | ES_NUMBER, 0,
                        WS_EX_CLIENTEDGE);
    SendMessageW(FCode, EM_LIMITTEXT, 6, 0);
    FUseCode = MakeControl(Handle(), L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, kCodeId);
    SetWindowTextW(FUseCode, L"&Use code");
    FCodeNote = MakeControl(Handle(), L"STATIC", label);
    FResult = MakeControl(Handle(), L"STATIC", label);
    FClose = MakeControl(Handle(), L"BUTTON", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
    SetWindowTextW(FClose, L"Close");
    if (!FState || !FAmount || !FReason || !FCode || !FClose)
        return false;
    MakeFonts();
    return true;
}

void TAskWindow::MakeFonts() {
    TFontHandle normal = CreateSystemFont(FDpi);
    TFontHandle bold = CreateSystemFont(FDpi, true);
    if (!normal || !bold)
        return;
    for (HWND control : {FLeft, FAmountLabel, FAmount, FReasonLabel, FReason, FSend, FWithdraw,
                         FCodeLabel, FCode, FUseCode, FCodeNote, FResult, FClose})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(normal.Get()), TRUE);
    SendMessageW(FState, WM_SETFONT, reinterpret_cast<WPARAM>(bold.Get()), TRUE);
    FFont = std::move(normal);
    FBoldFont = std::move(bold);
}

bool TAskWindow::Show(const TAskView& view) {
    if (!Handle() && !Create())
        return false;
    const bool wasShown = Shown();
    SetTexts(view);
    if (!wasShown) {
        SetWindowTextW(FResult, L"");
        Layout();
    }
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    if (!wasShown)
        SetFocus(IsWindowEnabled(FSend) && IsWindowVisible(FSend) ? FAmount : FClose);
    return true;
}

void TAskWindow::Update(const TAskView& view) {
    if (Shown() && (!FHasShown || view != FShown))
        SetTexts(view);
}

void TAskWindow::Hide() {
    if (Handle())
        ShowWindow(Handle(), SW_HIDE);
}

bool TAskWindow::Shown() const {
    return Handle() && IsWindowVisible(Handle());
}

bool TAskWindow::HandleDialogMessage(MSG& msg) {
    return Handle() && IsDialogMessageW(Handle(), &msg);
}

std::wstring TAskWindow::Text() const {
    if (!Handle())
        return {};
    std::wstring text;
    for (HWND line : {FState, FLeft, FCodeNote, FResult})
        if (IsWindowVisible(line) && GetWindowTextLengthW(line) > 0)
            text += (text.empty() ? L"" : L"\n") + WindowText(line);
    return text;
}

void TAskWindow::SetAmountText(const std::wstring& text) {
    SetWindowTextW(FAmount, text.c_str());
}

void TAskWindow::SetReasonText(const std::wstring& text) {
    SetWindowTextW(FReason, text.c_str());
}

void TAskWindow::SetCodeText(const std::wstring& text) {
    SetWindowTextW(FCode, text.c_str());
}

void TAskWindow::SetBusy(bool busy) {
    FBusy = busy;
    if (FHasShown)
        SetTexts(FShown);
}

void TAskWindow::ShowResult(const std::wstring& text) {
    if (!Handle())
        return;
    SetWindowTextW(FResult, text.c_str());
    Layout();
}

void TAskWindow::SetTexts(const TAskView& view) {
    const bool amountsChanged = !FHasShown || view.Amounts != FShown.Amounts;
    FShown = view;
    FHasShown = true;
    SetWindowTextW(FState, view.State.c_str());
    SetWindowTextW(FLeft, view.Left.c_str());
    const std::wstring amountLabel =
        L"How many &minutes (up to " + std::to_wstring(view.Most) + L"):";
    SetWindowTextW(FAmountLabel, amountLabel.c_str());
    SetWindowTextW(FReasonLabel, L"&Why (you may leave this empty):");
    if (amountsChanged) {
        const std::wstring typed = WindowText(FAmount);
        SendMessageW(FAmount, CB_RESETCONTENT, 0, 0);
        for (int amount : view.Amounts)
            SendMessageW(FAmount, CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(std::to_wstring(amount).c_str()));
        // What the user typed stays while it is still allowed; else the smallest listed.
        if (ParseAskAmount(typed, view.Most) > 0)
            SetWindowTextW(FAmount, typed.c_str());
        else if (!view.Amounts.empty())
            SendMessageW(FAmount, CB_SETCURSEL, 0, 0);
    }
    SetWindowTextW(FCodeNote, view.CodeNote.c_str());
    EnableWindow(FSend, view.CanAsk && !FBusy);
    EnableWindow(FWithdraw, view.CanWithdraw && !FBusy);
    EnableWindow(FCode, !view.CodeLocked);
    EnableWindow(FUseCode, !view.CodeLocked && !FBusy);
    Layout();
}

void TAskWindow::Layout() {
    if (!Handle() || !FFont || !FHasShown)
        return;
    const TAskView& view = FShown;
    const int margin = Scale(metrics::kMargin);
    const int width = Scale(kContentWidth);
    TScopedGetDC screen(Handle());
    HDC dc = screen.Get();
    TEXTMETRICW textMetrics{};
    const auto wrapped = [&](HWND control, HFONT font, int minLines) {
        TScopedSelect select(dc, font);
        TEXTMETRICW m{};
        GetTextMetricsW(dc, &m);
        const std::wstring text = WindowText(control);
        RECT r{0, 0, width, 0};
        if (!text.empty())
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                      DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        return std::max<int>(r.bottom, minLines * m.tmHeight);
    };
    {
        TScopedSelect select(dc, FFont.Get());
        GetTextMetricsW(dc, &textMetrics);
    }
    const int lineHeight = static_cast<int>(textMetrics.tmHeight) + Scale(2);
    const int fieldHeight =
        std::max(Scale(metrics::kEditHeight), static_cast<int>(textMetrics.tmHeight) + Scale(8));
    const int buttonHeight =
        std::max(Scale(metrics::kButtonHeight), static_cast<int>(textMetrics.tmHeight) + Scale(10));
    const int buttonWidth = Scale(metrics::kButtonWidth + 10);
    const int related = Scale(metrics::kRelatedGap);
    const int unrelated = Scale(metrics::kUnrelatedGap);

    int y = margin;
    const int stateHeight = wrapped(FState, FBoldFont.Get(), 2);
    MoveWindow(FState, margin, y, width, stateHeight, TRUE);
    y += stateHeight + related;
    const bool hasLeft = !view.Left.empty();
    const int leftHeight = hasLeft ? wrapped(FLeft, FFont.Get(), 1) : 0;
    Place(FLeft, hasLeft, margin, y, width, leftHeight);
    if (hasLeft)
        y += leftHeight;
    const bool ask = view.CanAsk;
    if (ask) {
        y += unrelated;
        Place(FAmountLabel, true, margin, y, width, lineHeight);
        y += lineHeight + related;
        Place(FAmount, true, margin, y, Scale(kCodeWidth), fieldHeight + Scale(kComboDrop));
        y += fieldHeight + unrelated / 2;
        Place(FReasonLabel, true, margin, y, width, lineHeight);
        y += lineHeight + related;
        Place(FReason, true, margin, y, width, fieldHeight);
        y += fieldHeight + unrelated / 2;
    } else {
        for (HWND control : {FAmountLabel, FAmount, FReasonLabel, FReason})
            Place(control, false, 0, 0, 0, 0);
    }
    const bool buttons = ask || view.CanWithdraw;
    if (buttons) {
        if (!ask)
            y += unrelated;
        Place(FSend, ask, margin, y, buttonWidth, buttonHeight);
        Place(FWithdraw, view.CanWithdraw,
              ask ? margin + buttonWidth + Scale(metrics::kButtonGap) : margin, y, buttonWidth,
              buttonHeight);
        y += buttonHeight;
    } else {
        Place(FSend, false, 0, 0, 0, 0);
        Place(FWithdraw, false, 0, 0, 0, 0);
    }
    const bool code = view.ShowCode;
    if (code) {
        y += unrelated;
        Place(FCodeLabel, true, margin, y, width, lineHeight);
        y += lineHeight + related;
        Place(FCode, true, margin, y + (buttonHeight - fieldHeight) / 2, Scale(kCodeWidth),
              fieldHeight);
        Place(FUseCode, true, margin + Scale(kCodeWidth) + Scale(metrics::kButtonGap), y,
              buttonWidth, buttonHeight);
        y += buttonHeight;
    } else {
        for (HWND control : {FCodeLabel, FCode, FUseCode})
            Place(control, false, 0, 0, 0, 0);
    }
    const bool note = code && !view.CodeNote.empty();
    const int noteHeight = note ? wrapped(FCodeNote, FFont.Get(), 1) : 0;
    if (note)
        y += related;
    Place(FCodeNote, note, margin, y, width, noteHeight);
    y += noteHeight;
    // The answer to the last message has room for two lines, so that it does not move the
    // buttons when it comes.
    y += unrelated;
    const int resultHeight = wrapped(FResult, FFont.Get(), 2);
    Place(FResult, true, margin, y, width, resultHeight);
    y += resultHeight + unrelated;
    const int closeWidth = Scale(metrics::kButtonWidth);
    MoveWindow(FClose, margin + width - closeWidth, y, closeWidth, buttonHeight, TRUE);
    y += buttonHeight + margin;

    RECT outer{0, 0, width + 2 * margin, y};
    AdjustWindowRectForDpi(outer, kStyle, kExStyle, FDpi);
    const int outerWidth = outer.right - outer.left;
    const int outerHeight = outer.bottom - outer.top;
    RECT now{};
    GetWindowRect(Handle(), &now);
    if (outerWidth != now.right - now.left || outerHeight != now.bottom - now.top) {
        // The lower right corner stays where it was, within the work area.
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        GetMonitorInfoW(MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST), &info);
        const RECT& work = info.rcWork;
        const int gap = Scale(metrics::kMargin);
        const int right = Shown() ? std::min<int>(now.right, work.right) : work.right - gap;
        const int bottom = Shown() ? std::min<int>(now.bottom, work.bottom) : work.bottom - gap;
        SetWindowPos(Handle(), nullptr, std::max<int>(work.left, right - outerWidth),
                     std::max<int>(work.top, bottom - outerHeight), outerWidth, outerHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    }
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TAskWindow::Send(int id) {
    if (FBusy)
        return;
    TAskMessage message;
    if (id == kSendId) {
        if (!FShown.CanAsk)
            return;
        message.Kind = TAskKind::Ask;
        message.Minutes = ParseAskAmount(WindowText(FAmount), FShown.Most);
        if (message.Minutes == 0) {
            ShowResult(L"Pick how many minutes to ask for, or type a number from 1 to " +
                       std::to_wstring(FShown.Most) + L".");
            return;
        }
        message.Reason = CleanReason(WindowText(FReason));
    } else if (id == kWithdrawId) {
        if (!FShown.CanWithdraw)
            return;
        message.Kind = TAskKind::Withdraw;
    } else {
        if (!FShown.ShowCode || FShown.CodeLocked)
            return;
        message.Kind = TAskKind::Code;
        message.Code = ParseCodeText(WindowText(FCode));
        if (message.Code.empty()) {
            ShowResult(L"A code from your parent has six digits.");
            return;
        }
        SetWindowTextW(FCode, L"");
    }
    if (OnSend)
        OnSend(message);
}

LRESULT TAskWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            // Enter in the code field uses the code, in the other fields sends the request.
            if (LOWORD(wParam) == IDOK) {
                HWND focus = GetFocus();
                if (focus && focus == FCode) {
                    Send(kCodeId);
                    return 0;
                }
                if (focus && (focus == FReason || IsChild(FAmount, focus))) {
                    Send(kSendId);
                    return 0;
                }
            }
            Hide();
            return 0;
        case kSendId:
        case kWithdrawId:
        case kCodeId:
            Send(LOWORD(wParam));
            return 0;
        }
        break;
    case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE:
        Hide();
        return 0;
    case WM_DPICHANGED:
    case WM_SETTINGCHANGE:
        if (FollowScaleChange(Handle(), msg, wParam, lParam, FDpi, [this] {
                MakeFonts();
                Layout();
            }))
            return 0;
        break;
    }
    return TWindow::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
