#include "pipes/ThreadSync.h"
#include "win/SystemError.h"

#include "pipes/PipeException.h"
#include "PipeTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace vantrel {
namespace {

using testing::PumpUntil;

// A thread whose body runs a given function.
class TProbeThread : public TThreadEx {
public:
    explicit TProbeThread(std::function<void(TProbeThread&)> body) : FBody(std::move(body)) {}
    void RunSync(std::function<void()> method) { Sync().Synchronize(std::move(method)); }

protected:
    void Execute() override { FBody(*this); }

private:
    std::function<void(TProbeThread&)> FBody;
};

TEST(ThreadSync, SynchronizeRunsOnTheCreatingThreadAndCarriesExceptionsBack) {
    const DWORD owner = GetCurrentThreadId();
    DWORD ranOn = 0;
    std::string carried;
    auto* thread = new TProbeThread([&](TProbeThread& self) {
        self.RunSync([&] { ranOn = GetCurrentThreadId(); });
        try {
            self.RunSync([] { throw EPipeException("from the owner"); });
        } catch (const EPipeException& e) {
            carried = e.what();
        }
    });
    thread->Resume();
    EXPECT_TRUE(thread->WaitForEnd());
    delete thread;
    EXPECT_EQ(owner, ranOn);
    EXPECT_EQ("from the owner", carried);
}

TEST(ThreadSync, OnThreadDoneIsDeliveredInsideTheWaitAndOnlyTheOwnerFreesTheObject) {
    static std::atomic<int> destroyed{0};
    class TCounted : public TProbeThread {
    public:
        using TProbeThread::TProbeThread;
        ~TCounted() override { destroyed++; }
    };
    const DWORD owner = GetCurrentThreadId();
    DWORD doneOn = 0;
    auto thread = std::make_unique<TCounted>([](TProbeThread&) {});
    thread->OnThreadDone = [&](TThreadEx&) { doneOn = GetCurrentThreadId(); };
    thread->Resume();
    EXPECT_TRUE(thread->WaitForEnd());
    EXPECT_EQ(owner, doneOn);
    EXPECT_EQ(0, destroyed.load());
    thread.reset();
    EXPECT_EQ(1, destroyed.load());
}

TEST(ThreadSync, ExceptionInTheBodyIsKept) {
    auto* thread = new TProbeThread([](TProbeThread&) { throw std::runtime_error("body"); });
    thread->Resume();
    thread->WaitForEnd();
    ASSERT_TRUE(thread->FatalException());
    EXPECT_THROW(std::rethrow_exception(thread->FatalException()), std::runtime_error);
    delete thread;
}

TEST(ThreadSync, SyncWindowIsSharedPerThreadAndReleasedByPostedMessages) {
    TSyncManager& manager = TSyncManager::Instance();
    const DWORD me = GetCurrentThreadId();
    ASSERT_EQ(0, manager.RefCountOf(me));
    auto first = std::make_unique<TThreadSync>();
    HWND window = manager.SyncWindowOf(me);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(1, manager.RefCountOf(me));
    first.reset(); // its release is posted, not yet handled
    auto second = std::make_unique<TThreadSync>();
    EXPECT_EQ(2, manager.RefCountOf(me));
    EXPECT_EQ(window, manager.SyncWindowOf(me));
    ASSERT_TRUE(PumpUntil([&] { return manager.RefCountOf(me) == 1; }));
    EXPECT_EQ(window, manager.SyncWindowOf(me));
    second.reset();
    ASSERT_TRUE(PumpUntil([&] { return manager.SyncWindowOf(me) == nullptr; }));
    EXPECT_FALSE(IsWindow(window));
    auto third = std::make_unique<TThreadSync>();
    EXPECT_TRUE(IsWindow(manager.SyncWindowOf(me)));
}

TEST(ThreadSync, WaitForEndFromAnotherThreadDoesNotDispatch) {
    std::atomic<bool> release{false};
    bool syncRan = false;
    auto* thread = new TProbeThread([&](TProbeThread& self) {
        while (!release)
            Sleep(1);
        self.RunSync([&] { syncRan = true; });
    });
    thread->Resume();
    // From another thread the wait is plain: the sync the worker sends to this thread can only
    // run once this thread dispatches again.
    bool ended = false;
    std::thread other([&] { ended = thread->WaitForEnd(200); });
    release = true;
    other.join();
    EXPECT_FALSE(ended);
    EXPECT_FALSE(syncRan);
    EXPECT_TRUE(thread->WaitForEnd());
    EXPECT_TRUE(syncRan);
    delete thread;
}

TEST(ThreadSync, WithoutOnThreadDoneTheThreadEndsWhileItsCreatorDoesNotDispatch) {
    auto* thread = new TProbeThread([](TProbeThread&) {});
    thread->Resume();
    // This thread only waits for `other`; the guard is for a fault, not a measure.
    bool ended = false;
    std::thread other([&] { ended = thread->WaitForEnd(10000); });
    other.join();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(thread->WaitForEnd());
    delete thread;
}

TEST(ThreadSync, DispatchingLeavesTheQuitMessageForTheOwnersLoop) {
    int handled = 0;
    HWND window = AllocateNotifyWindow([&](TMessage& message) {
        if (message.Msg == WM_USER)
            handled++;
    });
    ASSERT_TRUE(PostMessageW(window, WM_USER, 0, 0));
    PostQuitMessage(7);
    ProcessPendingMessages();
    EXPECT_EQ(1, handled);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
    DeallocateNotifyWindow(window);
}

std::atomic<int> quitRetrievals{0};

LRESULT CALLBACK CountQuitRetrievals(int code, WPARAM removed, LPARAM lParam) {
    if (code == HC_ACTION && removed == PM_REMOVE &&
        reinterpret_cast<const MSG*>(lParam)->message == WM_QUIT)
        quitRetrievals++;
    return CallNextHookEx(nullptr, code, removed, lParam);
}

// A quit waiting for the owner's loop must not wake the wait over and over: it would spin,
// taking the quit out and putting it back, for as long as the thread runs.
TEST(ThreadSync, WaitForEndWithAQuitPendingDoesNotSpin) {
    HHOOK hook =
        SetWindowsHookExW(WH_GETMESSAGE, CountQuitRetrievals, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    quitRetrievals = 0;
    // The thread ends once a spinning wait has shown itself, or after the guard time.
    auto* thread = new TProbeThread([](TProbeThread&) {
        const ULONGLONG start = GetTickCount64();
        while (quitRetrievals < 5 && GetTickCount64() - start < 500)
            Sleep(5);
    });
    bool doneRan = false;
    thread->OnThreadDone = [&](TThreadEx&) { doneRan = true; };
    thread->Resume();
    PostQuitMessage(9);
    EXPECT_TRUE(thread->WaitForEnd());
    UnhookWindowsHookEx(hook);
    EXPECT_TRUE(doneRan);
    EXPECT_LE(quitRetrievals.load(), 2);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(9u, msg.wParam);
    delete thread;
}

std::string RaisedText(const std::function<void()>& action) {
    try {
        action();
    } catch (const EPipeException& e) {
        return e.what();
    }
    return "(nothing raised)";
}

TEST(PipeException, SystemErrorsCarryTheCodeAndTheSystemsText) {
    const std::string text = ToUtf8(SystemErrorText(ERROR_ACCESS_DENIED));
    ASSERT_FALSE(text.empty());
    EXPECT_NE('\n', text.back());
    EXPECT_EQ("System Error.  Code: 5.\r\n" + text,
              RaisedText([] { RaiseSystemError(ERROR_ACCESS_DENIED); }));
    EXPECT_EQ("A call to an OS function failed", RaisedText([] { RaiseSystemError(0); }));
    EXPECT_EQ("System Error.  Code: 6.\r\n" + ToUtf8(SystemErrorText(ERROR_INVALID_HANDLE)),
              RaisedText([] {
                  SetLastError(ERROR_INVALID_HANDLE);
                  RaiseLastSystemError();
              }));
}

TEST(NotifyWindow, MessagesReachTheBoundMethodWithResultStartingAtZero) {
    LRESULT seenResult = -1;
    UINT seen = 0;
    HWND window = AllocateNotifyWindow([&](TMessage& message) {
        if (message.Msg == WM_USER + 1) {
            seen = message.Msg;
            seenResult = message.Result;
            message.Result = 42;
        } else {
            message.Result = DefWindowProcW(nullptr, message.Msg, message.WParam, message.LParam);
        }
    });
    ASSERT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(42, SendMessageW(window, WM_USER + 1, 0, 0));
    EXPECT_EQ(WM_USER + 1, seen);
    EXPECT_EQ(0, seenResult);
    DeallocateNotifyWindow(window);
    EXPECT_FALSE(IsWindow(window));
}

TEST(NotifyWindow, ManyWindowsCanBeBoundAndFreed) {
    std::vector<HWND> windows;
    std::vector<int> hits(400, 0);
    for (int i = 0; i < 400; ++i)
        windows.push_back(AllocateNotifyWindow([&hits, i](TMessage& message) {
            if (message.Msg == WM_USER)
                hits[i]++;
        }));
    for (HWND w : windows)
        SendMessageW(w, WM_USER, 0, 0);
    for (int i = 0; i < 400; ++i)
        EXPECT_EQ(1, hits[i]) << i;
    for (HWND w : windows)
        DeallocateNotifyWindow(w);
}

} // namespace
} // namespace vantrel
