#pragma once
// Small owners and scoped helpers for GDI, and the colour values the controls work with.
#include <windows.h>

#include <utility>

namespace vantrel {

// A colour is either a plain 0x00BBGGRR value or a reference to a system colour (the high bit
// set, the COLOR_* index in the low byte). References are resolved by ColorToRGB before any
// arithmetic, so a change of the system colours shows at the next paint.
inline constexpr COLORREF kSysColorFlag = 0x80000000u;
constexpr COLORREF SysColorRef(int index) {
    return kSysColorFlag | static_cast<COLORREF>(index);
}
constexpr bool IsSysColorRef(COLORREF color) {
    return (color & kSysColorFlag) != 0;
}
COLORREF ColorToRGB(COLORREF color);

// The format of a 32-bit top-down picture: row y starts at pixel y * width.
BITMAPINFO TopDownBitmapInfo(int width, int height);

// Owns one GDI object (bitmap, font, brush, pen); move-only.
template <typename T> class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(T handle) : FHandle(handle) {}
    ~TGdiObject() { Reset(); }
    TGdiObject(TGdiObject&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
    TGdiObject& operator=(TGdiObject&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.FHandle, nullptr));
        return *this;
    }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;

    T Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }
    void Reset(T handle = nullptr) {
        if (FHandle)
            DeleteObject(FHandle);
        FHandle = handle;
    }
    T Release() { return std::exchange(FHandle, nullptr); }

private:
    T FHandle = nullptr;
};

using TBitmapHandle = TGdiObject<HBITMAP>;
using TFontHandle = TGdiObject<HFONT>;
using TBrushHandle = TGdiObject<HBRUSH>;
using TPenHandle = TGdiObject<HPEN>;

// Selects an object into a DC for the lifetime of the scope.
class TScopedSelect {
public:
    TScopedSelect(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
    ~TScopedSelect() {
        if (FOld)
            SelectObject(FDC, FOld);
    }
    TScopedSelect(const TScopedSelect&) = delete;
    TScopedSelect& operator=(const TScopedSelect&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// GetDC / ReleaseDC for a window (nullptr = the screen).
class TScopedGetDC {
public:
    explicit TScopedGetDC(HWND window) : FWindow(window), FDC(GetDC(window)) {}
    ~TScopedGetDC() {
        if (FDC)
            ReleaseDC(FWindow, FDC);
    }
    TScopedGetDC(const TScopedGetDC&) = delete;
    TScopedGetDC& operator=(const TScopedGetDC&) = delete;
    HDC Get() const { return FDC; }

private:
    HWND FWindow;
    HDC FDC;
};

// An off-screen picture: a top-down 32-bit DIB section selected into its own memory DC.
// A size of 0 in either direction leaves it empty (no bitmap).
class TMemoryPicture {
public:
    TMemoryPicture();
    ~TMemoryPicture();
    TMemoryPicture(const TMemoryPicture&) = delete;
    TMemoryPicture& operator=(const TMemoryPicture&) = delete;

    // Keeps the content when the size does not change. Returns false if GDI refused.
    bool SetSize(int width, int height);
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    bool Empty() const { return FBitmap == nullptr; }
    HDC DC() const { return FDC; }
    HBITMAP Bitmap() const { return FBitmap; }
    // The pixel at (x, y) as 0x00BBGGRR; CLR_INVALID outside.
    COLORREF Pixel(int x, int y) const;
    // Copies any bitmap (nullptr empties the picture). Alpha is kept for 32-bit sources.
    bool Assign(HBITMAP source);
    void Clear();

private:
    HDC FDC = nullptr;
    HBITMAP FBitmap = nullptr;
    HGDIOBJ FOldBitmap = nullptr;
    void* FBits = nullptr;
    int FWidth = 0;
    int FHeight = 0;
};

// The DPI a window is shown at (the system DPI for nullptr). Looked up at run time, so that
// the program still starts on versions before Windows 10 (where it answers the system DPI).
int DpiOfWindow(HWND window);
// AdjustWindowRectExForDpi where the platform has it, else AdjustWindowRectEx.
bool AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi);

void FillSolidRect(HDC dc, const RECT& rect, COLORREF color);
// A one-pixel line from `from` to `to`, the end point excluded (as LineTo draws).
void DrawLine(HDC dc, POINT from, POINT to, COLORREF color);

} // namespace vantrel
