#include "ui/Presentation.h"

#include "ui/Resources.h"

#include <algorithm>
#include <stdexcept>

namespace vantrel {

int WindowsVersionLevel(DWORD major, DWORD minor) {
    if (major == 6 && minor == 1)
        return 6;
    if (major == 6 && minor == 0)
        return 5;
    if (major == 5 && minor == 1)
        return 4;
    if (major == 5 && minor == 0)
        return 3;
    if (major <= 4)
        return 1;
    return 0;
}

int WindowsVersionLevel() {
    // GetVersionExW answers what the manifest declares support for; ntdll tells the truth.
    using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto getVersion = ntdll ? reinterpret_cast<TRtlGetVersion>(
                                  reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                            : nullptr;
    if (!getVersion || getVersion(&info) != 0) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExW(&info))
            return 0;
#pragma GCC diagnostic pop
    }
    return WindowsVersionLevel(info.dwMajorVersion, info.dwMinorVersion);
}

std::wstring SystemFontName(int level) {
    return level == 5 || level == 6 ? L"Segoe UI" : L"Tahoma";
}

int SystemFontSize(int level) {
    return level == 5 || level == 6 ? 9 : 8;
}

std::wstring SystemFontName() {
    return SystemFontName(WindowsVersionLevel());
}

int SystemFontSize() {
    return SystemFontSize(WindowsVersionLevel());
}

TFontHandle CreatePointFont(const std::wstring& face, int points, int dpi, bool bold,
                            bool underline) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(points, dpi, 72);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = underline ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    return TFontHandle(CreateFontIndirectW(&lf));
}

TFontHandle CreateSystemFont(int dpi, bool bold, bool underline) {
    const int level = WindowsVersionLevel();
    return CreatePointFont(SystemFontName(level), SystemFontSize(level), dpi, bold, underline);
}

int WindowDpi(HWND window) {
    return DpiOfWindow(window);
}

HICON LoadProgramIcon(int resourceId, int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

HIMAGELIST CreateImageListMain32b(int iconSize) {
    HIMAGELIST list = ImageList_Create(iconSize, iconSize, ILC_COLOR32 | ILC_MASK, 0, 4);
    if (!list)
        throw std::runtime_error("Invalid ImageList");
    for (int i = 0; i < kMainIconCount; ++i) {
        HICON icon = LoadProgramIcon(IDI_MAIN_ICON(i), iconSize);
        const int added = icon ? ImageList_AddIcon(list, icon) : -1;
        if (icon)
            DestroyIcon(icon);
        if (added != i) {
            // A missing picture would move every later index onto the wrong command.
            ImageList_Destroy(list);
            throw std::runtime_error("Invalid ImageList");
        }
    }
    return list;
}

namespace {

// Whether the list was created with ILC_MASK. The platform tells that only through an image's
// information, so an empty list is asked with a blank picture that is removed again.
bool IsMasked(HIMAGELIST list, int width, int height) {
    IMAGEINFO info{};
    if (ImageList_GetImageCount(list) > 0)
        return ImageList_GetImageInfo(list, 0, &info) && info.hbmMask;
    TScopedGetDC screen(nullptr);
    TBitmapHandle blank(CreateCompatibleBitmap(screen.Get(), width, height));
    if (!blank || ImageList_Add(list, blank.Get(), nullptr) != 0)
        return false;
    const bool masked = ImageList_GetImageInfo(list, 0, &info) && info.hbmMask;
    ImageList_Remove(list, 0);
    return masked;
}

} // namespace

void ConvertImageListTo32Bit(HIMAGELIST& list, int growBy) {
    if (!list)
        return;
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(list, &width, &height);
    const int count = ImageList_GetImageCount(list);
    const bool masked = IsMasked(list, width, height);
    HIMAGELIST converted =
        ImageList_Create(width, height, ILC_COLOR32 | (masked ? ILC_MASK : 0), 0, growBy);
    if (!converted)
        throw std::runtime_error("Invalid ImageList");
    for (int i = 0; i < count; ++i) {
        HICON icon = ImageList_GetIcon(list, i, ILD_NORMAL);
        if (icon) {
            ImageList_AddIcon(converted, icon);
            DestroyIcon(icon);
        }
    }
    ImageList_Destroy(list);
    list = converted;
}

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
