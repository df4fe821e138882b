#include "ui/XPColorMap.h"

#include "ui/ColorMath.h"

namespace vantrel {

namespace {
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr int kHighlightLuminanceStep = 15;
constexpr int kSelectedHighlightPercent = 33;
} // namespace

TXPColorMapEx::TXPColorMapEx() {
    UpdateColors();
    // The greys the bars start with, in force until the system settings change; the other
    // colours are those UpdateColors has just computed.
    BtnFrameColor = 0xBEBEBE;
    BtnSelectedColor = 0xE2E2E2;
    HighlightColor = 0xF2F2F2;
    SelectedColor = 0xEAEAEA;
    UnusedColor = 0xF2F2F2;
}

void TXPColorMapEx::UpdateBaseColors() {
    Color = SysColorRef(COLOR_BTNFACE);
    MenuColor = SysColorRef(COLOR_WINDOW);
    BtnFrameColor = 0xC66931;
    BtnSelectedColor = SysColorRef(COLOR_BTNFACE);
    DisabledColor = 0x808080;
    DisabledFontColor = SysColorRef(COLOR_GRAYTEXT);
    DisabledFontShadow = SysColorRef(COLOR_BTNHIGHLIGHT);
    FontColor = SysColorRef(COLOR_WINDOWTEXT);
    FrameTopLeftInner = 0xFFFFFF;
    FrameTopLeftOuter = 0x7A868A;
    FrameBottomRightInner = 0xFFFFFF;
    FrameBottomRightOuter = 0x7A868A;
    HighlightColor = LightenColor(SysColorRef(COLOR_BTNFACE), kHighlightLuminanceStep);
    // Hot-tracking shows the bar's own face and text.
    HotColor = SysColorRef(COLOR_BTNFACE);
    HotFontColor = SysColorRef(COLOR_BTNTEXT);
    SelectedColor = 0xEFD3C6;
    SelectedFontColor = 0x000000;
    ShadowColor = SysColorRef(COLOR_3DDKSHADOW);
    UnusedColor = HighlightColor;
}

void TXPColorMapEx::UpdateColors() {
    UpdateBaseColors();
    BtnFrameColor = ColorToRGB(SysColorRef(COLOR_HIGHLIGHT));
    BtnSelectedColor = ColorToRGB(SysColorRef(COLOR_BTNFACE));
    HighlightColor = LightenColor(SysColorRef(COLOR_BTNFACE), kHighlightLuminanceStep);
    SelectedColor = BlendColors(SysColorRef(COLOR_HIGHLIGHT), kWhite, kSelectedHighlightPercent);
    UnusedColor = HighlightColor;
}

} // namespace vantrel
