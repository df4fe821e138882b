#include <windows.h>

#include <commctrl.h>

#include <string>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

// The program's manifest travels with these test programs' resources too.

TEST(Manifest, BindsTheThemedCommonControls6) {
    // Only the version 6 button (from comctl32, not user32) knows its ideal size.
    InitCommonControls();
    HWND button = CreateWindowExW(0, L"BUTTON", L"&OK", WS_POPUP | BS_PUSHBUTTON, 0, 0, 75, 25,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(button);
    SIZE ideal{};
    const LRESULT known =
        SendMessageW(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal));
    DestroyWindow(button);
    EXPECT_TRUE(known);
    EXPECT_GT(ideal.cx, 0);
}

TEST(Manifest, MakesTheProcessPerMonitorDpiAware) {
    using TGetContext = DPI_AWARENESS_CONTEXT(WINAPI*)();
    using TGetAwareness = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto getContext = reinterpret_cast<TGetContext>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
    auto getAwareness = reinterpret_cast<TGetAwareness>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    ASSERT_TRUE(getContext && getAwareness);
    EXPECT_EQ(getAwareness(getContext()), DPI_AWARENESS_PER_MONITOR_AWARE);
}

TEST(Manifest, AsksForNoElevationOfItsOwn) {
    // The administrator check happens at run time; a requestedExecutionLevel would make the
    // shell elevate or refuse before that.
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_TRUE(found);
    const char* text = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    const std::string manifest(text, SizeofResource(nullptr, found));
    EXPECT_EQ(manifest.find("requestedExecutionLevel"), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
}

} // namespace
} // namespace vantrel
