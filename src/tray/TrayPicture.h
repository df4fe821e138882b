#pragma once
// The notification icon's picture: the main window's remaining-time bar standing upright, filled
// from the bottom with today's share of time left, drawn in code at the size the notification
// area asks for. Its look says the rest: the bar greyed outside the allowed hours, empty when
// the time is used up, empty with a broken frame while the service does not count. In high
// contrast it is drawn in the system's colours.
#include "tray/TrayTexts.h"
#include "ui/controls/ALProgressBar.h"

#include <windows.h>

namespace vantrel {

struct TTrayLook {
    TTrayPicture Picture = TTrayPicture::TimeLeft;
    int Share = 0;
    int Size = 16;
    bool HighContrast = false;

    bool operator==(const TTrayLook& other) const {
        return Picture == other.Picture && Share == other.Share && Size == other.Size &&
               HighContrast == other.HighContrast;
    }
    bool operator!=(const TTrayLook& other) const { return !(*this == other); }
};

// Gives a bar the tray's colours for a picture: the main window's, greyed outside the allowed
// hours, with a grey frame while the service does not count; the system's in high contrast.
// An icon's bar begins its fill with the gradient's dark end, so that its last minutes still
// show at 16 pixels, and has a flat frame, which a sunken one's light edge would leave open.
void ApplyTrayColors(TALProgressBar& bar, TTrayPicture picture, bool highContrast,
                     bool icon = false);
// The small icon's size at a DPI (16 pixels at 96 DPI, 24 at 144).
int TrayIconSize(int dpi);
// Whether the user asked for high contrast.
bool HighContrastOn();

class TTrayPainter {
public:
    // A new icon, which the caller destroys; nullptr if the system refused one.
    HICON Draw(const TTrayLook& look);

private:
    // Paints off-screen only; it never gets a window.
    TALProgressBar FBar;
    TMemoryPicture FCanvas;
};

} // namespace vantrel
