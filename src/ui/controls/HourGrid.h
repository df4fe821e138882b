#pragma once
// One day's allowed hours: a row of 24 cells, one per hour, of which one contiguous run is
// selected (always at least one cell). The run is chosen with the mouse (click, drag,
// Shift+click) or the keyboard (arrows, Home, End; with Shift they extend from the anchor).
// Selected cells are filled with the allowed colour; a disabled grid shows them paler. Every
// change the user makes, and every move of the current cell, is told to the parent as
// WM_COMMAND with the notification code kHourGridChanged. Typed letters stay in the grid.
//
// For assistive technology the grid is named by its window text and its value is the period
// in words, "07:00 to 20:00" (or "7:00 a.m. to 8:00 p.m." on the 12-hour clock).
#include "ui/controls/AccessibleValue.h"
#include "ui/controls/Gdi.h"
#include "ui/controls/Window.h"

#include <string>

namespace vantrel {

inline constexpr int kHourGridCells = 24;
inline constexpr int kHourGridCellSize = 20; // at 96 DPI
inline constexpr COLORREF kAllowedColor = RGB(80, 195, 94);
inline constexpr WORD kHourGridChanged = 0x0400;

class THourGrid : public TWindow, private TAccessibleSource {
public:
    static constexpr const wchar_t* kClassName = L"VantrelHourGrid";

    // A child of `parent` at (x, y) in the parent's pixels, cells sized for `dpi`; `name` is
    // what a screen reader calls it.
    bool Create(HWND parent, int id, int x, int y, int dpi, const wchar_t* name = L"");
    // The outer size of the grid for a DPI: 24 cells and their lines.
    static SIZE SizeFor(int dpi);

    // Shows the period [begin, end). Values outside 0 <= begin < end <= 24 (only another writer
    // of the store can produce them) are clipped to the grid; an empty or inverted period
    // shows its begin hour alone. The anchor moves to the first hour, the current cell to the
    // last.
    void SetPeriod(int begin, int end);
    int Begin() const { return FBegin; }
    // Exclusive: the last selected hour + 1.
    int End() const { return FEnd; }
    int CurrentCell() const { return FCurrent; }
    // The period SetPeriod shows for stored values.
    static void ClipPeriod(int begin, int end, int& shownBegin, int& shownEnd);
    // The clock in which the period is told to assistive technology.
    void SetClock24(bool clock24) { FClock24 = clock24; }
    // The period [begin, end) in words: "07:00 to 20:00", or "7:00 a.m. to 8:00 p.m.".
    static std::wstring PeriodText(int begin, int end, bool clock24);

    void SetDpi(int dpi);
    void MoveTo(int x, int y);
    // The cell under a client point, clamped to the row.
    int CellAt(int x) const;
    // The client rectangle of a cell, its lines excluded.
    RECT CellRect(int cell) const;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnHandleDestroyed() override { FAccessible.Disconnect(); }

private:
    std::wstring AccessibleValue() const override { return PeriodText(FBegin, FEnd, FClock24); }
    int CellSize() const;
    // Moves the current cell; with extend the run spans anchor..current, else it is the
    // current cell alone and the anchor follows. False when nothing changed.
    bool MoveCurrent(int cell, bool extend);
    void Paint(HDC dc);
    void Notify();
    void PeriodChanged();

    int FDpi = 96;
    int FBegin = 7;
    int FEnd = 20;
    int FAnchor = 7;
    int FCurrent = 7;
    bool FDragging = false;
    bool FClock24 = true;
    TMemoryPicture FBuffer;
    TAccessibleClient FAccessible;
};

} // namespace vantrel
