// The dialog toolkit on real windows: a small dialog built from a control table, placed anew
// from the table when the DPI changes, read and set through the accessors, F1 and groups.
#include "ui/controls/ModalDialog.h"

#include "DialogFixture.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

enum : int {
    IdCheck = 200,
    IdHeading,
    IdRadio1,
    IdRadio2,
    IdRadio3,
    IdCombo,
    IdEdit,
    IdOther,
    IdDefault,
};

// Odd places and sizes, so that scaling a rounded rectangle a second time would show.
const TControlSpec kTable[] = {
    {L"BUTTON", L"&Activate", BS_AUTOCHECKBOX | WS_TABSTOP, 13, 11, 151, 17, IdCheck},
    {L"STATIC", L"Heading:", SS_LEFT, 13, 33, 97, 15, IdHeading, 0, TControlFont::Bold},
    {L"BUTTON", L"15 minutes", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 13, 53, 101, 17,
     IdRadio1},
    {L"BUTTON", L"30 minutes", BS_AUTORADIOBUTTON, 13, 75, 101, 17, IdRadio2},
    {L"BUTTON", L"1 hour", BS_AUTORADIOBUTTON, 13, 97, 101, 17, IdRadio3},
    {L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 131, 53, 61, 227,
     IdCombo},
    {L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP, 131, 83, 113, 21, IdEdit, WS_EX_CLIENTEDGE},
    {L"BUTTON", L"&Other", BS_PUSHBUTTON | WS_TABSTOP, 13, 125, 75, 25, IdOther},
};
constexpr int kClientWidth = 263;
constexpr int kClientHeight = 193;

class TTableDialog : public testwin::TSteppedDialog {
public:
    using TModalDialog::AddControls;
    using TModalDialog::MoveControl;

    bool HandleHelp = true;
    std::vector<HELPINFO> Helps;

protected:
    void CreateControls() override {
        AddControls(kTable);
        AddOKCancel();
    }
    bool OnHelp(const HELPINFO& info) override {
        Helps.push_back(info);
        return HandleHelp;
    }
};

class DialogToolkit : public testwin::TDialogTest<TTableDialog, kClientWidth, kClientHeight> {
protected:
    void SetUp() override {
        LOGFONTW lf{};
        lf.lfHeight = -13;
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        wcscpy_s(lf.lfFaceName, L"Tahoma");
        TFontHandle font(CreateFontIndirectW(&lf));
        Dialog.SetDialogFont(font.Get());
        TDialogTest::SetUp();
        ASSERT_EQ(Dialog.Dpi(), 96);
    }
    RECT Bounds(int id) {
        RECT r{};
        GetWindowRect(Dialog.Control(id), &r);
        MapWindowPoints(nullptr, Dialog.Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    LOGFONTW FontOf(int id) {
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Dialog.Control(id), WM_GETFONT, 0, 0)),
                   sizeof(lf), &lf);
        return lf;
    }
    void ChangeDpi(int dpi) {
        RECT suggested{40, 30, 40 + ScaleForDpi(kClientWidth, dpi) + 20,
                       30 + ScaleForDpi(kClientHeight, dpi) + 40};
        SendMessageW(Dialog.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
    }
    // Every control stands where the table puts it at `dpi`.
    void ExpectPlacedFromTheTable(int dpi, int except = 0) {
        for (const TControlSpec& entry : kTable) {
            if (entry.Id == except)
                continue;
            SCOPED_TRACE(entry.Id);
            const RECT r = Bounds(entry.Id);
            EXPECT_EQ(r.left, ScaleForDpi(entry.X, dpi));
            EXPECT_EQ(r.top, ScaleForDpi(entry.Y, dpi));
            EXPECT_EQ(r.right - r.left, ScaleForDpi(entry.Width, dpi));
            // How far a drop-down list opens is the control's own business: its closed
            // height follows its font.
            if (entry.Id != IdCombo) {
                EXPECT_EQ(r.bottom - r.top, ScaleForDpi(entry.Height, dpi));
            }
        }
    }
};

TEST_F(DialogToolkit, TableMakesEveryControlInOrderWithOKAndCancelAtTheStandardPlace) {
    ExpectPlacedFromTheTable(96);
    // Creation order is the tab order: the table's, then OK and Cancel.
    std::vector<int> order;
    for (HWND child = GetWindow(Dialog.Handle(), GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT))
        order.push_back(GetDlgCtrlID(child));
    const std::vector<int> expected{IdCheck, IdHeading, IdRadio1, IdRadio2, IdRadio3,
                                    IdCombo, IdEdit,    IdOther,  IDOK,     IDCANCEL};
    EXPECT_EQ(order, expected);
    for (const TControlSpec& entry : kTable) {
        SCOPED_TRACE(entry.Id);
        HWND control = Dialog.Control(entry.Id);
        wchar_t className[32] = {};
        GetClassNameW(control, className, 32);
        EXPECT_EQ(lstrcmpiW(className, entry.ClassName), 0);
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
        // A combo box hands its scroll bar on to its list.
        const DWORD own = entry.Id == IdCombo ? entry.Style & ~WS_VSCROLL : entry.Style;
        EXPECT_EQ(style & own, own);
        EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(control, GWL_EXSTYLE)) & entry.ExStyle,
                  entry.ExStyle);
        if (entry.Id != IdCombo) {
            EXPECT_EQ(Dialog.ControlText(entry.Id), entry.Text);
        }
        EXPECT_EQ(FontOf(entry.Id).lfWeight,
                  entry.Font == TControlFont::Bold ? FW_BOLD : FW_NORMAL);
        EXPECT_EQ(FontOf(entry.Id).lfHeight, -13);
    }
    // OK is the default button, Cancel at the right margin, both 75 x 25 above the bottom
    // margin, one button gap apart.
    EXPECT_EQ(Dialog.DefaultButton(), IDOK);
    EXPECT_EQ(GetWindowLongPtrW(Dialog.Control(IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(Dialog.ControlText(IDOK), L"&OK");
    EXPECT_EQ(Dialog.ControlText(IDCANCEL), L"&Cancel");
    const RECT ok = Bounds(IDOK);
    const RECT cancel = Bounds(IDCANCEL);
    EXPECT_EQ(cancel.right, kClientWidth - metrics::kMargin);
    EXPECT_EQ(cancel.bottom, kClientHeight - metrics::kMargin);
    EXPECT_EQ(cancel.right - cancel.left, 75);
    EXPECT_EQ(cancel.bottom - cancel.top, 25);
    EXPECT_EQ(ok.right - ok.left, 75);
    EXPECT_EQ(ok.top, cancel.top);
    EXPECT_EQ(cancel.left - ok.right, metrics::kButtonGap);
    // Enter presses it; Escape cancels.
    Dialog.Post([&] { PressKey(GetFocus(), VK_RETURN); });
    EXPECT_EQ(Dialog.ShowModal(), IDOK);
    Dialog.Post([&] { PressKey(GetFocus(), VK_ESCAPE); });
    EXPECT_EQ(Dialog.ShowModal(), IDCANCEL);
}

TEST_F(DialogToolkit, DpiChangesPlaceTheControlsFromTheTableNotFromTheirRoundedPlaces) {
    // Through 120 DPI to 144: scaling the places rounded at 120 would miss by a pixel.
    ChangeDpi(120);
    ExpectPlacedFromTheTable(120);
    ChangeDpi(144);
    ExpectPlacedFromTheTable(144);
    // (Only the width: Wine measures the new caption at 144 DPI but draws it at 96.)
    RECT client{};
    GetClientRect(Dialog.Handle(), &client);
    EXPECT_EQ(client.right, ScaleForDpi(kClientWidth, 144));
    const RECT cancel = Bounds(IDCANCEL);
    EXPECT_EQ(cancel.left, ScaleForDpi(metrics::ButtonLeft(kClientWidth, 0), 144));
    EXPECT_EQ(cancel.right - cancel.left, ScaleForDpi(75, 144));
    // The font follows from its design height too (-13 at 96: -20, not -19 from -16 at 120).
    EXPECT_EQ(FontOf(IdEdit).lfHeight, -20);
    EXPECT_EQ(FontOf(IdHeading).lfHeight, -20);
    EXPECT_EQ(FontOf(IdHeading).lfWeight, FW_BOLD);
    EXPECT_EQ(FontOf(IdOther).lfWeight, FW_NORMAL);
    // A control moved by the dialog keeps its new place through later changes.
    ASSERT_TRUE(Dialog.MoveControl(IdOther, 17, 129, 81, 23));
    RECT moved = Bounds(IdOther);
    EXPECT_EQ(moved.left, ScaleForDpi(17, 144));
    ChangeDpi(96);
    ExpectPlacedFromTheTable(96, IdOther);
    moved = Bounds(IdOther);
    EXPECT_EQ(moved.left, 17);
    EXPECT_EQ(moved.top, 129);
    EXPECT_EQ(moved.right, 17 + 81);
    EXPECT_EQ(moved.bottom, 129 + 23);
    const RECT design = Dialog.DesignBounds(IdOther);
    EXPECT_EQ(design.left, 17);
    EXPECT_EQ(design.bottom, 129 + 23);
    EXPECT_EQ(FontOf(IdEdit).lfHeight, -13);
}

TEST_F(DialogToolkit, CheckBoxRadioGroupAndDropDownListAccessors) {
    EXPECT_FALSE(Dialog.IsChecked(IdCheck));
    Dialog.SetChecked(IdCheck, true);
    EXPECT_TRUE(Dialog.IsChecked(IdCheck));
    SendMessageW(Dialog.Control(IdCheck), BM_CLICK, 0, 0);
    EXPECT_FALSE(Dialog.IsChecked(IdCheck));
    EXPECT_FALSE(Dialog.IsChecked(999));

    const std::vector<int> radios{IdRadio1, IdRadio2, IdRadio3};
    EXPECT_EQ(Dialog.CheckedRadio(radios), -1);
    Dialog.SetCheckedRadio(radios, 1);
    EXPECT_EQ(Dialog.CheckedRadio(radios), 1);
    EXPECT_FALSE(Dialog.IsChecked(IdRadio1));
    EXPECT_FALSE(Dialog.IsChecked(IdRadio3));
    SendMessageW(Dialog.Control(IdRadio3), BM_CLICK, 0, 0);
    EXPECT_EQ(Dialog.CheckedRadio(radios), 2);
    EXPECT_FALSE(Dialog.IsChecked(IdRadio2));
    // Two checked by hand: the first in the given order counts.
    Dialog.SetChecked(IdRadio1, true);
    EXPECT_EQ(Dialog.CheckedRadio(radios), 0);
    Dialog.SetCheckedRadio(radios, -1);
    EXPECT_EQ(Dialog.CheckedRadio(radios), -1);

    TComboBox list = Dialog.ComboBox(IdCombo);
    EXPECT_EQ(list.Handle(), Dialog.Control(IdCombo));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Selected(), -1);
    EXPECT_EQ(list.Add(L"00:30"), 0);
    EXPECT_EQ(list.Add(L"01:00"), 1);
    EXPECT_EQ(list.Add(L"01:30"), 2);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_TRUE(list.SetSelected(1));
    EXPECT_EQ(list.Selected(), 1);
    EXPECT_EQ(list.ItemText(1), L"01:00");
    EXPECT_EQ(Dialog.ControlText(IdCombo), L"01:00");
    EXPECT_FALSE(list.SetSelected(3));
    EXPECT_FALSE(list.SetSelected(-2));
    EXPECT_EQ(list.Selected(), 1);
    EXPECT_EQ(list.ItemText(3), L"");
    EXPECT_EQ(list.ItemText(-1), L"");
    EXPECT_TRUE(list.SetItemData(2, 90));
    EXPECT_EQ(list.ItemData(2), 90);
    EXPECT_FALSE(list.SetItemData(3, 1));
    EXPECT_EQ(list.ItemData(3), 0);
    EXPECT_TRUE(list.SetSelected(-1));
    EXPECT_EQ(list.Selected(), -1);
    EXPECT_EQ(Dialog.ControlText(IdCombo), L"");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    // A list that does not exist has no item, and no selection either.
    EXPECT_EQ(TComboBox().Count(), 0);
    EXPECT_EQ(TComboBox().Selected(), -1);
    EXPECT_EQ(TComboBox().Add(L"02:00"), -1);

    // Enabling and showing one control; shown means the control's own flag, whether or not
    // the dialog is on screen.
    EXPECT_TRUE(Dialog.IsControlEnabled(IdEdit));
    Dialog.EnableControl(IdEdit, false);
    EXPECT_FALSE(Dialog.IsControlEnabled(IdEdit));
    EXPECT_FALSE(IsWindowEnabled(Dialog.Control(IdEdit)));
    Dialog.EnableControl(IdEdit, true);
    EXPECT_TRUE(Dialog.IsControlEnabled(IdEdit));
    EXPECT_FALSE(IsWindowVisible(Dialog.Handle()));
    EXPECT_TRUE(Dialog.IsControlShown(IdOther));
    Dialog.ShowControl(IdOther, false);
    EXPECT_FALSE(Dialog.IsControlShown(IdOther));
    Dialog.ShowControl(IdOther, true);
    EXPECT_TRUE(Dialog.IsControlShown(IdOther));
    EXPECT_FALSE(Dialog.IsControlEnabled(999));
    EXPECT_FALSE(Dialog.IsControlShown(999));
}

TEST_F(DialogToolkit, GroupsEnableAndShowTogetherAndHandTheFocusOn) {
    TControlGroup group{IdCheck};
    group.AddRange(IdRadio1, IdRadio3).Add(TControlGroup{IdCombo, IdCheck});
    EXPECT_EQ(group.Ids(), (std::vector<int>{IdCheck, IdRadio1, IdRadio2, IdRadio3, IdCombo}));
    EXPECT_TRUE(group.Contains(IdRadio2));
    EXPECT_FALSE(group.Contains(IdEdit));
    const std::vector<int> outside{IdHeading, IdEdit, IdOther, IDOK, IDCANCEL};

    HWND focusAfterDisable = nullptr;
    HWND focusAfterHide = nullptr;
    Dialog.Post([&] {
        SetFocus(Dialog.Control(IdCombo));
        Dialog.EnableGroup(group, false);
        for (int id : group.Ids())
            EXPECT_FALSE(Dialog.IsControlEnabled(id)) << id;
        for (int id : outside)
            EXPECT_TRUE(Dialog.IsControlEnabled(id)) << id;
        focusAfterDisable = GetFocus();
        Dialog.EnableGroup(group, true);
        for (int id : group.Ids())
            EXPECT_TRUE(Dialog.IsControlEnabled(id)) << id;

        SetFocus(Dialog.Control(IdRadio2));
        Dialog.ShowGroup(group, false);
        for (int id : group.Ids())
            EXPECT_FALSE(Dialog.IsControlShown(id)) << id;
        for (int id : outside)
            EXPECT_TRUE(Dialog.IsControlShown(id)) << id;
        focusAfterHide = GetFocus();
        Dialog.ShowGroup(group, true);
        for (int id : group.Ids())
            EXPECT_TRUE(IsWindowVisible(Dialog.Control(id))) << id;
        // With the focus handed on, the keyboard still reaches the dialog.
        PressKey(GetFocus(), VK_ESCAPE);
    });
    EXPECT_EQ(Dialog.ShowModal(), IDCANCEL);
    // The next tab stop after the control that had the focus.
    EXPECT_EQ(focusAfterDisable, Dialog.Control(IdEdit));
    EXPECT_EQ(focusAfterHide, Dialog.Control(IdEdit));
}

// F1 through the keyboard, as the administrator presses it: the system turns the key into
// WM_HELP for the focused control, which passes it up to the dialog.
TEST_F(DialogToolkit, HelpKeyReachesOnHelpAndOtherwiseTheOwner) {
    static int ownerHelps = 0;
    ownerHelps = 0;
    ASSERT_TRUE(SetWindowSubclass(
        Owner.Handle(),
        [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) -> LRESULT {
            if (msg == WM_HELP) {
                ++ownerHelps;
                return TRUE;
            }
            return DefSubclassProc(hwnd, msg, wParam, lParam);
        },
        1, 0));
    // Posted messages come before input, so the wait for the keys polls on a timer, which
    // comes after it.
    static TTableDialog* dialog = nullptr;
    static int ticks = 0;
    dialog = &Dialog;
    auto pressF1 = [&] {
        ticks = 0;
        Dialog.Post([&] {
            SetFocus(Dialog.Control(IdEdit));
            INPUT keys[2] = {};
            keys[0].type = keys[1].type = INPUT_KEYBOARD;
            keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
            keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
            ASSERT_EQ(SendInput(2, keys, sizeof(INPUT)), 2u);
            SetTimer(Dialog.Handle(), 1, 10, [](HWND window, UINT, UINT_PTR id, DWORD) {
                if (!dialog->Helps.empty() || ++ticks > 500) {
                    KillTimer(window, id);
                    dialog->EndModal(IDOK);
                }
            });
        });
        Dialog.ShowModal();
    };

    pressF1();
    ASSERT_EQ(Dialog.Helps.size(), 1u);
    EXPECT_EQ(Dialog.Helps[0].iContextType, HELPINFO_WINDOW);
    EXPECT_EQ(Dialog.Helps[0].iCtrlId, IdEdit);
    EXPECT_EQ(Dialog.Helps[0].hItemHandle, Dialog.Control(IdEdit));
    EXPECT_EQ(ownerHelps, 0);

    // Not handled by the dialog: the request goes on to the owner, as for any window.
    Dialog.HandleHelp = false;
    Dialog.Helps.clear();
    pressF1();
    EXPECT_EQ(Dialog.Helps.size(), 1u);
    EXPECT_EQ(ownerHelps, 1);
}

} // namespace
} // namespace vantrel
