#pragma once
// The bonus time dialog: the administrator picks an amount (15 minutes to 4 hours) by which
// the increase and decrease commands change a user's bonus for today. Created once and
// reused; the amount picked last, also before a Cancel, is the one checked at the next showing.
#include "ui/controls/ImageList.h"
#include "ui/controls/ModalDialog.h"

#include <commctrl.h>

#include <string>

namespace vantrel {

enum class TBonusDirection { Increase, Decrease };

class TAdjustBonusTimeForm : public TModalDialog {
public:
    // Control ids, for tests.
    enum : int {
        IdPicture = 1001,
        IdLabelInfo,
        IdRb15m,
        IdRb30m,
        IdRb1h,
        IdRb2h,
        IdRb4h,
    };
    // The width LabelInfo wraps its text at (96 DPI).
    static constexpr int kLabelInfoWidth = 180;

    TAdjustBonusTimeForm() = default;
    ~TAdjustBonusTimeForm() override;

    // Creates the hidden dialog with "1 hour" checked (FormCreate).
    bool Create(HWND owner);

    // The minutes of the first checked amount, top to bottom; 0 if none is checked.
    int SelectedAmount() const;
    // Checks the amount of `minutes` (one of the five), clearing the others.
    void SetSelectedAmount(int minutes);
    // Copies icon `index` of the dialog's image list (0 increase, 1 decrease) into the
    // picture; an index the list does not hold leaves the picture as it was.
    void ShowDirectionIcon(int index);
    int DirectionIcon() const { return FIconIndex; }
    // What the commands do before showing: the title, LabelInfo for `userName` and the icon.
    void Prepare(TBonusDirection direction, const std::wstring& userName);
    // The signed change an OK of this showing stands for: + or - SelectedAmount.
    int SignedAmount() const;

protected:
    void CreateControls() override;
    void OnShow() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnDpiChanged() override;

private:
    void BuildImageList();
    // Only the checked button of the group is a tab stop, so that Tab enters the group on it.
    void UpdateTabStops();

    TImageListHandle FImages;
    HICON FShownIcon = nullptr;
    int FIconIndex = -1;
    TBonusDirection FDirection = TBonusDirection::Increase;
};

} // namespace vantrel
