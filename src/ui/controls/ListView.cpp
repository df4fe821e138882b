#include "ui/controls/ListView.h"

#include <algorithm>

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

int TListView::DrawnStringWidth(const std::wstring& text) const {
    HDC screen = GetDC(FHandle);
    if (!screen)
        return StringWidth(text);
    HFONT font = reinterpret_cast<HFONT>(Send(WM_GETFONT));
    if (!font)
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(FHandle, screen);
    if (!dc)
        return StringWidth(text);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    int width = extent.cx;
    // The text drawn black on white with room beside it; its rightmost pixel ends the width.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = extent.cx + extent.cy + 2;
    info.bmiHeader.biHeight = -std::max(1, static_cast<int>(extent.cy));
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        const int w = info.bmiHeader.biWidth;
        const int h = -info.bmiHeader.biHeight;
        HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
        RECT all{0, 0, w, h};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        TextOutW(dc, 0, 0, text.c_str(), static_cast<int>(text.size()));
        GdiFlush();
        const auto* pixels = static_cast<const DWORD*>(bits);
        for (int x = w - 1; x >= width; --x) {
            bool ink = false;
            for (int y = 0; y < h && !ink; ++y)
                ink = (pixels[y * w + x] & 0xFFFFFF) != 0xFFFFFF;
            if (ink) {
                width = x + 1;
                break;
            }
        }
        SelectObject(dc, oldBitmap);
    }
    if (bitmap)
        DeleteObject(bitmap);
    SelectObject(dc, oldFont);
    DeleteDC(dc);
    return width;
}

bool TListView::SetCaptionOwnerDrawn(int column) {
    HWND header = Header();
    if (!header)
        return false;
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    if (!SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item)))
        return false;
    item.fmt |= HDF_OWNERDRAW;
    return SendMessageW(header, HDM_SETITEMW, column, reinterpret_cast<LPARAM>(&item)) != 0;
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

// LVFI_SUBSTRING, which the SDK headers of the cross compiler lack; it means what LVFI_PARTIAL
// does.
constexpr UINT kFindSubstring = 0x0004;

int TListView::FindOwnerDataRow(const NMLVFINDITEMW& find, int count,
                                const std::function<const std::wstring&(int)>& textOf) {
    const UINT flags = find.lvfi.flags;
    if ((flags & LVFI_PARAM) || !(flags & (LVFI_STRING | LVFI_PARTIAL | kFindSubstring)) ||
        !find.lvfi.psz || count <= 0)
        return -1;
    const bool wrap = (flags & LVFI_WRAP) != 0;
    if (find.iStart >= count && !wrap)
        return -1;
    const int start = find.iStart >= 0 && find.iStart < count ? find.iStart : 0;
    const bool prefix = (flags & (LVFI_PARTIAL | kFindSubstring)) != 0;
    const int wanted = lstrlenW(find.lvfi.psz);
    for (int i = 0, tries = wrap ? count : count - start; i < tries; ++i) {
        const int row = (start + i) % count;
        const std::wstring& text = textOf(row);
        const int length = static_cast<int>(text.size());
        if (length < wanted || (!prefix && length != wanted))
            continue;
        if (CompareStringOrdinal(text.c_str(), wanted, find.lvfi.psz, wanted, TRUE) == CSTR_EQUAL)
            return row;
    }
    return -1;
}

} // namespace vantrel
