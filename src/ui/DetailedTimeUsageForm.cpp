#include "ui/DetailedTimeUsageForm.h"

#include "model/Prefs.h"
#include "ui/Presentation.h"

#include <commctrl.h>

#include <cerrno>
#include <climits>
#include <cwchar>

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

// The few list-view calls of this dialog.
void InsertColumn(HWND list, int index, const wchar_t* caption, int width) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(caption);
    column.cx = width;
    column.iSubItem = index;
    ListView_InsertColumn(list, index, &column);
}

void AddRow(HWND list, const std::wstring& first, const std::wstring& second) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = ListView_GetItemCount(list);
    item.pszText = const_cast<wchar_t*>(first.c_str());
    const int row = ListView_InsertItem(list, &item);
    if (row >= 0)
        ListView_SetItemText(list, row, 1, const_cast<wchar_t*>(second.c_str()));
}

} // namespace

TDetailedTimeUsageForm::~TDetailedTimeUsageForm() {
    DestroyHandle();
}

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
         WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, kMargin,
         kListTop, kListWidth, kListHeight, IdListViewUsageDetails, WS_EX_CLIENTEDGE},
        {L"BUTTON", L"&OK", WS_TABSTOP | BS_DEFPUSHBUTTON, ButtonLeft(kClientWidth, 0),
         ButtonRowTop(kClientHeight), kButtonWidth, kButtonHeight, IDOK},
    };
    AddControls(table);
    HWND list = ListViewUsageDetails();
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    InsertColumn(list, 0, L"Computer", Scale(kColumnWidth));
    InsertColumn(list, 1, L"Time usage", Scale(kColumnWidth));
}

void TDetailedTimeUsageForm::SetColumnWidths() {
    HWND list = ListViewUsageDetails();
    ListView_SetColumnWidth(list, 0, Scale(kColumnWidth));
    ListView_SetColumnWidth(list, 1, Scale(kColumnWidth));
}

void TDetailedTimeUsageForm::OnDpiChanged() {
    SetColumnWidths();
}

int TDetailedTimeUsageForm::EntryMinutes(const std::wstring& entry) {
    const std::size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos)
        return 0;
    const wchar_t* text = entry.c_str() + equals + 1;
    if (!*text)
        return 0;
    wchar_t* end = nullptr;
    errno = 0;
    const long long value = std::wcstoll(text, &end, 10);
    if (errno == ERANGE || *end != L'\0' || value < INT_MIN || value > INT_MAX)
        return 0;
    return static_cast<int>(value);
}

void TDetailedTimeUsageForm::OnShow() {
    if (!TimeUsageList)
        return;
    SetControlText(IdLabelTop, L"Today's time usage per computer for user " + UserName + L":");
    FillList();
}

void TDetailedTimeUsageForm::FillList() {
    HWND list = ListViewUsageDetails();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    for (const std::wstring& entry : *TimeUsageList) {
        const int minutes = EntryMinutes(entry);
        if (minutes > 0)
            AddRow(list, entry.substr(0, entry.find(L'=')), FormatMinutes(minutes));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

} // namespace vantrel
