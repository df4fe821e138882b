#pragma once
// The programs dialog: the programs one user ran today and in the last seven days, with the
// minutes of each and its rule, and the user's rules edited in place: the selected program's
// rule is none, "not allowed", one limit every day or one limit per weekday; "Add program
// &file..." reads a program's identity from its file. The command reads the store, fills the
// dialog's data and saves the rules after OK; the dialog never touches the store.
#include "model/ProgramInfo.h"
#include "model/ProgramRules.h"
#include "model/ProgramUsage.h"
#include "ui/controls/ListView.h"
#include "ui/controls/ModalDialog.h"

#include <string>
#include <vector>

namespace vantrel {

class TProgramsForm : public TModalDialog {
public:
    enum : int {
        IdLabelTop = 1001,
        IdListPrograms,
        IdLabelRule,
        IdRadioNoRule,
        IdRadioBlocked,
        IdRadioSame,
        IdRadioPerDay,
        IdLabelMinutes,
        IdEditMinutes,
        IdLabelNote,
        IdButtonAddFile,
        IdDayLabelFirst = 1100, // Monday .. Sunday
        IdDayEditFirst = 1110,
    };
    // The column widths at 96 DPI: program, today, this week, rule.
    static constexpr int kColumnWidths[4] = {200, 70, 80, 190};
    // The minutes a new limit starts with.
    static constexpr int kNewLimitMinutes = 60;

    TProgramsForm() = default;

    // Creates the hidden dialog.
    bool Create(HWND owner);

    // What the next showing shows.
    std::wstring UserName;
    TProgramList Today;
    TProgramList Week;
    std::vector<TProgramRule> ShownRules;
    // Whether the rules may be changed; the note says why not (or where they came from).
    bool RulesEditable = true;
    std::wstring Note;

    // After OK: the rules as edited, and whether they differ from ShownRules.
    std::vector<TProgramRule> Rules() const;
    bool RulesChanged() const;

    // The rows the list shows.
    struct TRow {
        std::wstring Id;
        std::wstring Name;
        int Today = 0;
        int Week = 0;
        bool HasRule = false;
        TProgramRule Rule;
    };
    const std::vector<TRow>& Rows() const { return FRows; }
    HWND ListPrograms() const { return Control(IdListPrograms); }
    // The row of a program by identity; -1 for none.
    int RowOf(const std::wstring& id) const;
    void SelectRow(int row);
    int SelectedRow() const { return FList.SelectedIndex(); }
    // A cell's text as the list shows it.
    std::wstring CellText(int row, int column) const;
    // Adds the program of a file (its row when it is listed already), selects it and gives it
    // a limit when it has no rule; a box tells what went wrong. "Add program &file..." calls it
    // with the file chosen.
    bool AddProgramFile(const std::wstring& path);

protected:
    void CreateControls() override;
    void OnShow() override;
    void OnDpiChanged() override { SetColumnWidths(); }
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;

private:
    void FillRows();
    void SetColumnWidths();
    void RefreshList();
    // The rule controls from the selected row.
    void ShowRule();
    // The selected row's rule from the rule controls.
    void TakeRule();
    void EnableRuleControls();
    int ReadMinutes(int id) const;
    void ChooseProgramFile();

    std::vector<TRow> FRows;
    TListView FList;
    // The controls are being set from a row: their notifications change nothing.
    bool FShowing = false;
};

} // namespace vantrel
