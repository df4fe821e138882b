#pragma once
// The main window's list of users: one row per account of the collection with today's limit,
// bonus, usage and remaining time, and for a monitored user a bar of the share of today's time
// that remains.
//
// Only the rows on screen have bars: each time the list draws (custom draw), a bar place is
// bound to every visible row of a monitored user, and once the rows are drawn one bar control
// paints itself into each place on the list's own surface. The bars thus follow whatever moved
// the rows (scrolling, type-ahead, a click on a partly visible row, a column width) as part of
// the rows' pixels, and neither the accounts nor the window's height add window or GDI objects.
#include "model/QorUsers.h"
#include "model/ServiceNews.h"
#include "ui/ProgramIcons.h"
#include "ui/controls/ALProgressBar.h"
#include "ui/controls/ListView.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

inline constexpr int kUserColumnCount = 5;
inline constexpr int kRemainingColumn = 4;
// Column layout of ListViewUsers at 96 DPI; a column is wider when its caption needs it.
inline constexpr int kUserColumnWidths[kUserColumnCount] = {140, 100, 100, 100, 100};
// The bar of a row lies in the "Time remaining" column after its text.
inline constexpr int kBarLeftOffset = 54;
inline constexpr int kBarRightInset = 64;
inline constexpr int kBarVerticalInset = 4;
inline constexpr COLORREF kBarColor1 = RGB(166, 202, 240);
inline constexpr COLORREF kBarColor2 = RGB(0, 0, 128);
// The scale of the bars is never less than an hour.
inline constexpr long long kMinimumBarScale = 60;

// A user's request for more time that waits for an answer, as the main window last read it.
struct TOpenRequest {
    std::wstring User;
    int Minutes = 0;
};
// What a row's user column says of an open request: "anna (asks 30 min)".
std::wstring RequestRowText(const std::wstring& user, int minutes);
// What the status bar says of the open requests: "anna asks for 30 more minutes", "2 requests
// for more time"; empty without one.
std::wstring OpenRequestsText(const std::vector<TOpenRequest>& requests);
// An account name as a command line or another program gives it: `length` characters that are
// not all blanks, without control characters or the characters Windows refuses in account
// names, at most 256 (a terminating zero ends it early).
bool ReadAccountName(const wchar_t* text, size_t length, std::wstring& name);

// Row icons, indexes into ImageListMain32b.
inline constexpr int kRowIconTimeLeft = ImageIndex(TMainImage::RowTimeLeft);
inline constexpr int kRowIconLittleTime = ImageIndex(TMainImage::RowLittleTime);
inline constexpr int kRowIconNoTime = ImageIndex(TMainImage::RowNoTime);
inline constexpr int kRowIconNotMonitored = ImageIndex(TMainImage::RowNotMonitored);

// The largest day total of the monitored users, at least an hour.
long long BarScale(const TQorUsers& users);
// The bar position of `remaining` minutes on a scale: remaining / scale * 100, halves to even,
// within 0 to 100.
int BarPosition(long long remaining, long long scale);
// The row icon for `remaining` minutes of a monitored user.
int RowIconFor(long long remaining);

// Where a row's bar stands (client coordinates of the list) and how full it is.
struct TBarPlace {
    int Row = -1;
    RECT Bounds{};
    int Position = 0;
};

// What one row shows, as the last fill computed it.
struct TUserRow {
    // The record the row stands for; nullptr while the collection is being reloaded.
    TQorUser* User = nullptr;
    std::array<std::wstring, kUserColumnCount> Texts;
    int Image = kRowIconNotMonitored;
    bool Monitored = false;
    int BarPosition = 0;
    // The service told the user to stop, and a session is still there after the grace: the
    // remaining time says so instead of a bar.
    bool LogoffUnfinished = false;
    // The minutes the user asks for in a request that waits; 0 without one.
    int RequestMinutes = 0;
};

class TUserList {
public:
    TUserList() = default;
    ~TUserList();
    TUserList(const TUserList&) = delete;
    TUserList& operator=(const TUserList&) = delete;

    // Creates the report-style list view as a child of parent, with its five columns.
    bool Create(HWND parent, int id, int dpi);
    // Removes the list's subclass and the bars; the parent destroys the list view itself.
    void Destroy();
    HWND Handle() const { return FView.Handle(); }
    TListView& View() { return FView; }

    // Font, icons, column widths and bar sizes for a DPI. The font and icons stay the caller's.
    void SetMetrics(int dpi, HFONT font, HIMAGELIST images);
    // The records may be replaced from now on (a reload): rows keep their texts, but no row
    // hands out its user until the next Fill.
    void ForgetUsers();
    // Rebuilds the rows from the collection and selects the row at the old index again.
    void Fill(TQorUsers& users);
    // Brings the figures of the rows up to date from the same records (today's usage read
    // again) and repaints only the rows whose figures changed; their count.
    int UpdateFigures(TQorUsers& users);
    // The users whose log-off the service has not done, as it last told; the rows show them at
    // the next Fill or UpdateFigures.
    void SetUnfinishedLogoffs(std::vector<TUnfinishedLogoff> logoffs) {
        FLogoffs = std::move(logoffs);
    }

    // The users with a request that waits for an answer; the rows show them at the next Fill or
    // UpdateFigures.
    void SetOpenRequests(std::vector<TOpenRequest> requests) { FRequests = std::move(requests); }
    // Selects the row of `user` (letter case aside) and brings it into view; false without one.
    bool SelectUser(const std::wstring& user);

    int RowCount() const { return static_cast<int>(FRows.size()); }
    const TUserRow* Row(int index) const;
    // The user of the selected row, or nullptr.
    TQorUser* SelectedUser() const;
    // The bar of `row` now; nullptr when the row is off screen or its user not monitored.
    const TBarPlace* BarOfRow(int row) const;
    // How many bars the rows on screen show.
    int BarCount() const { return static_cast<int>(FPlaces.size()); }
    // The control that paints every bar, with the bars' colours and style.
    const TALProgressBar& BarPainter() const { return FPainter; }
    // Binds the bar places to the rows on screen now; the list's drawing does this by itself.
    void PlaceBars();

    // WM_NOTIFY from the list view, delivered to its parent; true when handled.
    bool HandleNotify(NMHDR& header, LRESULT& result);

    // The selection changed (ListViewUsersSelectItem); a double-click (ListViewUsersDblClick).
    std::function<void()> OnSelectItem;
    std::function<void()> OnDblClick;

private:
    TUserRow RowOf(TQorUser& user, long long scale) const;
    int Scale(int pixels) const;
    void ApplyColumnWidths();
    int FindRow(const NMLVFINDITEMW& find) const;
    void PaintBars(HDC dc);
    // A column caption, within the header item's margins.
    void DrawCaption(const DRAWITEMSTRUCT& draw);
    bool BeforeDefault(UINT msg, LPARAM lParam, LRESULT& result);
    static LRESULT CALLBACK ListViewSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR data);

    TListView FView;
    int FDpi = 96;
    bool FSettingColumns = false;
    bool FSubclassed = false;
    std::vector<TUserRow> FRows;
    // Never given a window: it paints into the places of FPlaces on the list's surface.
    TALProgressBar FPainter;
    std::vector<TBarPlace> FPlaces;
    std::vector<TUnfinishedLogoff> FLogoffs;
    std::vector<TOpenRequest> FRequests;
};

} // namespace vantrel
