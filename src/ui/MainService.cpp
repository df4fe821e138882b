// The main window's link to the time-limit service: one pipe client, connected at start-up,
// that announces every saved change. Nothing the service sends has any effect.
#include "ui/MainForm.h"

#include "model/Constants.h"

namespace vantrel {

void TMainForm::StartServiceLink() {
    FPipeClient = std::make_unique<TPipeClient>();
    FPipeClient->SetPipeName(kPipeName);
    FPipeClient->OnPipeMessage = [this](TPipeClient& sender, HANDLE pipe, TStream& stream) {
        PipeClientPipeMessage(sender, pipe, stream);
    };
    // The service may start after us: the attempts go on from a timer, so the window is
    // usable at once instead of after half a minute of waiting.
    FConnectAttemptsLeft = kStartupConnectAttempts;
    StartupConnectAttempt();
    if (FConnectAttemptsLeft > 0)
        SetTimer(Handle(), kConnectTimer, kStartupConnectInterval, nullptr);
}

void TMainForm::StopServiceLink() {
    KillTimer(Handle(), kConnectTimer);
    FConnectAttemptsLeft = 0;
    // The pipe first: its worker must be stopped before anything it could report to goes.
    FPipeClient.reset();
}

void TMainForm::StartupConnectAttempt() {
    bool connected = FPipeClient && FPipeClient->IsConnected();
    if (!connected && FPipeClient && FConnectAttemptsLeft > 0) {
        --FConnectAttemptsLeft;
        try {
            connected = FPipeClient->Connect(0, true);
        } catch (const std::exception&) {
            connected = false;
        }
    }
    if (connected || FConnectAttemptsLeft <= 0) {
        FConnectAttemptsLeft = 0;
        if (Handle())
            KillTimer(Handle(), kConnectTimer);
    }
}

void TMainForm::SendServiceMessage(const std::string& text) {
    if (!FPipeClient)
        return;
    try {
        if (!FPipeClient->IsConnected() && !FPipeClient->Connect(0, true))
            return;
        FPipeClient->Write(text.data(), static_cast<uint32_t>(text.size()));
    } catch (const std::exception&) {
        // An unreachable service is never reported; the next change tries again.
    }
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

void TMainForm::ServiceMessageReceived(const std::string&) {
    // The service has nothing to tell this program; whatever it sends is read and dropped.
}

} // namespace vantrel
