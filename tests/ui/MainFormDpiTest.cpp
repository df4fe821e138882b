// The main window at 144 DPI. Wine reads the display DPI from the registry when a process
// starts, so the window is checked in a child run of this test program started after the
// setting was changed.
#include "DpiChildRun.h"
#include "MainFormSupport.h"

#include "ui/Fonts.h"

namespace vantrel::testing {
namespace {

TEST(MainFormDpi, WindowScalesAt144Dpi) {
    EXPECT_EQ(
        0u, RunTestsAtDpi(144, L"MainFormAtDpi.*:MainFormList.*:MainFormStatus.ServicePartTells*"));
}

using MainFormDpiChange = MainFormTest;

// Records, for each new font a control is given, whether the font it had still exists.
LRESULT CALLBACK NoteOldFont(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR seen) {
    if (msg == WM_SETFONT) {
        HGDIOBJ old = reinterpret_cast<HGDIOBJ>(DefSubclassProc(hwnd, WM_GETFONT, 0, 0));
        reinterpret_cast<std::vector<bool>*>(seen)->push_back(GetObjectType(old) == OBJ_FONT);
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

// Moving the window to a screen of another DPI: everything takes that screen's sizes.
TEST_F(MainFormDpiChange, WindowFollowsANewDpi) {
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", true, 90);
    Start();
    int dpi = Form().Dpi() * 3 / 2;
    RECT suggested{10, 20, 10 + MulDiv(582, dpi, 96), 20 + MulDiv(302, dpi, 96)};
    std::vector<bool> oldFontAlive;
    for (HWND control : {List(), Form().StatusBar})
        SetWindowSubclass(control, NoteOldFont, 1, reinterpret_cast<DWORD_PTR>(&oldFontAlive));
    SendMessageW(Form().Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    for (HWND control : {List(), Form().StatusBar})
        RemoveWindowSubclass(control, NoteOldFont, 1);
    EXPECT_GE(oldFontAlive.size(), 2u);
    EXPECT_EQ(oldFontAlive, std::vector<bool>(oldFontAlive.size(), true));
    EXPECT_EQ(dpi, Form().Dpi());
    RECT outer{};
    GetWindowRect(Form().Handle(), &outer);
    EXPECT_EQ(suggested.right - suggested.left, outer.right - outer.left);
    EXPECT_EQ(MulDiv(140, dpi, 96), SendMessageW(List(), LVM_GETCOLUMNWIDTH, 0, 0));
    int cx = 0, cy = 0;
    ImageList_GetIconSize(Form().ImageListMain32b.Get(), &cx, &cy);
    EXPECT_EQ(MulDiv(16, dpi, 96), cx);
    EXPECT_EQ(reinterpret_cast<LRESULT>(Form().ImageListMain32b.Get()),
              SendMessageW(List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(List(), WM_GETFONT, 0, 0));
    LOGFONTW logFont{};
    GetObjectW(font, sizeof(logFont), &logFont);
    EXPECT_EQ(-MulDiv(SystemFontSize(), dpi, 72), logFont.lfHeight);
    // The bars moved with their rows, which grew with the font and the icons.
    for (int row = 0; row < 2; ++row) {
        RECT rect = RowRect(row);
        EXPECT_EQ(rect.top + MulDiv(4, dpi, 96), Bar(row).Top()) << row;
        EXPECT_EQ(rect.left + MulDiv(140, dpi, 96) + 3 * MulDiv(100, dpi, 96) + MulDiv(54, dpi, 96),
                  Bar(row).Left())
            << row;
    }
    RECT place{};
    GetWindowRect(Form().ImageLocalRegistry, &place);
    EXPECT_EQ(MulDiv(16, dpi, 96), place.right - place.left);
}

class MainFormAtDpi : public MainFormTest {
protected:
    void SetUp() override {
        if (ExpectedDpi() == 0)
            GTEST_SKIP() << "runs in the child process of MainFormDpi";
        MainFormTest::SetUp();
    }
};

TEST_F(MainFormAtDpi, SizesFontsAndPicturesFollowTheDisplay) {
    int dpi = ExpectedDpi();
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", false, 60);
    Start();
    ASSERT_EQ(dpi, Form().Dpi());
    RECT outer{};
    GetWindowRect(Form().Handle(), &outer);
    EXPECT_GE(outer.right - outer.left, MulDiv(582, dpi, 96)); // wider for the status bar
    EXPECT_EQ(MulDiv(302, dpi, 96), outer.bottom - outer.top);
    EXPECT_EQ(MulDiv(140, dpi, 96), SendMessageW(List(), LVM_GETCOLUMNWIDTH, 0, 0));
    EXPECT_EQ(MulDiv(100, dpi, 96), SendMessageW(List(), LVM_GETCOLUMNWIDTH, 4, 0));
    int cx = 0, cy = 0;
    ImageList_GetIconSize(Form().ImageListMain32b.Get(), &cx, &cy);
    EXPECT_EQ(MulDiv(16, dpi, 96), cx);
    // The list's font is the system font at this DPI: its cell is taller than at 96 DPI.
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(List(), WM_GETFONT, 0, 0));
    LOGFONTW logFont{};
    GetObjectW(font, sizeof(logFont), &logFont);
    EXPECT_EQ(-MulDiv(SystemFontSize(), dpi, 72), logFont.lfHeight);
    RECT row = RowRect(0);
    EXPECT_GE(row.bottom - row.top, MulDiv(16, dpi, 96));
    EXPECT_EQ(row.left + MulDiv(140, dpi, 96) + 3 * MulDiv(100, dpi, 96) + MulDiv(54, dpi, 96),
              Bar(0).Left());
    RECT tools{};
    GetWindowRect(Form().ActionToolBar, &tools);
    EXPECT_GE(tools.bottom - tools.top, MulDiv(26, dpi, 96));
}

} // namespace
} // namespace vantrel::testing
