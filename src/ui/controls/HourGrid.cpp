#include "ui/controls/HourGrid.h"

#include "win/Dpi.h"

#include <algorithm>

namespace vantrel {

namespace {

// The grid lines are one pixel wide at every DPI, so cells and lines add up exactly.
constexpr int kLine = 1;

COLORREF Blend(COLORREF a, COLORREF b) {
    return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2,
               (GetBValue(a) + GetBValue(b)) / 2);
}

// A cell boundary (0 to 24) as the hour scale above the grids shows it: "07:00", or "7:00 a.m."
// with 12 for noon and for midnight at either end of the day.
std::wstring HourText(int hour, bool clock24) {
    wchar_t text[16];
    if (clock24) {
        swprintf(text, 16, L"%02d:00", hour);
    } else {
        const int shown = hour % 12 == 0 ? 12 : hour % 12;
        swprintf(text, 16, L"%d:00 %ls", shown, hour % 24 < 12 ? L"a.m." : L"p.m.");
    }
    return text;
}

} // namespace

bool THourGrid::Create(HWND parent, int id, int x, int y, int dpi, const wchar_t* name) {
    if (!RegisterWindowClass(kClassName, CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW), nullptr))
        return false;
    FDpi = dpi;
    SIZE size = SizeFor(dpi);
    return CreateHandle(0, kClassName, name, WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, y, size.cx,
                        size.cy, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

SIZE THourGrid::SizeFor(int dpi) {
    int cell = ScaleForDpi(kHourGridCellSize, dpi);
    return SIZE{kHourGridCells * (cell + kLine) + kLine, cell + 2 * kLine};
}

void THourGrid::ClipPeriod(int begin, int end, int& shownBegin, int& shownEnd) {
    shownBegin = std::clamp(begin, 0, kHourGridCells - 1);
    shownEnd = std::clamp(end, 1, kHourGridCells);
    if (shownEnd <= shownBegin)
        shownEnd = shownBegin + 1;
}

std::wstring THourGrid::PeriodText(int begin, int end, bool clock24) {
    return HourText(begin, clock24) + L" to " + HourText(end, clock24);
}

void THourGrid::SetPeriod(int begin, int end) {
    ClipPeriod(begin, end, FBegin, FEnd);
    // As if the run had been dragged from its first hour to its last: Shift+arrows then grow
    // or shrink it at its end.
    FAnchor = FBegin;
    FCurrent = FEnd - 1;
    if (Handle()) {
        InvalidateRect(Handle(), nullptr, FALSE);
        PeriodChanged();
    }
}

void THourGrid::PeriodChanged() {
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, Handle(), OBJID_CLIENT, CHILDID_SELF);
}

void THourGrid::SetDpi(int dpi) {
    FDpi = dpi;
    if (!Handle())
        return;
    SIZE size = SizeFor(dpi);
    SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(Handle(), nullptr, FALSE);
}

void THourGrid::MoveTo(int x, int y) {
    if (Handle())
        SetWindowPos(Handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int THourGrid::CellSize() const {
    return ScaleForDpi(kHourGridCellSize, FDpi);
}

int THourGrid::CellAt(int x) const {
    int cell = (x - kLine) / (CellSize() + kLine);
    if (x < kLine)
        cell = 0;
    return std::clamp(cell, 0, kHourGridCells - 1);
}

RECT THourGrid::CellRect(int cell) const {
    int left = kLine + cell * (CellSize() + kLine);
    return RECT{left, kLine, left + CellSize(), kLine + CellSize()};
}

bool THourGrid::MoveCurrent(int cell, bool extend) {
    cell = std::clamp(cell, 0, kHourGridCells - 1);
    if (!extend)
        FAnchor = cell;
    const int begin = std::min(FAnchor, cell);
    const int end = std::max(FAnchor, cell) + 1;
    if (begin == FBegin && end == FEnd && cell == FCurrent)
        return false;
    const bool periodChanged = begin != FBegin || end != FEnd;
    FBegin = begin;
    FEnd = end;
    FCurrent = cell;
    InvalidateRect(Handle(), nullptr, FALSE);
    if (periodChanged)
        PeriodChanged();
    Notify();
    return true;
}

void THourGrid::Notify() {
    HWND parent = GetParent(Handle());
    if (parent) {
        const int id = GetDlgCtrlID(Handle());
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, kHourGridChanged),
                     reinterpret_cast<LPARAM>(Handle()));
    }
}

void THourGrid::Paint(HDC dc) {
    RECT client{};
    GetClientRect(Handle(), &client);
    if (!FBuffer.SetSize(client.right, client.bottom))
        return;
    const bool enabled = IsWindowEnabled(Handle()) != FALSE;
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const COLORREF lines = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF allowed = enabled ? kAllowedColor : Blend(kAllowedColor, window);
    HDC buffer = FBuffer.DC();
    FillSolidRect(buffer, client, lines);
    for (int cell = 0; cell < kHourGridCells; ++cell) {
        const bool selected = cell >= FBegin && cell < FEnd;
        FillSolidRect(buffer, CellRect(cell), selected ? allowed : window);
    }
    if (GetFocus() == Handle()) {
        RECT focus = CellRect(FCurrent);
        InflateRect(&focus, -1, -1);
        DrawFocusRect(buffer, &focus);
    }
    BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
}

LRESULT THourGrid::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT painted = 0;
    if (HandleOwnPaint(msg, wParam, [this](HDC dc) { Paint(dc); }, painted))
        return painted;
    switch (msg) {
    case WM_GETDLGCODE:
        // Letters stay here: the dialog manager would take a plain letter for the access key
        // of a button ("&OK", "&Cancel"). Alt with the letter still reaches the buttons.
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_CHAR:
        return 0;
    case WM_GETOBJECT:
        if (static_cast<LONG>(lParam) == OBJID_CLIENT)
            if (LRESULT object = FAccessible.Answer(Handle(), wParam, *this))
                return object;
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        SetFocus(Handle());
        SetCapture(Handle());
        FDragging = true;
        // A click counts as a change even on the cell that was already current.
        if (!MoveCurrent(CellAt(static_cast<short>(LOWORD(lParam))), (wParam & MK_SHIFT) != 0))
            Notify();
        return 0;
    }
    case WM_MOUSEMOVE:
        if (FDragging && (wParam & MK_LBUTTON))
            MoveCurrent(CellAt(static_cast<short>(LOWORD(lParam))), true);
        return 0;
    case WM_LBUTTONUP:
        if (FDragging) {
            FDragging = false;
            ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        FDragging = false;
        return 0;
    case WM_KEYDOWN: {
        const bool shift = GetKeyState(VK_SHIFT) < 0;
        switch (wParam) {
        case VK_LEFT:
            MoveCurrent(FCurrent - 1, shift);
            return 0;
        case VK_RIGHT:
            MoveCurrent(FCurrent + 1, shift);
            return 0;
        case VK_HOME:
            MoveCurrent(0, shift);
            return 0;
        case VK_END:
            MoveCurrent(kHourGridCells - 1, shift);
            return 0;
        }
        break;
    }
    }
    return TWindow::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
