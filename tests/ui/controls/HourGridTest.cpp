#include "ui/controls/HourGrid.h"

#include "TestWindows.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

constexpr int kGridId = 4711;

// A parent that records the grid's notifications.
class TGridParent {
public:
    TGridParent() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VantrelHourGridTestParent";
        RegisterClassW(&wc);
        FHandle = CreateWindowExW(0, wc.lpszClassName, L"Grid", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  50, 50, 800, 200, nullptr, nullptr, wc.hInstance, this);
    }
    ~TGridParent() { DestroyWindow(FHandle); }
    HWND Handle() const { return FHandle; }
    int Changes = 0;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<TGridParent*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg == WM_COMMAND && LOWORD(wParam) == kGridId &&
            HIWORD(wParam) == kHourGridChanged)
            ++self->Changes;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    HWND FHandle = nullptr;
};

struct HourGridTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(Grid.Create(Parent.Handle(), kGridId, 10, 10, 96));
        testwin::PumpMessages();
    }
    void TearDown() override { SetShift(false); }

    // The thread's own key state is what GetKeyState reads.
    static void SetShift(bool down) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    void Key(WPARAM key, bool shift = false) {
        SetShift(shift);
        SendMessageW(Grid.Handle(), WM_KEYDOWN, key, 0);
        SetShift(false);
    }
    LPARAM CellPoint(int cell) {
        RECT rect = Grid.CellRect(cell);
        return MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }
    // The centre pixel of a cell as the grid paints it.
    COLORREF CellColor(int cell) {
        RECT client{};
        GetClientRect(Grid.Handle(), &client);
        TMemoryPicture picture;
        EXPECT_TRUE(picture.SetSize(client.right, client.bottom));
        SendMessageW(Grid.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(picture.DC()),
                     PRF_CLIENT);
        RECT rect = Grid.CellRect(cell);
        return picture.Pixel((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }

    TGridParent Parent;
    THourGrid Grid;
};

TEST_F(HourGridTest, StoredPeriodsAreShownClippedToTheGrid) {
    struct TCase {
        int Begin, End, ShownBegin, ShownEnd;
    };
    const TCase cases[] = {
        {7, 20, 7, 20},
        {0, 24, 0, 24},
        {23, 24, 23, 24},
        {-5, 30, 0, 24},
        {10, 5, 10, 11},
        {10, 10, 10, 11},
        {30, 40, 23, 24},
        {-3, -1, 0, 1},
        {INT_MIN, INT_MAX, 0, 24},
        {INT_MAX, INT_MIN, 23, 24},
    };
    for (const TCase& c : cases) {
        Grid.SetPeriod(c.Begin, c.End);
        EXPECT_EQ(c.ShownBegin, Grid.Begin()) << c.Begin << ".." << c.End;
        EXPECT_EQ(c.ShownEnd, Grid.End()) << c.Begin << ".." << c.End;
    }
}

TEST_F(HourGridTest, CellsOfTwentyPixelsAtNinetySixAndThirtyAtOneFortyFour) {
    RECT window{};
    GetWindowRect(Grid.Handle(), &window);
    EXPECT_EQ(24 * 21 + 1, window.right - window.left);
    EXPECT_EQ(22, window.bottom - window.top);
    EXPECT_EQ(20, Grid.CellRect(0).right - Grid.CellRect(0).left);
    Grid.SetDpi(144);
    GetWindowRect(Grid.Handle(), &window);
    EXPECT_EQ(24 * 31 + 1, window.right - window.left);
    EXPECT_EQ(30, Grid.CellRect(23).bottom - Grid.CellRect(23).top);
    EXPECT_EQ(23, Grid.CellAt(Grid.CellRect(23).left));
}

TEST_F(HourGridTest, AllowedHoursAreGreenTheOthersInTheWindowColour) {
    Grid.SetPeriod(8, 10);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), CellColor(7));
    EXPECT_EQ(kAllowedColor, CellColor(8));
    EXPECT_EQ(kAllowedColor, CellColor(9));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), CellColor(10));
    // Disabled: still visible, but no longer the allowed colour itself.
    EnableWindow(Grid.Handle(), FALSE);
    COLORREF greyed = CellColor(8);
    EXPECT_NE(kAllowedColor, greyed);
    EXPECT_NE(GetSysColor(COLOR_WINDOW), greyed);
}

TEST_F(HourGridTest, DraggingSelectsOneContiguousRunInEitherDirection) {
    Grid.SetPeriod(7, 20);
    SendMessageW(Grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, CellPoint(12));
    EXPECT_EQ(12, Grid.Begin());
    EXPECT_EQ(13, Grid.End());
    SendMessageW(Grid.Handle(), WM_MOUSEMOVE, MK_LBUTTON, CellPoint(15));
    SendMessageW(Grid.Handle(), WM_MOUSEMOVE, MK_LBUTTON, CellPoint(9));
    SendMessageW(Grid.Handle(), WM_LBUTTONUP, 0, CellPoint(9));
    EXPECT_EQ(9, Grid.Begin());
    EXPECT_EQ(13, Grid.End());
    // Moving without the button changes nothing; a drag past the end stops at the last hour.
    SendMessageW(Grid.Handle(), WM_MOUSEMOVE, 0, CellPoint(2));
    EXPECT_EQ(9, Grid.Begin());
    SendMessageW(Grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, CellPoint(20));
    SendMessageW(Grid.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(2000, 5));
    SendMessageW(Grid.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2000, 5));
    EXPECT_EQ(20, Grid.Begin());
    EXPECT_EQ(24, Grid.End());
    // Shift+click extends from the anchor.
    SendMessageW(Grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, CellPoint(18));
    SendMessageW(Grid.Handle(), WM_LBUTTONUP, 0, CellPoint(18));
    EXPECT_EQ(18, Grid.Begin());
    EXPECT_EQ(21, Grid.End());
}

TEST_F(HourGridTest, KeyboardMovesAndShiftArrowsGrowAndShrinkNeverBelowOneHour) {
    Grid.SetPeriod(7, 20);
    Key(VK_RIGHT, true);
    EXPECT_EQ(7, Grid.Begin());
    EXPECT_EQ(21, Grid.End());
    for (int i = 0; i < 30; ++i)
        Key(VK_LEFT, true);
    // The run passes through its anchor and grows to the left, never empty.
    EXPECT_EQ(0, Grid.Begin());
    EXPECT_EQ(8, Grid.End());
    Key(VK_RIGHT);
    EXPECT_EQ(1, Grid.Begin());
    EXPECT_EQ(2, Grid.End());
    Key(VK_END, true);
    EXPECT_EQ(1, Grid.Begin());
    EXPECT_EQ(24, Grid.End());
    Key(VK_HOME);
    EXPECT_EQ(0, Grid.Begin());
    EXPECT_EQ(1, Grid.End());
    Key(VK_LEFT);
    EXPECT_EQ(0, Grid.Begin());
    EXPECT_EQ(1, Grid.End());
    EXPECT_EQ(DLGC_WANTARROWS | DLGC_WANTCHARS, SendMessageW(Grid.Handle(), WM_GETDLGCODE, 0, 0));
}

TEST_F(HourGridTest, TheParentHearsEveryClickAndMoveButNotSetPeriod) {
    Grid.SetPeriod(3, 5);
    EXPECT_EQ(0, Parent.Changes);
    SendMessageW(Grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, CellPoint(3));
    SendMessageW(Grid.Handle(), WM_LBUTTONUP, 0, CellPoint(3));
    EXPECT_EQ(1, Parent.Changes);
    // A second click on the same cell is still a click.
    SendMessageW(Grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, CellPoint(3));
    SendMessageW(Grid.Handle(), WM_LBUTTONUP, 0, CellPoint(3));
    EXPECT_EQ(2, Parent.Changes);
    Key(VK_RIGHT);
    EXPECT_EQ(3, Parent.Changes);
    // At the edge nothing moves and nothing is told.
    Key(VK_END);
    Key(VK_RIGHT);
    EXPECT_EQ(4, Parent.Changes);
}

} // namespace
} // namespace vantrel
