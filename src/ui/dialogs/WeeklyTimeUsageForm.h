#pragma once
// The weekly time usage dialog: one user's last seven days as a chart (ui/WeekChart.h) by
// computer or by program, the figures of the day chosen in it, and "&Copy", which puts the week's
// table on the clipboard as text. It only displays; the command reads the store and hands the week
// over.
#include "model/WeekUsage.h"
#include "ui/WeekChart.h"
#include "ui/controls/ModalDialog.h"

namespace vantrel {

class TWeeklyTimeUsageForm : public TModalDialog {
public:
    enum : int {
        IdLabelTop = 1001,
        IdChart,
        IdLabelDay,
        IdButtonCopy,
        IdRadioComputers,
        IdRadioPrograms,
    };

    TWeeklyTimeUsageForm() = default;

    // Creates the hidden dialog.
    bool Create(HWND owner);

    // What the next showing shows; its computers are put in the chart's order when it shows.
    TWeekUsage Week;
    // Each day's programs, the oldest first, as the days of Week.
    std::vector<TProgramList> Programs;
    // The name this computer counts its minutes under (the service's NetBIOS name); this
    // computer's when empty.
    std::wstring ThisComputer;

    TWeekChart& Chart() { return FChart; }
    // Puts the week's table on the clipboard; false when the clipboard refused it.
    bool CopyTable();

protected:
    void CreateControls() override;
    void OnShow() override;
    void OnCancel() override { EndModal(IDOK); }
    void OnDpiChanged() override { FChart.SetDpi(Dpi()); }
    bool OnCommand(int id, int code, HWND control) override;

private:
    void ShowCurrentDay();
    void ShowView();

    TWeekChart FChart;
};

} // namespace vantrel
