#include "win/Handle.h"
#include "win/Lock.h"
#include "win/ScopeExit.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
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
    bool entered = false;
    std::thread other([&] {
        TLockGuard guard(section);
        entered = true;
    });
    other.join();
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
