#include "tray/AskClient.h"

#include "win/ObjectOwner.h"

namespace vantrel {

namespace {

// Waits for an overlapped operation for at most `ms`; one that did not end is cancelled, and
// waited for, so that the buffer it writes into is free again.
bool Finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, DWORD ms, DWORD& bytes) {
    if (!started && GetLastError() != ERROR_IO_PENDING)
        return GetLastError() == ERROR_MORE_DATA ? (bytes = MAXDWORD, true) : false;
    if (WaitForSingleObject(overlapped.hEvent, ms) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &overlapped, &bytes, TRUE);
        return false;
    }
    if (GetOverlappedResult(pipe, &overlapped, &bytes, FALSE))
        return true;
    // A longer answer than any the protocol has.
    return GetLastError() == ERROR_MORE_DATA ? (bytes = MAXDWORD, true) : false;
}

} // namespace

TAskResult CallAskPipe(const std::wstring& pipeName, const TAskMessage& message) {
    TAskResult result;
    const std::wstring path = L"\\\\.\\pipe\\" + pipeName;
    // The service learns who asks from this connection: it may identify this user, never act
    // as them.
    const DWORD flags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    // Users may write messages but not append (GENERIC_WRITE holds FILE_APPEND_DATA, which the
    // pipe's list does not grant them), and must set the read mode.
    constexpr DWORD kAccess = GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
    THandle pipe(CreateFileW(path.c_str(), kAccess, 0, nullptr, OPEN_EXISTING, flags, nullptr));
    if (!pipe && GetLastError() == ERROR_PIPE_BUSY && WaitNamedPipeW(path.c_str(), kAskConnectMs))
        pipe.Reset(CreateFileW(path.c_str(), kAccess, 0, nullptr, OPEN_EXISTING, flags, nullptr));
    // Any user may serve the name while the service does not (at boot, during a restart): a
    // code given to this user must never reach such a program. Only SYSTEM or an elevated
    // administrator can make the Administrators a pipe's owner.
    if (!pipe || !OwnedByAdministrators(pipe.Get()))
        return result;
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr))
        return result;
    THandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return result;

    const std::string bytes = FormatAskMessage(message);
    OVERLAPPED write{};
    write.hEvent = event.Get();
    DWORD done = 0;
    const BOOL wrote =
        WriteFile(pipe.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &write);
    if (!Finish(pipe.Get(), write, wrote, kAskWriteMs, done) || done != bytes.size())
        return result;

    char answer[kAskMessageMost + 1];
    OVERLAPPED read{};
    read.hEvent = event.Get();
    ResetEvent(event.Get());
    const BOOL got = ReadFile(pipe.Get(), answer, sizeof(answer), nullptr, &read);
    if (!Finish(pipe.Get(), read, got, kAskAnswerMs, done))
        return result;
    result.Outcome = TAskOutcome::BadAnswer;
    if (done != MAXDWORD && done <= kAskMessageMost &&
        ParseAskAnswer(std::string(answer, done), result.Answer))
        result.Outcome = TAskOutcome::Answered;
    else
        result.Answer = TAskAnswer{};
    return result;
}

struct TAskCall::TState {
    std::wstring PipeName;
    TAskMessage Message;
    HWND Window = nullptr;
    UINT Done = 0;
    TAskResult Result;
};

DWORD WINAPI TAskCall::ThreadMain(void* parameter) {
    auto* held = static_cast<std::shared_ptr<TState>*>(parameter);
    std::shared_ptr<TState> state = *held;
    delete held;
    state->Result = CallAskPipe(state->PipeName, state->Message);
    PostMessageW(state->Window, state->Done, 0, 0);
    return 0;
}

bool TAskCall::Start(const std::wstring& pipeName, const TAskMessage& message, HWND window,
                     UINT doneMessage) {
    if (Running())
        return false;
    Wait();
    auto state = std::make_shared<TState>();
    state->PipeName = pipeName;
    state->Message = message;
    state->Window = window;
    state->Done = doneMessage;
    auto* held = new std::shared_ptr<TState>(state);
    HANDLE thread = CreateThread(nullptr, 0, ThreadMain, held, 0, nullptr);
    if (!thread) {
        delete held;
        return false;
    }
    FThread.Reset(thread);
    FState = std::move(state);
    FMessage = message;
    return true;
}

bool TAskCall::Running() const {
    return FThread && WaitForSingleObject(FThread.Get(), 0) == WAIT_TIMEOUT;
}

TAskResult TAskCall::Result() const {
    return FState && !Running() ? FState->Result : TAskResult{};
}

void TAskCall::Wait() {
    if (FThread)
        WaitForSingleObject(FThread.Get(), INFINITE);
}

} // namespace vantrel
