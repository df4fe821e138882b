#pragma once
// Client end of a message-mode named pipe. All pipe I/O runs on a worker thread that exists
// while the client is connected; its notifications run as events on the thread that created
// the client, while the worker waits for each handler to return.
#include "pipes/PipeException.h"
#include "pipes/PipeStream.h"
#include "pipes/ThreadSync.h"
#include "win/Handle.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vantrel {

class TWriteQueue;
class TPipeThread;

// Notifications of the worker (and the client itself) to the client's window.
inline constexpr UINT WM_PIPE_ERROR = WM_USER + 101;
inline constexpr UINT WM_PIPE_SENT = WM_USER + 103;
inline constexpr UINT WM_PIPE_MESSAGE = WM_USER + 104;
inline constexpr UINT WM_PIPE_WRONG_THREAD = WM_USER + 200;
inline constexpr UINT WM_PIPE_DISCONNECT = WM_USER + 300;

enum TPipeContext { pcListener = 0, pcWorker = 1 };

class TPipeClient;
using TOnPipeDisconnect = std::function<void(TPipeClient& sender, HANDLE pipe)>;
// The stream belongs to the worker and is valid only while the handler runs.
using TOnPipeMessage = std::function<void(TPipeClient& sender, HANDLE pipe, TStream& stream)>;
// One event for each pipe message the service has read, in order; a long message's blocks and
// parts count one each. Messages that go out back to back are reported together, after the last
// of them (up to 64 at a time).
using TOnPipeSent = std::function<void(TPipeClient& sender, HANDLE pipe, uint32_t size)>;
using TOnPipeError =
    std::function<void(TPipeClient& sender, HANDLE pipe, TPipeContext context, int32_t errorCode)>;

class TPipeClient {
public:
    static constexpr uint32_t kDefaultMemoryThrottle = 10240000;
    // How long a stop lets the worker finish on its own before cancelling its pipe I/O.
    static constexpr DWORD kDefaultStopTimeout = 5000;

    TPipeClient();
    ~TPipeClient();
    TPipeClient(const TPipeClient&) = delete;
    TPipeClient& operator=(const TPipeClient&) = delete;

    // WaitTime 0 waits as long as the server asked for when it made the pipe. An unreachable
    // pipe gives false; misuse raises EPipeException.
    bool Connect(DWORD waitTime, bool start);
    // Stops the worker and waits for its end while dispatching every message of this thread;
    // a worker that a stalled service keeps from ending has its pipe I/O cancelled after
    // StopTimeout. Inside a handler of the worker's notifications it runs once that returned.
    void Disconnect();
    // True only while a worker runs that has not been asked to stop and still writes.
    bool IsConnected() const;
    // Copies the bytes and queues them as one message; false when not connected.
    bool Write(const void* buffer, uint32_t count);
    void WaitForQueueEmpty();

    uint32_t MemoryThrottle() const { return FMemoryThrottle; }
    void SetMemoryThrottle(uint32_t value) { FMemoryThrottle = value; }
    const std::wstring& PipeName() const { return FPipeName; }
    void SetPipeName(const std::wstring& value);
    const std::wstring& ServerName() const { return FServerName; }
    void SetServerName(const std::wstring& value);
    DWORD StopTimeout() const { return FStopTimeout; }
    void SetStopTimeout(DWORD value) { FStopTimeout = value; }

    // The full path that Connect opens, e.g. "\\.\pipe\QorPipe".
    std::wstring PipePath() const;
    HANDLE Pipe() const { return FPipe; }
    HWND NotifyWindow() const { return FNotifyWindow; }
    // Bytes queued and not yet handed to the worker, as the throttle counts them.
    uint32_t QueuedBytes() const;

    TOnPipeError OnPipeError;
    TOnPipeDisconnect OnPipeDisconnect;
    TOnPipeMessage OnPipeMessage;
    TOnPipeSent OnPipeSent;

private:
    class TNotification;

    void HandleNotifyMessage(TMessage& message);
    void WorkerTerminated(TThreadEx& sender);
    void StartWorker();
    void DisconnectWaiting(TThreadEx::TWaitDispatch dispatch);
    void StopWorker(TThreadEx::TWaitDispatch dispatch);
    void FinishEndedWorker();
    void WorkerEnded(HANDLE pipe);
    void LeaveBehind(std::shared_ptr<TPipeThread> worker);
    // The worker that sends the notifications now: the running one or the one being stopped.
    TPipeThread* NotifyingWorker() const;
    bool PipeValid() const;

    DWORD FNotifyThread = 0;
    HWND FNotifyWindow = nullptr;
    // The pipe in use, open or with a worker on it, as Pipe() and the events report it.
    HANDLE FPipe = INVALID_HANDLE_VALUE;
    // The pipe while it is the client's own: opened without a worker. A worker takes it over
    // and closes it itself.
    THandle FOpenPipe;
    std::wstring FPipeName = L"PipeServer";
    std::wstring FServerName;
    bool FDisconnecting = false;
    bool FDestroying = false;
    uint32_t FMemoryThrottle = kDefaultMemoryThrottle;
    DWORD FStopTimeout = kDefaultStopTimeout;
    std::unique_ptr<TWriteQueue> FWriteQueue;
    // The worker, from its start until its end has reached this thread.
    std::unique_ptr<TPipeThread> FWorker;
    // The worker that StopWorker waits for, while it does. A member, so that a client destroyed
    // inside that wait can hand it to a notification under way or wait for it itself; the wait
    // holds a reference of its own, so the worker outlives it.
    std::shared_ptr<TPipeThread> FStoppingWorker;
    // A worker whose end reached this thread while it waited there for its report
    // (WorkerTerminated): it is waited for and freed, and its end reported, once it has left.
    std::unique_ptr<TPipeThread> FEndedWorker;
    HANDLE FEndedPipe = INVALID_HANDLE_VALUE;
    // The innermost notification of a worker that a handler on this thread is handling.
    TNotification* FNotification = nullptr;
    SECURITY_ATTRIBUTES FSecurityAttributes{};
    std::unique_ptr<SECURITY_DESCRIPTOR> FSecurityDescriptor;
    // Expires when the client is gone. What dispatches messages while it waits (and a handler
    // called from it) may destroy the client; a weak reference taken before tells whether
    // anything of it may be touched afterwards.
    std::shared_ptr<char> FLife = std::make_shared<char>();
};

} // namespace vantrel
