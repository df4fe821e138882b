#include "ui/dialogs/ProgramsForm.h"

#include "model/Prefs.h"
#include "ui/Fonts.h"
#include "ui/UserPrograms.h"
#include "ui/controls/MessageBox.h"
#include "ui/controls/Shell.h"

#include <commctrl.h>

#include <algorithm>

namespace vantrel {

namespace {

using namespace metrics;

constexpr wchar_t kDayNames[7][4] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};

constexpr int kListTop = kMargin + kLabelHeight + kRelatedGap;
// Every column whole beside a vertical scroll bar, inside the list's sunken edge.
constexpr int kListWidth = TProgramsForm::kColumnWidths[0] + TProgramsForm::kColumnWidths[1] +
                           TProgramsForm::kColumnWidths[2] + TProgramsForm::kColumnWidths[3] + 22;
constexpr int kListHeight = 190;
constexpr int kRuleTop = kListTop + kListHeight + kUnrelatedGap;
constexpr int kRadioTop = kRuleTop + kLabelHeight + kRelatedGap;
constexpr int kMinutesTop = kRadioTop + kRowHeight;
constexpr int kDaysTop = kMinutesTop + kRowHeight + 4;
constexpr int kNoteTop = kDaysTop + kEditHeight + kUnrelatedGap;
constexpr int kNoteHeight = 2 * 13 + 4;
constexpr int kClientWidth = kMargin + kListWidth + kMargin;
constexpr int kClientHeight = ClientHeightWithButtonRow(kNoteTop + kNoteHeight);
constexpr int kDayStep = 78;
constexpr int kDayLabelWidth = 30;
constexpr int kDayEditLeft = kDayLabelWidth + 2;
constexpr int kMinutesEditWidth = 44;

std::wstring EscapeAmpersands(const std::wstring& text) {
    std::wstring escaped;
    for (wchar_t c : text) {
        escaped += c;
        if (c == L'&')
            escaped += L'&';
    }
    return escaped;
}

// Rules compare by what is stored of them.
std::vector<std::wstring> StoredLines(std::vector<TProgramRule> rules) {
    std::vector<std::wstring> lines;
    for (const TProgramRule& rule : rules)
        lines.push_back(FormatProgramRule(rule));
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::wstring TooManyRulesText() {
    return L"A user can have at most " + std::to_wstring(kMostProgramRules) + L" program rules.";
}

} // namespace

bool TProgramsForm::Create(HWND owner) {
    if (Handle())
        return true;
    SetDialogFont(CreateSystemFont(WindowDpi(owner)).Get());
    return TModalDialog::Create(owner, L"Programs", kClientWidth, kClientHeight);
}

void TProgramsForm::CreateControls() {
    std::vector<TControlSpec> table = {
        // The label before the list names it for screen readers and gives it its access key.
        {L"STATIC", L"", SS_LEFT, kMargin, kMargin, kListWidth, kLabelHeight, IdLabelTop},
        {WC_LISTVIEWW, L"",
         WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
             LVS_NOSORTHEADER,
         kMargin, kListTop, kListWidth, kListHeight, IdListPrograms, WS_EX_CLIENTEDGE},
        {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, kRuleTop, kListWidth, kLabelHeight,
         IdLabelRule, 0, TControlFont::Bold},
        {L"BUTTON", L"No &rule", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, kMargin, kRadioTop, 80,
         kCheckBoxHeight, IdRadioNoRule},
        {L"BUTTON", L"&Not allowed", BS_AUTORADIOBUTTON, kMargin + 90, kRadioTop, 100,
         kCheckBoxHeight, IdRadioBlocked},
        {L"BUTTON", L"&Same limit every day", BS_AUTORADIOBUTTON, kMargin + 200, kRadioTop, 150,
         kCheckBoxHeight, IdRadioSame},
        {L"BUTTON", L"A limit per &weekday", BS_AUTORADIOBUTTON, kMargin + 360, kRadioTop, 150,
         kCheckBoxHeight, IdRadioPerDay},
        {L"STATIC", L"&Minutes a day:", SS_LEFT | WS_GROUP, kMargin + 18, kMinutesTop + 3, 100,
         kLabelHeight, IdLabelMinutes},
        {WC_EDITW, L"", WS_TABSTOP | WS_GROUP | ES_NUMBER | ES_AUTOHSCROLL, kMargin + 120,
         kMinutesTop, kMinutesEditWidth, kEditHeight, IdEditMinutes, WS_EX_CLIENTEDGE},
    };
    for (int day = 0; day < 7; ++day) {
        const int x = kMargin + 18 + day * kDayStep;
        table.push_back({L"STATIC", kDayNames[day], SS_LEFT | SS_NOPREFIX, x, kDaysTop + 3,
                         kDayLabelWidth, kLabelHeight, IdDayLabelFirst + day});
        table.push_back({WC_EDITW, L"", WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, x + kDayEditLeft,
                         kDaysTop, kMinutesEditWidth, kEditHeight, IdDayEditFirst + day,
                         WS_EX_CLIENTEDGE});
    }
    const TControlSpec bottom[] = {
        {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, kNoteTop, kListWidth, kNoteHeight,
         IdLabelNote},
        {L"BUTTON", L"Add program &file...", WS_TABSTOP | BS_PUSHBUTTON, kMargin,
         ButtonRowTop(kClientHeight), 130, kButtonHeight, IdButtonAddFile},
        {L"BUTTON", L"&OK", WS_TABSTOP | BS_DEFPUSHBUTTON, ButtonLeft(kClientWidth, 1),
         ButtonRowTop(kClientHeight), kButtonWidth, kButtonHeight, IDOK},
        {L"BUTTON", L"&Cancel", WS_TABSTOP | BS_PUSHBUTTON, ButtonLeft(kClientWidth, 0),
         ButtonRowTop(kClientHeight), kButtonWidth, kButtonHeight, IDCANCEL},
    };
    table.insert(table.end(), std::begin(bottom), std::end(bottom));
    AddControls(table);
    SendMessageW(Control(IdEditMinutes), EM_LIMITTEXT, 4, 0);
    for (int day = 0; day < 7; ++day)
        SendMessageW(Control(IdDayEditFirst + day), EM_LIMITTEXT, 4, 0);
    FList.Attach(ListPrograms());
    FList.SetExtendedStyle(LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    const wchar_t* captions[4] = {L"Program", L"Today", L"This week", L"Rule"};
    for (int column = 0; column < 4; ++column)
        FList.InsertColumn(column, captions[column], Scale(kColumnWidths[column]));
}

void TProgramsForm::SetColumnWidths() {
    for (int column = 0; column < 4; ++column)
        FList.SetColumnWidth(column, Scale(kColumnWidths[column]));
}

void TProgramsForm::OnShow() {
    SetControlText(IdLabelTop, L"&Programs of " + EscapeAmpersands(UserName) +
                                   L" today and in the last seven days:");
    SetControlText(IdLabelNote, Note);
    FillRows();
    RefreshList();
    SelectRow(FRows.empty() ? -1 : 0);
    FocusOnShow(IdListPrograms);
}

void TProgramsForm::FillRows() {
    FRows.clear();
    for (const TProgramMinutes& program : Week) {
        TRow row;
        row.Id = program.Id;
        row.Name = program.Id.empty() ? std::wstring(kOtherProgramsName) : program.Name;
        row.Week = program.Minutes;
        row.Today = ProgramMinutesOf(Today, program.Id);
        FRows.push_back(std::move(row));
    }
    for (const TProgramRule& rule : ShownRules) {
        int index = rule.Id.empty() ? -1 : RowOf(rule.Id);
        if (rule.Id.empty())
            continue;
        if (index < 0) {
            TRow row;
            row.Id = rule.Id;
            row.Name = rule.Name;
            // Before "Other programs", which stays last.
            auto at = std::find_if(FRows.begin(), FRows.end(),
                                   [](const TRow& r) { return r.Id.empty(); });
            index = static_cast<int>(at - FRows.begin());
            FRows.insert(at, std::move(row));
        }
        TRow& row = FRows[static_cast<size_t>(index)];
        row.HasRule = true;
        row.Rule = rule;
    }
}

void TProgramsForm::RefreshList() {
    FList.SetRedraw(false);
    const int selected = FList.SelectedIndex();
    FList.SetItemCount(static_cast<int>(FRows.size()));
    if (selected >= static_cast<int>(FRows.size()))
        FList.Select(-1);
    FList.SetRedraw(true);
    InvalidateRect(FList.Handle(), nullptr, TRUE);
}

int TProgramsForm::RowOf(const std::wstring& id) const {
    for (size_t i = 0; i < FRows.size(); ++i)
        if (FRows[i].Id == id)
            return static_cast<int>(i);
    return -1;
}

void TProgramsForm::SelectRow(int row) {
    FList.Select(row);
    if (row >= 0)
        ListView_EnsureVisible(FList.Handle(), row, FALSE);
    ShowRule();
}

std::wstring TProgramsForm::CellText(int index, int column) const {
    if (index < 0 || index >= static_cast<int>(FRows.size()))
        return std::wstring();
    const TRow& row = FRows[static_cast<size_t>(index)];
    switch (column) {
    case 0:
        return row.Name;
    case 1:
        return FormatMinutes(row.Today);
    case 2:
        return FormatMinutes(row.Week);
    default:
        return row.HasRule ? ProgramRuleText(row.Rule) : std::wstring();
    }
}

void TProgramsForm::EnableRuleControls() {
    const int index = FList.SelectedIndex();
    const bool program = index >= 0 && index < static_cast<int>(FRows.size()) &&
                         !FRows[static_cast<size_t>(index)].Id.empty();
    const bool editable = RulesEditable && program;
    for (int id : {IdRadioNoRule, IdRadioBlocked, IdRadioSame, IdRadioPerDay})
        EnableControl(id, editable);
    const bool same = editable && IsChecked(IdRadioSame);
    EnableControl(IdLabelMinutes, same);
    EnableControl(IdEditMinutes, same);
    const bool perDay = editable && IsChecked(IdRadioPerDay);
    for (int day = 0; day < 7; ++day) {
        EnableControl(IdDayLabelFirst + day, perDay);
        EnableControl(IdDayEditFirst + day, perDay);
    }
    EnableControl(IdButtonAddFile, RulesEditable);
}

void TProgramsForm::ShowRule() {
    FShowing = true;
    const int index = FList.SelectedIndex();
    const TRow* row = index >= 0 && index < static_cast<int>(FRows.size())
                          ? &FRows[static_cast<size_t>(index)]
                          : nullptr;
    std::wstring heading = L"Rule";
    if (row && row->Id.empty())
        heading = L"Other programs are summed up and cannot have a rule.";
    else if (row)
        heading = L"Rule for " + row->Name + L":";
    SetControlText(IdLabelRule, heading);
    int kind = 0;
    TProgramRule rule;
    if (row && row->HasRule) {
        rule = row->Rule;
        kind = rule.Blocked ? 1 : rule.SameEveryDay() ? 2 : 3;
    }
    SetCheckedRadio({IdRadioNoRule, IdRadioBlocked, IdRadioSame, IdRadioPerDay}, row ? kind : -1);
    const bool limit = kind >= 2;
    SetControlText(IdEditMinutes, limit ? std::to_wstring(rule.Minutes[0]) : std::wstring());
    for (int day = 0; day < 7; ++day)
        SetControlText(IdDayEditFirst + day,
                       limit ? std::to_wstring(rule.Minutes[day]) : std::wstring());
    FShowing = false;
    EnableRuleControls();
}

int TProgramsForm::ReadMinutes(int id) const {
    // An empty field is no time, never more; a day has no more than 1440 minutes.
    const std::wstring text = ControlText(id);
    int minutes = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            break;
        minutes = std::min(1440, minutes * 10 + (c - L'0'));
    }
    return minutes;
}

void TProgramsForm::TakeRule() {
    const int index = FList.SelectedIndex();
    if (FShowing || !RulesEditable || index < 0 || index >= static_cast<int>(FRows.size()))
        return;
    TRow& row = FRows[static_cast<size_t>(index)];
    if (row.Id.empty())
        return;
    const int kind = CheckedRadio({IdRadioNoRule, IdRadioBlocked, IdRadioSame, IdRadioPerDay});
    if (kind > 0 && !row.HasRule && Rules().size() >= kMostProgramRules) {
        // The store takes no longer list: the row stays without a rule.
        ShowMessage(Handle(), TooManyRulesText(), TMsgKind::Warning);
        ShowRule();
        return;
    }
    if (kind <= 0) {
        row.HasRule = false;
    } else {
        row.HasRule = true;
        row.Rule.Id = row.Id;
        row.Rule.Name = row.Name;
        row.Rule.Blocked = kind == 1;
        for (int day = 0; day < 7; ++day)
            row.Rule.Minutes[day] = kind == 2   ? ReadMinutes(IdEditMinutes)
                                    : kind == 3 ? ReadMinutes(IdDayEditFirst + day)
                                                : 0;
    }
    ListView_RedrawItems(FList.Handle(), index, index);
}

std::vector<TProgramRule> TProgramsForm::Rules() const {
    std::vector<TProgramRule> rules;
    for (const TRow& row : FRows)
        if (row.HasRule && !row.Id.empty())
            rules.push_back(row.Rule);
    return rules;
}

bool TProgramsForm::RulesChanged() const {
    return StoredLines(Rules()) != StoredLines(ShownRules);
}

bool TProgramsForm::AddProgramFile(const std::wstring& path) {
    if (!RulesEditable)
        return false;
    TProgramInfo info;
    if (!ReadProgramInfo(path, info)) {
        ShowMessage(Handle(), L"Could not read the program file " + path + L".", TMsgKind::Warning);
        return false;
    }
    int index = RowOf(info.Id);
    if (index < 0) {
        if (Rules().size() >= kMostProgramRules) {
            ShowMessage(Handle(), TooManyRulesText(), TMsgKind::Warning);
            return false;
        }
        TRow row;
        row.Id = info.Id;
        row.Name = info.Name;
        auto at =
            std::find_if(FRows.begin(), FRows.end(), [](const TRow& r) { return r.Id.empty(); });
        index = static_cast<int>(at - FRows.begin());
        FRows.insert(at, std::move(row));
        RefreshList();
    }
    TRow& row = FRows[static_cast<size_t>(index)];
    if (!row.HasRule) {
        row.HasRule = true;
        row.Rule = TProgramRule{};
        row.Rule.Id = row.Id;
        row.Rule.Name = row.Name;
        for (int& minutes : row.Rule.Minutes)
            minutes = kNewLimitMinutes;
    }
    SelectRow(index);
    ListView_RedrawItems(FList.Handle(), index, index);
    return true;
}

void TProgramsForm::ChooseProgramFile() {
    // A click can reach a disabled button (BM_CLICK from another program).
    if (!RulesEditable)
        return;
    std::wstring path;
    if (ChooseOpenFile(Handle(), L"Programs (*.exe)", L"*.exe", path) && AddProgramFile(path))
        SetFocus(Control(IsChecked(IdRadioSame) ? IdEditMinutes : IdListPrograms));
}

bool TProgramsForm::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IdButtonAddFile:
        if (code == BN_CLICKED)
            ChooseProgramFile();
        return true;
    case IdRadioNoRule:
    case IdRadioBlocked:
    case IdRadioSame:
    case IdRadioPerDay:
        if (code == BN_CLICKED && !FShowing) {
            // A limit chosen anew starts from the limit shown, else from an hour.
            const int index = FList.SelectedIndex();
            const bool hadLimit = index >= 0 && index < static_cast<int>(FRows.size()) &&
                                  FRows[static_cast<size_t>(index)].HasRule &&
                                  !FRows[static_cast<size_t>(index)].Rule.Blocked;
            if (!hadLimit && (id == IdRadioSame || id == IdRadioPerDay)) {
                FShowing = true;
                SetControlText(IdEditMinutes, std::to_wstring(kNewLimitMinutes));
                for (int day = 0; day < 7; ++day)
                    SetControlText(IdDayEditFirst + day, std::to_wstring(kNewLimitMinutes));
                FShowing = false;
            } else if (id == IdRadioPerDay) {
                // Every day starts from the one limit.
                FShowing = true;
                for (int day = 0; day < 7; ++day)
                    if (ControlText(IdDayEditFirst + day).empty())
                        SetControlText(IdDayEditFirst + day, ControlText(IdEditMinutes));
                FShowing = false;
            } else if (id == IdRadioSame && ControlText(IdEditMinutes).empty()) {
                FShowing = true;
                SetControlText(IdEditMinutes, ControlText(IdDayEditFirst));
                FShowing = false;
            }
            TakeRule();
            EnableRuleControls();
        }
        return true;
    default:
        break;
    }
    if ((id == IdEditMinutes || (id >= IdDayEditFirst && id < IdDayEditFirst + 7)) &&
        code == EN_CHANGE) {
        TakeRule();
        return true;
    }
    return TModalDialog::OnCommand(id, code, control);
}

bool TProgramsForm::OnNotify(NMHDR* header, LRESULT& result) {
    if (!header || header->hwndFrom != FList.Handle())
        return false;
    switch (header->code) {
    case LVN_ODFINDITEMW:
        result = TListView::FindOwnerDataRow(*reinterpret_cast<const NMLVFINDITEMW*>(header),
                                             static_cast<int>(FRows.size()),
                                             [this](int row) -> const std::wstring& {
                                                 return FRows[static_cast<size_t>(row)].Name;
                                             });
        return true;
    case LVN_ITEMCHANGED: {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
        if (change->uChanged & LVIF_STATE)
            ShowRule();
        result = 0;
        return true;
    }
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
        result = 0;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            const std::wstring text = CellText(item.iItem, item.iSubItem);
            lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace vantrel
