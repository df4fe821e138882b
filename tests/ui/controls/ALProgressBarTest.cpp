#include "ui/controls/ALProgressBar.h"

#include "TestWindows.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <string>

namespace vantrel {
namespace {

constexpr COLORREF kGreen = RGB(0, 128, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBack = RGB(10, 20, 30);
constexpr COLORREF kDark = RGB(1, 2, 3);
constexpr COLORREF kLight = RGB(250, 251, 252);

// Independent figure of one gradient step: start + (i - 1) * (end - start) / (n - 1), the
// division rounded to nearest with halves away from zero.
int Step(int start, int end, int i, int n) {
    if (n == 1)
        return start;
    const long long num = static_cast<long long>(i - 1) * (end - start);
    const long long den = n - 1;
    const long long q = (2 * std::llabs(num) + den) / (2 * den);
    return start + static_cast<int>(num < 0 ? -q : q);
}

COLORREF StepColor(COLORREF a, COLORREF b, int i, int n) {
    return RGB(Step(GetRValue(a), GetRValue(b), i, n), Step(GetGValue(a), GetGValue(b), i, n),
               Step(GetBValue(a), GetBValue(b), i, n));
}

// Renders the bar (no window) into a memory picture of its size.
void Render(TALProgressBar& bar, TMemoryPicture& picture) {
    ASSERT_TRUE(picture.SetSize(bar.Width(), bar.Height()));
    FillSolidRect(picture.DC(), RECT{0, 0, bar.Width(), bar.Height()}, RGB(255, 0, 255));
    bar.PaintTo(picture.DC());
}

// A full bar without border: only the fill shows.
void MakeFullBar(TALProgressBar& bar, int width, int height) {
    bar.SetBounds(0, 0, width, height);
    bar.SetShowBorder(false);
    bar.SetShowPosText(false);
    bar.SetPosition(100);
}

TEST(ALProgressBar, NewBarHasTheDocumentedDefaults) {
    TALProgressBar bar;
    EXPECT_EQ(bar.Width(), 200);
    EXPECT_EQ(bar.Height(), 20);
    EXPECT_EQ(bar.BackgroundColor(), SysColorRef(COLOR_BTNFACE));
    EXPECT_TRUE(bar.BarBitmap().Empty());
    EXPECT_EQ(bar.BarColor1(), 0x008000u);
    EXPECT_EQ(bar.BarColor2(), 0x00FFFFu);
    EXPECT_EQ(bar.BarColor3(), 0x0000FFu);
    EXPECT_EQ(bar.BarColorStyle(), cs3Colors);
    EXPECT_EQ(bar.BorderColor1(), SysColorRef(COLOR_BTNSHADOW));
    EXPECT_EQ(bar.BorderColor2(), SysColorRef(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(bar.Direction(), pdLeftToRight);
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_FALSE(bar.Percentage());
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(bar.PosTextPrefix(), L"");
    EXPECT_EQ(bar.PosTextSuffix(), L"");
    EXPECT_TRUE(bar.ShowBorder());
    EXPECT_TRUE(bar.ShowPosText());
}

TEST(ALProgressBar, ThreeColourRunsOf200And201Pixels) {
    for (int width : {200, 201}) {
        SCOPED_TRACE(width);
        TALProgressBar bar;
        MakeFullBar(bar, width, 4);
        TMemoryPicture picture;
        Render(bar, picture);
        const int half = width / 2;
        const int second = width - half;
        EXPECT_EQ(picture.Pixel(0, 0), kGreen);
        EXPECT_EQ(picture.Pixel(half - 1, 0), kYellow);
        EXPECT_EQ(picture.Pixel(half, 0), kYellow);
        EXPECT_EQ(picture.Pixel(width - 1, 3), kRed);
        for (int x = 0; x < width; ++x) {
            const COLORREF expected = x < half ? StepColor(kGreen, kYellow, x + 1, half)
                                               : StepColor(kYellow, kRed, x - half + 1, second);
            ASSERT_EQ(picture.Pixel(x, 0), expected) << "column " << x;
            ASSERT_EQ(picture.Pixel(x, 3), expected) << "column " << x;
        }
    }
}

TEST(ALProgressBar, TwoColourRunAndSingleStepRun) {
    TALProgressBar bar;
    MakeFullBar(bar, 200, 3);
    bar.SetBarColorStyle(cs2Colors);
    bar.SetBarColor1(RGB(166, 202, 240));
    bar.SetBarColor2(RGB(0, 0, 128));
    TMemoryPicture picture;
    Render(bar, picture);
    for (int x = 0; x < 200; ++x)
        ASSERT_EQ(picture.Pixel(x, 1), StepColor(RGB(166, 202, 240), RGB(0, 0, 128), x + 1, 200))
            << "column " << x;

    // One column: the second run of one step, which takes its start colour.
    TALProgressBar narrow;
    MakeFullBar(narrow, 1, 5);
    Render(narrow, picture);
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(picture.Pixel(0, y), kYellow);
}

TEST(ALProgressBar, SolidStyleFillsWithTheFirstColour) {
    TALProgressBar bar;
    MakeFullBar(bar, 30, 6);
    bar.SetBarColorStyle(cs1Color);
    bar.SetBarColor1(RGB(12, 34, 56));
    TMemoryPicture picture;
    Render(bar, picture);
    std::set<COLORREF> seen;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 30; ++x)
            seen.insert(picture.Pixel(x, y));
    EXPECT_EQ(seen, std::set<COLORREF>{RGB(12, 34, 56)});
}

TEST(ALProgressBar, GradientRunsFollowTheDirection) {
    struct Case {
        TProgressDirection direction;
        TBarColorStyle style;
        COLORREF first, last; // at the left or top, at the right or bottom
    };
    const Case cases[] = {
        {pdLeftToRight, cs2Colors, kGreen, kYellow}, {pdRightToLeft, cs2Colors, kYellow, kGreen},
        {pdTopToBottom, cs2Colors, kGreen, kYellow}, {pdBottomToTop, cs2Colors, kYellow, kGreen},
        {pdLeftToRight, cs3Colors, kGreen, kRed},    {pdRightToLeft, cs3Colors, kRed, kGreen},
        {pdTopToBottom, cs3Colors, kGreen, kRed},    {pdBottomToTop, cs3Colors, kRed, kGreen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << c.direction << " style " << c.style);
        const bool horizontal = c.direction == pdLeftToRight || c.direction == pdRightToLeft;
        TALProgressBar bar;
        MakeFullBar(bar, horizontal ? 40 : 5, horizontal ? 5 : 40);
        bar.SetDirection(c.direction);
        bar.SetBarColorStyle(c.style);
        TMemoryPicture picture;
        Render(bar, picture);
        EXPECT_EQ(picture.Pixel(0, 0), c.first);
        EXPECT_EQ(picture.Pixel(bar.Width() - 1, bar.Height() - 1), c.last);
        if (c.style == cs3Colors) {
            EXPECT_EQ(horizontal ? picture.Pixel(19, 2) : picture.Pixel(2, 19), kYellow);
            EXPECT_EQ(horizontal ? picture.Pixel(20, 2) : picture.Pixel(2, 20), kYellow);
        }
        // Lines run across the bar: one colour per column (or row).
        if (horizontal)
            EXPECT_EQ(picture.Pixel(7, 0), picture.Pixel(7, 4));
        else
            EXPECT_EQ(picture.Pixel(0, 7), picture.Pixel(4, 7));
    }
}

TEST(ALProgressBar, EmptyStripLiesOppositeTheStartOfTheFill) {
    // Track of 200 (horizontal) or 100 (vertical) inside a border; a quarter filled.
    struct Case {
        TProgressDirection direction;
        int width, height;
        POINT lastFilled, firstEmpty, lastEmpty;
    };
    const Case cases[] = {
        {pdLeftToRight, 202, 12, {50, 5}, {51, 5}, {200, 5}},
        {pdRightToLeft, 202, 12, {151, 5}, {150, 5}, {1, 5}},
        {pdTopToBottom, 12, 102, {5, 25}, {5, 26}, {5, 100}},
        {pdBottomToTop, 12, 102, {5, 76}, {5, 75}, {5, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << c.direction);
        TALProgressBar bar;
        bar.SetBounds(0, 0, c.width, c.height);
        bar.SetShowPosText(false);
        bar.SetBarColorStyle(cs1Color);
        bar.SetBackgroundColor(kBack);
        bar.SetBorderColor1(kDark);
        bar.SetBorderColor2(kLight);
        bar.SetDirection(c.direction);
        bar.SetPosition(25);
        TMemoryPicture picture;
        Render(bar, picture);
        EXPECT_EQ(picture.Pixel(c.lastFilled.x, c.lastFilled.y), kGreen);
        EXPECT_EQ(picture.Pixel(c.firstEmpty.x, c.firstEmpty.y), kBack);
        EXPECT_EQ(picture.Pixel(c.lastEmpty.x, c.lastEmpty.y), kBack);
        // The strip spans the whole inner width or height, and no more.
        const bool horizontal = c.width > c.height;
        const POINT across1 = horizontal ? POINT{c.firstEmpty.x, 1} : POINT{1, c.firstEmpty.y};
        const POINT across2 =
            horizontal ? POINT{c.firstEmpty.x, c.height - 2} : POINT{c.width - 2, c.firstEmpty.y};
        EXPECT_EQ(picture.Pixel(across1.x, across1.y), kBack);
        EXPECT_EQ(picture.Pixel(across2.x, across2.y), kBack);
        EXPECT_EQ(picture.Pixel(horizontal ? c.firstEmpty.x : 0, horizontal ? 0 : c.firstEmpty.y),
                  kDark);
    }
}

TEST(ALProgressBar, BorderLinesAreSunken) {
    TALProgressBar bar;
    bar.SetBounds(0, 0, 30, 10);
    bar.SetShowPosText(false);
    bar.SetBorderColor1(kDark);
    bar.SetBorderColor2(kLight);
    bar.SetPosition(100);
    TMemoryPicture picture;
    Render(bar, picture);
    for (int x = 0; x < 30; ++x)
        EXPECT_EQ(picture.Pixel(x, 0), kDark) << x;
    for (int y = 0; y < 10; ++y)
        EXPECT_EQ(picture.Pixel(0, y), kDark) << y;
    for (int x = 1; x < 30; ++x)
        EXPECT_EQ(picture.Pixel(x, 9), kLight) << x;
    for (int y = 1; y < 10; ++y)
        EXPECT_EQ(picture.Pixel(29, y), kLight) << y;
    // Without the border the fill reaches every edge.
    bar.SetShowBorder(false);
    Render(bar, picture);
    EXPECT_EQ(picture.Pixel(0, 0), kGreen);
    EXPECT_EQ(picture.Pixel(29, 9), kRed);
}

TEST(ALProgressBar, EmptyAtMinAndWhenMaxEqualsMinFullWhenMaxDropsBelowPosition) {
    TALProgressBar bar;
    bar.SetBounds(0, 0, 40, 8);
    bar.SetShowPosText(false);
    bar.SetBackgroundColor(kBack);
    bar.SetBorderColor1(kDark);
    bar.SetBorderColor2(kLight);
    TMemoryPicture picture;
    auto countOf = [&](COLORREF color) {
        int n = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 40; ++x)
                n += picture.Pixel(x, y) == color;
        return n;
    };
    const int inner = 38 * 6;
    const int edge = 40 * 8 - inner;

    Render(bar, picture); // Position 0 = Min
    EXPECT_EQ(countOf(kBack), inner);
    EXPECT_EQ(countOf(kDark) + countOf(kLight), edge);

    bar.SetPosition(60);
    bar.SetMin(5);
    bar.SetMax(5);
    Render(bar, picture);
    EXPECT_EQ(bar.Position(), 60);
    EXPECT_EQ(countOf(kBack), inner);

    bar.SetMin(0);
    bar.SetMax(40); // below the position of 60
    Render(bar, picture);
    EXPECT_EQ(bar.Position(), 60);
    EXPECT_EQ(countOf(kBack), 0);
}

TEST(ALProgressBar, PercentageUsesMaxOnlyWhileTheBarUsesTheRange) {
    TALProgressBar bar;
    bar.SetBounds(0, 0, 200, 12);
    bar.SetBarColorStyle(cs1Color);
    bar.SetBackgroundColor(kBack);
    bar.SetShowPosText(false);
    bar.SetMin(50);
    bar.SetMax(200);
    bar.SetPosition(100);
    bar.SetPercentage(true);
    EXPECT_EQ(bar.PosText(), L"50");
    TMemoryPicture picture;
    Render(bar, picture);
    // One third of the 198-pixel track: 66 pixels.
    EXPECT_EQ(picture.Pixel(66, 5), kGreen);
    EXPECT_EQ(picture.Pixel(67, 5), kBack);

    bar.SetPosTextPrefix(L"(");
    bar.SetPosTextSuffix(L" %)");
    EXPECT_EQ(bar.PosText(), L"(50 %)");
    bar.SetPercentage(false);
    EXPECT_EQ(bar.PosText(), L"(100 %)");
    // Halves go to the even number: 1/8 = 12.5 % and 3/8 = 37.5 %.
    bar.SetPosTextPrefix(L"");
    bar.SetPosTextSuffix(L"");
    bar.SetPercentage(true);
    bar.SetMin(0);
    bar.SetMax(8);
    bar.SetPosition(1);
    EXPECT_EQ(bar.PosText(), L"12");
    bar.SetPosition(3);
    EXPECT_EQ(bar.PosText(), L"38");
}

TEST(ALProgressBar, FilledLengthRoundsHalvesToEven) {
    // Track of 10, range 0..4: position 1 gives 2.5 -> 2, position 3 gives 7.5 -> 8.
    TALProgressBar bar;
    bar.SetBounds(0, 0, 10, 3);
    bar.SetShowBorder(false);
    bar.SetShowPosText(false);
    bar.SetBarColorStyle(cs1Color);
    bar.SetBackgroundColor(kBack);
    bar.SetMax(4);
    TMemoryPicture picture;
    bar.SetPosition(1);
    Render(bar, picture);
    EXPECT_EQ(picture.Pixel(1, 1), kGreen);
    EXPECT_EQ(picture.Pixel(2, 1), kBack);
    bar.SetPosition(3);
    Render(bar, picture);
    EXPECT_EQ(picture.Pixel(7, 1), kGreen);
    EXPECT_EQ(picture.Pixel(8, 1), kBack);
}

TEST(ALProgressBar, TextIsCentredAndTransparent) {
    TALProgressBar bar;
    bar.SetBounds(0, 0, 120, 24);
    bar.SetShowBorder(false);
    bar.SetBarColorStyle(cs1Color);
    bar.SetBarColor1(RGB(200, 200, 200));
    bar.SetFontColor(RGB(0, 0, 0));
    bar.SetPosTextSuffix(L" %");
    bar.SetPosition(100);
    TMemoryPicture picture;
    Render(bar, picture);
    int left = 120, right = -1, top = 24, bottom = -1;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 120; ++x)
            if (picture.Pixel(x, y) != RGB(200, 200, 200)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0) << "no text drawn";
    EXPECT_NEAR((left + right) / 2.0, 60, 3);
    EXPECT_NEAR((top + bottom) / 2.0, 12, 4);
    // Around the letters the fill shows.
    EXPECT_EQ(picture.Pixel(left - 2, 12), RGB(200, 200, 200));

    bar.SetShowPosText(false);
    Render(bar, picture);
    EXPECT_EQ(picture.Pixel((left + right) / 2, (top + bottom) / 2), RGB(200, 200, 200));
}

TEST(ALProgressBar, TextStandsAtHalfTheSizeLessHalfTheExtent) {
    // Odd and even sizes, and a text wider than the bar: both halves drop their remainder.
    struct Case {
        int width, height;
        const wchar_t* prefix;
    };
    const Case cases[] = {{120, 23, L"Left "},
                          {121, 24, L"Left "},
                          {122, 25, L"Left: "},
                          {123, 22, L"Left: "},
                          {20, 21, L"Time left today "}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.prefix);
        TALProgressBar bar;
        bar.SetBounds(0, 0, c.width, c.height);
        bar.SetShowBorder(false);
        bar.SetBarColorStyle(cs1Color);
        bar.SetBarColor1(RGB(255, 255, 255));
        bar.SetBackgroundColor(RGB(255, 255, 255));
        bar.SetFontColor(RGB(0, 0, 0));
        bar.SetPosTextPrefix(c.prefix);
        bar.SetPosition(37);
        TMemoryPicture picture;
        Render(bar, picture);

        TMemoryPicture expected;
        ASSERT_TRUE(expected.SetSize(c.width, c.height));
        FillSolidRect(expected.DC(), RECT{0, 0, c.width, c.height}, RGB(255, 255, 255));
        const std::wstring text = bar.PosText();
        TScopedSelect font(expected.DC(), bar.Font());
        SIZE extent{};
        GetTextExtentPoint32W(expected.DC(), text.c_str(), static_cast<int>(text.size()), &extent);
        SetBkMode(expected.DC(), TRANSPARENT);
        SetTextColor(expected.DC(), RGB(0, 0, 0));
        TextOutW(expected.DC(), c.width / 2 - extent.cx / 2, c.height / 2 - extent.cy / 2,
                 text.c_str(), static_cast<int>(text.size()));
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(picture.Pixel(x, y), expected.Pixel(x, y)) << x << "," << y;
    }
}

TEST(ALProgressBar, TiledPictureOverridesEveryColourStyle) {
    // A 3 x 2 tile of six colours.
    TMemoryPicture tile;
    ASSERT_TRUE(tile.SetSize(3, 2));
    const COLORREF colors[2][3] = {{RGB(1, 0, 0), RGB(2, 0, 0), RGB(3, 0, 0)},
                                   {RGB(4, 0, 0), RGB(5, 0, 0), RGB(6, 0, 0)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            SetPixel(tile.DC(), x, y, colors[y][x]);
    for (TBarColorStyle style : {cs1Color, cs2Colors, cs3Colors}) {
        SCOPED_TRACE(style);
        TALProgressBar bar;
        MakeFullBar(bar, 11, 5);
        bar.SetBarColorStyle(style);
        bar.SetBarBitmap(tile.Bitmap());
        TMemoryPicture picture;
        Render(bar, picture);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 11; ++x)
                ASSERT_EQ(picture.Pixel(x, y), colors[y % 2][x % 3]) << x << "," << y;
        // The bar keeps its own copy, and clearing it brings the colours back.
        SetPixel(tile.DC(), 0, 0, RGB(9, 9, 9));
        Render(bar, picture);
        EXPECT_EQ(picture.Pixel(0, 0), colors[0][0]);
        SetPixel(tile.DC(), 0, 0, colors[0][0]);
        bar.SetBarBitmap(nullptr);
        Render(bar, picture);
        EXPECT_EQ(picture.Pixel(0, 0), kGreen);
    }
}

TEST(ALProgressBar, GradientColorRejectsStepsOutsideTheRun) {
    EXPECT_EQ(TALProgressBar::GradientColor(kGreen, kRed, 1, 1), kGreen);
    EXPECT_EQ(TALProgressBar::GradientColor(kGreen, kRed, 5, 5), kRed);
    EXPECT_EQ(TALProgressBar::GradientColor(SysColorRef(COLOR_BTNFACE), kRed, 1, 3),
              GetSysColor(COLOR_BTNFACE));
    for (int i : {0, 6}) {
        try {
            TALProgressBar::GradientColor(kGreen, kRed, i, 5);
            ADD_FAILURE() << "no error for step " << i;
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "ColorIndex can't be less than 1 or greater than 5");
        }
    }
}

// --- The bar as a child window ---

class ALProgressBarWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Owner.Handle());
        Bar.SetBounds(10, 10, 100, 12);
        Bar.SetShowPosText(false);
        Bar.SetBarColorStyle(cs1Color);
        Bar.SetBackgroundColor(kBack);
        ASSERT_TRUE(Bar.SetParent(Owner.Handle()));
        ASSERT_TRUE(Bar.Handle());
        testwin::PumpMessages();
    }
    COLORREF ScreenPixel(int x, int y) {
        TScopedGetDC dc(Bar.Handle());
        return GetPixel(dc.Get(), x, y);
    }
    void Mark(int x, int y) {
        TScopedGetDC dc(Bar.Handle());
        SetPixel(dc.Get(), x, y, RGB(255, 0, 255));
    }

    testwin::TTestWindow Owner;
    TALProgressBar Bar;
};

TEST_F(ALProgressBarWindow, SettersRepaintAtOnce) {
    Bar.SetPosition(50);
    EXPECT_EQ(ScreenPixel(20, 5), kGreen);
    EXPECT_EQ(ScreenPixel(80, 5), kBack);
    Bar.SetBarColor1(RGB(0, 0, 200));
    EXPECT_EQ(ScreenPixel(20, 5), RGB(0, 0, 200));
    Bar.SetBounds(10, 10, 60, 12);
    EXPECT_EQ(ScreenPixel(58, 5), kBack);
    EXPECT_EQ(ScreenPixel(59, 5), GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST_F(ALProgressBarWindow, IgnoredPositionsNeitherChangeNorRepaint) {
    Bar.SetPosition(50);
    Mark(20, 5);
    Bar.SetPosition(101);
    Bar.SetPosition(-1);
    Bar.SetPosition(50);
    EXPECT_EQ(Bar.Position(), 50);
    EXPECT_EQ(ScreenPixel(20, 5), RGB(255, 0, 255));
    Bar.SetPosition(60);
    EXPECT_EQ(ScreenPixel(20, 5), kGreen);
    EXPECT_EQ(ScreenPixel(58, 5), kGreen);
}

TEST_F(ALProgressBarWindow, PositionChangeAfterColourChangeWhileHiddenShowsNewColours) {
    Bar.SetBarColorStyle(cs2Colors);
    Bar.SetPosition(100);
    Bar.SetVisible(false);
    Bar.SetBarColor1(RGB(0, 0, 200));
    Bar.SetBarColor2(RGB(0, 0, 200));
    ShowWindow(Bar.Handle(), SW_SHOWNA); // shown behind the bar's back: no paint yet
    Bar.SetPosition(90);
    EXPECT_EQ(ScreenPixel(5, 5), RGB(0, 0, 200));
    EXPECT_EQ(ScreenPixel(80, 5), RGB(0, 0, 200));
}

TEST_F(ALProgressBarWindow, LetsTheMouseThroughUntilItHasMouseEvents) {
    RECT rect;
    GetWindowRect(Bar.Handle(), &rect);
    const LPARAM point = MAKELPARAM(rect.left + 5, rect.top + 5);
    EXPECT_EQ(SendMessageW(Bar.Handle(), WM_NCHITTEST, 0, point), HTTRANSPARENT);
    int clicks = 0;
    Bar.OnClick = [&](TALProgressBar& sender) {
        EXPECT_EQ(&sender, &Bar);
        ++clicks;
    };
    EXPECT_EQ(SendMessageW(Bar.Handle(), WM_NCHITTEST, 0, point), HTCLIENT);
    SendMessageW(Bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(Bar.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(clicks, 1);
    // Released outside the bar: no click.
    SendMessageW(Bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(Bar.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(300, 5));
    EXPECT_EQ(clicks, 1);
}

TEST_F(ALProgressBarWindow, HintShowsAToolTipWhileShowHintIsOn) {
    auto toolCount = [&] {
        HWND tip = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM found) -> BOOL {
                wchar_t name[64] = {};
                GetClassNameW(window, name, 64);
                if (lstrcmpiW(name, TOOLTIPS_CLASSW) == 0)
                    *reinterpret_cast<HWND*>(found) = window;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&tip));
        return tip ? static_cast<int>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0)) : 0;
    };
    Bar.SetHint(L"Time remaining today");
    EXPECT_EQ(toolCount(), 0);
    Bar.SetShowHint(true);
    EXPECT_EQ(toolCount(), 1);
    RECT rect;
    GetWindowRect(Bar.Handle(), &rect);
    EXPECT_EQ(SendMessageW(Bar.Handle(), WM_NCHITTEST, 0, MAKELPARAM(rect.left + 2, rect.top + 2)),
              HTCLIENT);
    Bar.SetShowHint(false);
    EXPECT_EQ(toolCount(), 0);
}

// The tool tip is a pop-up of the bar's top-level window; it must go with the bar's window
// however that ends: the bar destroyed, detached from its parent, or its parent destroyed.
TEST_F(ALProgressBarWindow, ToolTipGoesWithTheBarsWindow) {
    auto toolTipOf = [](HWND bar) {
        struct TSearch {
            HWND Bar;
            HWND Tip;
        } search{bar, nullptr};
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<TSearch*>(data);
                wchar_t name[64] = {};
                GetClassNameW(window, name, 64);
                TOOLINFOW tool{};
                tool.cbSize = sizeof(tool);
                tool.hwnd = s->Bar;
                tool.uId = reinterpret_cast<UINT_PTR>(s->Bar);
                if (lstrcmpiW(name, TOOLTIPS_CLASSW) == 0 &&
                    SendMessageW(window, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)))
                    s->Tip = window;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.Tip;
    };
    auto hinted = [](TALProgressBar& bar) {
        bar.SetHint(L"Time remaining today");
        bar.SetShowHint(true);
    };

    auto destroyed = std::make_unique<TALProgressBar>();
    ASSERT_TRUE(destroyed->SetParent(Owner.Handle()));
    hinted(*destroyed);
    const HWND tip1 = toolTipOf(destroyed->Handle());
    ASSERT_TRUE(tip1);
    destroyed.reset();
    EXPECT_FALSE(IsWindow(tip1));

    TALProgressBar detached;
    ASSERT_TRUE(detached.SetParent(Owner.Handle()));
    hinted(detached);
    const HWND tip2 = toolTipOf(detached.Handle());
    ASSERT_TRUE(tip2);
    detached.SetParent(nullptr);
    EXPECT_FALSE(IsWindow(tip2));

    TALProgressBar orphaned;
    HWND tip3 = nullptr;
    {
        testwin::TTestWindow parent(60, 60, 200, 100);
        testwin::TTestWindow child(0, 0, 100, 50);
        // A child of a child: the tip's owner is the top-level window, which stays.
        SetWindowLongPtrW(child.Handle(), GWL_STYLE, WS_CHILD | WS_VISIBLE);
        ::SetParent(child.Handle(), parent.Handle());
        ASSERT_TRUE(orphaned.SetParent(child.Handle()));
        hinted(orphaned);
        tip3 = toolTipOf(orphaned.Handle());
        ASSERT_TRUE(tip3);
        DestroyWindow(child.Handle());
        EXPECT_EQ(orphaned.Handle(), nullptr);
        EXPECT_FALSE(IsWindow(tip3));
    }
    // Attached again, the bar shows its hint with a new tip.
    ASSERT_TRUE(orphaned.SetParent(Owner.Handle()));
    const HWND tip4 = toolTipOf(orphaned.Handle());
    EXPECT_TRUE(tip4);
    EXPECT_NE(tip4, tip3);
}

TEST_F(ALProgressBarWindow, NewFontRepaintsTheText) {
    Bar.SetBounds(10, 10, 200, 40);
    Bar.SetBarColor1(RGB(255, 255, 255));
    Bar.SetFontColor(RGB(0, 0, 0));
    Bar.SetShowPosText(true);
    Bar.SetPosition(100);
    auto darkColumns = [&] {
        int n = 0;
        for (int x = 1; x < 199; ++x)
            for (int y = 1; y < 39; ++y)
                if (ScreenPixel(x, y) == RGB(0, 0, 0)) {
                    ++n;
                    break;
                }
        return n;
    };
    const int before = darkColumns();
    LOGFONTW lf{};
    lf.lfHeight = -30;
    lf.lfWeight = FW_BOLD;
    wcscpy_s(lf.lfFaceName, L"Tahoma");
    TFontHandle big(CreateFontIndirectW(&lf));
    Bar.SetFont(big.Get());
    big.Reset(); // the bar keeps its own copy
    EXPECT_GT(darkColumns(), before);
}

TEST_F(ALProgressBarWindow, AlignedBarFollowsItsParentsSize) {
    testwin::TTestWindow parent(50, 50, 300, 200);
    TALProgressBar bar;
    bar.SetBounds(5, 5, 40, 16);
    ASSERT_TRUE(bar.SetParent(parent.Handle()));
    bar.SetAlign(alBottom);
    RECT client{};
    GetClientRect(parent.Handle(), &client);
    EXPECT_EQ(bar.Left(), 0);
    EXPECT_EQ(bar.Top(), client.bottom - 16);
    EXPECT_EQ(bar.Width(), client.right);
    EXPECT_EQ(bar.Height(), 16);
    SetWindowPos(parent.Handle(), nullptr, 0, 0, 400, 260, SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(parent.Handle(), &client);
    EXPECT_EQ(bar.Top(), client.bottom - 16);
    EXPECT_EQ(bar.Width(), client.right);
    RECT window{};
    GetWindowRect(bar.Handle(), &window);
    EXPECT_EQ(window.right - window.left, client.right);
    bar.SetAlign(alRight);
    EXPECT_EQ(bar.Left(), client.right - bar.Width());
    EXPECT_EQ(bar.Height(), client.bottom);
    bar.SetAlign(alNone);
    const int width = bar.Width();
    SetWindowPos(parent.Handle(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(bar.Width(), width);
}

TEST_F(ALProgressBarWindow, AlignedBarDestroyedBeforeItsParentIsForgottenByIt) {
    // Outlives both windows, so that a stale call from the parent lands in storage we own.
    alignas(TALProgressBar) unsigned char storage[sizeof(TALProgressBar)];
    testwin::TTestWindow parent(50, 50, 300, 200);
    testwin::TTestWindow other(60, 60, 200, 100);
    auto* first = new (storage) TALProgressBar;
    ASSERT_TRUE(first->SetParent(parent.Handle()));
    first->SetAlign(alClient);
    first->~TALProgressBar();
    // A later bar at the same address must not follow the first bar's parent.
    auto* second = new (storage) TALProgressBar;
    ASSERT_TRUE(second->SetParent(other.Handle()));
    second->SetAlign(alTop);
    second->SetBounds(3, 3, 10, 10);
    SetWindowPos(parent.Handle(), nullptr, 0, 0, 350, 250, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(second->Left(), 3);
    EXPECT_EQ(second->Width(), 10);
    second->~TALProgressBar();
}

TEST_F(ALProgressBarWindow, TakesTheParentsFontUntilGivenOne) {
    HFONT parentFont = static_cast<HFONT>(GetStockObject(SYSTEM_FIXED_FONT));
    testwin::TTestWindow other;
    SendMessageW(other.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(parentFont), FALSE);
    TALProgressBar bar;
    ASSERT_TRUE(bar.SetParent(other.Handle()));
    LOGFONTW expected{}, actual{};
    GetObjectW(parentFont, sizeof(expected), &expected);
    GetObjectW(bar.Font(), sizeof(actual), &actual);
    EXPECT_STREQ(actual.lfFaceName, expected.lfFaceName);
    EXPECT_EQ(actual.lfHeight, expected.lfHeight);
}

TEST_F(ALProgressBarWindow, DestroyingTheParentFirstLeavesTheBarSafe) {
    auto bar = std::make_unique<TALProgressBar>();
    {
        testwin::TTestWindow parent;
        ASSERT_TRUE(bar->SetParent(parent.Handle()));
        ASSERT_TRUE(bar->Handle());
    }
    EXPECT_EQ(bar->Handle(), nullptr);
    bar->SetPosition(40); // no window: stores only
    EXPECT_EQ(bar->Position(), 40);
    bar.reset();
}

} // namespace
} // namespace vantrel
