// The status bar of the real main window: the formula text and the storage pictures.
#include "MainFormSupport.h"

namespace vantrel::testing {
namespace {

using MainFormStatus = MainFormTest;

std::wstring PanelText(HWND status, int panel) {
    wchar_t text[256] = {};
    SendMessageW(status, SB_GETTEXTW, panel, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring HintOf(HWND toolTip, HWND owner, HWND icon) {
    wchar_t text[256] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = owner;
    tool.uId = reinterpret_cast<UINT_PTR>(icon);
    tool.lpszText = text;
    SendMessageW(toolTip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    return text;
}

RECT PlaceInParent(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST_F(MainFormStatus, LocalStoreShowsItsPictureAndTheFormula) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    HWND status = Form().StatusBar;
    EXPECT_EQ(L"Time limit + Bonus time - Time usage = Time remaining", PanelText(status, 0));
    EXPECT_TRUE(IsWindowVisible(Form().ImageLocalRegistry));
    EXPECT_FALSE(IsWindowVisible(Form().ImageRemoteRegistry));
    EXPECT_EQ(status, GetParent(Form().ImageLocalRegistry));
    EXPECT_EQ(status, GetParent(Form().ImageRemoteRegistry));
    EXPECT_EQ(L"User data is stored locally",
              HintOf(Form().StatusBarHints, status, Form().ImageLocalRegistry));
    EXPECT_EQ(L"User data is stored on a network computer",
              HintOf(Form().StatusBarHints, status, Form().ImageRemoteRegistry));
    EXPECT_NE(0, SendMessageW(Form().ImageLocalRegistry, STM_GETICON, 0, 0));
    EXPECT_NE(0, SendMessageW(Form().ImageRemoteRegistry, STM_GETICON, 0, 0));
}

TEST_F(MainFormStatus, NetworkStoreShowsTheOtherPicture) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedPrefs(false, true, L"FARAWAY");
    SetRemoteRegistrySeam([](const std::wstring&, HKEY* root) {
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"", 0, KEY_ALL_ACCESS, root);
    });
    Start();
    EXPECT_TRUE(Messages.empty());
    EXPECT_FALSE(IsWindowVisible(Form().ImageLocalRegistry));
    EXPECT_TRUE(IsWindowVisible(Form().ImageRemoteRegistry));
    // Switched back, as the preferences command does after a change.
    Form().Prefs.UseRemoteRegistry = false;
    Form().UpdateStatusBar();
    EXPECT_TRUE(IsWindowVisible(Form().ImageLocalRegistry));
    EXPECT_FALSE(IsWindowVisible(Form().ImageRemoteRegistry));
}

TEST_F(MainFormStatus, ResizingKeepsThePictureAtTheRightEnd) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    for (int width : {582, 800, 450}) {
        SetWindowPos(Form().Handle(), nullptr, 0, 0, Form().Scale(width), Form().Scale(302),
                     SWP_NOMOVE | SWP_NOZORDER);
        RECT status{};
        GetClientRect(Form().StatusBar, &status);
        int parts[2] = {};
        ASSERT_EQ(2,
                  SendMessageW(Form().StatusBar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(parts)));
        EXPECT_EQ(status.right - Form().Scale(50), parts[0]) << width;
        for (HWND icon : {Form().ImageLocalRegistry, Form().ImageRemoteRegistry}) {
            RECT place = PlaceInParent(icon);
            EXPECT_EQ(status.right - Form().Scale(36), place.left) << width;
            EXPECT_EQ(Form().Scale(2), place.top) << width;
            EXPECT_EQ(Form().Scale(16), place.right - place.left);
        }
    }
}

} // namespace
} // namespace vantrel::testing
