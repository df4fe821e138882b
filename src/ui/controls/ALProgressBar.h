#pragma once
// A progress bar with a solid, two-colour or three-colour gradient or a tiled picture fill,
// a sunken border and a centred text. It is a small child window (so that it can sit inside
// a list view) that composes every paint off-screen and copies it in one step.
//
// Created without a parent; SetParent creates the window on first use. Until then, and while
// hidden, setters only store their values. PaintTo draws the bar onto any DC at (0, 0), which is
// what the window's own paint does.
#include "ui/controls/Gdi.h"
#include "ui/controls/Window.h"

#include <functional>
#include <string>

namespace vantrel {

enum TProgressDirection { pdLeftToRight, pdRightToLeft, pdBottomToTop, pdTopToBottom };
enum TBarColorStyle { cs1Color, cs2Colors, cs3Colors };
// Where the bar docks inside its parent's client area; alNone keeps SetBounds.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TALProgressBar : public TWindow {
public:
    using TNotifyEvent = std::function<void(TALProgressBar& sender)>;
    // Client coordinates of the bar; button is MK_LBUTTON, MK_RBUTTON or MK_MBUTTON (0 on move).
    using TMouseEvent = std::function<void(TALProgressBar& sender, UINT button, int x, int y)>;

    TALProgressBar();
    ~TALProgressBar() override;

    // --- Placement, font, hint ---
    // Makes `parent` the bar's parent window, creating the child window the first time.
    // Until a font was set, the bar takes the parent's font (WM_GETFONT).
    bool SetParent(HWND parent);
    HWND Parent() const { return FParent; }
    void SetBounds(int left, int top, int width, int height);
    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetVisible(bool value);
    bool Visible() const { return FVisible; }
    // Docks the bar to an edge (keeping its height or width) or fills the parent, and follows
    // the parent's size from then on.
    void SetAlign(TAlign value);
    TAlign Align() const { return FAlign; }
    // Copies the font (the caller keeps its handle) and repaints.
    void SetFont(HFONT font);
    HFONT Font() const { return FFont.Get(); }
    void SetFontColor(COLORREF value);
    COLORREF FontColor() const { return FFontColor; }
    // Tooltip text shown while ShowHint is on; empty shows none.
    void SetHint(const std::wstring& value);
    const std::wstring& Hint() const { return FHint; }
    void SetShowHint(bool value);
    bool ShowHint() const { return FShowHint; }

    // Mouse events. While none is set the bar lets the mouse through to its parent, so a
    // click on a bar in the user list selects the row beneath it.
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseMove;
    TMouseEvent OnMouseUp;

    // --- Appearance: every setter repaints at once ---
    COLORREF BackgroundColor() const { return FBackgroundColor; }
    void SetBackgroundColor(COLORREF value);
    // The picture is copied; nullptr clears it. A non-empty picture replaces the colours.
    void SetBarBitmap(HBITMAP value);
    const TMemoryPicture& BarBitmap() const { return FBarBitmap; }
    COLORREF BarColor1() const { return FBarColor1; }
    void SetBarColor1(COLORREF value);
    COLORREF BarColor2() const { return FBarColor2; }
    void SetBarColor2(COLORREF value);
    COLORREF BarColor3() const { return FBarColor3; }
    void SetBarColor3(COLORREF value);
    TBarColorStyle BarColorStyle() const { return FBarColorStyle; }
    void SetBarColorStyle(TBarColorStyle value);
    COLORREF BorderColor1() const { return FBorderColor1; }
    void SetBorderColor1(COLORREF value);
    COLORREF BorderColor2() const { return FBorderColor2; }
    void SetBorderColor2(COLORREF value);
    TProgressDirection Direction() const { return FDirection; }
    void SetDirection(TProgressDirection value);
    int Max() const { return FMax; }
    void SetMax(int value);
    int Min() const { return FMin; }
    void SetMin(int value);
    bool Percentage() const { return FPercentage; }
    void SetPercentage(bool value);
    int Position() const { return FPosition; }
    // Ignores a value equal to the position, above Max or below Min (no change, no repaint).
    void SetPosition(int value);
    const std::wstring& PosTextPrefix() const { return FPosTextPrefix; }
    void SetPosTextPrefix(const std::wstring& value);
    const std::wstring& PosTextSuffix() const { return FPosTextSuffix; }
    void SetPosTextSuffix(const std::wstring& value);
    bool ShowBorder() const { return FShowBorder; }
    void SetShowBorder(bool value);
    bool ShowPosText() const { return FShowPosText; }
    void SetShowPosText(bool value);

    // The text DrawPosText draws: prefix + position or percentage + suffix.
    std::wstring PosText() const;

    // Composes the bar of the current size and copies it to `dc` at (0, 0).
    void PaintTo(HDC dc);

    // Colour of step i (1..n) of a run of n steps from start to end; throws std::out_of_range
    // "ColorIndex can't be less than 1 or greater than <n>" outside that range.
    static COLORREF GradientColor(COLORREF start, COLORREF end, int i, int n);

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Repaint();
    // A change that the cached full-length fill depends on.
    void FillChanged();
    void DrawBar(bool rebuild);
    void DrawGradient();
    void TileBarBitmap();
    void DrawBorder();
    void DrawPosText();
    bool HasMouseHandlers() const;
    void Realign();
    void WatchParent(bool watch);
    static LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
    void UpdateToolTip();

    HWND FParent = nullptr;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 200;
    int FHeight = 20;
    bool FVisible = true;
    TAlign FAlign = alNone;
    HWND FWatchedParent = nullptr;
    TFontHandle FFont;
    bool FFontSet = false;
    COLORREF FFontColor;
    std::wstring FHint;
    bool FShowHint = false;
    HWND FToolTip = nullptr;
    bool FMouseDown = false;

    COLORREF FBackgroundColor;
    TMemoryPicture FBarBitmap;
    COLORREF FBarColor1 = RGB(0, 128, 0);
    COLORREF FBarColor2 = RGB(255, 255, 0);
    COLORREF FBarColor3 = RGB(255, 0, 0);
    TBarColorStyle FBarColorStyle = cs3Colors;
    COLORREF FBorderColor1;
    COLORREF FBorderColor2;
    TProgressDirection FDirection = pdLeftToRight;
    int FMax = 100;
    int FMin = 0;
    bool FPercentage = false;
    int FPosition = 0;
    std::wstring FPosTextPrefix;
    std::wstring FPosTextSuffix;
    bool FShowBorder = true;
    bool FShowPosText = true;

    TMemoryPicture FBuffer;
    TMemoryPicture FFillCache;
    bool FRebuildFill = true;
    // False once anything the cached fill was drawn from has changed; a paint that would reuse
    // the cache then rebuilds it anyway (a position change may paint before the bar's first
    // full paint, e.g. right after it was shown).
    bool FFillCacheValid = false;
};

} // namespace vantrel
