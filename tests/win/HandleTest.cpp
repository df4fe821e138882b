#include "win/Handle.h"
#include "win/Lock.h"
#include "win/ScopeExit.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

namespace vantrel {
namespace {

// A handle is really closed when the system no longer knows it.
bool IsOpenHandle(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(THandleTest, BothInvalidValuesCountAsNoHandle) {
    EXPECT_FALSE(HandleValid(nullptr));
    EXPECT_FALSE(HandleValid(INVALID_HANDLE_VALUE));
    THandle empty;
    EXPECT_FALSE(empty.Valid());
    EXPECT_EQ(INVALID_HANDLE_VALUE, empty.Get());
    THandle null(nullptr);
    EXPECT_FALSE(null);
    null.Close(); // closing nothing is harmless
    EXPECT_EQ(INVALID_HANDLE_VALUE, null.Get());
}

TEST(THandleTest, ClosesOnceWhenItGoesAndMovesOwnership) {
    HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(HandleValid(raw));
    {
        THandle first(raw);
        THandle second(std::move(first));
        EXPECT_FALSE(first.Valid());
        EXPECT_EQ(raw, second.Get());
        THandle third;
        third = std::move(second);
        EXPECT_EQ(raw, third.Get());
        EXPECT_TRUE(IsOpenHandle(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

TEST(THandleTest, ResetClosesTheOldHandleAndReleaseKeepsItOpen) {
    HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE b = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    THandle owner(a);
    owner.Reset(b);
    EXPECT_FALSE(IsOpenHandle(a));
    EXPECT_EQ(b, owner.Get());
    HANDLE released = owner.Release();
    EXPECT_EQ(b, released);
    EXPECT_FALSE(owner.Valid());
    EXPECT_TRUE(IsOpenHandle(b));
    CloseHandle(b);
}

TEST(TLockGuardTest, AThrowInsideTheGuardLeavesTheSectionFree) {
    TCriticalSection section;
    try {
        TLockGuard guard(section);
        throw std::runtime_error("push_back failed");
    } catch (const std::runtime_error&) {
    }
    // Another thread must get the section; if the guard had left it held, it would not, and
    // the bounded wait fails instead of hanging the test.
    struct TProbe {
        TCriticalSection* Section;
        bool Entered;
    } probe{&section, false};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* param) -> DWORD {
            auto* p = static_cast<TProbe*>(param);
            TLockGuard guard(*p->Section);
            p->Entered = true;
            return 0;
        },
        &probe, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    CloseHandle(thread);
    const bool entered = probe.Entered;
    EXPECT_TRUE(entered);
}

TEST(TScopeExitTest, RunsOnEveryPathUnlessDismissed) {
    int runs = 0;
    {
        auto once = ScopeExit([&] { ++runs; });
    }
    EXPECT_EQ(1, runs);
    try {
        auto onThrow = ScopeExit([&] { ++runs; });
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(2, runs);
    {
        auto dismissed = ScopeExit([&] { ++runs; });
        dismissed.Dismiss();
    }
    EXPECT_EQ(2, runs);
}

} // namespace
} // namespace vantrel
