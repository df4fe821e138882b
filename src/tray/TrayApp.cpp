#include "tray/TrayApp.h"

#include <windowsx.h>

namespace vantrel {

namespace {

constexpr UINT kIconMessage = WM_APP + 1;
// Posted by the watch after the service wrote the figures.
constexpr UINT kFiguresChangedMessage = WM_APP + 2;
constexpr UINT kCommandShow = 1;
constexpr UINT kCommandExit = 2;
constexpr wchar_t kBalloonTitle[] = L"Vantrel";

} // namespace

UINT TrayShowMessage() {
    static const UINT message = RegisterWindowMessageW(L"Vantrel.QORtray.Show");
    return message;
}

TTrayApp::~TTrayApp() {
    DestroyHandle();
}

bool TTrayApp::Start(const std::wstring& user) {
    FUser = user;
    FTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    if (!RegisterWindowClass(kTrayClassName, 0, nullptr, nullptr))
        return false;
    // Top-level, never shown: a message-only window would not hear "TaskbarCreated".
    if (!CreateHandle(WS_EX_TOOLWINDOW, kTrayClassName, L"QORtray", WS_POPUP, 0, 0, 0, 0, nullptr))
        return false;
    FIcon = std::make_unique<TNotifyIcon>(Handle(), kIconMessage);
    SetTimer(Handle(), kTrayPollTimer, kTrayPollMs, nullptr);
    Refresh();
    // Without the watch (no thread to be had) the poll alone keeps the figures.
    FWatch.Start(FUser, Handle(), kFiguresChangedMessage);
    return true;
}

void TTrayApp::Refresh(bool keepOnFailure) {
    TUserFigures figures;
    const bool read = ReadUserFigures(FUser, figures);
    if (!read && keepOnFailure)
        return;
    FView = TrayViewOf(read ? &figures : nullptr);
    UpdateIcon();
    FWindow.Update(FView);
    if (!read)
        return;
    // A warning the service gave before this program started is not news.
    const bool news = FSerialKnown && figures.WarningSerial > FSerial;
    FSerialKnown = true;
    FSerial = figures.WarningSerial;
    if (news && FView.ShowIcon && FView.Picture != TTrayPicture::Stale && !figures.Warning.empty())
        FIcon->Balloon(kBalloonTitle, figures.Warning);
}

void TTrayApp::UpdateIcon() {
    if (!FIcon)
        return;
    if (!FView.ShowIcon) {
        FIcon->Remove();
        FShownIcon.Reset();
        return;
    }
    const TTrayLook look{FView.Picture, FView.Share, TrayIconSize(DpiOfWindow(Handle())),
                         HighContrastOn(), FView.Level};
    if (FShownIcon.Get() && look == FShownLook && FView.Tip == FShownTip && FIcon->Added())
        return;
    TIconHandle next;
    if (!FShownIcon.Get() || look != FShownLook) {
        next.Reset(FPainter.Draw(look));
        if (!next.Get())
            return;
    }
    HICON shown = next.Get() ? next.Get() : FShownIcon.Get();
    // Without a taskbar yet the icon is added at the next reading or when one is made.
    FIcon->Show(shown, FView.Tip);
    if (next.Get()) {
        FShownIcon = std::move(next);
        FShownLook = look;
    }
    FShownTip = FView.Tip;
}

void TTrayApp::ShowFigures(const POINT* anchor) {
    // The figures as they stand now, whatever the last reading found; a
    // reading that fails at this moment (the service is making the key again) takes nothing
    // away from the icon just clicked.
    Refresh(true);
    FWindow.Show(FView, anchor);
}

void TTrayApp::OnIconEvent(WPARAM wParam, LPARAM lParam) {
    // Version 4 names the event in the low word and gives the icon's point; the older
    // protocol sends the mouse message alone.
    const bool version4 = FIcon->Version4();
    const UINT event = version4 ? LOWORD(lParam) : static_cast<UINT>(lParam);
    POINT at{GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
    if (!version4)
        GetCursorPos(&at);
    switch (event) {
    case NIN_SELECT:
    case NIN_KEYSELECT:
    case NIN_BALLOONUSERCLICK:
        ShowFigures(&at);
        break;
    case WM_LBUTTONUP:
        if (!version4)
            ShowFigures(&at);
        break;
    case WM_CONTEXTMENU:
        ShowMenu(at);
        break;
    case WM_RBUTTONUP:
        if (!version4)
            ShowMenu(at);
        break;
    }
}

void TTrayApp::ShowMenu(POINT at) {
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuW(menu, MF_STRING, kCommandShow, L"&Show my time");
    AppendMenuW(menu, MF_STRING, kCommandExit, L"E&xit");
    SetMenuDefaultItem(menu, kCommandShow, FALSE);
    // The menu closes on a click elsewhere only while its owner is in front.
    SetForegroundWindow(Handle());
    const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    TrackPopupMenuEx(menu, align | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, at.x, at.y, Handle(),
                     nullptr);
    DestroyMenu(menu);
    PostMessageW(Handle(), WM_NULL, 0, 0);
}

LRESULT TTrayApp::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == FTaskbarCreated && msg != 0) {
        // Explorer started anew: its notification area knows nothing of ours.
        if (FIcon)
            FIcon->Forget();
        UpdateIcon();
        return 0;
    }
    if (msg == TrayShowMessage()) {
        ShowFigures();
        return 0;
    }
    switch (msg) {
    case kIconMessage:
        OnIconEvent(wParam, lParam);
        return 0;
    case kFiguresChangedMessage:
        // Taken before the reading, so that a writing during it is told again.
        FWatch.Taken();
        Refresh();
        return 0;
    case WM_TIMER:
        if (wParam == kTrayPollTimer) {
            Refresh();
            return 0;
        }
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == kCommandShow)
            ShowFigures();
        else if (LOWORD(wParam) == kCommandExit)
            PostMessageW(Handle(), WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        // Exit, or someone asked the program to end.
        DestroyWindow(Handle());
        PostQuitMessage(0);
        return 0;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
    case WM_DISPLAYCHANGE:
    case WM_DPICHANGED:
        // High contrast, the colours or the icon size may have changed: draw again.
        FShownLook.Size = 0;
        UpdateIcon();
        FWindow.Update(FView, true);
        return msg == WM_DPICHANGED ? 0 : DefWindowProcW(Handle(), msg, wParam, lParam);
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may end without another message.
        if (wParam && FIcon)
            FIcon->Remove();
        return 0;
    case WM_DESTROY:
        FWatch.Stop();
        KillTimer(Handle(), kTrayPollTimer);
        if (FIcon)
            FIcon->Remove();
        FWindow.Hide();
        return 0;
    }
    return TWindow::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
