#pragma once
// Base of the program's dialogs: a fixed-size window that is created once, keeps its controls
// between showings and is shown modally again and again, centred on its owner.
//
// Keyboard navigation goes through IsDialogMessage: Tab moves between WS_TABSTOP controls,
// Enter presses the default button (IDOK unless SetDefaultButton says otherwise), Escape and
// the close box run OnCancel. Layout is in pixels at 96 DPI; Scale converts for the dialog's DPI.
#include "ui/controls/Gdi.h"
#include "ui/controls/Window.h"
#include "win/Dpi.h"

#include <string>

namespace vantrel {

class TModalDialog : public TWindow {
public:
    TModalDialog() = default;
    ~TModalDialog() override;

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
    // Font of the dialog and of every control made by the Add* helpers; the dialog keeps a
    // copy. Controls that were given another font keep it.
    void SetDialogFont(HFONT font);
    HFONT DialogFont() const { return FFont.Get(); }
    void SetDefaultButton(int id) { FDefaultId = id; }
    int DefaultButton() const { return FDefaultId; }
    HWND Control(int id) const { return GetDlgItem(Handle(), id); }
    std::wstring ControlText(int id) const;
    void SetControlText(int id, const std::wstring& text);

protected:
    // Child-control helpers; coordinates are 96-DPI pixels of the client area.
    HWND AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int x, int y,
                    int width, int height, int id, DWORD exStyle = 0);
    HWND AddLabel(const std::wstring& text, int x, int y, int width, int height, int id = -1);
    HWND AddButton(const std::wstring& text, int x, int y, int width, int height, int id,
                   bool isDefault = false);
    // A lowered (etched) horizontal line.
    HWND AddSeparator(int x, int y, int width);

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
    // WM_COMMAND from a control other than IDOK/IDCANCEL; return true when handled.
    virtual bool OnCommand(int id, int code, HWND control);
    // WM_NOTIFY; return true and set result when handled.
    virtual bool OnNotify(NMHDR* header, LRESULT& result);
    // After the dialog moved to a screen of another DPI: the controls are already moved and
    // resized and the dialog font replaced; fonts and pictures of the dialog's own follow here.
    virtual void OnDpiChanged() {}

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void CenterOnOwner();
    void ChangeDpi(int dpi, const RECT* suggested);

    HWND FOwner = nullptr;
    int FDpi = 96;
    int FClientWidth = 0;
    int FClientHeight = 0;
    TFontHandle FFont;
    int FDefaultId = IDOK;
    int FModalResult = 0;
    bool FInModalLoop = false;
    HWND FLastFocus = nullptr;
    int FFocusOnShow = 0;
};

} // namespace vantrel
