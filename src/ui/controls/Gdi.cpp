#include "ui/controls/Gdi.h"

#include <cstring>

namespace vantrel {

COLORREF ColorToRGB(COLORREF color) {
    if (IsSysColorRef(color))
        return GetSysColor(static_cast<int>(color & 0xFF));
    return color & 0x00FFFFFF;
}

TMemoryPicture::TMemoryPicture() : FDC(CreateCompatibleDC(nullptr)) {}

TMemoryPicture::~TMemoryPicture() {
    Clear();
    if (FDC)
        DeleteDC(FDC);
}

void TMemoryPicture::Clear() {
    if (FBitmap) {
        SelectObject(FDC, FOldBitmap);
        DeleteObject(FBitmap);
    }
    FBitmap = nullptr;
    FOldBitmap = nullptr;
    FBits = nullptr;
    FWidth = 0;
    FHeight = 0;
}

BITMAPINFO TopDownBitmapInfo(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

bool TMemoryPicture::SetSize(int width, int height) {
    if (FBitmap && width == FWidth && height == FHeight)
        return true;
    Clear();
    if (width <= 0 || height <= 0 || !FDC)
        return width <= 0 || height <= 0;
    BITMAPINFO info = TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(FDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return false;
    FBitmap = bitmap;
    FBits = bits;
    FOldBitmap = SelectObject(FDC, bitmap);
    FWidth = width;
    FHeight = height;
    return true;
}

COLORREF TMemoryPicture::Pixel(int x, int y) const {
    if (!FBits || x < 0 || y < 0 || x >= FWidth || y >= FHeight)
        return CLR_INVALID;
    GdiFlush();
    const auto* row = static_cast<const BYTE*>(FBits) + static_cast<size_t>(y) * FWidth * 4;
    const BYTE* p = row + static_cast<size_t>(x) * 4;
    return RGB(p[2], p[1], p[0]);
}

bool TMemoryPicture::Assign(HBITMAP source) {
    if (!source) {
        Clear();
        return true;
    }
    BITMAP info{};
    if (!GetObjectW(source, sizeof(info), &info))
        return false;
    Clear();
    if (!SetSize(info.bmWidth, info.bmHeight))
        return false;
    // GetDIBits reads the pixels straight into our own bits, in our own format, whatever the
    // source picture's depth. The source must not be selected into a device context meanwhile.
    BITMAPINFO format = TopDownBitmapInfo(FWidth, FHeight);
    GdiFlush();
    TScopedGetDC screen(nullptr);
    const int rows = GetDIBits(screen.Get(), source, 0, static_cast<UINT>(FHeight), FBits, &format,
                               DIB_RGB_COLORS);
    if (rows != FHeight) {
        Clear();
        return false;
    }
    return true;
}

namespace {
template <typename T> T User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                  : nullptr;
}
} // namespace

int DpiOfWindow(HWND window) {
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    using TGetDpiForSystem = UINT(WINAPI*)();
    static const auto forWindow = User32Function<TGetDpiForWindow>("GetDpiForWindow");
    static const auto forSystem = User32Function<TGetDpiForSystem>("GetDpiForSystem");
    UINT dpi = 0;
    if (window && forWindow)
        dpi = forWindow(window);
    else if (!window && forSystem)
        dpi = forSystem();
    if (dpi == 0) {
        TScopedGetDC screen(nullptr);
        dpi = static_cast<UINT>(GetDeviceCaps(screen.Get(), LOGPIXELSY));
    }
    return dpi ? static_cast<int>(dpi) : 96;
}

bool AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    using TAdjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = User32Function<TAdjust>("AdjustWindowRectExForDpi");
    if (adjust)
        return adjust(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi)) != FALSE;
    return AdjustWindowRectEx(&rect, style, FALSE, exStyle) != FALSE;
}

void FillSolidRect(HDC dc, const RECT& rect, COLORREF color) {
    // ExtTextOut with ETO_OPAQUE fills with the background colour without making a brush.
    COLORREF old = SetBkColor(dc, ColorToRGB(color));
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    SetBkColor(dc, old);
}

void DrawLine(HDC dc, POINT from, POINT to, COLORREF color) {
    TPenHandle pen(CreatePen(PS_SOLID, 1, ColorToRGB(color)));
    TScopedSelect select(dc, pen.Get());
    MoveToEx(dc, from.x, from.y, nullptr);
    LineTo(dc, to.x, to.y);
}

} // namespace vantrel
