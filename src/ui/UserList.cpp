#include "ui/UserList.h"

#include "model/Prefs.h"
#include "win/Dpi.h"
#include "win/ScopeExit.h"

#include <algorithm>
#include <climits>
#include <cwchar>

namespace vantrel {

namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr const wchar_t* kColumnCaptions[kUserColumnCount] = {L"User", L"Time limit", L"Bonus time",
                                                              L"Time usage", L"Time remaining"};
// The header leaves this much beside a caption on either side (three edge widths).
constexpr int kCaptionMargin = 6;

} // namespace

long long BarScale(const TQorUsers& users) {
    long long scale = kMinimumBarScale;
    for (int i = 0; i < users.Count(); ++i) {
        const TQorUser& user = users.Items(i);
        if (user.QorControl)
            scale = std::max(scale, user.TodaysTotal());
    }
    return scale;
}

int BarPosition(long long remaining, long long scale) {
    if (remaining <= 0 || scale <= 0)
        return 0;
    if (remaining >= scale)
        return 100;
    // remaining / scale * 100 rounded to the nearest, halves to the even number, in whole
    // numbers: in floating point an exact half can come out a hair less (69 of 120 is 57.5,
    // which a double holds as 57.4999...).
    const long long scaled = remaining * 100;
    long long position = scaled / scale;
    const long long rest = scaled % scale;
    if (2 * rest > scale || (2 * rest == scale && (position & 1)))
        ++position;
    return static_cast<int>(std::min(position, 100LL));
}

int RowIconFor(long long remaining) {
    if (remaining <= 0)
        return kRowIconNoTime;
    if (remaining < 30)
        return kRowIconLittleTime;
    return kRowIconTimeLeft;
}

std::wstring RequestRowText(const std::wstring& user, int minutes) {
    return user + L" (asks " + std::to_wstring(minutes) + L" min)";
}

TUserList::~TUserList() {
    Destroy();
}

int TUserList::Scale(int pixels) const {
    return ScaleForDpi(pixels, FDpi);
}

bool TUserList::Create(HWND parent, int id, int dpi) {
    FDpi = dpi;
    HWND handle = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | LVS_REPORT |
            LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | LVS_OWNERDATA,
        0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        GetModuleHandleW(nullptr), nullptr);
    if (!handle)
        return false;
    FView.Attach(handle);
    FPainter.SetShowPosText(false);
    FPainter.SetBarColor1(kBarColor1);
    FPainter.SetBarColor2(kBarColor2);
    FPainter.SetBarColorStyle(cs2Colors);
    FView.SetExtendedStyle(LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    FSettingColumns = true;
    for (int i = 0; i < kUserColumnCount; ++i) {
        FView.InsertColumn(i, kColumnCaptions[i], Scale(kUserColumnWidths[i]));
        // Wine's header clips a caption to the advance width of its letters and so cuts off
        // the last letter of fonts that draw past it: the list draws its captions itself.
        FView.SetCaptionOwnerDrawn(i);
    }
    FSettingColumns = false;
    FSubclassed = SetWindowSubclass(handle, ListViewSubclass, kSubclassId,
                                    reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    return true;
}

void TUserList::Destroy() {
    if (FSubclassed && IsWindow(FView.Handle()))
        RemoveWindowSubclass(FView.Handle(), ListViewSubclass, kSubclassId);
    FSubclassed = false;
    FPlaces.clear();
    FRows.clear();
}

void TUserList::SetMetrics(int dpi, HFONT font, HIMAGELIST images) {
    FDpi = dpi;

    FView.SetSmallImages(images);
    SendMessageW(FView.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ApplyColumnWidths();
    PlaceBars();
}

void TUserList::ApplyColumnWidths() {
    // A caption is always readable whole: a font that needs more than the column's width
    // widens the column.
    int padding = 2 * Scale(kCaptionMargin);
    FSettingColumns = true;
    for (int i = 0; i < kUserColumnCount; ++i) {
        int width = std::max(Scale(kUserColumnWidths[i]),
                             FView.DrawnStringWidth(kColumnCaptions[i]) + padding);
        FView.SetColumnWidth(i, width);
    }
    FSettingColumns = false;
}

void TUserList::ForgetUsers() {
    for (TUserRow& row : FRows)
        row.User = nullptr;
}

const TUserRow* TUserList::Row(int index) const {
    return index >= 0 && index < RowCount() ? &FRows[static_cast<size_t>(index)] : nullptr;
}

TQorUser* TUserList::SelectedUser() const {
    int index = FView.Handle() ? FView.SelectedIndex() : -1;
    const TUserRow* row = Row(index);
    if (!row || !row->User)
        return nullptr;
    return row->User;
}

TUserRow TUserList::RowOf(TQorUser& user, long long scale) const {
    TUserRow row;
    row.User = &user;
    row.Monitored = user.QorControl;
    row.Texts[0] = user.Username;
    if (user.QorControl) {
        int remaining = user.TimeRemaining();
        row.Texts[1] = FormatMinutes(user.TodaysTimeLimit);
        row.Texts[2] = FormatMinutes(user.TodaysBonusTime);
        row.Texts[3] = FormatMinutes(user.TodaysTimeUsage);
        row.Texts[4] = FormatMinutes(remaining);
        row.BarPosition = BarPosition(remaining, scale);
        row.Image = RowIconFor(remaining);
        for (const TUnfinishedLogoff& logoff : FLogoffs) {
            if (_wcsicmp(logoff.User.c_str(), user.Username.c_str()) == 0) {
                row.LogoffUnfinished = true;
                row.Texts[4] = logoff.Failed ? L"Not logged off" : L"Logging off";
                row.Image = kRowIconNoTime;
            }
        }
    }
    for (const TOpenRequest& request : FRequests) {
        if (request.Minutes > 0 && _wcsicmp(request.User.c_str(), user.Username.c_str()) == 0) {
            row.RequestMinutes = request.Minutes;
            row.Texts[0] = RequestRowText(user.Username, request.Minutes);
        }
    }
    if (!user.QorControl) {
        row.Texts[1] = L" -";
        row.Texts[2] = L" -";
        row.Texts[3] = FormatMinutes(user.TodaysTimeUsage);
        row.Texts[4] = L" -";
        row.Image = kRowIconNotMonitored;
    }
    return row;
}

int TUserList::UpdateFigures(TQorUsers& users) {
    // The same records in the same rows: nothing about the rows themselves (count, selection,
    // focus, scrolling, the list's type-ahead) is touched, only what they show.
    if (users.Count() != RowCount())
        return 0;
    const long long scale = BarScale(users);
    int changed = 0;
    HWND list = FView.Handle();
    // Rows off screen ask for their texts when they scroll in; only those on screen repaint.
    const int first = list ? std::max(0, FView.TopIndex()) : 0;
    const int last = list ? first + FView.CountPerPage() + 1 : -1;
    for (int i = 0; i < RowCount(); ++i) {
        TUserRow& old = FRows[static_cast<size_t>(i)];
        if (old.User != &users.Items(i))
            continue;
        TUserRow row = RowOf(users.Items(i), scale);
        if (row.Texts == old.Texts && row.Image == old.Image &&
            row.BarPosition == old.BarPosition && row.LogoffUnfinished == old.LogoffUnfinished &&
            row.RequestMinutes == old.RequestMinutes)
            continue;
        old = std::move(row);
        ++changed;
        RECT rect{};
        if (i >= first && i <= last && FView.ItemRect(i, rect, LVIR_BOUNDS))
            InvalidateRect(list, &rect, TRUE);
    }
    return changed;
}

void TUserList::Fill(TQorUsers& users) {
    int selected = FView.SelectedIndex();
    FView.SetRedraw(false);
    // Whatever happens below, the list must paint again.
    auto redraw = ScopeExit([this] { FView.SetRedraw(true); });
    // The list holds no rows of its own: it asks for what it shows (LVN_GETDISPINFO), so a
    // refresh of thousands of accounts costs little beyond loading them.
    FView.Select(-1);
    FRows.clear();

    long long scale = BarScale(users);
    FRows.reserve(static_cast<size_t>(users.Count()));
    for (int i = 0; i < users.Count(); ++i)
        FRows.push_back(RowOf(users.Items(i), scale));
    FView.SetItemCount(RowCount());
    redraw.Dismiss();
    FView.SetRedraw(true);
    PlaceBars();
    InvalidateRect(FView.Handle(), nullptr, TRUE);

    if (selected >= 0 && selected < FView.ItemCount())
        FView.Select(selected);
}

bool TUserList::SelectUser(const std::wstring& user) {
    for (int i = 0; i < RowCount(); ++i) {
        const TUserRow& row = FRows[static_cast<size_t>(i)];
        if (row.User && _wcsicmp(row.User->Username.c_str(), user.c_str()) == 0) {
            FView.Select(i);
            ListView_EnsureVisible(FView.Handle(), i, FALSE);
            return true;
        }
    }
    return false;
}

void TUserList::PlaceBars() {
    FPlaces.clear();
    HWND list = FView.Handle();
    if (!list)
        return;
    RECT client{};
    GetClientRect(list, &client);
    RECT header{};
    if (HWND headerWindow = FView.Header(); headerWindow && IsWindowVisible(headerWindow)) {
        GetWindowRect(headerWindow, &header);
        MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&header), 2);
    }
    const int rowsTop = std::max(client.top, header.bottom);
    const int first = std::max(0, FView.TopIndex());
    // One more than fit wholly: the row cut at the bottom shows its bar too.
    const int last = std::min(RowCount(), first + FView.CountPerPage() + 1);
    const int width = FView.ColumnWidth(kRemainingColumn) - Scale(kBarRightInset);
    for (int row = first; row < last; ++row) {
        const TUserRow& data = FRows[static_cast<size_t>(row)];
        RECT cell{};
        if (!data.Monitored || data.LogoffUnfinished ||
            !FView.SubItemRect(row, kRemainingColumn, cell))
            continue;
        if (cell.bottom <= rowsTop || cell.top >= client.bottom)
            continue;
        const int height = (cell.bottom - cell.top) - 2 * Scale(kBarVerticalInset);
        if (width <= 0 || height <= 0)
            continue;
        TBarPlace place;
        place.Row = row;
        place.Bounds.left = cell.left + Scale(kBarLeftOffset);
        place.Bounds.top = cell.top + Scale(kBarVerticalInset);
        place.Bounds.right = place.Bounds.left + width;
        place.Bounds.bottom = place.Bounds.top + height;
        place.Position = data.BarPosition;
        FPlaces.push_back(place);
    }
}

void TUserList::PaintBars(HDC dc) {
    // The list has just drawn its rows into dc, clipped to what needed drawing; the bars go
    // over them there. Rows the list scrolled without drawing took their bars' pixels along.
    for (const TBarPlace& place : FPlaces) {
        FPainter.SetBounds(place.Bounds.left, place.Bounds.top,
                           place.Bounds.right - place.Bounds.left,
                           place.Bounds.bottom - place.Bounds.top);
        FPainter.SetPosition(place.Position);
        POINT origin{};
        OffsetViewportOrgEx(dc, place.Bounds.left, place.Bounds.top, &origin);
        FPainter.PaintTo(dc);
        SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
    }
}

const TBarPlace* TUserList::BarOfRow(int row) const {
    for (const TBarPlace& place : FPlaces)
        if (place.Row == row)
            return &place;
    return nullptr;
}

bool TUserList::HandleNotify(NMHDR& header, LRESULT& result) {
    if (!FView.Handle() || header.hwndFrom != FView.Handle())
        return false;
    switch (header.code) {
    case NM_CUSTOMDRAW: {
        auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(header);
        result = CDRF_DODEFAULT;
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
            // The rows are where the list draws them now: the bars go there too.
            PlaceBars();
            if (!FPlaces.empty())
                result = CDRF_NOTIFYPOSTPAINT;
        } else if (draw.nmcd.dwDrawStage == CDDS_POSTPAINT) {
            PaintBars(draw.nmcd.hdc);
        }
        return true;
    }
    case LVN_ITEMCHANGED: {
        auto& change = reinterpret_cast<NMLISTVIEW&>(header);
        // iItem -1: the state of every row changed at once.
        if ((change.uChanged & LVIF_STATE) &&
            (change.iItem < 0 || ((change.uOldState ^ change.uNewState) & LVIS_SELECTED)) &&
            OnSelectItem)
            OnSelectItem();
        result = 0;
        return true;
    }
    case LVN_GETDISPINFOW: {
        auto& info = reinterpret_cast<NMLVDISPINFOW&>(header);
        const TUserRow* row = Row(info.item.iItem);
        int column = info.item.iSubItem;
        if (row) {
            if ((info.item.mask & LVIF_TEXT) && column >= 0 && column < kUserColumnCount &&
                info.item.pszText && info.item.cchTextMax > 0)
                lstrcpynW(info.item.pszText, row->Texts[static_cast<size_t>(column)].c_str(),
                          info.item.cchTextMax);
            if ((info.item.mask & LVIF_IMAGE) && column == 0)
                info.item.iImage = row->Image;
            if (info.item.mask & LVIF_PARAM)
                info.item.lParam = reinterpret_cast<LPARAM>(row->User);
        }
        result = 0;
        return true;
    }
    case LVN_ODFINDITEMW:
        // Type-ahead: the first user from iStart on whose name begins with the typed letters.
        result = FindRow(reinterpret_cast<NMLVFINDITEMW&>(header));
        return true;
    case NM_DBLCLK:
        if (OnDblClick)
            OnDblClick();
        result = 0;
        return true;
    default:
        return false;
    }
}

int TUserList::FindRow(const NMLVFINDITEMW& find) const {
    return TListView::FindOwnerDataRow(find, RowCount(), [this](int row) -> const std::wstring& {
        return FRows[static_cast<size_t>(row)].Texts[0];
    });
}

void TUserList::DrawCaption(const DRAWITEMSTRUCT& draw) {
    if (draw.itemID >= static_cast<UINT>(kUserColumnCount))
        return;
    HDC dc = draw.hDC;
    const int saved = SaveDC(dc);
    if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(draw.hwndItem, WM_GETFONT, 0, 0)))
        SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    RECT text = draw.rcItem;
    text.left += Scale(kCaptionMargin);
    text.right -= Scale(kCaptionMargin);
    DrawTextW(dc, kColumnCaptions[draw.itemID], -1, &text,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    RestoreDC(dc, saved);
}

bool TUserList::BeforeDefault(UINT msg, LPARAM lParam, LRESULT& result) {
    if (msg == WM_DRAWITEM) {
        auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (!draw || draw->CtlType != ODT_HEADER || draw->hwndItem != FView.Header())
            return false;
        DrawCaption(*draw);
        result = TRUE;
        return true;
    }
    if (msg != WM_NOTIFY)
        return false;
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header || header->hwndFrom != FView.Header())
        return false;
    // The columns have fixed widths: no dragging, no double-click autosize, no other width.
    switch (header->code) {
    case HDN_BEGINTRACKW:
    case HDN_BEGINTRACKA:
        result = TRUE;
        return true;
    case HDN_DIVIDERDBLCLICKW:
    case HDN_DIVIDERDBLCLICKA:
        result = 0;
        return true;
    case HDN_ITEMCHANGINGW:
    case HDN_ITEMCHANGINGA: {
        auto* change = reinterpret_cast<NMHEADERW*>(lParam);
        if (!FSettingColumns && change->pitem && (change->pitem->mask & HDI_WIDTH)) {
            result = TRUE;
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

LRESULT CALLBACK TUserList::ListViewSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR data) {
    auto* self = reinterpret_cast<TUserList*>(data);
    LRESULT result = 0;
    bool passedOn = false;
    try {
        if (self->BeforeDefault(msg, lParam, result))
            return result;
        passedOn = true;
        result = DefSubclassProc(hwnd, msg, wParam, lParam);
        if (msg == WM_SIZE)
            self->PlaceBars();
    } catch (...) {
        // Nothing may leave a window procedure; the list's own handling still takes place.
        if (!passedOn)
            result = DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, ListViewSubclass, id);
        self->FSubclassed = false;
    }
    return result;
}

} // namespace vantrel
