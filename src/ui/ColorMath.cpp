#include "ui/ColorMath.h"

#include "ui/controls/Gdi.h"

#include <algorithm>

namespace vantrel {

COLORREF BlendColors(COLORREF first, COLORREF second, int percent) {
    const COLORREF a = ColorToRGB(first);
    const COLORREF b = ColorToRGB(second);
    auto channel = [percent](int x, int y) {
        const int sum = percent * x + (100 - percent) * y;
        int quotient = sum / 100;
        const int remainder = sum % 100;
        if (remainder > 50 || (remainder == 50 && (quotient & 1)))
            ++quotient;
        return std::clamp(quotient, 0, 255);
    };
    return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
               channel(GetBValue(a), GetBValue(b)));
}

namespace {

// Hue, luminance and saturation on the 0..240 scale the Windows colour dialog uses.
constexpr int kHlsMax = 240;
constexpr int kRgbMax = 255;
constexpr int kHueUndefined = kHlsMax * 2 / 3;

void RgbToHls(COLORREF color, int& hue, int& luminance, int& saturation) {
    const int r = GetRValue(color);
    const int g = GetGValue(color);
    const int b = GetBValue(color);
    const int cMax = std::max({r, g, b});
    const int cMin = std::min({r, g, b});
    luminance = ((cMax + cMin) * kHlsMax + kRgbMax) / (2 * kRgbMax);
    if (cMax == cMin) {
        saturation = 0;
        hue = kHueUndefined;
        return;
    }
    const int spread = cMax - cMin;
    if (luminance <= kHlsMax / 2)
        saturation = (spread * kHlsMax + (cMax + cMin) / 2) / (cMax + cMin);
    else
        saturation =
            (spread * kHlsMax + (2 * kRgbMax - cMax - cMin) / 2) / (2 * kRgbMax - cMax - cMin);
    const int rDelta = ((cMax - r) * (kHlsMax / 6) + spread / 2) / spread;
    const int gDelta = ((cMax - g) * (kHlsMax / 6) + spread / 2) / spread;
    const int bDelta = ((cMax - b) * (kHlsMax / 6) + spread / 2) / spread;
    if (r == cMax)
        hue = bDelta - gDelta;
    else if (g == cMax)
        hue = kHlsMax / 3 + rDelta - bDelta;
    else
        hue = 2 * kHlsMax / 3 + gDelta - rDelta;
    if (hue < 0)
        hue += kHlsMax;
    if (hue > kHlsMax)
        hue -= kHlsMax;
}

int HueToRgb(int n1, int n2, int hue) {
    if (hue < 0)
        hue += kHlsMax;
    if (hue > kHlsMax)
        hue -= kHlsMax;
    if (hue < kHlsMax / 6)
        return n1 + ((n2 - n1) * hue + kHlsMax / 12) / (kHlsMax / 6);
    if (hue < kHlsMax / 2)
        return n2;
    if (hue < kHlsMax * 2 / 3)
        return n1 + ((n2 - n1) * (kHlsMax * 2 / 3 - hue) + kHlsMax / 12) / (kHlsMax / 6);
    return n1;
}

COLORREF HlsToRgb(int hue, int luminance, int saturation) {
    if (saturation == 0) {
        const int grey = luminance * kRgbMax / kHlsMax;
        return RGB(grey, grey, grey);
    }
    const int magic2 =
        luminance <= kHlsMax / 2
            ? (luminance * (kHlsMax + saturation) + kHlsMax / 2) / kHlsMax
            : luminance + saturation - (luminance * saturation + kHlsMax / 2) / kHlsMax;
    const int magic1 = 2 * luminance - magic2;
    auto channel = [](int value) {
        return std::clamp((value * kRgbMax + kHlsMax / 2) / kHlsMax, 0, kRgbMax);
    };
    return RGB(channel(HueToRgb(magic1, magic2, hue + kHlsMax / 3)),
               channel(HueToRgb(magic1, magic2, hue)),
               channel(HueToRgb(magic1, magic2, hue - kHlsMax / 3)));
}

} // namespace

COLORREF LightenColor(COLORREF color, int step) {
    int hue = 0;
    int luminance = 0;
    int saturation = 0;
    RgbToHls(ColorToRGB(color), hue, luminance, saturation);
    return HlsToRgb(hue, std::clamp(luminance + step, 0, kHlsMax), saturation);
}

} // namespace vantrel
