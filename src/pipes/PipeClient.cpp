#include "pipes/PipeClient.h"

#include "pipes/PipeThread.h"
#include "pipes/WriteQueue.h"
#include "win/ScopeExit.h"

#include <cwchar>

namespace vantrel {

namespace {

constexpr char kTextConnected[] = "Cannot change property when client is connected!";
constexpr char kTextInvalidName[] = "Invalid pipe name specified!";
constexpr char kTextWrongThread[] =
    "The notify window and the component window do not exist in the same thread!";

// After the stop timeout: how long to keep cancelling the worker's I/O before leaving it to end
// on its own.
constexpr int kCancelRounds = 20;
constexpr DWORD kCancelRoundTime = 100;

} // namespace

TPipeClient::TPipeClient() {
    // A null DACL gives everybody access to the objects made with these attributes. The
    // handles are not inheritable: a program we start must not keep the service's pipe open.
    FSecurityDescriptor = std::make_unique<SECURITY_DESCRIPTOR>();
    if (!InitializeSecurityDescriptor(FSecurityDescriptor.get(), SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(FSecurityDescriptor.get(), TRUE, nullptr, FALSE))
        RaiseLastSystemError();
    FSecurityAttributes.nLength = sizeof(FSecurityAttributes);
    FSecurityAttributes.lpSecurityDescriptor = FSecurityDescriptor.get();
    FSecurityAttributes.bInheritHandle = FALSE;

    FNotifyThread = GetCurrentThreadId();
    FWriteQueue = std::make_shared<TWriteQueue>();
    FNotifyWindow =
        AllocateNotifyWindow([this](TMessage& message) { HandleNotifyMessage(message); });
    if (!FNotifyWindow)
        RaiseLastSystemError();
}

TPipeClient::~TPipeClient() {
    FDestroying = true;
    try {
        Disconnect();
    } catch (...) {
        // A destructor has nowhere to report to.
    }
    if (FWorker) {
        // Destroyed inside one of our own handlers: the worker waits for that very handler, so
        // Disconnect could only defer itself. Tell the worker to stop and to report nothing
        // back to this client, which is gone by the time it ends. Nobody waits for it or
        // cancels its I/O, so it must not wait for a service that stopped reading either.
        FWorker->ClearOnThreadDone();
        FWorker->Abandon();
        FWorker->RequestStop();
        SetEvent(FKillEvent.Get());
        FWorker = nullptr;
    }
    FKillEvent.Close();
    FWriteQueue.reset();
    DeallocateNotifyWindow(FNotifyWindow);
}

bool TPipeClient::PipeValid() const {
    return HandleValid(FPipe);
}

bool TPipeClient::IsConnected() const {
    // A worker that was asked to stop starts no further write, and one that is ending has
    // written its last message: what is queued now would be dropped when its end is reported.
    // Write can still lose that race (the worker ends between this test and the enqueue);
    // closing it would need a lock that the worker holds across its last write.
    if (!FWorker || FWorker->StopRequested() || FWorker->Ending())
        return false;
    DWORD code = 0;
    return GetExitCodeThread(FWorker->Handle(), &code) && code == STILL_ACTIVE;
}

uint32_t TPipeClient::QueuedBytes() const {
    return FWriteQueue->DataSize();
}

std::wstring TPipeClient::PipePath() const {
    wchar_t computer[261] = {};
    DWORD size = 261;
    if (!GetComputerNameW(computer, &size))
        computer[0] = 0;
    if (!FServerName.empty() && _wcsicmp(FServerName.c_str(), computer) != 0)
        return L"\\\\" + FServerName + L"\\pipe\\" + FPipeName;
    return L"\\\\.\\pipe\\" + FPipeName;
}

bool TPipeClient::Connect(DWORD waitTime, bool start) {
    // The worker's notifications and its end are delivered to the creating thread's windows;
    // from any other thread they would never arrive, so refuse at once, on the caller's thread.
    if (GetCurrentThreadId() != FNotifyThread)
        throw EPipeException(kTextWrongThread);
    if (IsConnected())
        return true;
    if (FWorker) {
        // Ending, and waiting to report that to this thread. Let it finish first, so that its
        // end is reported and its pipe, which it closes itself, is forgotten; then open a new
        // one. Inside a handler of a message that the worker sent, it may be waiting for that
        // very handler, so there is no waiting for it here. The caller is in the middle of its
        // own work: the wait lets only the worker's sent messages through, so that no queued
        // close or command runs (and perhaps frees this client) inside Connect.
        if (InSendMessage() || FDisconnecting)
            return false;
        DisconnectWaiting(TThreadEx::wdSentMessages);
        // The disconnect handler may have connected again.
        if (IsConnected())
            return true;
        if (FWorker)
            return false;
    }
    if (PipeValid()) {
        if (start)
            StartWorker();
        return IsConnected() || PipeValid();
    }
    std::wstring path = PipePath();
    if (!WaitNamedPipeW(path.c_str(), waitTime))
        return false;
    // Whoever serves the name may learn who connected, but never act as that account: a program
    // that took the name before the service cannot use an administrator's rights.
    THandle pipe(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &FSecurityAttributes,
                             OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT |
                                 SECURITY_IDENTIFICATION,
                             nullptr));
    if (!pipe)
        return false;
    FPipe = pipe.Get();
    FOpenPipe = std::move(pipe);
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(FPipe, &mode, nullptr, nullptr);
    if (start)
        StartWorker();
    return IsConnected() || PipeValid();
}

void TPipeClient::StartWorker() {
    TPipeThread* worker = nullptr;
    try {
        // A worker that was given up on keeps the event it was signalled through.
        FKillEvent.Reset(CreateEventW(&FSecurityAttributes, TRUE, FALSE, nullptr));
        if (!FKillEvent)
            RaiseLastSystemError();
        // The pipe is the worker's from here on, also when it fails to start: freeing it then
        // closes the pipe.
        worker = new TPipeThread(FNotifyWindow, FNotifyThread, FWriteQueue, std::move(FOpenPipe),
                                 FKillEvent.Get());
        worker->OnThreadDone = [this](TThreadEx& sender) { WorkerTerminated(sender); };
        FWorker = worker;
        worker->Resume();
    } catch (...) {
        FWorker = nullptr;
        delete worker;
        FOpenPipe.Close();
        FPipe = INVALID_HANDLE_VALUE;
        throw;
    }
}

void TPipeClient::Disconnect() {
    DisconnectWaiting(TThreadEx::wdAllMessages);
}

void TPipeClient::DisconnectWaiting(TThreadEx::TWaitDispatch dispatch) {
    // Also for a worker that is ending: its end has yet to be delivered.
    if (FWorker && !FDisconnecting) {
        if (InSendMessage()) {
            // The worker is blocked in this very send and cannot see the kill event: stop it
            // from the message loop once the handler has returned.
            PostMessageW(FNotifyWindow, WM_PIPE_DISCONNECT, 0, 0);
            return;
        }
        FDisconnecting = true;
        auto done = ScopeExit([this] {
            // Unless the disconnect handler connected again: that pipe is the new one's.
            if (!FWorker && !FOpenPipe)
                FPipe = INVALID_HANDLE_VALUE;
            FDisconnecting = false;
        });
        if (FWorker) {
            FWorker->RequestStop();
            SetEvent(FKillEvent.Get());
            StopWorker(dispatch);
        }
    } else if (!FDisconnecting && !FWorker && PipeValid()) {
        // Open without a worker. While a stop is under way the handle is the worker's, which
        // closes it itself.
        FOpenPipe.Close();
        FPipe = INVALID_HANDLE_VALUE;
    }
}

void TPipeClient::StopWorker(TThreadEx::TWaitDispatch dispatch) {
    // FWorker is cleared when this worker's end is delivered, and may then name a new worker
    // that a disconnect handler started: that one is not ours to stop.
    TPipeThread* const stopping = FWorker;
    // Our own copy of the thread handle: the worker frees itself, and its handle, as it ends.
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), FWorker->Handle(), GetCurrentProcess(), &copy, 0,
                         FALSE, DUPLICATE_SAME_ACCESS))
        copy = nullptr;
    const THandle thread(copy);
    if (stopping->WaitForEnd(FStopTimeout, dispatch))
        return;
    // The worker is stuck in a write or a flush that a service which stopped reading never
    // lets finish. Cancel its pipe I/O so that it ends; FWorker stays set until its end has
    // been delivered (WorkerTerminated), so it is still alive here. The worker cancels on its
    // own handle: the value in FPipe may be closed already and given to something else.
    if (FWorker != stopping)
        return;
    stopping->Abandon();
    for (int round = 0; round < kCancelRounds; ++round) {
        if (FWorker != stopping)
            return;
        if (thread)
            CancelSynchronousIo(thread.Get());
        stopping->CancelPipeIo();
        if (stopping->WaitForEnd(kCancelRoundTime, dispatch))
            return;
    }
    if (FWorker == stopping)
        DetachWorker();
}

void TPipeClient::DetachWorker() {
    // Last resort: the worker will not end. Forget it; it closes the pipe and frees itself if
    // it ever gets out, and its notifications no longer match our pipe.
    TPipeThread* worker = FWorker;
    worker->ClearOnThreadDone();
    FWorker = nullptr;
    HANDLE pipe = FPipe;
    FPipe = INVALID_HANDLE_VALUE;
    FWriteQueue->Clear();
    FWriteQueue = std::make_shared<TWriteQueue>();
    if (!FDestroying && OnPipeDisconnect)
        OnPipeDisconnect(*this, pipe);
}

bool TPipeClient::Write(const void* buffer, uint32_t count) {
    if (FMemoryThrottle != 0 && FMemoryThrottle < FWriteQueue->DataSize() && IsConnected())
        WaitForQueueEmpty();
    if (!IsConnected())
        return false;
    FWriteQueue->Enqueue(AllocPipeWrite(buffer, count));
    return true;
}

void TPipeClient::WaitForQueueEmpty() {
    if (InSendMessage())
        return;
    while (IsConnected()) {
        // The worker's notifications and its end are sent. Nothing posted is dispatched: the
        // writer is in the middle of its own work, which a queued close could pull away. A
        // sent message that is waiting already wakes the wait too, not only a new one.
        ProcessSentMessages();
        HANDLE empty = FWriteQueue->EmptyEvent();
        DWORD result =
            MsgWaitForMultipleObjectsEx(1, &empty, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0)
            return;
    }
}

void TPipeClient::SetPipeName(const std::wstring& value) {
    if (IsConnected() || PipeValid())
        throw EPipeException(kTextConnected);
    if (value.empty() || value.size() > 256 || value.find(L'\\') != std::wstring::npos)
        throw EPipeException(kTextInvalidName);
    FPipeName = value;
}

void TPipeClient::SetServerName(const std::wstring& value) {
    if (IsConnected() || PipeValid())
        throw EPipeException(kTextConnected);
    FServerName = value;
}

void TPipeClient::HandleNotifyMessage(TMessage& message) {
    // A worker that was given up on may still report; its pipe is no longer ours.
    HANDLE pipe = reinterpret_cast<HANDLE>(message.WParam);
    switch (message.Msg) {
    case WM_PIPE_ERROR:
        if (pipe == FPipe && OnPipeError)
            OnPipeError(*this, pipe, pcWorker, static_cast<int32_t>(message.LParam));
        break;
    case WM_PIPE_SENT:
        if (pipe == FPipe && OnPipeSent)
            OnPipeSent(*this, pipe, static_cast<uint32_t>(message.LParam));
        break;
    case WM_PIPE_MESSAGE:
        if (pipe == FPipe && OnPipeMessage)
            OnPipeMessage(*this, pipe, *reinterpret_cast<TStream*>(message.LParam));
        break;
    case WM_PIPE_WRONG_THREAD:
        // Connect refuses other threads, so this only comes from a worker started in some
        // other way. An exception cannot leave a window procedure: report it as an error.
        if (OnPipeError)
            OnPipeError(*this, FPipe, pcWorker, ERROR_INVALID_THREAD_ID);
        break;
    case WM_PIPE_DISCONNECT:
        // Run from this window's own procedure: a close dispatched inside the wait could free
        // this client, and the window, under it.
        DisconnectWaiting(TThreadEx::wdSentMessages);
        break;
    default:
        message.Result = DefWindowProcW(FNotifyWindow, message.Msg, message.WParam, message.LParam);
    }
}

void TPipeClient::WorkerTerminated(TThreadEx&) {
    FWorker = nullptr;
    // The worker has closed the handle already. Forget it before the handler runs: a handler
    // that connects again must open a new pipe, not start a worker on the closed handle.
    // Messages that were never written are dropped first, so that what such a handler writes
    // goes out on the new pipe.
    const HANDLE pipe = FPipe;
    FPipe = INVALID_HANDLE_VALUE;
    FWriteQueue->Clear();
    if (!FDestroying && OnPipeDisconnect)
        OnPipeDisconnect(*this, pipe);
}

} // namespace vantrel
