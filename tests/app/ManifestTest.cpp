#include <windows.h>

#include <commctrl.h>

#include <string>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

// This test program carries the program's resources, its manifest among them.

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

std::string ManifestText() {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (!found)
        return {};
    const char* text = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    return std::string(text, SizeofResource(nullptr, found));
}

TEST(Manifest, RequestsTheHighestAvailableLevelWithoutUiAccess) {
    // Administrators under User Account Control get their full token; standard users still
    // start and meet the run-time administrator check. The system's own reading of the
    // process's manifest:
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION info{};
    SIZE_T size = 0;
    ASSERT_TRUE(QueryActCtxW(0, nullptr, nullptr, RunlevelInformationInActivationContext, &info,
                             sizeof(info), &size));
    EXPECT_EQ(ACTCTX_RUN_LEVEL_HIGHEST_AVAILABLE, info.RunLevel);
    EXPECT_EQ(0u, info.UiAccess);

    const std::string manifest = ManifestText();
    EXPECT_NE(manifest.find("level=\"highestAvailable\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
}

} // namespace
} // namespace vantrel
