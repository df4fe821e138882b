// The user list of the real main window: rows, texts, icons, bars and their scale.
#include "MainFormSupport.h"

#include "model/Prefs.h"
#include "ui/Fonts.h"

#include <cwchar>

namespace vantrel::testing {
namespace {

using MainFormList = MainFormTest;

const wchar_t* const kCaptions[5] = {L"User", L"Time limit", L"Bonus time", L"Time usage",
                                     L"Time remaining"};

// Leftmost and rightmost columns of dark pixels of a rectangle of a bitmap.
struct TInk {
    int Left = -1;
    int Right = -1;
    int Width() const { return Left < 0 ? 0 : Right - Left + 1; }
};

TInk InkIn(HDC dc, const RECT& rect) {
    TInk ink;
    for (int x = rect.left; x < rect.right; ++x)
        for (int y = rect.top; y < rect.bottom; ++y) {
            COLORREF c = GetPixel(dc, x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 250) {
                if (ink.Left < 0)
                    ink.Left = x;
                ink.Right = x;
                break;
            }
        }
    return ink;
}

constexpr int kInkOrigin = 20;

// The pixels of `text` drawn whole, black on white, in `font`.
TInk InkOfText(HFONT font, const wchar_t* text) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 600, 100);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT all{0, 0, 600, 100};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, kInkOrigin, 10, text, lstrlenW(text));
    TInk ink = InkIn(dc, all);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return ink;
}

// The width the list measures for each caption takes in every pixel the font draws.
void ExpectDrawnWidthsHoldTheCaptions(TUserList& list, const char* where) {
    SCOPED_TRACE(where);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(list.Handle(), WM_GETFONT, 0, 0));
    for (int i = 0; i < 5; ++i) {
        TInk whole = InkOfText(font, kCaptions[i]);
        int measured = list.View().DrawnStringWidth(kCaptions[i]);
        EXPECT_GE(measured, list.View().StringWidth(kCaptions[i])) << "caption " << i;
        EXPECT_GE(measured, whole.Right - kInkOrigin + 1) << "caption " << i;
    }
}

// What the header shows: each caption has every pixel it has when drawn whole, and all of
// them lie inside its column.
void ExpectCaptionsDrawnWhole(HWND list, const char* where) {
    SCOPED_TRACE(where);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    ASSERT_NE(nullptr, header);
    RECT client{};
    GetClientRect(header, &client);
    HDC screen = GetDC(header);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    ReleaseDC(header, screen);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    ASSERT_TRUE(PrintWindow(header, dc, 0));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(header, WM_GETFONT, 0, 0));
    for (int i = 0; i < 5; ++i) {
        RECT item{};
        ASSERT_TRUE(SendMessageW(header, HDM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item)));
        ASSERT_LE(item.right, client.right) << "caption " << i << " is not wholly on screen";
        TInk shown = InkIn(dc, item);
        TInk whole = InkOfText(font, kCaptions[i]);
        EXPECT_EQ(whole.Width(), shown.Width()) << "caption " << i;
        EXPECT_GT(shown.Left, item.left) << "caption " << i;
        EXPECT_LT(shown.Right, item.right - 1) << "caption " << i;
    }
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

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
    EXPECT_GE(outer.right - outer.left, Form().Scale(582)); // wider for the status bar
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
        EXPECT_EQ(ExpectedColumnWidth(i, widths[i]), column.cx);
    }
    LONG listStyle = GetWindowLongW(List(), GWL_STYLE);
    EXPECT_EQ(LVS_REPORT, listStyle & LVS_TYPEMASK);
    EXPECT_TRUE(listStyle & LVS_SINGLESEL);
    EXPECT_FALSE(listStyle & LVS_EDITLABELS);
    EXPECT_TRUE(SendMessageW(List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
    EXPECT_EQ(reinterpret_cast<LRESULT>(Form().ImageListMain32b.Get()),
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

    // A work area narrower than the status bar wants still holds the whole window.
    RECT work{}, narrow{0, 0, Form().Scale(640), Form().Scale(480)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &narrow, 0);
    App.reset();
    Start();
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &work, 0);
    GetWindowRect(Form().Handle(), &outer);
    EXPECT_LE(outer.right, narrow.right);
}

// Under Wine the header cut the last letter off every caption whose font draws past the
// letters' advance width ("Time limi"), however wide the column.
TEST_F(MainFormList, CaptionsAreDrawnWhole) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    Draw();
    ExpectCaptionsDrawnWhole(List(), "with the window's font");
    ExpectDrawnWidthsHoldTheCaptions(Form().UserList(), "with the window's font");
    // Larger sizes of the same font, some of which widen the columns to their captions.
    SetWindowPos(Form().Handle(), nullptr, 0, 0, 1260, Form().Scale(302),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int points = SystemFontSize() + 1; points <= 14; ++points) {
        TFontHandle font = CreatePointFont(SystemFontName(), points, Form().Dpi());
        Form().UserList().SetMetrics(Form().Dpi(), font.Get(), Form().ImageListMain32b.Get());
        Draw();
        const std::string where = "at " + std::to_string(points) + " points";
        ExpectCaptionsDrawnWhole(List(), where.c_str());
        ExpectDrawnWidthsHoldTheCaptions(Form().UserList(), where.c_str());
    }
    Form().UserList().SetMetrics(
        Form().Dpi(), reinterpret_cast<HFONT>(SendMessageW(Form().StatusBar, WM_GETFONT, 0, 0)),
        Form().ImageListMain32b.Get());
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
    EXPECT_EQ(ExpectedColumnWidth(0, 140), SendMessageW(List(), LVM_GETCOLUMNWIDTH, 0, 0));
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
    EXPECT_EQ(nullptr, Form().UserList().BarOfRow(3));
    const TALProgressBar& bars = Form().UserList().BarPainter();
    EXPECT_FALSE(bars.ShowPosText());
    EXPECT_EQ(RGB(166, 202, 240), bars.BarColor1());
    EXPECT_EQ(RGB(0, 0, 128), bars.BarColor2());
    EXPECT_EQ(cs2Colors, bars.BarColorStyle());
    EXPECT_EQ(pdLeftToRight, bars.Direction());
    // The bars are painted on the list itself: no window of their own.
    EXPECT_EQ(nullptr, bars.Handle());
    for (HWND child = GetWindow(List(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        EXPECT_EQ(Form().UserList().View().Header(), child);
    Draw();
    ExpectBarsInTheirRows("four users");
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

// Forty users, more than the window shows: a bar only for the rows on screen.
class MainFormBars : public MainFormTest {
protected:
    void StartWithFortyUsers() {
        for (int i = 0; i < 40; ++i) {
            wchar_t name[16];
            swprintf(name, 16, L"user%02d", i);
            Accounts.push_back(name);
            // Every fifth user is not monitored, so bars and rows do not pair up by count.
            SeedUser(name, i % 5 != 4, 60 + i);
        }
        Start();
        ASSERT_EQ(40, RowCount());
        Draw();
    }
    int PoolLimit() {
        return static_cast<int>(SendMessageW(List(), LVM_GETCOUNTPERPAGE, 0, 0)) + 1;
    }
};

TEST_F(MainFormBars, BarsFollowScrollingAndSideways) {
    StartWithFortyUsers();
    if (Form().Dpi() == 96) {
        EXPECT_EQ(494, Bar(0).Left());
        EXPECT_EQ(530, Bar(0).Left() + Bar(0).Width());
    }
    ExpectBarsInTheirRows("at start");

    int before = RowRect(10).top;
    for (int i = 0; i < 3; ++i)
        SendMessageW(List(), WM_VSCROLL, SB_LINEDOWN, 0);
    Draw();
    ASSERT_NE(before, RowRect(10).top);
    ExpectBarsInTheirRows("three lines down");
    SendMessageW(List(), LVM_SCROLL, 0, Form().Scale(60));
    Draw();
    ExpectBarsInTheirRows("scrolled by message");
    SendMessageW(List(), WM_KEYDOWN, VK_END, 0);
    Draw();
    ExpectBarsInTheirRows("end key");
    EXPECT_NE(nullptr, Form().UserList().BarOfRow(38));
    // However far it scrolled, there are never more bars than rows on screen.
    EXPECT_LE(Form().UserList().BarCount(), PoolLimit());
    EXPECT_GT(Form().UserList().BarCount(), 0);

    // A narrow window scrolls the list sideways; the bars go with their column.
    SetWindowPos(Form().Handle(), nullptr, 0, 0, Form().Scale(300), Form().Scale(250),
                 SWP_NOMOVE | SWP_NOZORDER);
    SendMessageW(List(), WM_HSCROLL, SB_LINERIGHT, 0);
    SendMessageW(List(), WM_HSCROLL, SB_LINERIGHT, 0);
    Draw();
    ExpectBarsInTheirRows("narrow and scrolled sideways");
}

TEST_F(MainFormBars, TypeAheadMovesTheBarsWithTheRows) {
    StartWithFortyUsers();
    SetFocus(List());
    // Typing a user's first letters selects the user and scrolls the list without any
    // scroll message.
    for (wchar_t c : std::wstring(L"user33"))
        SendMessageW(List(), WM_CHAR, c, 1);
    ASSERT_EQ(33, SelectedRow());
    Draw();
    ExpectBarsInTheirRows("after type-ahead");
    ASSERT_NE(nullptr, Form().UserList().BarOfRow(33));
    for (wchar_t c : std::wstring(L"user02"))
        SendMessageW(List(), WM_CHAR, c, 1);
    Draw();
    ExpectBarsInTheirRows("after type-ahead back up");
}

TEST_F(MainFormBars, ClickOnAHalfVisibleRowKeepsEachBarInItsRow) {
    StartWithFortyUsers();
    RECT client{};
    GetClientRect(List(), &client);
    int cut = -1;
    for (int row = 0; row < RowCount(); ++row) {
        RECT rect = RowRect(row);
        if (rect.top < client.bottom && rect.bottom > client.bottom) {
            cut = row;
            break;
        }
    }
    if (cut < 0) {
        // Make the last row on screen a half one.
        RECT rect = RowRect(PoolLimit() - 1);
        RECT window{};
        GetWindowRect(Form().Handle(), &window);
        SetWindowPos(Form().Handle(), nullptr, 0, 0, window.right - window.left,
                     window.bottom - window.top - (rect.bottom - rect.top) / 2,
                     SWP_NOMOVE | SWP_NOZORDER);
        Draw();
        GetClientRect(List(), &client);
        cut = PoolLimit() - 1;
        rect = RowRect(cut);
        ASSERT_LT(rect.top, client.bottom);
        ASSERT_GT(rect.bottom, client.bottom);
    }
    ExpectBarsInTheirRows("before the click");
    RECT rect = RowRect(cut);
    LPARAM point = MAKELPARAM(Form().Scale(30), (rect.top + client.bottom) / 2);
    SendMessageW(List(), WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(List(), WM_LBUTTONUP, 0, point);
    EXPECT_EQ(cut, SelectedRow());
    Draw();
    ExpectBarsInTheirRows("after the click");
}

TEST_F(MainFormBars, ColumnDragAndWidthMessagesLeaveTheBarsInTheirRows) {
    StartWithFortyUsers();
    HWND header = Form().UserList().View().Header();
    std::vector<LRESULT> widths;
    for (int i = 0; i < 5; ++i)
        widths.push_back(SendMessageW(List(), LVM_GETCOLUMNWIDTH, i, 0));
    // A drag on the divider after "Time usage", to the right.
    RECT item{};
    SendMessageW(header, HDM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&item));
    int y = (item.top + item.bottom) / 2;
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(item.right - 1, y));
    SendMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(item.right + 40, y));
    SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(item.right + 40, y));
    Draw();
    ExpectBarsInTheirRows("after a divider drag");
    // Width changes by message, through the list and through its header.
    SendMessageW(List(), LVM_SETCOLUMNWIDTH, 3, MAKELPARAM(Form().Scale(40), 0));
    HDITEMW width{};
    width.mask = HDI_WIDTH;
    width.cxy = Form().Scale(200);
    SendMessageW(header, HDM_SETITEMW, 4, reinterpret_cast<LPARAM>(&width));
    Draw();
    ExpectBarsInTheirRows("after width messages");
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(widths[i], SendMessageW(List(), LVM_GETCOLUMNWIDTH, i, 0)) << i;
}

TEST_F(MainFormBars, AFontThatNeedsMoreWidensTheColumnsAndTheBarsFollow) {
    StartWithFortyUsers();
    // A font whose captions do not fit the given widths.
    TFontHandle large = CreatePointFont(L"Tahoma", 20, Form().Dpi());
    Form().UserList().SetMetrics(Form().Dpi(), large.Get(), Form().ImageListMain32b.Get());
    Draw();
    const int given[5] = {140, 100, 100, 100, 100};
    bool widened = false;
    for (int i = 0; i < 5; ++i) {
        int width = static_cast<int>(SendMessageW(List(), LVM_GETCOLUMNWIDTH, i, 0));
        // The text's width, or a little more where the font draws past it.
        EXPECT_GE(width, ExpectedColumnWidth(i, given[i])) << i;
        EXPECT_LE(width, ExpectedColumnWidth(i, given[i]) + Form().Scale(6)) << i;
        widened = widened || width > Form().Scale(given[i]);
    }
    EXPECT_TRUE(widened);
    // Wide enough for every column to be seen.
    SetWindowPos(Form().Handle(), nullptr, 0, 0, Form().Scale(1200), Form().Scale(302),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Draw();
    ExpectCaptionsDrawnWhole(List(), "with the large font");
    EXPECT_GT(SendMessageW(List(), LVM_GETCOLUMNWIDTH, 4, 0), Form().Scale(100));
    ExpectBarsInTheirRows("with the large font");
    // Back to the window's own font: the given widths again.
    Form().UserList().SetMetrics(
        Form().Dpi(), reinterpret_cast<HFONT>(SendMessageW(Form().StatusBar, WM_GETFONT, 0, 0)),
        Form().ImageListMain32b.Get());
    Draw();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ExpectedColumnWidth(i, given[i]), SendMessageW(List(), LVM_GETCOLUMNWIDTH, i, 0));
    ExpectBarsInTheirRows("with the window's font");
}

// Stored values from another writer or a damaged store: every figure stays in range.
TEST_F(MainFormList, ExtremeStoredValuesGiveFiguresInRange) {
    const int kMax = 0x7FFFFFFF;
    const int kMin = static_cast<int>(0x80000000u);
    const int kMinus60 = static_cast<int>(0xFFFFFFC4u);
    struct TRowExpect {
        const wchar_t* Name;
        int Limit, Bonus, Usage;
        const wchar_t* Texts[4];
        int Icon, Position;
    };
    // One store per field; a user with limit 60 and usage 30 beside the extreme ones.
    const std::vector<std::vector<TRowExpect>> stores = {
        {{L"max", kMax, 0, 0, {L" 35791394:07", L" 00:00", L" 00:00", L" 35791394:07"}, 10, 100},
         {L"min", kMin, 0, 0, {L"-35791394:08", L" 00:00", L" 00:00", L" 00:00"}, 12, 0},
         {L"minus60", kMinus60, 0, 0, {L"-01:00", L" 00:00", L" 00:00", L" 00:00"}, 12, 0},
         {L"plain", 60, 0, 30, {L" 01:00", L" 00:00", L" 00:30", L" 00:30"}, 10, 0}},
        {{L"max", 60, kMax, 0, {L" 01:00", L" 35791394:07", L" 00:00", L" 35791394:07"}, 10, 100},
         {L"min", 60, kMin, 0, {L" 01:00", L"-35791394:08", L" 00:00", L" 00:00"}, 12, 0},
         {L"minus60", 60, kMinus60, 0, {L" 01:00", L"-01:00", L" 00:00", L" 00:00"}, 12, 0},
         // The reported case: never "-35791393:51".
         {L"reported",
          90,
          kMax,
          0,
          {L" 01:30", L" 35791394:07", L" 00:00", L" 35791394:07"},
          10,
          100},
         {L"plain", 60, 0, 30, {L" 01:00", L" 00:00", L" 00:30", L" 00:30"}, 10, 0}},
        {{L"max", 60, 0, kMax, {L" 01:00", L" 00:00", L" 35791394:07", L" 00:00"}, 12, 0},
         // More remaining than the scale: the bar is full, not beyond.
         {L"min", 60, 0, kMin, {L" 01:00", L" 00:00", L"-35791394:08", L" 35791394:07"}, 10, 100},
         {L"minus60", 60, 0, kMinus60, {L" 01:00", L" 00:00", L"-01:00", L" 02:00"}, 10, 100},
         {L"plain", 60, 0, 30, {L" 01:00", L" 00:00", L" 00:30", L" 00:30"}, 10, 50}},
    };
    for (size_t store = 0; store < stores.size(); ++store) {
        SCOPED_TRACE(store == 0 ? "limit" : store == 1 ? "bonus" : "usage");
        App.reset();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
        Accounts.clear();
        for (const TRowExpect& user : stores[store]) {
            Accounts.push_back(user.Name);
            SeedUser(user.Name, true, user.Limit, user.Bonus);
            if (user.Usage != 0)
                SeedUsage(user.Name, L"PC1", user.Usage);
        }
        Start();
        Draw();
        ASSERT_EQ(static_cast<int>(stores[store].size()), RowCount());
        for (int row = 0; row < RowCount(); ++row) {
            const TRowExpect& user = stores[store][static_cast<size_t>(row)];
            SCOPED_TRACE(::testing::Message() << "row " << row);
            for (int column = 1; column <= 4; ++column)
                EXPECT_EQ(user.Texts[column - 1], Cell(row, column)) << column;
            EXPECT_EQ(user.Icon, RowIcon(row));
            EXPECT_EQ(user.Position, Bar(row).Position());
        }
        ExpectBarsInTheirRows("extreme values");
    }
}

TEST(BarFigures, ScaleRemainingAndPositionStayInRange) {
    EXPECT_EQ(0, BarPosition(0, 60));
    EXPECT_EQ(0, BarPosition(-5, 60));
    EXPECT_EQ(0, BarPosition(30, 0));
    EXPECT_EQ(50, BarPosition(30, 60));
    EXPECT_EQ(12, BarPosition(15, 120));
    EXPECT_EQ(38, BarPosition(45, 120));
    // Exact halves that a double holds a hair low still round to even.
    EXPECT_EQ(58, BarPosition(69, 120));
    EXPECT_EQ(54, BarPosition(109, 200));
    EXPECT_EQ(56, BarPosition(113, 200));
    EXPECT_EQ(100, BarPosition(120, 60));
    EXPECT_EQ(100, BarPosition(0x7FFFFFFFLL, 0x7FFFFFFFLL + 90));
    EXPECT_EQ(kRowIconNoTime, RowIconFor(-1));
    EXPECT_EQ(kRowIconLittleTime, RowIconFor(29));
    EXPECT_EQ(kRowIconTimeLeft, RowIconFor(0x7FFFFFFFLL));

    TQorUser user;
    user.TodaysTimeLimit = 90;
    user.TodaysBonusTime = 0x7FFFFFFF;
    EXPECT_EQ(0x7FFFFFFFLL + 90, user.TodaysTotal());
    EXPECT_EQ(0x7FFFFFFF, user.TimeRemaining());
    user.TodaysTimeUsage = static_cast<int>(0x80000000u);
    EXPECT_EQ(0x7FFFFFFF, user.TimeRemaining());
    user.TodaysTimeLimit = static_cast<int>(0x80000000u);
    user.TodaysBonusTime = static_cast<int>(0x80000000u);
    user.TodaysTimeUsage = 0x7FFFFFFF;
    EXPECT_EQ(-0x100000000LL, user.TodaysTotal());
    EXPECT_EQ(0, user.TimeRemaining());
}

TEST_F(MainFormList, RefreshSelectsTheSameRowAgainAndShowsStoredChanges) {
    Accounts = {L"alice", L"bob", L"carol"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", true, 60);
    SeedUser(L"carol", false, 60);
    Start();
    TQorUser* bob = RowUser(1);
    SelectRow(1);
    ASSERT_TRUE(Form().Action(TMainCommand::AMEditDailyTimeLimits).Enabled);
    // The service (or another administrator) changed the store meanwhile.
    SeedUser(L"bob", true, 120);
    SeedUsage(L"bob", L"PC1", 10);
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(TMainCommand::AMEditRefresh).CommandId,
                 0);
    EXPECT_EQ(1, SelectedRow());
    EXPECT_EQ(bob, RowUser(1));
    EXPECT_EQ(bob, Form().SelectedUser());
    EXPECT_EQ(L" 02:00", Cell(1, 1));
    EXPECT_EQ(L" 01:50", Cell(1, 4));
    for (TMainCommand name :
         {TMainCommand::AMEditDailyTimeLimits, TMainCommand::AMEditDetailedTimeUsage,
          TMainCommand::AMEditIncreaseTodaysLimit, TMainCommand::AMEditDecreaseTodaysLimit}) {
        EXPECT_TRUE(MenuEnabled(name)) << name;
        EXPECT_TRUE(ToolEnabled(name)) << name;
    }
    // The row's bar shows the new share: 110 of 120 minutes.
    EXPECT_EQ(92, Bar(1).Position());
    Draw();
    ExpectBarsInTheirRows("after the refresh");
}

} // namespace
} // namespace vantrel::testing
