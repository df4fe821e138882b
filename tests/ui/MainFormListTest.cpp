// The user list of the real main window: rows, texts, icons, bars and their scale.
#include "MainFormSupport.h"

#include "model/Prefs.h"

namespace vantrel::testing {
namespace {

using MainFormList = MainFormTest;

TEST_F(MainFormList, WindowHasItsCaptionSizeAndColumns) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    HWND window = Form().Handle();
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    EXPECT_STREQ(L"Vantrel", caption);
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(Form().Scale(582), outer.right - outer.left);
    EXPECT_EQ(Form().Scale(302), outer.bottom - outer.top);
    LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(IsWindowVisible(window));

    const wchar_t* captions[5] = {L"User", L"Time limit", L"Bonus time", L"Time usage",
                                  L"Time remaining"};
    const int widths[5] = {140, 100, 100, 100, 100};
    for (int i = 0; i < 5; ++i) {
        wchar_t text[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = text;
        column.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(List(), LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(captions[i], text);
        EXPECT_EQ(Form().Scale(widths[i]), column.cx);
    }
    LONG listStyle = GetWindowLongW(List(), GWL_STYLE);
    EXPECT_EQ(LVS_REPORT, listStyle & LVS_TYPEMASK);
    EXPECT_TRUE(listStyle & LVS_SINGLESEL);
    EXPECT_FALSE(listStyle & LVS_EDITLABELS);
    EXPECT_TRUE(SendMessageW(List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
    EXPECT_EQ(reinterpret_cast<LRESULT>(Form().ImageListMain32b),
              SendMessageW(List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));

    // The list fills the window between the bars at the top and the status bar.
    RECT client{}, list{}, status{}, tools{};
    GetClientRect(window, &client);
    GetWindowRect(List(), &list);
    GetWindowRect(Form().StatusBar, &status);
    GetWindowRect(Form().ActionToolBar, &tools);
    EXPECT_EQ(tools.bottom, list.top);
    EXPECT_EQ(status.top, list.bottom);
    EXPECT_EQ(client.right, list.right - list.left);
    EXPECT_GE(tools.bottom - tools.top, Form().Scale(26));
}

TEST_F(MainFormList, ColumnsKeepTheirWidths) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    HWND header = reinterpret_cast<HWND>(SendMessageW(List(), LVM_GETHEADER, 0, 0));
    HDITEMW item{};
    item.mask = HDI_WIDTH;
    item.cxy = 300;
    SendMessageW(header, HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(Form().Scale(140), SendMessageW(List(), LVM_GETCOLUMNWIDTH, 0, 0));
}

TEST_F(MainFormList, RowsShowTodaysFiguresOnTheLargestDayTotal) {
    Accounts = {L"alice", L"bob", L"carol", L"dave"};
    SeedUser(L"alice", true, 90, 30);
    SeedUser(L"bob", true, 60);
    SeedUsage(L"bob", L"PC1", 45);
    SeedUser(L"carol", true, 60);
    SeedUsage(L"carol", L"PC1", 10);
    SeedUsage(L"carol", L"PC2", 5);
    // Not monitored: its large limit does not count for the scale.
    SeedUser(L"dave", false, 500);
    SeedUsage(L"dave", L"PC1", 20);
    Start();
    EXPECT_TRUE(Messages.empty());
    ASSERT_EQ(4, RowCount());

    EXPECT_EQ(L"alice", Cell(0, 0));
    EXPECT_EQ(L" 01:30", Cell(0, 1));
    EXPECT_EQ(L" 00:30", Cell(0, 2));
    EXPECT_EQ(L" 00:00", Cell(0, 3));
    EXPECT_EQ(L" 02:00", Cell(0, 4));
    EXPECT_EQ(100, Bar(0).Position());
    EXPECT_EQ(kRowIconTimeLeft, RowIcon(0));

    // 15 of 120 minutes: 12.5, rounded to the even 12.
    EXPECT_EQ(L" 00:45", Cell(1, 3));
    EXPECT_EQ(L" 00:15", Cell(1, 4));
    EXPECT_EQ(12, Bar(1).Position());
    EXPECT_EQ(kRowIconLittleTime, RowIcon(1));

    // 45 of 120 minutes: 37.5, rounded to the even 38; usage summed over both computers.
    EXPECT_EQ(L" 00:15", Cell(2, 3));
    EXPECT_EQ(L" 00:45", Cell(2, 4));
    EXPECT_EQ(38, Bar(2).Position());
    EXPECT_EQ(kRowIconTimeLeft, RowIcon(2));

    EXPECT_EQ(L"dave", Cell(3, 0));
    EXPECT_EQ(L" -", Cell(3, 1));
    EXPECT_EQ(L" -", Cell(3, 2));
    EXPECT_EQ(L" 00:20", Cell(3, 3));
    EXPECT_EQ(L" -", Cell(3, 4));
    EXPECT_EQ(kRowIconNotMonitored, RowIcon(3));
    EXPECT_FALSE(Bar(3).Visible());
    EXPECT_FALSE(IsWindowVisible(Bar(3).Handle()));

    for (int row = 0; row < 3; ++row) {
        TALProgressBar& bar = Bar(row);
        EXPECT_TRUE(bar.Visible());
        EXPECT_TRUE(IsWindowVisible(bar.Handle()));
        EXPECT_EQ(List(), GetParent(bar.Handle()));
        EXPECT_FALSE(bar.ShowPosText());
        EXPECT_EQ(RGB(166, 202, 240), bar.BarColor1());
        EXPECT_EQ(RGB(0, 0, 128), bar.BarColor2());
        EXPECT_EQ(cs2Colors, bar.BarColorStyle());
    }
}

TEST_F(MainFormList, ScaleIsAtLeastAnHourAndIconsFollowTheRemainingTime) {
    Accounts = {L"u60", L"u31", L"u30", L"half", L"stale", L"over"};
    SeedUser(L"u60", true, 60);
    SeedUsage(L"u60", L"PC1", 60);
    SeedUser(L"u31", true, 60);
    SeedUsage(L"u31", L"PC1", 31);
    SeedUser(L"u30", true, 60);
    SeedUsage(L"u30", L"PC1", 30);
    SeedUser(L"half", true, 30);
    // Yesterday's bonus counts as none; usage recorded on last Monday does not count either.
    SeedUser(L"stale", true, 40, 30, kTestDayOfYear - 1);
    SeedUsage(L"stale", L"PC1", 25, kTestDayOfYear - 7);
    SeedUser(L"over", true, 20);
    SeedUsage(L"over", L"PC1", 75);
    Start();

    EXPECT_EQ(L" 00:00", Cell(0, 4));
    EXPECT_EQ(0, Bar(0).Position());
    EXPECT_EQ(kRowIconNoTime, RowIcon(0));
    EXPECT_EQ(L" 00:29", Cell(1, 4));
    EXPECT_EQ(kRowIconLittleTime, RowIcon(1));
    EXPECT_EQ(48, Bar(1).Position());
    EXPECT_EQ(L" 00:30", Cell(2, 4));
    EXPECT_EQ(kRowIconTimeLeft, RowIcon(2));
    EXPECT_EQ(50, Bar(2).Position());
    EXPECT_EQ(50, Bar(3).Position());
    EXPECT_EQ(L" 00:00", Cell(4, 2));
    EXPECT_EQ(L" 00:00", Cell(4, 3));
    EXPECT_EQ(L" 00:40", Cell(4, 4));
    EXPECT_EQ(67, Bar(4).Position());
    // Usage above limit and bonus: no time remains, never a negative figure.
    EXPECT_EQ(L" 01:15", Cell(5, 3));
    EXPECT_EQ(L" 00:00", Cell(5, 4));
    EXPECT_EQ(kRowIconNoTime, RowIcon(5));
}

TEST_F(MainFormList, BarsSitInTheirRowsAndFollowScrollingAndResizing) {
    for (int i = 0; i < 40; ++i) {
        std::wstring name = L"user" + std::to_wstring(i);
        Accounts.push_back(name);
        SeedUser(name, true, 60 + i);
    }
    Start();
    ASSERT_EQ(40, RowCount());
    int columns = Form().Scale(140) + 3 * Form().Scale(100);
    auto expectInRow = [&](int row) {
        RECT rect = RowRect(row);
        TALProgressBar& bar = Bar(row);
        EXPECT_EQ(rect.left + columns + Form().Scale(54), bar.Left()) << row;
        EXPECT_EQ(Form().Scale(100) - Form().Scale(64), bar.Width()) << row;
        EXPECT_EQ(rect.top + Form().Scale(4), bar.Top()) << row;
        EXPECT_EQ(rect.bottom - rect.top - 2 * Form().Scale(4), bar.Height()) << row;
        RECT window{};
        GetWindowRect(bar.Handle(), &window);
        POINT corner{window.left, window.top};
        ScreenToClient(List(), &corner);
        EXPECT_EQ(bar.Left(), corner.x) << row;
        EXPECT_EQ(bar.Top(), corner.y) << row;
    };
    if (Form().Dpi() == 96) {
        EXPECT_EQ(494, Bar(0).Left());
        EXPECT_EQ(530, Bar(0).Left() + Bar(0).Width());
    }
    expectInRow(0);
    expectInRow(5);

    int before = RowRect(10).top;
    for (int i = 0; i < 3; ++i)
        SendMessageW(List(), WM_VSCROLL, SB_LINEDOWN, 0);
    ASSERT_NE(before, RowRect(10).top);
    expectInRow(10);
    SendMessageW(List(), LVM_SCROLL, 0, Form().Scale(60));
    expectInRow(20);
    SendMessageW(List(), WM_KEYDOWN, VK_END, 0);
    expectInRow(39);

    // A narrow window scrolls the list sideways; the bars go with their column.
    SetWindowPos(Form().Handle(), nullptr, 0, 0, Form().Scale(300), Form().Scale(250),
                 SWP_NOMOVE | SWP_NOZORDER);
    SendMessageW(List(), WM_HSCROLL, SB_LINERIGHT, 0);
    SendMessageW(List(), WM_HSCROLL, SB_LINERIGHT, 0);
    Pump();
    expectInRow(39);
}

TEST_F(MainFormList, RefreshSelectsTheSameRowAgainAndShowsStoredChanges) {
    Accounts = {L"alice", L"bob", L"carol"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", true, 60);
    SeedUser(L"carol", false, 60);
    Start();
    TQorUser* bob = RowUser(1);
    SelectRow(1);
    ASSERT_TRUE(Form().Action(L"AMEditDailyTimeLimits").Enabled);
    // The service (or another administrator) changed the store meanwhile.
    SeedUser(L"bob", true, 120);
    SeedUsage(L"bob", L"PC1", 10);
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(L"AMEditRefresh").CommandId, 0);
    EXPECT_EQ(1, SelectedRow());
    EXPECT_EQ(bob, RowUser(1));
    EXPECT_EQ(bob, Form().SelectedUser());
    EXPECT_EQ(L" 02:00", Cell(1, 1));
    EXPECT_EQ(L" 01:50", Cell(1, 4));
    for (const wchar_t* name : {L"AMEditDailyTimeLimits", L"AMEditDetailedTimeUsage",
                                L"AMEditIncreaseTodaysLimit", L"AMEditDecreaseTodaysLimit"}) {
        EXPECT_TRUE(MenuEnabled(name)) << name;
        EXPECT_TRUE(ToolEnabled(name)) << name;
    }
    // The bar is the same control, kept with its user.
    TALProgressBar* bar = bob->ProgressBar.get();
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(L"AMEditRefresh").CommandId, 0);
    EXPECT_EQ(bar, RowUser(1)->ProgressBar.get());
}

} // namespace
} // namespace vantrel::testing
