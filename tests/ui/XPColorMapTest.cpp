// The colour map of the command bars and its colour arithmetic.
#include "ui/ColorMath.h"
#include "ui/XPColorMap.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(ColorArithmetic, BlendRoundsHalvesToEven) {
    // (50 * 1) / 100 = 0.5 -> 0; 150 / 100 = 1.5 -> 2; 250 / 100 = 2.5 -> 2.
    EXPECT_EQ(BlendColors(RGB(1, 3, 5), RGB(0, 0, 0), 50), RGB(0, 2, 2));
    EXPECT_EQ(BlendColors(RGB(7, 9, 11), RGB(0, 0, 0), 50), RGB(4, 4, 6));
    // A third of a highlight colour and two thirds white.
    const COLORREF highlight = RGB(51, 153, 255);
    auto third = [](int c) {
        const int sum = 33 * c + 67 * 255;
        int q = sum / 100;
        if (sum % 100 > 50 || (sum % 100 == 50 && q % 2))
            ++q;
        return q;
    };
    EXPECT_EQ(BlendColors(highlight, RGB(255, 255, 255), 33),
              RGB(third(51), third(153), third(255)));
    EXPECT_EQ(BlendColors(RGB(255, 255, 255), RGB(255, 255, 255), 33), RGB(255, 255, 255));
    EXPECT_EQ(BlendColors(RGB(10, 20, 30), RGB(200, 100, 0), 100), RGB(10, 20, 30));
    EXPECT_EQ(BlendColors(RGB(10, 20, 30), RGB(200, 100, 0), 0), RGB(200, 100, 0));
    EXPECT_EQ(BlendColors(SysColorRef(COLOR_HIGHLIGHT), RGB(255, 255, 255), 100),
              GetSysColor(COLOR_HIGHLIGHT));
}

// The platform's own HLS conversion (0..240 scale), to check the lightening against.
struct TShellHls {
    using TToHls = void(WINAPI*)(COLORREF, WORD*, WORD*, WORD*);
    using TFromHls = COLORREF(WINAPI*)(WORD, WORD, WORD);
    HMODULE Module = LoadLibraryW(L"shlwapi.dll");
    TToHls ToHls = Module ? reinterpret_cast<TToHls>(
                                reinterpret_cast<void*>(GetProcAddress(Module, "ColorRGBToHLS")))
                          : nullptr;
    TFromHls FromHls = Module ? reinterpret_cast<TFromHls>(reinterpret_cast<void*>(
                                    GetProcAddress(Module, "ColorHLSToRGB")))
                              : nullptr;
    ~TShellHls() {
        if (Module)
            FreeLibrary(Module);
    }
};

TEST(ColorArithmetic, LighteningRaisesLuminanceBy15OnThe240Scale) {
    TShellHls shell;
    ASSERT_TRUE(shell.ToHls && shell.FromHls);
    std::vector<COLORREF> colors = {RGB(240, 240, 240), RGB(212, 208, 200), RGB(236, 233, 216),
                                    RGB(128, 128, 128), RGB(0, 0, 0),       RGB(255, 255, 255),
                                    RGB(10, 36, 106),   RGB(51, 153, 255),  RGB(200, 30, 90)};
    for (int r = 0; r < 256; r += 51)
        for (int g = 5; g < 256; g += 50)
            for (int b = 17; b < 256; b += 79)
                colors.push_back(RGB(r, g, b));
    for (COLORREF color : colors) {
        WORD h = 0, l = 0, s = 0;
        shell.ToHls(color, &h, &l, &s);
        const WORD lighter = static_cast<WORD>(std::min(240, l + 15));
        EXPECT_EQ(LightenColor(color, 15), shell.FromHls(h, lighter, s))
            << std::hex << "colour 0x" << color;
    }
    EXPECT_EQ(LightenColor(RGB(255, 255, 255), 15), RGB(255, 255, 255));
}

TEST(XPColorMap, DesignValuesUntilUpdateColors) {
    TXPColorMapEx map;
    EXPECT_EQ(map.Color, SysColorRef(COLOR_BTNFACE));
    EXPECT_EQ(map.MenuColor, SysColorRef(COLOR_WINDOW));
    EXPECT_EQ(map.BtnFrameColor, 0xBEBEBEu);
    EXPECT_EQ(map.BtnSelectedColor, 0xE2E2E2u);
    EXPECT_EQ(map.DisabledColor, 0x808080u);
    EXPECT_EQ(map.DisabledFontColor, SysColorRef(COLOR_GRAYTEXT));
    EXPECT_EQ(map.DisabledFontShadow, SysColorRef(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(map.FontColor, SysColorRef(COLOR_WINDOWTEXT));
    EXPECT_EQ(map.FrameTopLeftInner, 0xFFFFFFu);
    EXPECT_EQ(map.FrameTopLeftOuter, 0x7A868Au);
    EXPECT_EQ(map.FrameBottomRightInner, 0xFFFFFFu);
    EXPECT_EQ(map.FrameBottomRightOuter, 0x7A868Au);
    EXPECT_EQ(map.HighlightColor, 0xF2F2F2u);
    EXPECT_EQ(map.SelectedColor, 0xEAEAEAu);
    EXPECT_EQ(map.SelectedFontColor, 0x000000u);
    EXPECT_EQ(map.ShadowColor, SysColorRef(COLOR_3DDKSHADOW));
    EXPECT_EQ(map.UnusedColor, 0xF2F2F2u);

    const COLORREF hot = map.HotColor;
    const COLORREF hotFont = map.HotFontColor;
    map.UpdateColors();
    EXPECT_EQ(map.BtnFrameColor, GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(map.BtnSelectedColor, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(map.SelectedColor, BlendColors(GetSysColor(COLOR_HIGHLIGHT), RGB(255, 255, 255), 33));
    EXPECT_EQ(map.HighlightColor, LightenColor(GetSysColor(COLOR_BTNFACE), 15));
    EXPECT_EQ(map.UnusedColor, map.HighlightColor);
    EXPECT_EQ(map.DisabledColor, 0x808080u);
    EXPECT_EQ(map.FrameTopLeftOuter, 0x7A868Au);
    EXPECT_EQ(map.SelectedFontColor, 0x000000u);
    EXPECT_EQ(map.HotColor, hot);
    EXPECT_EQ(map.HotFontColor, hotFont);
}

TEST(XPColorMap, SelectionFollowsAChangedHighlightColour) {
    const COLORREF saved = GetSysColor(COLOR_HIGHLIGHT);
    const int element = COLOR_HIGHLIGHT;
    const COLORREF changed = RGB(200, 40, 10);
    ASSERT_TRUE(SetSysColors(1, &element, &changed));
    TXPColorMapEx map;
    EXPECT_EQ(map.BtnFrameColor, 0xBEBEBEu); // no settings change seen yet
    map.UpdateColors();
    const COLORREF frame = map.BtnFrameColor;
    const COLORREF selected = map.SelectedColor;
    SetSysColors(1, &element, &saved);
    EXPECT_EQ(frame, changed);
    EXPECT_EQ(selected, RGB(237, 184, 174)); // 33 % of (200, 40, 10) with 67 % white
}

} // namespace
} // namespace vantrel
