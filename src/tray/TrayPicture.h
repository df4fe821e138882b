#pragma once
// The notification icon's picture: the main window's remaining-time bar standing upright, filled
// from the bottom with today's share of time left, drawn in code at the size the notification
// area asks for. Its look says the rest, each state apart from the others at 16 pixels: the
// fill turning orange, then red as the time runs low (and never thinner than two rows), the bar
// greyed outside the allowed hours, empty and crossed out in red when the time is used up,
// empty with a broken frame and a question mark while the service does not count. The bar's
// own light face and frame set it off from light and dark taskbars alike. In high contrast it
// is drawn in the system's colours, the marks in its text colour.
#include "tray/TrayTexts.h"
#include "ui/controls/ALProgressBar.h"

#include <windows.h>

namespace vantrel {

struct TTrayLook {
    TTrayPicture Picture = TTrayPicture::TimeLeft;
    int Share = 0;
    int Size = 16;
    bool HighContrast = false;
    TTrayLevel Level = TTrayLevel::Plenty;

    bool operator==(const TTrayLook& other) const {
        return Picture == other.Picture && Share == other.Share && Size == other.Size &&
               HighContrast == other.HighContrast && Level == other.Level;
    }
    bool operator!=(const TTrayLook& other) const { return !(*this == other); }
};

// Gives a bar the tray's colours for a picture: the main window's blue, orange and then red as
// the time runs low, greyed outside the allowed hours, with a grey frame while the service
// does not count; the system's in high contrast. An icon's bar begins its fill with the
// gradient's dark end, so that its last minutes still show at 16 pixels, and has a flat frame,
// which a sunken one's light edge would leave open.
void ApplyTrayColors(TALProgressBar& bar, TTrayPicture picture, bool highContrast,
                     bool icon = false, TTrayLevel level = TTrayLevel::Plenty);
// The colour of the marks drawn over an empty bar: the cross of time used up and the question
// mark of figures out of date.
COLORREF TrayMarkColor(TTrayPicture picture, bool highContrast);
// The small icon's size at a DPI (16 pixels at 96 DPI, 24 at 144).
int TrayIconSize(int dpi);
// Whether the user asked for high contrast.
bool HighContrastOn();

class TTrayPainter {
public:
    // A new icon, which the caller destroys; nullptr if the system refused one.
    HICON Draw(const TTrayLook& look);

private:
    // The cross or question mark over an empty bar, within its frame.
    void DrawMark(const TTrayLook& look, const RECT& inside);

    // Paints off-screen only; it never gets a window.
    TALProgressBar FBar;
    TMemoryPicture FCanvas;
};

} // namespace vantrel
