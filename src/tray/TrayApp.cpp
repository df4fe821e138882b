#include "tray/TrayApp.h"

#include "model/Clock.h"
#include "model/TimeRequest.h"
#include "ui/ProgramIcons.h"

#include <windowsx.h>

namespace vantrel {

namespace {

constexpr UINT kIconMessage = WM_APP + 1;
// Posted by the watch after the service wrote the figures.
constexpr UINT kFiguresChangedMessage = WM_APP + 2;
constexpr UINT kCommandShow = 1;
constexpr UINT kCommandExit = 2;
constexpr UINT kCommandAsk = 3;
// Posted by the ask call when the service answered (or did not).
constexpr UINT kAskDoneMessage = WM_APP + 3;
// Posted after a change of this computer's users key (the parent's tray).
constexpr UINT kRequestsChangedMessage = WM_APP + 4;
constexpr wchar_t kBalloonTitle[] = L"Vantrel";

} // namespace

UINT TrayShowMessage() {
    static const UINT message = RegisterWindowMessageW(L"Vantrel.QORtray.Show");
    return message;
}

TTrayApp::~TTrayApp() {
    DestroyHandle();
}

bool TTrayApp::Start(const std::wstring& user, bool parent) {
    FUser = user;
    FParent = parent;
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
    FWindow.OnAsk = [this] { ShowAsk(); };
    FAsk.OnSend = [this](const TAskMessage& message) { Send(message); };
    if (FParent) {
        SetTimer(Handle(), kRequestLookTimer, kRequestLookMs, nullptr);
        FRequests.Start(Handle(), kRequestsChangedMessage);
        LookForRequests();
    }
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
    if (read) {
        // The minute a new waiting request was first seen, for "You asked ... at 19:05".
        const bool waiting = figures.RequestState == static_cast<int>(TRequestState::Waiting);
        if (waiting && (!FFiguresRead || figures.RequestSerial != FWaitingSerial)) {
            const SYSTEMTIME now = LocalNow();
            FAskedAt = FFiguresRead ? now.wHour * 60 + now.wMinute : -1;
            FWaitingSerial = figures.RequestSerial;
        }
        FFigures = figures;
        FFiguresRead = true;
    }
    const bool usable = read && FView.Picture != TTrayPicture::Stale;
    FAskView = AskViewOf(usable ? &FFigures : nullptr, FAskedAt);
    FAsk.Update(FAskView);
    if (!read)
        return;
    // A warning the service gave before this program started is not news.
    const bool news = FSerialKnown && figures.WarningSerial > FSerial;
    FSerialKnown = true;
    FSerial = figures.WarningSerial;
    const std::wstring answer = FAnswers.Next(figures);
    if (!FView.ShowIcon || FView.Picture == TTrayPicture::Stale)
        return;
    if (news && !figures.Warning.empty() && FIcon->Balloon(kBalloonTitle, figures.Warning))
        FBalloon = TBalloon::Warning;
    // The answer comes after a warning of the same reading: it is the later news.
    if (!answer.empty() && FIcon->Balloon(kBalloonTitle, answer))
        FBalloon = TBalloon::Answer;
}

void TTrayApp::ShowAsk() {
    Refresh(true);
    FAsk.Show(FAskView);
}

void TTrayApp::Send(const TAskMessage& message) {
    if (!FCall.Start(FAskPipe, message, Handle(), kAskDoneMessage)) {
        FAsk.ShowResult(AskResultText(message.Kind, TAskOutcome::NoService, {}, FAskView.Most));
        return;
    }
    FAsk.SetBusy(true);
    FAsk.ShowResult(L"Sending...");
}

void TTrayApp::OnAskDone() {
    const TAskResult result = FCall.Result();
    FAsk.SetBusy(false);
    FAsk.ShowResult(
        AskResultText(FCall.Message().Kind, result.Outcome, result.Answer, FAskView.Most));
    // The service wrote the figures before it answered.
    Refresh(true);
}

void TTrayApp::OnBalloonClick() {
    switch (FBalloon) {
    case TBalloon::Request:
        OpenAnswerInVantrel(FBalloonUser);
        break;
    case TBalloon::Warning:
    case TBalloon::Answer:
        ShowAsk();
        break;
    case TBalloon::None:
        ShowFigures();
        break;
    }
}

void TTrayApp::LookForRequests() {
    if (!FParent)
        return;
    size_t waiting = 0;
    const std::vector<TWaitingRequest> news = FRequests.Look(&waiting);
    TellRequests(news, waiting);
}

void TTrayApp::TellRequests(const std::vector<TWaitingRequest>& news, size_t waiting) {
    FRequestsWaiting = waiting;
    UpdateIcon();
    if (!FIcon || !FIcon->Added())
        return;
    // One balloon each; the shell shows them one after another.
    for (const TWaitingRequest& open : news)
        if (FIcon->Balloon(kBalloonTitle, RequestNewsText(open))) {
            FBalloon = TBalloon::Request;
            FBalloonUser = open.User;
        }
}

void TTrayApp::UpdateIcon() {
    if (!FIcon)
        return;
    if (!FView.ShowIcon) {
        FShownIcon.Reset();
        FShownLook = TTrayLook{};
        if (FParent && FRequestsWaiting > 0) {
            // A parent without a limit of their own has an icon only to tell of requests.
            if (!FProgramIcon.Get())
                FProgramIcon.Reset(
                    LoadProgramIcon(IDI_PROGRAM, TrayIconSize(DpiOfWindow(Handle()))));
            const std::wstring tip = L"Vantrel: a request for more time is waiting";
            if (FProgramIcon.Get() && (!FIcon->Added() || FShownTip != tip))
                FIcon->Show(FProgramIcon.Get(), tip);
            FShownTip = tip;
            return;
        }
        FIcon->Remove();
        FShownTip.clear();
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
    case NIN_BALLOONUSERCLICK:
        OnBalloonClick();
        break;
    case NIN_SELECT:
    case NIN_KEYSELECT:
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
    if (FView.ShowIcon)
        AppendMenuW(menu, MF_STRING, kCommandAsk, L"&Ask for more time...");
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
    case kAskDoneMessage:
        OnAskDone();
        return 0;
    case kRequestsChangedMessage:
        FRequests.Rearm();
        LookForRequests();
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
        if (wParam == kRequestLookTimer) {
            LookForRequests();
            return 0;
        }
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == kCommandShow)
            ShowFigures();
        else if (LOWORD(wParam) == kCommandAsk)
            ShowAsk();
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
        FRequests.Stop();
        FCall.Wait();
        KillTimer(Handle(), kTrayPollTimer);
        KillTimer(Handle(), kRequestLookTimer);
        FAsk.Hide();
        if (FIcon)
            FIcon->Remove();
        FWindow.Hide();
        return 0;
    }
    return TWindow::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
