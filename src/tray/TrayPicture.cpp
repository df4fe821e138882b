#include "tray/TrayPicture.h"

#include "ui/ColorMath.h"
#include "ui/UserList.h"

#include <algorithm>
#include <vector>

namespace vantrel {

namespace {

// How much of the bar's own colour is left in the greyed bar outside the allowed hours.
constexpr int kGreyedColorPercent = 30;
// The fill's light and dark ends as the time runs low; dark enough at the dark end to stand out
// against the bar's light face.
constexpr COLORREF kLowColor1 = RGB(255, 204, 128);
constexpr COLORREF kLowColor2 = RGB(204, 102, 0);
constexpr COLORREF kVeryLowColor1 = RGB(255, 160, 160);
constexpr COLORREF kVeryLowColor2 = RGB(192, 0, 0);
constexpr COLORREF kUsedUpMark = RGB(204, 0, 0);
// The fewest rows of fill that show any time left: one row reads as an empty bar.
constexpr int kLeastFilledRows = 2;

template <typename T> T User32Function(const char* name) {
    return reinterpret_cast<T>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

} // namespace

COLORREF TrayMarkColor(TTrayPicture picture, bool highContrast) {
    if (highContrast)
        return GetSysColor(COLOR_WINDOWTEXT);
    return picture == TTrayPicture::OverLimit ? kUsedUpMark : GetSysColor(COLOR_BTNTEXT);
}

void ApplyTrayColors(TALProgressBar& bar, TTrayPicture picture, bool highContrast, bool icon,
                     TTrayLevel level) {
    const bool greyed = picture == TTrayPicture::OutsideHours;
    const bool broken = picture == TTrayPicture::Stale;
    if (highContrast) {
        const COLORREF fill = SysColorRef(greyed ? COLOR_GRAYTEXT : COLOR_HIGHLIGHT);
        const COLORREF frame = SysColorRef(broken ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
        bar.SetBarColorStyle(cs1Color);
        bar.SetBarColor1(fill);
        bar.SetBackgroundColor(SysColorRef(COLOR_WINDOW));
        bar.SetBorderColor1(frame);
        bar.SetBorderColor2(frame);
        return;
    }
    const COLORREF grey = SysColorRef(COLOR_GRAYTEXT);
    const bool low = picture == TTrayPicture::TimeLeft && level == TTrayLevel::Low;
    const bool veryLow = picture == TTrayPicture::TimeLeft && level == TTrayLevel::VeryLow;
    COLORREF light = veryLow ? kVeryLowColor1 : low ? kLowColor1 : kBarColor1;
    COLORREF dark = veryLow ? kVeryLowColor2 : low ? kLowColor2 : kBarColor2;
    if (greyed) {
        light = BlendColors(light, grey, kGreyedColorPercent);
        dark = BlendColors(dark, grey, kGreyedColorPercent);
    }
    bar.SetBarColorStyle(cs2Colors);
    bar.SetBarColor1(icon ? dark : light);
    bar.SetBarColor2(icon ? light : dark);
    bar.SetBackgroundColor(SysColorRef(COLOR_BTNFACE));
    bar.SetBorderColor1(broken ? grey : SysColorRef(COLOR_BTNSHADOW));
    bar.SetBorderColor2(broken ? grey : SysColorRef(icon ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT));
}

int TrayIconSize(int dpi) {
    using TGetSystemMetricsForDpi = int(WINAPI*)(int, UINT);
    static const auto forDpi = User32Function<TGetSystemMetricsForDpi>("GetSystemMetricsForDpi");
    if (forDpi)
        return forDpi(SM_CXSMICON, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(SM_CXSMICON), dpi, DpiOfWindow(nullptr));
}

bool HighContrastOn() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

void TTrayPainter::DrawMark(const TTrayLook& look, const RECT& inside) {
    HDC dc = FCanvas.DC();
    const COLORREF color = TrayMarkColor(look.Picture, look.HighContrast);
    const int size = look.Size;
    if (look.Picture == TTrayPicture::OverLimit) {
        // A cross over the whole empty bar, two pixels thick at 16 pixels.
        const int thickness = std::max(2, size / 8);
        TBrushHandle brush(CreateSolidBrush(color));
        const int w = inside.right - inside.left;
        const int h = inside.bottom - inside.top;
        for (int y = 0; y < h; ++y) {
            // Each row's two strokes, from corner to corner.
            const int x = (y * (w - thickness) + (h - 1) / 2) / std::max(1, h - 1);
            const RECT one{inside.left + x, inside.top + y, inside.left + x + thickness,
                           inside.top + y + 1};
            const RECT two{inside.right - x - thickness, inside.top + y, inside.right - x,
                           inside.top + y + 1};
            FillRect(dc, &one, brush.Get());
            FillRect(dc, &two, brush.Get());
        }
    } else if (look.Picture == TTrayPicture::Stale) {
        // A question mark as tall as the bar's inside allows.
        TFontHandle font(CreateFontW(-(inside.bottom - inside.top), 0, 0, 0, FW_BOLD, FALSE, FALSE,
                                     FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                     DEFAULT_PITCH | FF_SWISS, L"Arial"));
        TScopedSelect select(dc, font.Get());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, color);
        RECT box = inside;
        DrawTextW(dc, L"?", 1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
    }
}

HICON TTrayPainter::Draw(const TTrayLook& look) {
    const int size = look.Size;
    if (size <= 0 || !FCanvas.SetSize(size, size))
        return nullptr;
    // Upright and centred, about ten sixteenths of the square wide, with equal margins.
    int width = (size * 10 + 8) / 16;
    if ((size - width) % 2)
        ++width;
    const int left = (size - width) / 2;
    ApplyTrayColors(FBar, look.Picture, look.HighContrast, true, look.Level);
    FBar.SetShowPosText(false);
    FBar.SetDirection(pdBottomToTop);
    FBar.SetMin(0);
    FBar.SetMax(100);
    // Any time left shows as two rows at least: an empty bar says the time is used up.
    const int track = size - 2;
    int position = std::clamp(look.Share, 0, 100);
    if (position > 0 && track > 0)
        position = std::max(position, (kLeastFilledRows * 100 + track - 1) / track);
    FBar.SetPosition(position);
    FBar.SetBounds(0, 0, width, size);
    POINT origin{};
    SetViewportOrgEx(FCanvas.DC(), left, 0, &origin);
    FBar.PaintTo(FCanvas.DC());
    SetViewportOrgEx(FCanvas.DC(), origin.x, origin.y, nullptr);
    DrawMark(look, RECT{left + 1, 1, left + width - 1, size - 1});

    // Opaque where the bar is and clear around it; a broken frame leaves every other pixel out.
    std::vector<DWORD> pixels(static_cast<size_t>(size) * size, 0);
    const int maskStride = ((size + 15) / 16) * 2;
    std::vector<BYTE> mask(static_cast<size_t>(maskStride) * size, 0xFF);
    for (int y = 0; y < size; ++y) {
        for (int x = left; x < left + width; ++x) {
            const bool frame = x == left || x == left + width - 1 || y == 0 || y == size - 1;
            if (look.Picture == TTrayPicture::Stale && frame && (x + y) % 2)
                continue;
            const COLORREF color = FCanvas.Pixel(x, y);
            pixels[static_cast<size_t>(y) * size + x] =
                0xFF000000u | (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
            mask[static_cast<size_t>(y) * maskStride + x / 8] &=
                static_cast<BYTE>(~(0x80 >> (x % 8)));
        }
    }
    BITMAPINFO info = TopDownBitmapInfo(size, size);
    void* bits = nullptr;
    TBitmapHandle color(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    TBitmapHandle monochrome(CreateBitmap(size, size, 1, 1, mask.data()));
    if (!color || !bits || !monochrome)
        return nullptr;
    std::copy(pixels.begin(), pixels.end(), static_cast<DWORD*>(bits));
    ICONINFO icon{};
    icon.fIcon = TRUE;
    icon.hbmMask = monochrome.Get();
    icon.hbmColor = color.Get();
    // The icon holds copies; the bitmaps go with their owners.
    return CreateIconIndirect(&icon);
}

} // namespace vantrel
