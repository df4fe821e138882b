#pragma once
// The colour map of the main window's menu bar, tool bar and pop-up menu. The fields start with
// fixed greys; UpdateColors, run when the settings change, makes the
// selection frame and fill follow the system highlight colour.
// Values may be system colour references (SysColorRef); draw with ColorToRGB(field).
#include "ui/controls/Gdi.h"

namespace vantrel {

class TXPColorMapEx {
public:
    // Runs the base computation, then sets the starting greys over it.
    TXPColorMapEx();

    // The plain XP-style colours, then the values derived from the system colours.
    void UpdateColors();
    // The plain XP-style colours (fixed selection colours), which UpdateColors starts from.
    void UpdateBaseColors();

    COLORREF Color;
    COLORREF MenuColor;
    COLORREF BtnFrameColor;
    COLORREF BtnSelectedColor;
    COLORREF DisabledColor;
    COLORREF DisabledFontColor;
    COLORREF DisabledFontShadow;
    COLORREF FontColor;
    COLORREF FrameTopLeftInner;
    COLORREF FrameTopLeftOuter;
    COLORREF FrameBottomRightInner;
    COLORREF FrameBottomRightOuter;
    COLORREF HighlightColor;
    COLORREF HotColor;
    COLORREF HotFontColor;
    COLORREF SelectedColor;
    COLORREF SelectedFontColor;
    COLORREF ShadowColor;
    COLORREF UnusedColor;
};

} // namespace vantrel
