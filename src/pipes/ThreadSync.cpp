#include "pipes/ThreadSync.h"

#include "pipes/PipeException.h"
#include "win/MessagePump.h"
#include "win/SystemError.h"
#include "win/WindowClass.h"

#include <algorithm>
#include <cstdio>

namespace vantrel {

namespace {

constexpr wchar_t kSyncWindowClass[] = L"ThreadSyncWindow";
constexpr wchar_t kNotifyWindowClass[] = L"ObjWndWindow";

HINSTANCE ModuleInstance() {
    return GetModuleHandleW(nullptr);
}

void RegisterPipesWindowClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = name;
    RegisterWindowClassOnce(windowClass);
}

LRESULT CALLBACK NotifyWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* method = reinterpret_cast<TWndMethod*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!method || !*method)
        return DefWindowProcW(window, msg, wParam, lParam);
    TMessage message{msg, wParam, lParam, 0};
    try {
        (*method)(message);
    } catch (...) {
        // Nothing may unwind through the system's dispatch code.
    }
    return message.Result;
}

[[noreturn]] void RaiseThreadError(DWORD code) {
    char text[512];
    std::snprintf(text, sizeof(text), "Thread Error: %s (%lu)",
                  ToUtf8(SystemErrorText(code)).c_str(), static_cast<unsigned long>(code));
    throw EPipeException(text);
}

DWORD RemainingTime(ULONGLONG start, DWORD timeout) {
    if (timeout == INFINITE)
        return INFINITE;
    const ULONGLONG spent = GetTickCount64() - start;
    return spent >= timeout ? 0 : static_cast<DWORD>(timeout - spent);
}

bool ThreadEnded(HANDLE thread) {
    DWORD code = 0;
    return !GetExitCodeThread(thread, &code) || code != STILL_ACTIVE;
}

// Lets only the messages that other threads send through.
bool WaitForThreadHandleSentOnly(HANDLE thread, DWORD timeout) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        ProcessSentMessages();
        if (ThreadEnded(thread))
            return true;
        DWORD result = MsgWaitForMultipleObjectsEx(1, &thread, RemainingTime(start, timeout),
                                                   QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0 + 1)
            continue;
        return result != WAIT_TIMEOUT;
    }
}

// Waits for a thread handle to be signalled; on the thread that owns the sync window it keeps
// dispatching, because the ending thread sends its last notifications there.
bool WaitForThreadHandle(HANDLE thread, bool dispatch, TThreadEx::TWaitDispatch which,
                         DWORD timeout) {
    if (!dispatch)
        return WaitForSingleObject(thread, timeout) != WAIT_TIMEOUT;
    if (which == TThreadEx::wdSentMessages)
        return WaitForThreadHandleSentOnly(thread, timeout);
    const ULONGLONG start = GetTickCount64();
    DWORD wakeMask = QS_ALLINPUT;
    for (;;) {
        DWORD result =
            MsgWaitForMultipleObjects(1, &thread, FALSE, RemainingTime(start, timeout), wakeMask);
        if (result == WAIT_OBJECT_0 + 1) {
            ProcessPendingMessages();
            // A quit left for the owner's loop would wake every further wait at once and turn
            // this one into a busy loop: from then on only sent messages, which the ending
            // thread needs, wake it.
            MSG quit;
            if (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
                wakeMask = QS_SENDMESSAGE;
            if (ThreadEnded(thread))
                return true;
            continue;
        }
        if (result == WAIT_TIMEOUT)
            return false;
        return true;
    }
}

} // namespace

TCriticalSection& PipesLock() {
    static TCriticalSection lock;
    return lock;
}

HWND AllocateNotifyWindow(TWndMethod method) {
    TLockGuard guard(PipesLock());
    RegisterPipesWindowClass(kNotifyWindowClass, NotifyWindowProc);
    HWND window = CreateWindowExW(0, kNotifyWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                  nullptr, ModuleInstance(), nullptr);
    if (window && method)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(new TWndMethod(std::move(method))));
    return window;
}

void DeallocateNotifyWindow(HWND window) {
    if (!window)
        return;
    TLockGuard guard(PipesLock());
    auto* method = reinterpret_cast<TWndMethod*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    delete method;
}

void ProcessPendingMessages() {
    // A quit is left for the owner's message loop; the pump posts it again and stops.
    PumpWaitingMessages(nullptr, true);
}

void ProcessSentMessages() {
    // A peek delivers every sent message that is waiting and, with PM_QS_SENDMESSAGE and
    // nothing removed, touches nothing else.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

// --- TSyncManager ---------------------------------------------------------------------------

TSyncManager& TSyncManager::Instance() {
    static TSyncManager* instance = nullptr;
    TLockGuard guard(PipesLock());
    if (!instance)
        instance = new TSyncManager();
    return *instance;
}

TSyncManager::TSyncManager() = default;

TSyncManager::~TSyncManager() {
    while (!FSyncList.empty())
        DestroySyncInfo(FSyncList.back().get());
}

TSyncInfo* TSyncManager::FindSyncInfo(DWORD threadId) {
    for (auto& info : FSyncList)
        if (info->FThreadID == threadId)
            return info.get();
    return nullptr;
}

void TSyncManager::AddThread(TThreadSync& sync) {
    TLockGuard lock(FLock);
    TSyncInfo* info = FindSyncInfo(sync.FThreadID);
    if (!info) {
        FSyncList.push_back(std::make_unique<TSyncInfo>());
        info = FSyncList.back().get();
        info->FThreadID = sync.FThreadID;
    }
    // An entry left behind by an ended thread whose id the system has given to this one.
    if (info->FRefCount > 0 && !IsWindow(info->FSyncWindow)) {
        info->FRefCount = 0;
        info->FSyncWindow = nullptr;
    }
    if (info->FRefCount == 0 && !info->FSyncWindow)
        info->FSyncWindow = AllocateSyncWindow();
    info->FRefCount++;
}

void TSyncManager::RemoveThread(TThreadSync& sync) {
    TLockGuard lock(FLock);
    TSyncInfo* info = FindSyncInfo(sync.FThreadID);
    // The window belongs to the creating thread and only it may destroy it; the object may be
    // freed on another thread, which must not wait for that.
    if (info && !(info->FSyncWindow && PostMessageW(info->FSyncWindow, WM_SYNC_RELEASE, 0,
                                                    reinterpret_cast<LPARAM>(info)))) {
        if (--info->FRefCount <= 0 && !IsWindow(info->FSyncWindow)) {
            FSyncList.erase(
                std::find_if(FSyncList.begin(), FSyncList.end(),
                             [info](const auto& entry) { return entry.get() == info; }));
        }
    }
}

void TSyncManager::ReleaseSyncInfo(TSyncInfo* info) {
    TLockGuard lock(FLock);
    bool known = std::any_of(FSyncList.begin(), FSyncList.end(),
                             [info](const auto& entry) { return entry.get() == info; });
    if (known && --info->FRefCount <= 0) {
        info->FRefCount = 0;
        DestroySyncInfo(info);
    }
}

void TSyncManager::DestroySyncInfo(TSyncInfo* info) {
    if (!info->FSyncWindow)
        return;
    DestroyWindow(info->FSyncWindow);
    auto it = std::find_if(FSyncList.begin(), FSyncList.end(),
                           [info](const auto& entry) { return entry.get() == info; });
    if (it != FSyncList.end())
        FSyncList.erase(it);
}

void TSyncManager::Send(TThreadSync& sync) {
    // The window handle is copied under the lock and the lock dropped before the blocking
    // send. The entry cannot go away meanwhile: `sync` itself holds one of its references,
    // and its release is only posted when `sync` is destroyed.
    HWND window = nullptr;
    {
        TLockGuard lock(FLock);
        TSyncInfo* info = FindSyncInfo(sync.FThreadID);
        window = info ? info->FSyncWindow : nullptr;
    }
    if (window)
        SendMessageW(window, WM_SYNC_EXECUTE, 0, reinterpret_cast<LPARAM>(&sync));
}

int32_t TSyncManager::RefCountOf(DWORD threadId) {
    TLockGuard lock(FLock);
    TSyncInfo* info = FindSyncInfo(threadId);
    return info ? info->FRefCount : 0;
}

HWND TSyncManager::SyncWindowOf(DWORD threadId) {
    TLockGuard lock(FLock);
    TSyncInfo* info = FindSyncInfo(threadId);
    return info ? info->FSyncWindow : nullptr;
}

HWND TSyncManager::AllocateSyncWindow() {
    {
        TLockGuard guard(PipesLock());
        RegisterPipesWindowClass(kSyncWindowClass, SyncWindowProc);
    }
    return CreateWindowExW(0, kSyncWindowClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                           ModuleInstance(), nullptr);
}

LRESULT CALLBACK TSyncManager::SyncWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Nothing may unwind through the system's dispatch code.
    try {
        switch (msg) {
        case WM_SYNC_RELEASE:
            Instance().ReleaseSyncInfo(reinterpret_cast<TSyncInfo*>(lParam));
            return 0;
        case WM_SYNC_EXECUTE: {
            auto* sync = reinterpret_cast<TThreadSync*>(lParam);
            sync->FRaisedException = nullptr;
            try {
                if (sync->FMethod)
                    sync->FMethod();
            } catch (...) {
                sync->FRaisedException = std::current_exception();
            }
            return 0;
        }
        default:
            return DefWindowProcW(window, msg, wParam, lParam);
        }
    } catch (...) {
        return 0;
    }
}

// --- TThreadSync ----------------------------------------------------------------------------

TThreadSync::TThreadSync() : FThreadID(GetCurrentThreadId()) {
    TSyncManager::Instance().AddThread(*this);
}

TThreadSync::~TThreadSync() {
    TSyncManager::Instance().RemoveThread(*this);
}

void TThreadSync::Synchronize(std::function<void()> method) {
    FRaisedException = nullptr;
    FMethod = std::move(method);
    TSyncManager::Instance().Send(*this);
    FMethod = nullptr;
    if (FRaisedException) {
        std::exception_ptr raised = FRaisedException;
        FRaisedException = nullptr;
        std::rethrow_exception(raised);
    }
}

// --- TThreadEx ------------------------------------------------------------------------------

TThreadEx::TThreadEx() : FSync(std::make_unique<TThreadSync>()) {
    // Suspended until the caller resumes it: a thread started here would run before the
    // derived object exists. The handle is not inheritable (no security attributes).
    FHandle.Reset(CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &FThreadID));
    if (!FHandle) {
        DWORD code = GetLastError();
        throw EPipeException("Thread creation error: " + ToUtf8(SystemErrorText(code)));
    }
}

TThreadEx::~TThreadEx() {
    DWORD code = 0;
    // Its owner has waited for a thread that ran. One that never got resumed (a start that
    // failed half-way) must not run on freed memory.
    if (FHandle && GetExitCodeThread(FHandle.Get(), &code) && code == STILL_ACTIVE)
        TerminateThread(FHandle.Get(), 0);
    FHandle.Close();
    FSync.reset();
}

void TThreadEx::Resume() {
    if (ResumeThread(FHandle.Get()) == static_cast<DWORD>(-1))
        RaiseThreadError(GetLastError());
}

void TThreadEx::SetPriority(int priority) {
    if (!SetThreadPriority(FHandle.Get(), priority))
        RaiseThreadError(GetLastError());
}

DWORD WINAPI TThreadEx::ThreadProc(void* param) {
    auto* self = static_cast<TThreadEx*>(param);
    try {
        self->Execute();
    } catch (...) {
        self->FFatalException = std::current_exception();
    }
    try {
        self->NotifyDone();
    } catch (...) {
        self->FFatalException = std::current_exception();
    }
    return 0;
}

void TThreadEx::NotifyDone() {
    // Without a callback the thread ends without waiting for the creating thread, which may
    // not be dispatching messages at all.
    {
        TLockGuard guard(FDoneLock);
        if (!OnThreadDone)
            return;
    }
    FSync->Synchronize([this] {
        // Held while the callback runs, so that a clear from another thread either comes
        // first or waits for it; the lock is reentrant for a callback that clears it itself.
        TLockGuard guard(FDoneLock);
        // A copy: the callback may change OnThreadDone while it runs.
        const TOnThreadDone done = OnThreadDone;
        if (done)
            done(*this);
    });
}

void TThreadEx::ClearOnThreadDone() {
    TLockGuard guard(FDoneLock);
    OnThreadDone = nullptr;
}

bool TThreadEx::WaitForEnd(DWORD timeout, TWaitDispatch dispatch) {
    const bool creator = GetCurrentThreadId() == FSync->ThreadID();
    return WaitForThreadHandle(FHandle.Get(), creator, dispatch, timeout);
}

} // namespace vantrel
