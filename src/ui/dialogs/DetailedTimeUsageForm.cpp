#include "ui/dialogs/DetailedTimeUsageForm.h"

#include "model/Prefs.h"
#include "model/UsageEntry.h"
#include "ui/Fonts.h"

#include <commctrl.h>

namespace vantrel {

namespace {

using namespace metrics;

constexpr int kTopHeight = 2 * 13 + 2;
constexpr int kListTop = kMargin + kTopHeight + kRelatedGap;
// Both columns whole beside a vertical scroll bar, inside the list's sunken edge.
constexpr int kListWidth = 2 * TDetailedTimeUsageForm::kColumnWidth + 22;
constexpr int kListHeight = 150;
constexpr int kClientWidth = kMargin + kListWidth + kMargin;
constexpr int kClientHeight = ClientHeightWithButtonRow(kListTop + kListHeight);

} // namespace

bool TDetailedTimeUsageForm::Create(HWND owner) {
    if (Handle())
        return true;
    SetDialogFont(CreateSystemFont(WindowDpi(owner)).Get());
    return TModalDialog::Create(owner, L"Detailed time usage", kClientWidth, kClientHeight);
}

void TDetailedTimeUsageForm::CreateControls() {
    const TControlSpec table[] = {
        {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, kMargin, kListWidth, kTopHeight,
         IdLabelTop},
        {WC_LISTVIEWW, L"",
         WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
             LVS_NOSORTHEADER,
         kMargin, kListTop, kListWidth, kListHeight, IdListViewUsageDetails, WS_EX_CLIENTEDGE},
        {L"BUTTON", L"&OK", WS_TABSTOP | BS_DEFPUSHBUTTON, ButtonLeft(kClientWidth, 0),
         ButtonRowTop(kClientHeight), kButtonWidth, kButtonHeight, IDOK},
    };
    AddControls(table);
    FList.Attach(ListViewUsageDetails());
    FList.SetExtendedStyle(LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    FList.InsertColumn(0, L"Computer", Scale(kColumnWidth));
    FList.InsertColumn(1, L"Time usage", Scale(kColumnWidth));
}

void TDetailedTimeUsageForm::SetColumnWidths() {
    FList.SetColumnWidth(0, Scale(kColumnWidth));
    FList.SetColumnWidth(1, Scale(kColumnWidth));
}

void TDetailedTimeUsageForm::OnDpiChanged() {
    SetColumnWidths();
}

void TDetailedTimeUsageForm::OnShow() {
    if (!TimeUsageList)
        return;
    SetControlText(IdLabelTop, L"Today's time usage per computer for user " + UserName + L":");
    FillList();
}

void TDetailedTimeUsageForm::FillList() {
    FRows.clear();
    for (const std::wstring& entry : *TimeUsageList) {
        const TUsageEntry usage = ParseUsageEntry(entry);
        if (usage.Minutes > 0)
            FRows.push_back({usage.Computer, FormatMinutes(usage.Minutes)});
    }
    FList.SetRedraw(false);
    FList.SetItemCount(0); // the selection of the last showing goes with its rows
    FList.SetItemCount(static_cast<int>(FRows.size()));
    FList.SetRedraw(true);
    InvalidateRect(FList.Handle(), nullptr, TRUE);
}

int TDetailedTimeUsageForm::FindRow(const NMLVFINDITEMW& find) const {
    return TListView::FindOwnerDataRow(find, static_cast<int>(FRows.size()),
                                       [this](int row) -> const std::wstring& {
                                           return FRows[static_cast<size_t>(row)].Computer;
                                       });
}

bool TDetailedTimeUsageForm::OnNotify(NMHDR* header, LRESULT& result) {
    if (!header || header->hwndFrom != FList.Handle())
        return false;
    if (header->code == LVN_ODFINDITEMW) {
        // Without an answer the list would take row 0 for whatever was typed.
        result = FindRow(*reinterpret_cast<const NMLVFINDITEMW*>(header));
        return true;
    }
    if (header->code != LVN_GETDISPINFOW)
        return false;
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
    result = 0;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0 || item.iItem < 0 ||
        item.iItem >= static_cast<int>(FRows.size()))
        return true;
    const TRow& row = FRows[static_cast<std::size_t>(item.iItem)];
    const std::wstring& text = item.iSubItem == 0 ? row.Computer : row.Usage;
    lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
    return true;
}

} // namespace vantrel
