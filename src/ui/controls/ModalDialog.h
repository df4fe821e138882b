#pragma once
// Base of the program's dialogs: a fixed-size window that is created once, keeps its controls
// between showings and is shown modally again and again, centred on its owner.
//
// Keyboard navigation goes through IsDialogMessage: Tab moves between WS_TABSTOP controls,
// Enter presses the default button (IDOK unless SetDefaultButton says otherwise), Escape and
// the close box run OnCancel, F1 reaches OnHelp. Layout is in pixels at 96 DPI (the measures
// in DialogMetrics.h); the dialog remembers the 96-DPI place of every control it made and
// places them anew from it when the DPI changes.
//
// A dialog class is held as TDialog<TTheClass> (below), which destroys the window first.
#include "ui/controls/ComboBox.h"
#include "ui/controls/ControlGroup.h"
#include "ui/controls/ControlTable.h"
#include "ui/controls/DialogMetrics.h"
#include "ui/controls/Gdi.h"
#include "ui/controls/Window.h"
#include "win/Dpi.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vantrel {

class TModalDialog : public TWindow {
public:
    TModalDialog() = default;

    // Creates the hidden window with a client area of clientWidth x clientHeight (96-DPI
    // pixels), then calls CreateControls. Returns false if the window could not be made.
    bool Create(HWND owner, const std::wstring& caption, int clientWidth, int clientHeight);

    // Shows the dialog modally over its owner until EndModal; returns the modal result
    // (IDOK, IDCANCEL, ...). The owner is disabled meanwhile. A WM_QUIT ends the dialog with
    // IDCANCEL and is posted again for the outer loop.
    int ShowModal();
    void EndModal(int result);
    bool IsModal() const { return FInModalLoop; }
    int ModalResult() const { return FModalResult; }

    HWND Owner() const { return FOwner; }
    void SetOwner(HWND owner);
    int Dpi() const { return FDpi; }
    int Scale(int pixels) const { return ScaleForDpi(pixels, FDpi); }
    int ClientWidth() const { return FClientWidth; }
    int ClientHeight() const { return FClientHeight; }
    // Font of the dialog and of every control made by the Add* helpers (in bold for those the
    // table marks bold), taken to be made for the dialog's current DPI; the dialog keeps a
    // copy. Controls that were given another font keep it.
    void SetDialogFont(HFONT font);
    HFONT DialogFont() const { return FFont.Get(); }
    void SetDefaultButton(int id) { FDefaultId = id; }
    int DefaultButton() const { return FDefaultId; }
    HWND Control(int id) const { return GetDlgItem(Handle(), id); }
    std::wstring ControlText(int id) const;
    void SetControlText(int id, const std::wstring& text);

    // --- Control accessors (by id; an unknown id reads as unchecked, disabled, hidden) ---
    bool IsChecked(int id) const;
    // Sets the check mark without a click notification, as the control itself does.
    void SetChecked(int id, bool checked);
    // Radio groups, given as the ids of their buttons in order: the index of the first
    // checked button, -1 if none; SetCheckedRadio checks one and clears the others (-1 clears
    // them all).
    int CheckedRadio(const std::vector<int>& ids) const;
    void SetCheckedRadio(const std::vector<int>& ids, int index);
    TComboBox ComboBox(int id) const { return TComboBox(Control(id)); }
    bool IsControlEnabled(int id) const;
    // A control that is disabled or hidden while it has the focus hands the focus on to the
    // next control that can take it, so the keyboard keeps working.
    void EnableControl(int id, bool enabled);
    // Whether the control itself is shown (WS_VISIBLE), whether or not the dialog is.
    bool IsControlShown(int id) const;
    void ShowControl(int id, bool shown);
    void EnableGroup(const TControlGroup& group, bool enabled);
    void ShowGroup(const TControlGroup& group, bool shown);

    // The 96-DPI place of a control the dialog made; an empty rectangle for others.
    RECT DesignBounds(int id) const;

protected:
    // Child-control helpers; coordinates are 96-DPI pixels of the client area.
    HWND AddControl(const TControlSpec& entry);
    HWND AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int x, int y,
                    int width, int height, int id, DWORD exStyle = 0);
    // Creates the table's controls in its order (the tab order); false if any could not be
    // made. A BS_DEFPUSHBUTTON in the table becomes the default button.
    bool AddControls(const TControlSpec* table, std::size_t count);
    template <std::size_t N> bool AddControls(const TControlSpec (&table)[N]) {
        return AddControls(table, N);
    }
    bool AddControls(const std::vector<TControlSpec>& table) {
        return AddControls(table.data(), table.size());
    }
    HWND AddButton(const std::wstring& text, int x, int y, int width, int height, int id,
                   bool isDefault = false);
    // "&OK" (IDOK, the default button) and "&Cancel" (IDCANCEL) in the bottom row at the
    // right, leaving `placesRight` button places free at their right for buttons such as
    // "&Apply" (metrics::ButtonLeft(ClientWidth(), 0)).
    bool AddOKCancel(int placesRight = 0);
    // A lowered (etched) horizontal line.
    HWND AddSeparator(int x, int y, int width);
    // Moves a control to a new 96-DPI place, which later DPI changes keep.
    bool MoveControl(int id, int x, int y, int width, int height);

    // Called once by Create, after the window exists.
    virtual void CreateControls() {}
    // Called by ShowModal at every showing, before the dialog becomes visible.
    virtual void OnShow() {}
    // From OnShow: the control that gets the focus when the dialog appears (else the first
    // tab stop).
    void FocusOnShow(int id) { FFocusOnShow = id; }
    // The default button's and Escape's handling; the base ends the modal loop.
    virtual void OnOK() { EndModal(IDOK); }
    virtual void OnCancel() { EndModal(IDCANCEL); }
    // F1 (WM_HELP) while the dialog or one of its controls has the focus. Return true when
    // handled; the base handles nothing, and the system then hands the request on to the
    // owner, as it does for any window.
    virtual bool OnHelp(const HELPINFO& info);
    // WM_COMMAND from a control other than IDOK/IDCANCEL; return true when handled.
    virtual bool OnCommand(int id, int code, HWND control);
    // WM_NOTIFY; return true and set result when handled.
    virtual bool OnNotify(NMHDR* header, LRESULT& result);
    // After the dialog moved to a screen of another DPI: the controls are already placed anew
    // and the dialog's fonts replaced; fonts and pictures of the dialog's own follow here.
    virtual void OnDpiChanged() {}

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    struct TPlacement {
        HWND Handle;
        RECT Bounds; // 96 DPI
        TControlFont Font;
    };

    void CenterOnOwner();
    void ChangeDpi(int dpi, const RECT* suggested);
    void ApplyDialogFont(HFONT font);
    void PlaceControl(const TPlacement& placement);
    TPlacement* PlacementOf(HWND control);
    void SetControlsState(const std::vector<int>& ids, bool showing, bool on);

    HWND FOwner = nullptr;
    int FDpi = 96;
    int FClientWidth = 0;
    int FClientHeight = 0;
    TFontHandle FFont;
    TFontHandle FBoldFont;
    // The dialog font's height as given and the DPI it was given for, so that every DPI
    // change scales from the design and not from an already rounded height.
    LONG FFontHeight = 0;
    int FFontDpi = 0;
    std::vector<TPlacement> FPlacements;
    int FDefaultId = IDOK;
    int FModalResult = 0;
    bool FInModalLoop = false;
    HWND FLastFocus = nullptr;
    int FFocusOnShow = 0;

    // Only TDialog gives it a body: a dialog class cannot be made unless wrapped.
    virtual void WindowGoesFirst() = 0;
};

// A dialog as the program and the tests hold it. Its window is destroyed before anything of the
// dialog class goes: the controls never outlive the fonts, pictures and child windows they show,
// and the messages of the window's end still reach the class's own HandleMessage. A dialog class
// therefore needs no destructor for its window, and one held unwrapped does not compile.
template <class TForm> class TDialog final : public TForm {
public:
    using TForm::TForm;
    ~TDialog() override { this->DestroyHandle(); }

private:
    void WindowGoesFirst() override {}
};

} // namespace vantrel
