#pragma once
// The daily time limits dialog: one user's weekly schedule (for each weekday one run of allowed
// hours in an hour grid and the day's limit in a drop-down list), whether limits apply to the
// user at all, and three preset schedules. It works on a copy of its own (QorUser), which the
// command fills before showing it and copies back after OK; the dialog never touches the
// store. Created once at start and reused for every user.
#include "model/Prefs.h"
#include "model/QorUser.h"
#include "ui/controls/HourGrid.h"
#include "ui/controls/ModalDialog.h"

#include <array>

namespace vantrel {

class TDailyTimeLimitsForm : public TModalDialog {
public:
    // Control ids, for tests. Families of seven run Monday to Sunday; the scale labels run
    // from the first cell boundary (hour 0) to the last (hour 24).
    enum : int {
        IdCheckBoxActivateUser = 1101,
        IdLabelPeriod,
        IdLabelTimeLimit,
        IdLabelHhMm,
        IdLabelAm,
        IdLabelPm,
        IdEditAllowed,
        IdLabelAllowed,
        IdEditBlocked,
        IdLabelBlocked,
        IdButtonStrict,
        IdButtonDefault,
        IdButtonLenient,
        IdScale12First = 1200, // 25 labels of the 12-hour scale
        IdScale24First = 1250, // 25 labels of the 24-hour scale
        IdDayLabelFirst = 1300,
        IdGridFirst = 1310,
        IdListFirst = 1320,
    };
    static constexpr int kScaleLabels = kHourGridCells + 1;
    // The choices of every day's list, in minutes, by item index.
    static constexpr int kChoiceCount = 13;
    static constexpr std::array<int, kChoiceCount> kChoiceMinutes = {
        30, 60, 90, 120, 150, 180, 240, 300, 360, 420, 480, 540, 600};

    TDailyTimeLimitsForm() = default;

    // FormCreate: the hidden dialog in the system font, with the allowed colour's swatch and
    // every list on "02:00". `prefs` are the main window's preferences (see Prefs).
    bool Create(HWND owner, const TQorPrefs* prefs = nullptr);

    // The dialog's own copy of the user being edited.
    TQorUser& QorUser() { return FQorUser; }
    const TQorUser& QorUser() const { return FQorUser; }
    // QorUser as the last showing began, with the week as the controls showed it (a period
    // beyond the day clipped): what the administrator's changes are told apart from.
    const TQorUser& Shown() const { return FShown; }
    // The main window's preferences; Use24HourClock is read at every showing (none: 12-hour).
    const TQorPrefs* Prefs = nullptr;

    // The check box, the grids and the lists from QorUser. A day's limit that none of the
    // choices stands for is shown as one more entry of that day's list, selected.
    void UserToControls();
    // QorUser from the controls, schedule and limits whether or not the box is checked.
    void ControlsToUser();
    // The index of the choice with exactly these minutes, -1 for any other value.
    static int MinutesToItemIndex(int minutes);
    // The minutes of a choice; 120 for no choice or an index outside the table.
    static int ItemIndexToMinutes(int index);

    // Weekday 1 = Monday .. 7 = Sunday.
    THourGrid& Grid(int weekday) { return FGrids[static_cast<size_t>(weekday - 1)]; }
    TComboBox List(int weekday) const { return ComboBox(IdListFirst + weekday - 1); }
    static int GridId(int weekday) { return IdGridFirst + weekday - 1; }
    static int ListId(int weekday) { return IdListFirst + weekday - 1; }
    // Every control the check box enables and disables.
    static TControlGroup UserDataControls();
    // Where a scale label stands: the client x of its cell boundary at the present DPI.
    int CellBoundaryX(int boundary) const;

    // Event handlers.
    void CheckBoxActivateUserClick();
    void ControlChanged();
    void ButtonStrictClick();
    void ButtonDefaultClick();
    void ButtonLenientClick();

protected:
    void CreateControls() override;
    void OnShow() override;
    // ButtonOKClick: only while OK is enabled (Enter reaches here through the dialog manager
    // whatever the button's state).
    void OnOK() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnDpiChanged() override;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void ReadControls(TQorUser& user);
    void ApplyEnablingRule();
    void ApplyPreset(const wchar_t* question, int profile);
    // Fills a day's list with the choices and, for a value that none of them stands for, the
    // extra entry; selects the day's value.
    void FillList(int weekday, int minutes);
    // The grids and the scale labels follow the grid's cells, whose lines stay one pixel wide
    // at every DPI, so they are placed from the grid's geometry and not scaled from 96 DPI.
    void PlaceGrids();
    void PlaceScale();

    TQorUser FQorUser;
    TQorUser FShown;
    std::array<THourGrid, 7> FGrids;
    TBrushHandle FAllowedBrush;
};

} // namespace vantrel
