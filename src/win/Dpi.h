#pragma once
// Layout is written in pixels at 96 DPI; this converts a length for another DPI.
#include <windows.h>

namespace vantrel {

inline int ScaleForDpi(int pixels, int dpi) {
    return MulDiv(pixels, dpi, 96);
}

} // namespace vantrel
