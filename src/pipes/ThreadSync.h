#pragma once
// Running code of one thread on another. Only the thread that owns a window receives its
// messages, so a worker reaches its creating thread by sending to a hidden window of that
// thread: a shared "ThreadSyncWindow" per creating thread for Synchronize, and one
// "ObjWndWindow" per object for notifications addressed to that object.
#include "win/Handle.h"
#include "win/Lock.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace vantrel {

// The window messages of the pipe layer's own hidden windows.
inline constexpr UINT WM_SYNC_RELEASE = WM_APP + 4092;
inline constexpr UINT WM_SYNC_EXECUTE = WM_APP + 4093;

// The record a notification window hands to its bound method; Result starts at 0.
struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};
using TWndMethod = std::function<void(TMessage& message)>;

// Guards the layer's process-wide state: the manager instance and notification window classes.
TCriticalSection& PipesLock();

// A hidden window of the calling thread whose messages go to `method` (none: DefWindowProcW).
// The method is kept with the window and must not let an exception escape; one that does is
// swallowed at the window procedure.
HWND AllocateNotifyWindow(TWndMethod method);
void DeallocateNotifyWindow(HWND window);
// Dispatches every message waiting for the calling thread, giving up the time slice after each;
// a WM_QUIT is left for the thread's own loop.
void ProcessPendingMessages();
// Delivers only the messages that other threads have sent to the calling thread and wait for;
// posted and input messages stay queued for the thread's own loop.
void ProcessSentMessages();

class TThreadSync;

struct TSyncInfo {
    DWORD FThreadID = 0;
    HWND FSyncWindow = nullptr;
    int32_t FRefCount = 0;
};

class TSyncManager {
public:
    static TSyncManager& Instance();
    ~TSyncManager();
    TSyncManager(const TSyncManager&) = delete;
    TSyncManager& operator=(const TSyncManager&) = delete;

    void AddThread(TThreadSync& sync);
    void RemoveThread(TThreadSync& sync);
    void Send(TThreadSync& sync);

    // For tests: the reference count and window of a thread's entry (0 and none without one).
    int32_t RefCountOf(DWORD threadId);
    HWND SyncWindowOf(DWORD threadId);

private:
    TSyncManager();
    TSyncInfo* FindSyncInfo(DWORD threadId);
    void ReleaseSyncInfo(TSyncInfo* info);
    void DestroySyncInfo(TSyncInfo* info);
    static HWND AllocateSyncWindow();
    static LRESULT CALLBACK SyncWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    TCriticalSection FLock;
    std::vector<std::unique_ptr<TSyncInfo>> FSyncList;
};

// One per thread object: runs methods on the thread that created it.
class TThreadSync {
public:
    TThreadSync();
    ~TThreadSync();
    TThreadSync(const TThreadSync&) = delete;
    TThreadSync& operator=(const TThreadSync&) = delete;

    // Runs `method` on the creating thread and waits for it; an exception it raises is raised
    // again here. Without a live sync window for that thread nothing runs.
    void Synchronize(std::function<void()> method);
    DWORD ThreadID() const { return FThreadID; }

private:
    friend class TSyncManager;
    std::exception_ptr FRaisedException;
    std::function<void()> FMethod;
    DWORD FThreadID;
};

// A thread with a completion callback that runs on the thread that created the object, and a
// wait for its end that keeps dispatching that thread's messages. Its owner waits for its end
// before freeing it; nothing frees itself.
class TThreadEx {
public:
    using TOnThreadDone = std::function<void(TThreadEx& sender)>;

    // Created suspended: Resume starts it, once the derived object is complete.
    TThreadEx();
    virtual ~TThreadEx();
    TThreadEx(const TThreadEx&) = delete;
    TThreadEx& operator=(const TThreadEx&) = delete;

    void Resume();
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    void SetPriority(int priority);
    HANDLE Handle() const { return FHandle.Get(); }
    DWORD ThreadID() const { return FThreadID; }
    // The thread that created this object.
    DWORD SyncThreadID() const { return FSync->ThreadID(); }
    // What escaped Execute, if anything.
    std::exception_ptr FatalException() const { return FFatalException; }

    // What a wait on the creating thread lets through: every message, or only the messages
    // that other threads send, which is all an ending thread needs and leaves the posted and
    // input messages (a close, a command, a timer) queued for the caller's own loop.
    enum TWaitDispatch { wdAllMessages, wdSentMessages };

    // On the creating thread: waits for the thread's end while dispatching messages, so that
    // its last notifications and OnThreadDone get through. From another thread: a plain wait.
    // Returns false when `timeout` ran out first.
    bool WaitForEnd(DWORD timeout = INFINITE, TWaitDispatch dispatch = wdAllMessages);

    // Set before the thread is resumed. The thread reads it as its last step; while it runs,
    // only a thread that it is waiting for in a send may change it, or ClearOnThreadDone.
    TOnThreadDone OnThreadDone;
    // From any thread: the thread ends without reporting to its creating thread, unless it is
    // reporting already, in which case this returns once the report has run. A thread that
    // does not create the object waits for its end after this, because only the creating
    // thread's dispatching lets the report through.
    void ClearOnThreadDone();

protected:
    virtual void Execute() = 0;
    TThreadSync& Sync() { return *FSync; }

private:
    static DWORD WINAPI ThreadProc(void* param);
    void NotifyDone();

    std::unique_ptr<TThreadSync> FSync;
    // Guards OnThreadDone between the thread's report and ClearOnThreadDone.
    TCriticalSection FDoneLock;
    THandle FHandle;
    DWORD FThreadID = 0;
    std::atomic<bool> FTerminated{false};
    std::exception_ptr FFatalException;
};

} // namespace vantrel
