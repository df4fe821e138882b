// The main window's link to the time-limit service: one pipe client, connected at start-up,
// that announces every saved change and hears what the service tells (model/ServiceNews.h):
// after every minute it counted the rows catch up with today's usage, after every reading of
// the settings (and with a network store every other minute) with everything they show, and
// the status bar says whether the service runs, answers and has logged off whom it should. While
// the service is stopped any program may serve its pipe's name: only a pipe that SYSTEM or the
// Administrators own is the service's.
#include "ui/MainForm.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "ui/ServiceStatus.h"
#include "ui/controls/MessageBox.h"
#include "win/ObjectOwner.h"
#include "win/SystemError.h"

namespace vantrel {

namespace {

// How long the window's thread waits for a busy pipe. The service makes its next instance
// before it serves a client, so one is free at once; a server that keeps every instance busy
// and asks for a long wait must not hold the window.
constexpr DWORD kConnectWait = 200;

} // namespace

void TMainForm::StartServiceLink() {
    FPipeClient = std::make_unique<TPipeClient>();
    FPipeClient->SetPipeName(kPipeName);
    FPipeClient->OnPipeMessage = [this](TPipeClient& sender, HANDLE pipe, TStream& stream) {
        PipeClientPipeMessage(sender, pipe, stream);
    };
    FPipeClient->OnPipeDisconnect = [this](TPipeClient&, HANDLE) {
        FServiceHeard = false;
        // What a service that is gone told of its log-offs is no longer known.
        FUserList.SetUnfinishedLogoffs({});
        if (FUsers)
            FUserList.UpdateFigures(*FUsers);
        UpdateServiceStatus();
        ArmConnectTimer();
    };
    // The service may start after us: the attempts go on from a timer, so the window is
    // usable at once instead of after half a minute of waiting.
    FConnectAttemptsLeft = kStartupConnectAttempts;
    ConnectAttempt();
    if (Handle())
        SetTimer(Handle(), kWatchTimer, WatchInterval, nullptr);
}

void TMainForm::StopServiceLink() {
    KillTimer(Handle(), kConnectTimer);
    KillTimer(Handle(), kWatchTimer);
    FConnectAttemptsLeft = 0;
    // The pipe first: its worker must be stopped before anything it could report to goes.
    if (FPipeClient)
        FPipeClient->OnPipeDisconnect = nullptr;
    FPipeClient.reset();
}

void TMainForm::ArmConnectTimer() {
    if (Handle() && FPipeClient)
        SetTimer(Handle(), kConnectTimer,
                 FConnectAttemptsLeft > 0 ? kStartupConnectInterval : ReconnectInterval, nullptr);
}

void TMainForm::ConnectAttempt() {
    if (FConnectAttemptsLeft > 0)
        --FConnectAttemptsLeft;
    if (ConnectService())
        FConnectAttemptsLeft = 0;
    else
        ArmConnectTimer();
    UpdateServiceStatus();
}

bool TMainForm::ConnectService() {
    if (!FPipeClient)
        return false;
    bool connected = FPipeClient->IsConnected();
    try {
        if (!connected)
            FServiceStranger = false;
        // Opened without its worker first, so that nothing the server sends is read before it
        // has shown that it is the service.
        if (!connected && FPipeClient->Connect(kConnectWait, false) &&
            !FPipeClient->IsConnected()) {
            FServiceStranger = !OwnedByAdministrators(FPipeClient->Pipe());
            if (FServiceStranger)
                FPipeClient->Disconnect();
            else
                FPipeClient->Connect(kConnectWait, true);
        }
        // A close that the connect's wait let through takes the client along with the window.
        connected = FPipeClient && FPipeClient->IsConnected();
    } catch (const std::exception&) {
        connected = false;
    }
    if (connected) {
        FServiceStranger = false;
        if (Handle())
            KillTimer(Handle(), kConnectTimer);
    }
    return connected;
}

void TMainForm::SendServiceMessage(const std::string& text) {
    // Only to the service: no link is kept with a stranger on its pipe.
    try {
        if (ConnectService())
            FPipeClient->Write(text.data(), static_cast<uint32_t>(text.size()));
    } catch (const std::exception&) {
        // An unreachable service is never reported by a box; the status bar tells it.
    }
    UpdateServiceStatus();
}

void TMainForm::PipeClientPipeMessage(TPipeClient&, HANDLE, TStream& stream) {
    if (stream.Size() == 0)
        return;
    std::string text;
    text.resize(static_cast<size_t>(stream.Size()));
    stream.SetPosition(0);
    uint32_t read = stream.Read(text.data(), static_cast<uint32_t>(text.size()));
    text.resize(read);
    ServiceMessageReceived(text);
}

void TMainForm::ServiceMessageReceived(const std::string& text) {
    // Anything else on the pipe (another program's service) is read and dropped.
    TServiceNews news;
    if (!ParseServiceNews(text, news))
        return;
    const bool logoffsChanged = !FServiceHeard || news.Logoffs != FServiceNews.Logoffs;
    FServiceNews = news;
    FServiceHeard = true;
    FLastNewsAt = MonotonicMs();
    FLastNewsLocal = LocalNow();
    FUserList.SetUnfinishedLogoffs(news.Logoffs);
    if (news.Kind == TNewsKind::Settings)
        FRereadPending = true;
    UpdateServiceStatus();
    if (news.Kind != TNewsKind::Running || logoffsChanged) {
        FLiveUpdatePending = true;
        LiveUpdate();
    }
}

bool TMainForm::ServiceSilent() const {
    return FPipeClient && FPipeClient->IsConnected() && FServiceHeard &&
           MonotonicMs() - FLastNewsAt > kServiceSilentMs;
}

void TMainForm::AMToolsStartServiceExecute() {
    StartService();
}

void TMainForm::StartService() {
    const DWORD error = StartTimeLimitService();
    if (error != ERROR_SUCCESS) {
        ShowMessage(Handle(),
                    L"The time-limit service could not be started: " + SystemErrorText(error) +
                        L"\n\nIf it is not installed, run \"QORsvc.exe --install\" as an "
                        L"administrator; otherwise start \"Vantrel time-limit service\" in "
                        L"Services (services.msc), whose messages say more.",
                    TMsgKind::Error);
        return;
    }
    // It takes a moment to serve its pipe: looked for at the start-up pace again.
    FConnectAttemptsLeft = kStartupConnectAttempts;
    ArmConnectTimer();
}

void TMainForm::LiveUpdate() {
    // A dialog or box (the window is disabled meanwhile) may edit a row's record, a menu may act
    // on it, and a refresh or commit under way replaces the records: each catches up once done.
    if (!IsOpen() || FInLiveUpdate || FInMenuLoop || !IsWindowEnabled(Handle()) ||
        FUserList.RowCount() != FUsers->Count())
        return;
    FInLiveUpdate = true;
    FLiveUpdatePending = false;
    // While the service counts on this computer because the network store does not answer,
    // this computer's copy holds the figures it counts.
    const bool remote = Prefs.UseRemoteRegistry &&
                        !(FServiceHeard && FServiceNews.Store == TStoreState::Unreachable);
    // Everything a row shows costs about three times the usage alone (bench_live: 0.7 s against
    // 0.25 s for 500 users): read after the service read the settings, and with a network store,
    // where other computers change them unannounced, every other minute.
    const ULONGLONG now = MonotonicMs();
    if (FRereadPending || (Prefs.UseRemoteRegistry && now - FRowsReadAt >= kRemoteRereadMs)) {
        FRereadPending = false;
        FRowsReadAt = now;
        FUsers->ReloadShown(remote, Prefs.RemoteRegistry);
        // The service writes a request and then reads the settings again: its news brings
        // the request along.
        ReadOpenRequests();
        ListViewUsersSelectItem();
    } else {
        FUsers->ReloadUsage(remote, Prefs.RemoteRegistry);
    }
    FUserList.UpdateFigures(*FUsers);
    FInLiveUpdate = false;
}

void TMainForm::UpdateServiceStatus() {
    if (!IsOpen() || !StatusBar || !StatusBarHints)
        return;
    const bool connected = FPipeClient && FPipeClient->IsConnected();
    const TServiceLink link = connected          ? TServiceLink::Connected
                              : FServiceStranger ? TServiceLink::Stranger
                                                 : TServiceLink::None;
    TServiceView view;
    view.Link = link;
    view.News = connected && FServiceHeard ? &FServiceNews : nullptr;
    view.Silent = ServiceSilent();
    // Since the last minute it counted, as the part said until now.
    view.SilentSince = FServiceNews.Counted ? FServiceNews.LastMinute : FLastNewsLocal;
    view.Clock24 = Prefs.Use24HourClock;
    view.Today = LocalNow();
    const TServiceStatus status = ServiceStatusOf(view);
    FServiceCanStart = status.CanStart;
    ActionManager.SetEnabled(Action(TMainCommand::AMToolsStartService), status.CanStart);
    wchar_t shown[256] = {};
    SendMessageW(StatusBar, SB_GETTEXTW, kServicePart, reinterpret_cast<LPARAM>(shown));
    if (status.Text == shown && status.Icon == FServiceIconId)
        return;
    SendMessageW(StatusBar, SB_SETTEXTW, kServicePart,
                 reinterpret_cast<LPARAM>(status.Text.c_str()));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = StatusBar;
    tool.uId = kServiceHintId;
    tool.lpszText = const_cast<wchar_t*>(status.Hint.c_str());
    SendMessageW(StatusBarHints, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    FServiceIconId = status.Icon;
    LayoutServicePart();
}

} // namespace vantrel
