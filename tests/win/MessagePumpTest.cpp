#include "win/Dpi.h"
#include "win/MessagePump.h"
#include "win/SystemError.h"
#include "win/WindowClass.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

constexpr UINT kProbe = WM_APP + 7;

std::vector<WPARAM>& Seen() {
    static std::vector<WPARAM> seen;
    return seen;
}

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kProbe) {
        Seen().push_back(wParam);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK OtherProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND MakeProbeWindow() {
    WNDCLASSEXW wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.lpszClassName = L"VantrelPumpProbe";
    EXPECT_TRUE(RegisterWindowClassOnce(wc));
    return CreateWindowExW(0, L"VantrelPumpProbe", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// Removes a quit left in this thread's queue, so one test's quit does not end another's pump.
void DrainQuit() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

TEST(MessagePumpTest, DispatchesWhatWaitsAndLetsTheFilterKeepMessages) {
    Seen().clear();
    HWND window = MakeProbeWindow();
    ASSERT_NE(nullptr, window);
    PostMessageW(window, kProbe, 1, 0);
    PostMessageW(window, kProbe, 2, 0);
    PostMessageW(window, kProbe, 3, 0);
    EXPECT_TRUE(PumpWaitingMessages([](MSG& msg) { return msg.wParam == 2; }));
    EXPECT_EQ((std::vector<WPARAM>{1, 3}), Seen());
    DestroyWindow(window);
}

TEST(MessagePumpTest, AQuitIsPostedAgainForTheOwnersLoop) {
    DrainQuit();
    Seen().clear();
    HWND window = MakeProbeWindow();
    PostMessageW(window, kProbe, 1, 0);
    PostQuitMessage(42);
    PostMessageW(window, kProbe, 2, 0);
    EXPECT_FALSE(PumpWaitingMessages());
    // The quit is still there for the real loop, with its code.
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(42u, msg.wParam);
    DrainQuit();
    PumpWaitingMessages();
    DestroyWindow(window);
}

TEST(WindowClassTest, RegistersOnceAndReplacesAForeignProcedure) {
    WNDCLASSEXW wc{};
    wc.lpfnWndProc = OtherProc;
    wc.lpszClassName = L"VantrelClassProbe";
    ASSERT_TRUE(RegisterWindowClassOnce(wc));
    ASSERT_TRUE(RegisterWindowClassOnce(wc));
    wc.lpfnWndProc = ProbeProc;
    ASSERT_TRUE(RegisterWindowClassOnce(wc));
    WNDCLASSEXW found{};
    found.cbSize = sizeof(found);
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"VantrelClassProbe", &found));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(ProbeProc), found.lpfnWndProc);
}

TEST(SystemErrorTest, WideTextWithoutTheLineBreakAndUtf8) {
    std::wstring text = SystemErrorText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(L'\n', text.back());
    EXPECT_NE(L'\r', text.back());
    EXPECT_EQ("Zo\xC3\xAB \xE5\xB1\xB1", ToUtf8(L"Zo\u00EB \u5C71"));
    EXPECT_EQ("", ToUtf8(L""));
}

TEST(DpiTest, ScalesFrom96Dpi) {
    EXPECT_EQ(75, ScaleForDpi(75, 96));
    EXPECT_EQ(113, ScaleForDpi(75, 144)); // 112.5 rounds away from zero
    EXPECT_EQ(150, ScaleForDpi(75, 192));
}

} // namespace
} // namespace vantrel
