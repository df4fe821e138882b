#include "ui/controls/ALProgressBar.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vantrel {

namespace {

constexpr wchar_t kClassName[] = L"VantrelProgressBar";

TFontHandle CopyFont(HFONT font) {
    LOGFONTW lf{};
    if (!font || !GetObjectW(font, sizeof(lf), &lf))
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    return TFontHandle(CreateFontIndirectW(&lf));
}

// Rounds to the nearest integer, halves to the even one (the FPU's default mode).
std::int64_t RoundEven(double value) {
    return static_cast<std::int64_t>(std::nearbyint(value));
}

} // namespace

TALProgressBar::TALProgressBar()
    : FFont(CopyFont(nullptr)), FFontColor(SysColorRef(COLOR_WINDOWTEXT)),
      FBackgroundColor(SysColorRef(COLOR_BTNFACE)), FBorderColor1(SysColorRef(COLOR_BTNSHADOW)),
      FBorderColor2(SysColorRef(COLOR_BTNHIGHLIGHT)) {}

TALProgressBar::~TALProgressBar() {
    // The parent may outlive the bar; its subclass must not call back into freed memory.
    WatchParent(false);
    DestroyHandle();
}

// --- Placement ---

bool TALProgressBar::SetParent(HWND parent) {
    if (parent == FParent && (Handle() || !parent))
        return true;
    WatchParent(false);
    FParent = parent;
    if (!parent) {
        DestroyHandle();
        return true;
    }
    if (!FFontSet) {
        HFONT parentFont = reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0));
        if (parentFont)
            FFont = CopyFont(parentFont);
    }
    FillChanged();
    if (Handle()) {
        ::SetParent(Handle(), parent);
    } else {
        if (!RegisterWindowClass(kClassName, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW,
                                 LoadCursorW(nullptr, IDC_ARROW), nullptr))
            return false;
        if (!CreateHandle(0, kClassName, L"",
                          WS_CHILD | WS_CLIPSIBLINGS | (FVisible ? WS_VISIBLE : 0), FLeft, FTop,
                          FWidth, FHeight, parent))
            return false;
        UpdateToolTip();
    }
    if (FAlign != alNone) {
        WatchParent(true);
        Realign();
    }
    Repaint();
    return true;
}

void TALProgressBar::SetAlign(TAlign value) {
    FAlign = value;
    WatchParent(value != alNone && FParent);
    Realign();
}

void TALProgressBar::Realign() {
    if (FAlign == alNone || !FParent || !IsWindow(FParent))
        return;
    RECT client{};
    GetClientRect(FParent, &client);
    const int w = client.right - client.left;
    const int h = client.bottom - client.top;
    switch (FAlign) {
    case alTop:
        SetBounds(0, 0, w, FHeight);
        break;
    case alBottom:
        SetBounds(0, h - FHeight, w, FHeight);
        break;
    case alLeft:
        SetBounds(0, 0, FWidth, h);
        break;
    case alRight:
        SetBounds(w - FWidth, 0, FWidth, h);
        break;
    case alClient:
        SetBounds(0, 0, w, h);
        break;
    case alNone:
        break;
    }
}

void TALProgressBar::WatchParent(bool watch) {
    const auto id = reinterpret_cast<UINT_PTR>(this);
    if (FWatchedParent && (!watch || FWatchedParent != FParent)) {
        if (IsWindow(FWatchedParent))
            RemoveWindowSubclass(FWatchedParent, ParentProc, id);
        FWatchedParent = nullptr;
    }
    if (watch && FParent && !FWatchedParent &&
        SetWindowSubclass(FParent, ParentProc, id, reinterpret_cast<DWORD_PTR>(this)))
        FWatchedParent = FParent;
}

LRESULT CALLBACK TALProgressBar::ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR data) {
    auto* self = reinterpret_cast<TALProgressBar*>(data);
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, ParentProc, id);
        self->FWatchedParent = nullptr;
    }
    const LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
    if (msg == WM_SIZE) {
        // This procedure belongs to the parent, not to the bar: nothing may leave it.
        try {
            self->Realign();
        } catch (...) {
        }
    }
    return result;
}

void TALProgressBar::SetBounds(int left, int top, int width, int height) {
    if (width != FWidth || height != FHeight)
        FillChanged();
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    if (Handle())
        SetWindowPos(Handle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    Repaint();
}

void TALProgressBar::SetVisible(bool value) {
    FVisible = value;
    if (Handle())
        ShowWindow(Handle(), value ? SW_SHOWNA : SW_HIDE);
    Repaint();
}

void TALProgressBar::SetFont(HFONT font) {
    FFont = CopyFont(font);
    FFontSet = true;
    Repaint();
}

void TALProgressBar::SetFontColor(COLORREF value) {
    FFontColor = value;
    Repaint();
}

void TALProgressBar::SetHint(const std::wstring& value) {
    FHint = value;
    UpdateToolTip();
}

void TALProgressBar::SetShowHint(bool value) {
    FShowHint = value;
    UpdateToolTip();
}

void TALProgressBar::UpdateToolTip() {
    if (!Handle())
        return;
    bool wanted = FShowHint && !FHint.empty();
    if (!wanted) {
        if (FToolTip)
            DestroyWindow(FToolTip);
        FToolTip = nullptr;
        return;
    }
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(Handle());
    tool.lpszText = const_cast<wchar_t*>(FHint.c_str());
    if (!FToolTip) {
        FToolTip =
            CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(),
                            nullptr, GetModuleHandleW(nullptr), nullptr);
        if (FToolTip)
            SendMessageW(FToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
        SendMessageW(FToolTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

// --- Properties ---

void TALProgressBar::SetBackgroundColor(COLORREF value) {
    FBackgroundColor = value;
    Repaint();
}

void TALProgressBar::SetBarBitmap(HBITMAP value) {
    FBarBitmap.Assign(value);
    FillChanged();
    Repaint();
}

void TALProgressBar::SetBarColor1(COLORREF value) {
    FBarColor1 = value;
    FillChanged();
    Repaint();
}

void TALProgressBar::SetBarColor2(COLORREF value) {
    FBarColor2 = value;
    FillChanged();
    Repaint();
}

void TALProgressBar::SetBarColor3(COLORREF value) {
    FBarColor3 = value;
    FillChanged();
    Repaint();
}

void TALProgressBar::SetBarColorStyle(TBarColorStyle value) {
    FBarColorStyle = value;
    FillChanged();
    Repaint();
}

void TALProgressBar::SetBorderColor1(COLORREF value) {
    FBorderColor1 = value;
    Repaint();
}

void TALProgressBar::SetBorderColor2(COLORREF value) {
    FBorderColor2 = value;
    Repaint();
}

void TALProgressBar::SetDirection(TProgressDirection value) {
    FDirection = value;
    FillChanged();
    Repaint();
}

void TALProgressBar::SetMax(int value) {
    FMax = value;
    Repaint();
}

void TALProgressBar::SetMin(int value) {
    FMin = value;
    Repaint();
}

void TALProgressBar::SetPercentage(bool value) {
    FPercentage = value;
    Repaint();
}

void TALProgressBar::SetPosition(int value) {
    if (value == FPosition || value > FMax || value < FMin)
        return;
    FPosition = value;
    FRebuildFill = false;
    Repaint();
    FRebuildFill = true;
}

void TALProgressBar::SetPosTextPrefix(const std::wstring& value) {
    FPosTextPrefix = value;
    Repaint();
}

void TALProgressBar::SetPosTextSuffix(const std::wstring& value) {
    FPosTextSuffix = value;
    Repaint();
}

void TALProgressBar::SetShowBorder(bool value) {
    FShowBorder = value;
    Repaint();
}

void TALProgressBar::SetShowPosText(bool value) {
    FShowPosText = value;
    Repaint();
}

std::wstring TALProgressBar::PosText() const {
    std::int64_t number = FPosition;
    if (FPercentage) {
        // A percentage of a zero maximum has no value; show 0 rather than a division's noise.
        number = FMax == 0 ? 0 : RoundEven(static_cast<double>(FPosition) * 100.0 / FMax);
    }
    return FPosTextPrefix + std::to_wstring(number) + FPosTextSuffix;
}

// --- Painting ---

void TALProgressBar::FillChanged() {
    FFillCacheValid = false;
}

void TALProgressBar::Repaint() {
    // Synchronous: the bar shows the new value before the setter returns.
    if (Handle() && IsWindowVisible(Handle()))
        RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void TALProgressBar::PaintTo(HDC dc) {
    if (FWidth <= 0 || FHeight <= 0 || !FBuffer.SetSize(FWidth, FHeight))
        return;
    {
        TScopedSelect font(FBuffer.DC(), FFont.Get());
        DrawBar(FRebuildFill);
        if (FShowBorder)
            DrawBorder();
        if (FShowPosText)
            DrawPosText();
    }
    BitBlt(dc, 0, 0, FWidth, FHeight, FBuffer.DC(), 0, 0, SRCCOPY);
}

void TALProgressBar::DrawBar(bool rebuild) {
    const int w = FWidth;
    const int h = FHeight;
    HDC buffer = FBuffer.DC();
    const bool cacheUsable = FFillCacheValid && FFillCache.Width() == w && FFillCache.Height() == h;
    if (!FBarBitmap.Empty()) {
        if (rebuild || !cacheUsable) {
            FFillCache.SetSize(w, h);
            TileBarBitmap();
            FFillCacheValid = true;
        }
        BitBlt(buffer, 0, 0, w, h, FFillCache.DC(), 0, 0, SRCCOPY);
    } else if (FBarColorStyle == cs1Color) {
        FillSolidRect(buffer, RECT{0, 0, w, h}, FBarColor1);
    } else {
        if (rebuild || !cacheUsable) {
            FFillCache.SetSize(w, h);
            DrawGradient();
            FFillCacheValid = true;
        }
        BitBlt(buffer, 0, 0, w, h, FFillCache.DC(), 0, 0, SRCCOPY);
    }

    const bool horizontal = FDirection == pdLeftToRight || FDirection == pdRightToLeft;
    const int b = FShowBorder ? 1 : 0;
    const std::int64_t track = (horizontal ? w : h) - 2 * b;
    std::int64_t filled = 0;
    if (FPosition > FMin && FMax != FMin) {
        const double span = std::fabs(static_cast<double>(FMax) - FMin);
        filled = RoundEven((static_cast<double>(FPosition) - FMin) * track / span);
    }
    const std::int64_t empty = track - filled;
    if (empty <= 0)
        return;
    const int e = static_cast<int>(empty);
    RECT strip{b, b, w - b, h - b};
    switch (FDirection) {
    case pdLeftToRight:
        strip.left = (w - b) - e;
        break;
    case pdRightToLeft:
        strip.right = b + e;
        break;
    case pdTopToBottom:
        strip.top = (h - b) - e;
        break;
    case pdBottomToTop:
        strip.bottom = b + e;
        break;
    }
    FillSolidRect(buffer, strip, FBackgroundColor);
}

COLORREF TALProgressBar::GradientColor(COLORREF start, COLORREF end, int i, int n) {
    if (i < 1 || i > n)
        throw std::out_of_range("ColorIndex can't be less than 1 or greater than " +
                                std::to_string(n));
    const COLORREF from = ColorToRGB(start);
    if (n == 1)
        return from;
    const COLORREF to = ColorToRGB(end);
    auto channel = [&](int a, int z) { return a + MulDiv(i - 1, z - a, n - 1); };
    return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
               channel(GetBValue(from), GetBValue(to)));
}

void TALProgressBar::DrawGradient() {
    const int wc = FFillCache.Width();
    const int hc = FFillCache.Height();
    HDC dc = FFillCache.DC();
    const bool horizontal = FDirection == pdLeftToRight || FDirection == pdRightToLeft;
    // Runs in drawing order (from the left or the top), so that BarColor1 lies where the fill
    // begins.
    const bool reversed = FDirection == pdRightToLeft || FDirection == pdBottomToTop;
    const int length = horizontal ? wc : hc;
    COLORREF first1, first2, second1 = 0, second2 = 0;
    int half = length;
    if (FBarColorStyle == cs2Colors) {
        first1 = reversed ? FBarColor2 : FBarColor1;
        first2 = reversed ? FBarColor1 : FBarColor2;
    } else {
        half = length / 2;
        first1 = reversed ? FBarColor3 : FBarColor1;
        first2 = FBarColor2;
        second1 = FBarColor2;
        second2 = reversed ? FBarColor1 : FBarColor3;
    }
    for (int k = 0; k < length; ++k) {
        const COLORREF color = k < half
                                   ? GradientColor(first1, first2, k + 1, half)
                                   : GradientColor(second1, second2, k - half + 1, length - half);
        if (horizontal)
            DrawLine(dc, POINT{k, 0}, POINT{k, hc}, color);
        else
            DrawLine(dc, POINT{0, k}, POINT{wc, k}, color);
    }
}

void TALProgressBar::TileBarBitmap() {
    const int tw = FBarBitmap.Width();
    const int th = FBarBitmap.Height();
    const int w = FFillCache.Width();
    const int h = FFillCache.Height();
    const int rows = h / th + 1;
    const int columns = w / tw + 1;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            BitBlt(FFillCache.DC(), c * tw, r * th, tw, th, FBarBitmap.DC(), 0, 0, SRCCOPY);
}

void TALProgressBar::DrawBorder() {
    HDC dc = FBuffer.DC();
    const int w = FWidth;
    const int h = FHeight;
    DrawLine(dc, POINT{w - 1, 0}, POINT{0, 0}, FBorderColor1);
    DrawLine(dc, POINT{0, 0}, POINT{0, h}, FBorderColor1);
    DrawLine(dc, POINT{1, h - 1}, POINT{w - 1, h - 1}, FBorderColor2);
    DrawLine(dc, POINT{w - 1, h - 1}, POINT{w - 1, 0}, FBorderColor2);
}

void TALProgressBar::DrawPosText() {
    HDC dc = FBuffer.DC();
    const std::wstring text = PosText();
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    const int x = FWidth / 2 - extent.cx / 2;
    const int y = FHeight / 2 - extent.cy / 2;
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColor = SetTextColor(dc, ColorToRGB(FFontColor));
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
}

// --- The window ---

bool TALProgressBar::HasMouseHandlers() const {
    return OnClick || OnDblClick || OnMouseDown || OnMouseMove || OnMouseUp ||
           (FShowHint && !FHint.empty());
}

LRESULT TALProgressBar::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT painted = 0;
    if (HandleOwnPaint(msg, wParam, [this](HDC dc) { PaintTo(dc); }, painted))
        return painted;
    switch (msg) {
    case WM_SETFONT:
        SetFont(reinterpret_cast<HFONT>(wParam));
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(FFont.Get());
    case WM_NCHITTEST:
        if (!HasMouseHandlers())
            return HTTRANSPARENT;
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        UINT button = msg == WM_LBUTTONDOWN   ? MK_LBUTTON
                      : msg == WM_RBUTTONDOWN ? MK_RBUTTON
                                              : MK_MBUTTON;
        if (msg == WM_LBUTTONDOWN) {
            FMouseDown = true;
            SetCapture(Handle());
        }
        if (OnMouseDown)
            OnMouseDown(*this, button, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        UINT button = msg == WM_LBUTTONUP   ? MK_LBUTTON
                      : msg == WM_RBUTTONUP ? MK_RBUTTON
                                            : MK_MBUTTON;
        const int x = GET_X_LPARAM(lParam);
        const int y = GET_Y_LPARAM(lParam);
        const bool click = msg == WM_LBUTTONUP && FMouseDown;
        if (msg == WM_LBUTTONUP) {
            FMouseDown = false;
            if (GetCapture() == Handle())
                ReleaseCapture();
        }
        if (OnMouseUp)
            OnMouseUp(*this, button, x, y);
        // A click is a press and release over the bar, as with a button.
        if (click && x >= 0 && y >= 0 && x < FWidth && y < FHeight && OnClick)
            OnClick(*this);
        return 0;
    }
    case WM_LBUTTONDBLCLK:
        FMouseDown = true;
        SetCapture(Handle());
        if (OnDblClick)
            OnDblClick(*this);
        return 0;
    case WM_MOUSEMOVE:
        if (OnMouseMove)
            OnMouseMove(*this, 0, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_CAPTURECHANGED:
        FMouseDown = false;
        return 0;
    case WM_DESTROY:
        // The tool tip is a pop-up owned by the bar's top-level window, so it would outlive the
        // bar (and keep a tool for a dead window) if it were not destroyed here.
        if (FToolTip) {
            DestroyWindow(FToolTip);
            FToolTip = nullptr;
        }
        break;
    }
    return TWindow::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
