#include "ui/controls/ListView.h"

namespace vantrel {

HWND TListView::Header() const {
    return reinterpret_cast<HWND>(Send(LVM_GETHEADER));
}

bool TListView::InsertColumn(int index, const std::wstring& caption, int width) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(caption.c_str());
    column.cx = width;
    column.iSubItem = index;
    return Send(LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) == index;
}

int TListView::ColumnWidth(int column) const {
    return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, column));
}

bool TListView::SetColumnWidth(int column, int width) {
    return Send(LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != 0;
}

int TListView::StringWidth(const std::wstring& text) const {
    return static_cast<int>(Send(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int TListView::ItemCount() const {
    return static_cast<int>(Send(LVM_GETITEMCOUNT));
}

void TListView::SetItemCount(int count) {
    Send(LVM_SETITEMCOUNT, count);
}

int TListView::SelectedIndex() const {
    return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool TListView::Select(int index) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = index >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    return Send(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state)) !=
           0;
}

bool TListView::ItemRect(int index, RECT& rect, int code) const {
    rect = RECT{};
    rect.left = code;
    return Send(LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect)) != 0;
}

bool TListView::SubItemRect(int index, int column, RECT& rect, int code) const {
    rect = RECT{};
    rect.top = column;
    rect.left = code;
    return Send(LVM_GETSUBITEMRECT, index, reinterpret_cast<LPARAM>(&rect)) != 0;
}

int TListView::TopIndex() const {
    return static_cast<int>(Send(LVM_GETTOPINDEX));
}

int TListView::CountPerPage() const {
    return static_cast<int>(Send(LVM_GETCOUNTPERPAGE));
}

void TListView::SetExtendedStyle(DWORD mask, DWORD style) {
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style);
}

void TListView::SetSmallImages(HIMAGELIST images) {
    Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
}

void TListView::SetRedraw(bool redraw) {
    Send(WM_SETREDRAW, redraw ? TRUE : FALSE);
}

} // namespace vantrel
