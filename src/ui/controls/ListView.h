#pragma once
// A thin, non-owning view of a report-style list-view control: the calls the program's lists
// make, each one message, so that the lists do not scatter SendMessageW calls. Rows are either
// inserted (InsertItem) or, in a list with LVS_OWNERDATA, only counted (SetItemCount) and asked
// for by the list when it shows them.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>

namespace vantrel {

class TListView {
public:
    TListView() = default;
    explicit TListView(HWND handle) : FHandle(handle) {}

    void Attach(HWND handle) { FHandle = handle; }
    HWND Handle() const { return FHandle; }
    HWND Header() const;

    // --- Columns ---
    bool InsertColumn(int index, const std::wstring& caption, int width);
    int ColumnWidth(int column) const;
    bool SetColumnWidth(int column, int width);
    // Width of `text` in the list's font, without any padding.
    int StringWidth(const std::wstring& text) const;
    // Width of `text` as the list's font really draws it: the letters' advance, or more where
    // the last letter's pixels reach past it (as with Wine's stand-ins for the system fonts).
    int DrawnStringWidth(const std::wstring& text) const;
    // The column's caption is drawn by the list's owner (WM_DRAWITEM from the header); the
    // header still draws the item's background and edges.
    bool SetCaptionOwnerDrawn(int column);

    // --- Items ---
    int ItemCount() const;
    // The number of rows of an LVS_OWNERDATA list; elsewhere it reserves room for them.
    void SetItemCount(int count);

    // --- Selection ---
    // The selected row, or -1.
    int SelectedIndex() const;
    // Selects and focuses `index`; -1 clears the selection of every row.
    bool Select(int index);

    // --- Rectangles and scrolling (client coordinates of the list) ---
    // code: LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL.
    bool ItemRect(int index, RECT& rect, int code = LVIR_BOUNDS) const;
    bool SubItemRect(int index, int column, RECT& rect, int code = LVIR_BOUNDS) const;
    int TopIndex() const;
    // Rows that fit wholly in the client area.
    int CountPerPage() const;

    // --- Appearance ---
    void SetExtendedStyle(DWORD mask, DWORD style);
    void SetSmallImages(HIMAGELIST images);
    void SetRedraw(bool redraw);

    // The answer to LVN_ODFINDITEMW (type-ahead) of an LVS_OWNERDATA list of `count` rows, each
    // found by `textOf(row)`: the first row from the request's start on whose text is the
    // wanted one, or begins with it for LVFI_PARTIAL or LVFI_SUBSTRING, letter case aside. The
    // search goes on at row 0 only with LVFI_WRAP; -1 for no row and for a search by item data.
    static int FindOwnerDataRow(const NMLVFINDITEMW& find, int count,
                                const std::function<const std::wstring&(int)>& textOf);

private:
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageW(FHandle, msg, wParam, lParam);
    }

    HWND FHandle = nullptr;
};

} // namespace vantrel
