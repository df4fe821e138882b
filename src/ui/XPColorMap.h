#pragma once
// The colour map of the main window's menu bar, tool bar and pop-up menu. The fields start with
// the stored design values (greys); UpdateColors, run when the settings change, makes the
// selection frame and fill follow the system highlight colour.
// Values may be system colour references (SysColorRef); draw with ColorToRGB(field).
#include "ui/controls/Gdi.h"

namespace vantrel {

class TXPColorMapEx {
public:
    // Runs the base computation, then loads the stored design values over it.
    TXPColorMapEx();

    // The base computation of the toolkit's XP-style map, then the system-derived values.
    void UpdateColors();
    // The toolkit's XP-style colours, which UpdateColors starts from.
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
