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

// Posted by WorkerTerminated: the worker it was called for has left it.
constexpr UINT WM_PIPE_WORKER_LEFT = WM_USER + 301;

// After the stop timeout: how long each round waits before cancelling the worker's I/O again.
constexpr DWORD kCancelRoundTime = 100;
// How many rounds a thread other than the creating one waits before it gives up.
constexpr int kForeignCancelRounds = 20;

// Asks the worker to stop and waits for its end. A worker stuck in a write or a flush that a
// service which stopped reading never lets finish has its pipe I/O cancelled after `timeout`,
// and again every round until it has ended. On the creating thread it always ends. Another
// thread dispatches nothing while it waits: the worker's report of its end is cleared first,
// but one that was sending it already waits for the creating thread, which may never dispatch,
// so that wait gives up after some rounds (false) and the worker has to be left behind.
bool StopAndWait(TPipeThread& worker, DWORD timeout, TThreadEx::TWaitDispatch dispatch) {
    worker.RequestStop();
    const bool creator = GetCurrentThreadId() == worker.SyncThreadID();
    if (!creator)
        worker.ClearOnThreadDone();
    for (int round = 0; !worker.WaitForEnd(round == 0 ? timeout : kCancelRoundTime, dispatch);
         ++round) {
        if (!creator && round == kForeignCancelRounds)
            return false;
        worker.CancelPipeIo();
    }
    return true;
}

} // namespace

// One of the worker's notifications, handled on this thread while the worker waits in its
// send for the handler to return, so that nothing on this thread can wait for the worker
// meanwhile. A client destroyed inside the handler hands its worker (and the queue the worker
// reads) over to the notification, which once the handler has returned answers the send,
// stops the worker and waits for it.
class TPipeClient::TNotification {
public:
// The notification takes itself out of the client again in its destructor, unless the client
// is gone by then; the compiler cannot see that.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdangling-pointer"
    explicit TNotification(TPipeClient& client)
        : FClient(&client), FWorker(client.NotifyingWorker()), FPrevious(client.FNotification) {
        client.FNotification = this;
    }
#pragma GCC diagnostic pop
    ~TNotification() {
        if (FClient) {
            FClient->FNotification = FPrevious;
        } else if (FOrphan) {
            // The handler has returned: the send being answered is the worker's own.
            ReplyMessage(0);
            StopAndWait(*FOrphan, FStopTimeout, TThreadEx::wdSentMessages);
        }
    }
    TNotification(const TNotification&) = delete;
    TNotification& operator=(const TNotification&) = delete;

    // Run by the client's destructor for every notification under way. The worker may be the
    // one that a Disconnect or Connect further up this thread's stack is stopping: that wait
    // keeps its own reference and finds it ended.
    static void ClientDestroyed(TPipeClient& client) {
        for (TNotification* each = client.FNotification; each; each = each->FPrevious) {
            each->FClient = nullptr;
            TPipeThread* const worker = client.NotifyingWorker();
            if (worker && each->FWorker == worker) {
                // Nobody is left to report to: its notifications find the window gone, and
                // its end must not wait for this thread.
                worker->ClearOnThreadDone();
                worker->RequestStop();
                each->FStopTimeout = client.FStopTimeout;
                each->FQueue = std::move(client.FWriteQueue);
                if (client.FWorker)
                    each->FOrphan = std::move(client.FWorker);
                else
                    each->FOrphan = std::move(client.FStoppingWorker);
            }
        }
    }

private:
    TPipeClient* FClient;
    const TPipeThread* const FWorker;
    TNotification* const FPrevious;
    DWORD FStopTimeout = 0;
    // Declared before the worker, which reads it, so that it goes after the worker.
    std::unique_ptr<TWriteQueue> FQueue;
    std::shared_ptr<TPipeThread> FOrphan;
};

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
    FWriteQueue = std::make_unique<TWriteQueue>();
    FNotifyWindow =
        AllocateNotifyWindow([this](TMessage& message) { HandleNotifyMessage(message); });
    if (!FNotifyWindow)
        RaiseLastSystemError();
}

TPipeClient::~TPipeClient() {
    FDestroying = true;
    // Destroyed inside a handler of the worker's notification: the worker waits for that very
    // handler, and the notification takes it over.
    TNotification::ClientDestroyed(*this);
    try {
        FinishEndedWorker();
        // Not inside its notification, so the worker can be waited for here, also inside
        // some other thread's sent message.
        if (FWorker)
            StopWorker(TThreadEx::wdAllMessages);
        // Destroyed inside the wait of a Disconnect or Connect that is stopping it, and not
        // inside one of its notifications: it may still read the queue, which goes below. Its
        // end needs only sent messages.
        if (FStoppingWorker &&
            !StopAndWait(*FStoppingWorker, FStopTimeout, TThreadEx::wdSentMessages))
            LeaveBehind(FStoppingWorker);
    } catch (...) {
        // A destructor has nowhere to report to.
    }
    DeallocateNotifyWindow(FNotifyWindow);
}

bool TPipeClient::PipeValid() const {
    return HandleValid(FPipe);
}

bool TPipeClient::IsConnected() const {
    // A worker that is being stopped is no longer FWorker, and one that is ending has written
    // its last message: what is queued now would be dropped when its end is reported. Write
    // can still lose that race (the worker ends between this test and the enqueue); closing it
    // would need a lock that the worker holds across its last write.
    if (!FWorker || FWorker->Ending())
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
    // A disconnect handler run below may destroy this client: nothing is touched afterwards.
    const std::weak_ptr<char> life = FLife;
    // Its end reached this thread already; it has left, so reporting it waits for nothing.
    FinishEndedWorker();
    if (life.expired())
        return false;
    // The disconnect handler may have connected again.
    if (IsConnected())
        return true;
    if (FWorker) {
        // Ending, and waiting to report that to this thread. Let it finish first, so that its
        // end is reported and its pipe, which it closes itself, is forgotten; then open a new
        // one. Inside a handler of a message that the worker sent, it may be waiting for that
        // very handler, so there is no waiting for it here. The caller is in the middle of its
        // own work: the wait lets only the worker's sent messages through, so that no queued
        // close or command runs (and perhaps frees this client) inside Connect.
        if (InSendMessage())
            return false;
        DisconnectWaiting(TThreadEx::wdSentMessages);
        if (life.expired())
            return false;
        if (IsConnected())
            return true;
        if (FWorker)
            return false;
    }
    // While a stop is under way the pipe is still recorded, but it is the stopping worker's.
    if (FDisconnecting)
        return false;
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
    try {
        // The pipe is the worker's from here on, also when it fails to start: freeing it then
        // closes the pipe.
        FWorker = std::make_unique<TPipeThread>(FNotifyWindow, FNotifyThread, *FWriteQueue,
                                                std::move(FOpenPipe));
        FWorker->OnThreadDone = [this](TThreadEx& sender) { WorkerTerminated(sender); };
        FWorker->Resume();
    } catch (...) {
        FWorker.reset();
        FOpenPipe.Close();
        FPipe = INVALID_HANDLE_VALUE;
        throw;
    }
}

void TPipeClient::Disconnect() {
    DisconnectWaiting(TThreadEx::wdAllMessages);
}

void TPipeClient::DisconnectWaiting(TThreadEx::TWaitDispatch dispatch) {
    // While a stop is under way the handle is the stopping worker's, which closes it itself.
    if (FDisconnecting)
        return;
    if (FWorker) {
        // Also for a worker that is ending: its end has yet to be reported.
        if (InSendMessage()) {
            // The worker may be blocked in this very send and could not end: stop it from the
            // message loop once the handler has returned.
            PostMessageW(FNotifyWindow, WM_PIPE_DISCONNECT, 0, 0);
            return;
        }
        StopWorker(dispatch);
    } else if (FEndedWorker) {
        FinishEndedWorker();
    } else if (PipeValid()) {
        // Open without a worker.
        FOpenPipe.Close();
        FPipe = INVALID_HANDLE_VALUE;
    }
}

void TPipeClient::StopWorker(TThreadEx::TWaitDispatch dispatch) {
    // From here on it is no longer this client's worker: the client is not connected, its end
    // is reported below rather than by WorkerTerminated, and a handler run inside the wait
    // that connects again finds the pipe still the stopping worker's. What the wait dispatches
    // may destroy this client, which then has seen to the worker: nothing of it is touched.
    const std::weak_ptr<char> life = FLife;
    {
        FStoppingWorker = std::move(FWorker);
        const std::shared_ptr<TPipeThread> stopping = FStoppingWorker;
        FDisconnecting = true;
        auto done = ScopeExit([this, &life] {
            if (life.expired())
                return;
            FDisconnecting = false;
            FStoppingWorker.reset();
        });
        if (!StopAndWait(*stopping, FStopTimeout, dispatch) && !life.expired())
            LeaveBehind(stopping);
    }
    if (life.expired())
        return;
    WorkerEnded(FPipe);
}

// A worker that a stop from another thread gave up on is waiting in a send to the creating
// thread, most likely to report its end (cleared, so that report does nothing). It ends
// whenever that thread dispatches, if ever, so it and the queue it was given stay allocated for
// good; the client goes on with a new queue.
void TPipeClient::LeaveBehind(std::shared_ptr<TPipeThread> worker) {
    static_cast<void>(new std::shared_ptr<TPipeThread>(std::move(worker)));
    static_cast<void>(FWriteQueue.release());
    FWriteQueue = std::make_unique<TWriteQueue>();
}

TPipeThread* TPipeClient::NotifyingWorker() const {
    return FWorker ? FWorker.get() : FStoppingWorker.get();
}

void TPipeClient::FinishEndedWorker() {
    if (!FEndedWorker)
        return;
    // It has left WorkerTerminated, its last call on this thread, and only ends now.
    std::unique_ptr<TPipeThread> ended = std::move(FEndedWorker);
    WaitForSingleObject(ended->Handle(), INFINITE);
    ended.reset();
    const HANDLE pipe = FEndedPipe;
    FEndedPipe = INVALID_HANDLE_VALUE;
    if (!FDestroying && OnPipeDisconnect)
        OnPipeDisconnect(*this, pipe);
}

// The worker has ended and is gone; `pipe` was its pipe, which it has closed.
void TPipeClient::WorkerEnded(HANDLE pipe) {
    // Forget the pipe before the handler runs: a handler that connects again must open a new
    // pipe, not start a worker on the closed handle. Messages that were never written are
    // dropped first, so that what such a handler writes goes out on the new pipe.
    FPipe = INVALID_HANDLE_VALUE;
    FWriteQueue->Clear();
    if (!FDestroying && OnPipeDisconnect)
        OnPipeDisconnect(*this, pipe);
}

bool TPipeClient::Write(const void* buffer, uint32_t count) {
    if (FMemoryThrottle != 0 && FMemoryThrottle < FWriteQueue->DataSize() && IsConnected()) {
        const std::weak_ptr<char> life = FLife;
        WaitForQueueEmpty();
        if (life.expired())
            return false;
    }
    if (!IsConnected())
        return false;
    FWriteQueue->Enqueue(AllocPipeWrite(buffer, count));
    return true;
}

void TPipeClient::WaitForQueueEmpty() {
    if (InSendMessage())
        return;
    // A handler of a sent notification may destroy this client.
    const std::weak_ptr<char> life = FLife;
    while (IsConnected()) {
        // The worker's notifications and its end are sent. Nothing posted is dispatched: the
        // writer is in the middle of its own work, which a queued close could pull away. A
        // sent message that is waiting already wakes the wait too, not only a new one.
        ProcessSentMessages();
        if (life.expired())
            return;
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
    HANDLE pipe = reinterpret_cast<HANDLE>(message.WParam);
    // Each handler is the last step: a handler may destroy this client.
    switch (message.Msg) {
    case WM_PIPE_ERROR: {
        TNotification notification(*this);
        if (OnPipeError)
            OnPipeError(*this, pipe, pcWorker, static_cast<int32_t>(message.LParam));
        break;
    }
    case WM_PIPE_SENT: {
        // The worker's record, one event per pipe message; it waits until all have run. A
        // handler may destroy this client, which ends the round.
        TNotification notification(*this);
        const auto& sent = *reinterpret_cast<const TPipeSentBatch*>(message.LParam);
        const std::weak_ptr<char> life = FLife;
        for (uint32_t i = 0; i < sent.Count && !life.expired(); ++i)
            if (OnPipeSent)
                OnPipeSent(*this, pipe, sent.Sizes[i]);
        break;
    }
    case WM_PIPE_MESSAGE: {
        TNotification notification(*this);
        if (OnPipeMessage)
            OnPipeMessage(*this, pipe, *reinterpret_cast<TStream*>(message.LParam));
        break;
    }
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
    case WM_PIPE_WORKER_LEFT:
        FinishEndedWorker();
        break;
    default:
        message.Result = DefWindowProcW(FNotifyWindow, message.Msg, message.WParam, message.LParam);
    }
}

// The worker's last step, run on this thread while the worker waits for it.
void TPipeClient::WorkerTerminated(TThreadEx& sender) {
    // A worker that StopWorker waits for has its end reported there.
    if (&sender != FWorker.get())
        return;
    // It cannot be waited for while it waits here: that, the report and the freeing follow
    // once it has left (FinishEndedWorker). It has closed its pipe; forget it now, so that a
    // Connect meanwhile opens a new one, and drop what was never written. No earlier worker
    // is still in FEndedWorker: every start comes after FinishEndedWorker.
    FEndedWorker = std::move(FWorker);
    FEndedPipe = FPipe;
    FPipe = INVALID_HANDLE_VALUE;
    FWriteQueue->Clear();
    PostMessageW(FNotifyWindow, WM_PIPE_WORKER_LEFT, 0, 0);
}

} // namespace vantrel
