#pragma once
// The preferences dialog: four tabs (General, Network, Messages, Advanced) that edit the main
// window's preferences record in memory, a test of a network computer's registry, and the
// "&Apply" button. The command that shows it saves the record and tells the service.
//
// The tab control is a sibling of the page controls, not their parent, so that the dialog
// base places every control from its table when the DPI changes. It is made last: it lies
// below the page controls, clips them out of its painting (WS_CLIPSIBLINGS), and is the last
// tab stop, after "&Apply", as in the system's property sheets.
#include "model/Prefs.h"
#include "model/WarningText.h"
#include "ui/controls/ModalDialog.h"
#include "ui/dialogs/PairPhoneForm.h"

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace vantrel {

// What the administrator changed in the dialog, put over what the store holds by now (another
// administrator, or a `reg add`, may have changed other values meanwhile): only the values that
// differ between `shown` (what the dialog showed) and `edited` (what it stored) are taken into
// `stored` and written to the preferences key. False when the key cannot be opened or a changed
// value cannot be written.
bool SaveChangedPreferences(const TQorPrefs& shown, const TQorPrefs& edited, TQorPrefs& stored);

class TPreferencesForm : public TModalDialog {
public:
    // Control ids, under the names the rest of the program knows the controls by.
    enum : int {
        ButtonOK = IDOK,
        ButtonCancel = IDCANCEL,
        PageControl = 1200,
        ImageGeneral,
        CheckBoxUse24HourClock,
        CheckBoxDoubleClickIsTimeUsage,
        CheckBoxRptTimeUsagePerComputer,
        ImageNetwork,
        CheckBoxUseRemoteRegistry,
        LabelNetworkComputer,
        EditRemoteRegistry,
        ButtonTest,
        ImageMessages,
        LabelNotAllowedText,
        EditNotAllowedText,
        LabelWarningText,
        EditWarningText,
        LabelReachedLimitText,
        EditReachedLimitText,
        ButtonDefault,
        ImageAdvanced,
        CheckBoxUseDebugLogging,
        CheckBoxDoNotForceLogoff,
        ButtonApply,
        LabelTimeZone,
        TextTimeZone,
        ButtonTimeZone,
        LabelTimeZoneNote,
        ButtonPairPhone,
    };
    // The tabs, in their order.
    enum TPage : int { PageGeneral, PageNetwork, PageMessages, PageAdvanced, PageCount };

    TPreferencesForm() = default;
    ~TPreferencesForm() override;

    // Creates the hidden dialog (FormCreate: the system font).
    bool Create(HWND owner);
    // The record the dialog edits and the flag it sets when StorePreferences runs: the main
    // window's Prefs and PreferencesHaveBeenChanged. Both must outlive the dialog's showings.
    void Bind(TQorPrefs& prefs, bool& preferencesHaveBeenChanged);
    // The main window's help command, run by F1.
    std::function<void()> HelpCommand;
    // Tells the service that the paired phone changed.
    std::function<void()> TellService;

    int ActivePage() const { return FActivePage; }
    // Shows a tab and its controls (without moving the focus).
    void SetActivePage(int page);
    // Ctrl+Tab (forward) and Ctrl+Shift+Tab: the next or previous tab, round the end.
    void SelectNextPage(bool forward);
    // The controls of a tab, picture included.
    const TControlGroup& PageGroup(int page) const { return FPages.at(page); }

    // Event handlers.
    void FormShow();
    void ControlChanged();
    void CheckBoxUseRemoteRegistryClick();
    void CheckBoxDoNotForceLogoffClick();
    void ButtonDefaultClick();
    void ButtonTestClick();
    void ButtonApplyClick();
    void ButtonOKClick();
    void AMHelpHelpExecute();
    // Days and allowed hours follow this computer's time zone from now on: recorded at once,
    // as the registry test writes at once, and taken up by the service at its next minute.
    void ButtonTimeZoneClick();
    // Copies the controls into the bound record and sets the bound flag. Refuses (a warning,
    // and nothing is copied) a network store without a computer name and a warning text the
    // service could not show safely; false then.
    bool StorePreferences();
    // Opens the pairing of a phone for the store the preferences hold now.
    void ButtonPairPhoneClick();
    // The pairing dialog once it was opened (tests).
    TPairPhoneForm* PairPhoneForm() const { return FPairPhone.get(); }

protected:
    void CreateControls() override;
    void OnShow() override { FormShow(); }
    void OnOK() override { ButtonOKClick(); }
    bool OnHelp(const HELPINFO& info) override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;
    void OnDpiChanged() override { LoadPictures(); }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void LoadPictures();
    void DestroyPictures();
    void TakePageColor();
    bool IsOnAPage(HWND control) const;
    void SetTextIfDifferent(int id, const std::wstring& text);
    // Shows the tab and selects the whole text of the field, for the administrator to mend.
    void SelectField(int page, int id);
    // The recorded time zone, and this computer's when it differs; the button only then.
    void ShowTimeZone();
    static LRESULT CALLBACK KeySubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR data);

    TQorPrefs* FPrefs = nullptr;
    bool* FChanged = nullptr;
    int FActivePage = PageGeneral;
    std::array<TControlGroup, PageCount> FPages;
    std::array<HICON, PageCount> FPictures{};
    // The colour the tab control paints its page with, and a brush of it.
    COLORREF FPageColor = 0;
    TBrushHandle FPageBrush;
    std::unique_ptr<TDialog<TPairPhoneForm>> FPairPhone;
};

} // namespace vantrel
