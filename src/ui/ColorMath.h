#pragma once
// The colour arithmetic of the command bars' colour map.
#include <windows.h>

namespace vantrel {

// Each channel round((percent * first + (100 - percent) * second) / 100), halves to even.
// System colour references are resolved first.
COLORREF BlendColors(COLORREF first, COLORREF second, int percent);
// Raises the HLS luminance (0..240 scale) by `step`, at most to 240; hue and saturation kept.
COLORREF LightenColor(COLORREF color, int step);

} // namespace vantrel
