#pragma once
// The detailed time usage dialog: today's minutes of one user on each computer, one row per
// computer that recorded any. It only displays; "&OK" and Escape close it.
#include "ui/controls/ListView.h"
#include "ui/controls/ModalDialog.h"

#include <string>
#include <vector>

namespace vantrel {

class TDetailedTimeUsageForm : public TModalDialog {
public:
    enum : int {
        IdLabelTop = 1001,
        IdListViewUsageDetails,
    };
    // Width of each of the two columns at 96 DPI.
    static constexpr int kColumnWidth = 140;

    TDetailedTimeUsageForm() = default;

    // Creates the hidden dialog (FormCreate).
    bool Create(HWND owner);

    // Entries "computer=minutes", read while the dialog is shown; the caller owns the list.
    // Without a list a showing changes nothing of what the dialog shows.
    const std::vector<std::wstring>* TimeUsageList = nullptr;
    std::wstring UserName;

    HWND ListViewUsageDetails() const { return Control(IdListViewUsageDetails); }

protected:
    void CreateControls() override;
    void OnShow() override;
    void OnCancel() override { EndModal(IDOK); }
    void OnDpiChanged() override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;

private:
    void FillList();
    // Type-ahead: the row at or after the list's start whose computer matches what was typed
    // (its beginning for a partial search; letter case aside), -1 for none.
    int FindRow(const NMLVFINDITEMW& find) const;
    void SetColumnWidths();

    struct TRow {
        std::wstring Computer;
        std::wstring Usage;
    };
    // The rows the list shows; it asks for their texts as it draws them.
    std::vector<TRow> FRows;
    TListView FList;
};

} // namespace vantrel
