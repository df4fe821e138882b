#include "ui/UserList.h"

#include "model/Prefs.h"
#include "win/Dpi.h"

#include <algorithm>
#include <cfenv>
#include <climits>
#include <cmath>

namespace vantrel {

namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr const wchar_t* kColumnCaptions[kUserColumnCount] = {L"User", L"Time limit", L"Bonus time",
                                                              L"Time usage", L"Time remaining"};
// The header leaves this much beside a caption on either side (three edge widths).
constexpr int kCaptionMargin = 6;

} // namespace

long long TodaysTotalOf(const TQorUser& user) {
    // TQorUser::TodaysTotal() computes the same once the model has it.
    return static_cast<long long>(user.TodaysTimeLimit) + user.TodaysBonusTime;
}

int RemainingMinutes(const TQorUser& user) {
    long long remaining = TodaysTotalOf(user) - user.TodaysTimeUsage;
    return static_cast<int>(std::clamp<long long>(remaining, 0, INT_MAX));
}

long long BarScale(const TQorUsers& users) {
    long long scale = kMinimumBarScale;
    for (int i = 0; i < users.Count(); ++i) {
        const TQorUser& user = users.Items(i);
        if (user.QorControl)
            scale = std::max(scale, TodaysTotalOf(user));
    }
    return scale;
}

int BarPosition(long long remaining, long long scale) {
    if (remaining <= 0 || scale <= 0)
        return 0;
    // The default rounding mode rounds halves to the even number, as the bar expects.
    std::fesetround(FE_TONEAREST);
    double position = std::nearbyint(static_cast<double>(remaining) / scale * 100.0);
    return static_cast<int>(std::clamp(position, 0.0, 100.0));
}

int RowIconFor(long long remaining) {
    if (remaining <= 0)
        return kRowIconNoTime;
    if (remaining < 30)
        return kRowIconLittleTime;
    return kRowIconTimeLeft;
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
    FView.SetExtendedStyle(LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    FSettingColumns = true;
    for (int i = 0; i < kUserColumnCount; ++i)
        FView.InsertColumn(i, kColumnCaptions[i], Scale(kUserColumnWidths[i]));
    FSettingColumns = false;
    FSubclassed = SetWindowSubclass(handle, ListViewSubclass, kSubclassId,
                                    reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    return true;
}

void TUserList::Destroy() {
    if (FSubclassed && IsWindow(FView.Handle()))
        RemoveWindowSubclass(FView.Handle(), ListViewSubclass, kSubclassId);
    FSubclassed = false;
    FMovedBars.clear();
    FBarRows.clear();
    FBars.clear();
    FRows.clear();
}

void TUserList::SetMetrics(int dpi, HFONT font, HIMAGELIST images) {
    FDpi = dpi;
    FFont = font;
    FView.SetSmallImages(images);
    SendMessageW(FView.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ApplyColumnWidths();
    for (auto& bar : FBars)
        bar->SetFont(font);
    PlaceBars();
}

void TUserList::ApplyColumnWidths() {
    // A caption is always readable whole: a font that needs more than the column's width
    // widens the column.
    int padding = 2 * Scale(kCaptionMargin);
    FSettingColumns = true;
    for (int i = 0; i < kUserColumnCount; ++i) {
        int width =
            std::max(Scale(kUserColumnWidths[i]), FView.StringWidth(kColumnCaptions[i]) + padding);
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

void TUserList::Fill(TQorUsers& users) {
    int selected = FView.SelectedIndex();
    FView.SetRedraw(false);
    // The list holds no rows of its own: it asks for what it shows (LVN_GETDISPINFO), so a
    // refresh of thousands of accounts costs little beyond loading them.
    FView.Select(-1);
    FRows.clear();
    std::fill(FBarRows.begin(), FBarRows.end(), -1);

    long long scale = BarScale(users);
    FRows.reserve(static_cast<size_t>(users.Count()));
    for (int i = 0; i < users.Count(); ++i) {
        TQorUser& user = users.Items(i);
        TUserRow row;
        row.User = &user;
        row.Monitored = user.QorControl;
        row.Texts[0] = user.Username;
        if (user.QorControl) {
            int remaining = RemainingMinutes(user);
            row.Texts[1] = FormatMinutes(user.TodaysTimeLimit);
            row.Texts[2] = FormatMinutes(user.TodaysBonusTime);
            row.Texts[3] = FormatMinutes(user.TodaysTimeUsage);
            row.Texts[4] = FormatMinutes(remaining);
            row.BarPosition = BarPosition(remaining, scale);
            row.Image = RowIconFor(remaining);
        } else {
            row.Texts[1] = L" -";
            row.Texts[2] = L" -";
            row.Texts[3] = FormatMinutes(user.TodaysTimeUsage);
            row.Texts[4] = L" -";
            row.Image = kRowIconNotMonitored;
        }
        FRows.push_back(std::move(row));
    }
    FView.SetItemCount(RowCount());
    FView.SetRedraw(true);
    PlaceBars();
    InvalidateRect(FView.Handle(), nullptr, TRUE);

    if (selected >= 0 && selected < FView.ItemCount())
        FView.Select(selected);
}

TALProgressBar& TUserList::NewBar() {
    FBars.push_back(std::make_unique<TALProgressBar>());
    FBarRows.push_back(-1);
    TALProgressBar& bar = *FBars.back();
    bar.SetVisible(false);
    bar.SetParent(FView.Handle());
    if (FFont)
        bar.SetFont(FFont);
    bar.SetShowPosText(false);
    bar.SetBarColor1(kBarColor1);
    bar.SetBarColor2(kBarColor2);
    bar.SetBarColorStyle(cs2Colors);
    // Below the header in the z-order, so that a row under the header is hidden by it.
    if (HWND header = FView.Header())
        SetWindowPos(header, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return bar;
}

void TUserList::PlaceBars() {
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

    size_t next = 0;
    for (int row = first; row < last; ++row) {
        const TUserRow& data = FRows[static_cast<size_t>(row)];
        if (!data.Monitored)
            continue;
        RECT cell{};
        if (!FView.SubItemRect(row, kRemainingColumn, cell))
            continue;
        if (cell.bottom <= rowsTop || cell.top >= client.bottom)
            continue;
        const int width = FView.ColumnWidth(kRemainingColumn) - Scale(kBarRightInset);
        const int height = (cell.bottom - cell.top) - 2 * Scale(kBarVerticalInset);
        if (width <= 0 || height <= 0)
            continue;
        if (next == FBars.size())
            NewBar();
        TALProgressBar& bar = *FBars[next];
        FBarRows[next] = row;
        ++next;
        const int left = cell.left + Scale(kBarLeftOffset);
        const int top = cell.top + Scale(kBarVerticalInset);
        if (bar.Left() != left || bar.Top() != top || bar.Width() != width ||
            bar.Height() != height) {
            bar.SetBounds(left, top, width, height);
            FMovedBars.push_back(&bar);
        }
        bar.SetPosition(data.BarPosition);
        if (!bar.Visible()) {
            bar.SetVisible(true);
            FMovedBars.push_back(&bar);
        }
    }
    for (; next < FBars.size(); ++next) {
        FBarRows[next] = -1;
        if (FBars[next]->Visible())
            FBars[next]->SetVisible(false);
    }
}

TALProgressBar* TUserList::BarOfRow(int row) const {
    for (size_t i = 0; i < FBars.size(); ++i)
        if (FBarRows[i] == row && row >= 0)
            return FBars[i].get();
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
            FMovedBars.clear();
            PlaceBars();
            if (!FMovedBars.empty())
                result = CDRF_NOTIFYPOSTPAINT;
        } else if (draw.nmcd.dwDrawStage == CDDS_POSTPAINT) {
            // A bar moved during this drawing may have been drawn over by its row.
            std::vector<TALProgressBar*> moved;
            moved.swap(FMovedBars);
            for (TALProgressBar* bar : moved)
                if (bar->Handle() && bar->Visible())
                    RedrawWindow(bar->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
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
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || FRows.empty())
        return -1;
    const std::wstring wanted = find.lvfi.psz;
    const int count = RowCount();
    const int start = find.iStart >= 0 && find.iStart < count ? find.iStart : 0;
    const int tries = (find.lvfi.flags & LVFI_WRAP) ? count : count - start;
    for (int i = 0; i < tries; ++i) {
        int index = (start + i) % count;
        const std::wstring& name = FRows[static_cast<size_t>(index)].Texts[0];
        bool partial = (find.lvfi.flags & LVFI_PARTIAL) != 0;
        if (name.size() < wanted.size() || (!partial && name.size() != wanted.size()))
            continue;
        if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.c_str(),
                           static_cast<int>(wanted.size()), wanted.c_str(),
                           static_cast<int>(wanted.size())) == CSTR_EQUAL)
            return index;
    }
    return -1;
}

bool TUserList::BeforeDefault(UINT msg, LPARAM lParam, LRESULT& result) {
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
