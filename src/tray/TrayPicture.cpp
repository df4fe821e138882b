#include "tray/TrayPicture.h"

#include "ui/ColorMath.h"
#include "ui/UserList.h"

#include <algorithm>
#include <vector>

namespace vantrel {

namespace {

// How much of the bar's own colour is left in the greyed bar outside the allowed hours.
constexpr int kGreyedColorPercent = 30;

template <typename T> T User32Function(const char* name) {
    return reinterpret_cast<T>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

} // namespace

void ApplyTrayColors(TALProgressBar& bar, TTrayPicture picture, bool highContrast, bool icon) {
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
    const COLORREF light = greyed ? BlendColors(kBarColor1, grey, kGreyedColorPercent) : kBarColor1;
    const COLORREF dark = greyed ? BlendColors(kBarColor2, grey, kGreyedColorPercent) : kBarColor2;
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

HICON TTrayPainter::Draw(const TTrayLook& look) {
    const int size = look.Size;
    if (size <= 0 || !FCanvas.SetSize(size, size))
        return nullptr;
    // Upright and centred, about ten sixteenths of the square wide, with equal margins.
    int width = (size * 10 + 8) / 16;
    if ((size - width) % 2)
        ++width;
    const int left = (size - width) / 2;
    ApplyTrayColors(FBar, look.Picture, look.HighContrast, true);
    FBar.SetShowPosText(false);
    FBar.SetDirection(pdBottomToTop);
    FBar.SetMin(0);
    FBar.SetMax(100);
    // Any time left shows as a pixel at least: an empty bar says the time is used up.
    const int track = size - 2;
    int position = std::clamp(look.Share, 0, 100);
    if (position > 0 && track > 0)
        position = std::max(position, (100 + track - 1) / track);
    FBar.SetPosition(position);
    FBar.SetBounds(0, 0, width, size);
    POINT origin{};
    SetViewportOrgEx(FCanvas.DC(), left, 0, &origin);
    FBar.PaintTo(FCanvas.DC());
    SetViewportOrgEx(FCanvas.DC(), origin.x, origin.y, nullptr);

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
