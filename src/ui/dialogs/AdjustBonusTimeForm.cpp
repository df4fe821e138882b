#include "ui/dialogs/AdjustBonusTimeForm.h"

#include "ui/Fonts.h"
#include "ui/ProgramIcons.h"
#include "ui/Resources.h"

namespace vantrel {

namespace {

using namespace metrics;

constexpr int kLabelLeft = kMargin + kPictureSize + kMargin;
// Room for four lines: the longest account name (20 characters) still fits whole.
constexpr int kInfoHeight = 4 * 13;
constexpr int kRadioTop = kMargin + kInfoHeight + 8;
constexpr int kRadioPitch = 20;
constexpr int kAmountCount = 5;
constexpr int kClientWidth = kLabelLeft + TAdjustBonusTimeForm::kLabelInfoWidth + kMargin;
constexpr int kClientHeight =
    ClientHeightWithButtonRow(kRadioTop + (kAmountCount - 1) * kRadioPitch + kCheckBoxHeight);

struct TAmount {
    int Id;
    const wchar_t* Caption;
    int Minutes;
};
constexpr TAmount kAmounts[kAmountCount] = {
    {TAdjustBonusTimeForm::IdRb15m, L"15 minutes", 15},
    {TAdjustBonusTimeForm::IdRb30m, L"30 minutes", 30},
    {TAdjustBonusTimeForm::IdRb1h, L"1 hour", 60},
    {TAdjustBonusTimeForm::IdRb2h, L"2 hours", 120},
    {TAdjustBonusTimeForm::IdRb4h, L"4 hours", 240},
};
constexpr int kStartAmountIndex = 2; // "1 hour"

const std::vector<int>& AmountIds() {
    static const std::vector<int> ids = [] {
        std::vector<int> list;
        for (const TAmount& amount : kAmounts)
            list.push_back(amount.Id);
        return list;
    }();
    return ids;
}

// The two pictures of the dialog's image list, in index order.
constexpr int kDirectionIcons[] = {IDI_BONUS_INCREASE, IDI_BONUS_DECREASE};

} // namespace

TAdjustBonusTimeForm::~TAdjustBonusTimeForm() {
    if (FShownIcon)
        DestroyIcon(FShownIcon);
}

bool TAdjustBonusTimeForm::Create(HWND owner) {
    if (Handle())
        return true;
    SetDialogFont(CreateSystemFont(WindowDpi(owner)).Get());
    return TModalDialog::Create(owner, L"Increase bonus time", kClientWidth, kClientHeight);
}

void TAdjustBonusTimeForm::CreateControls() {
    std::vector<TControlSpec> table = {
        {L"STATIC", L"", SS_ICON | SS_REALSIZEIMAGE, kMargin, kMargin, kPictureSize, kPictureSize,
         IdPicture},
        {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kLabelLeft, kMargin, kLabelInfoWidth, kInfoHeight,
         IdLabelInfo},
    };
    for (int i = 0; i < kAmountCount; ++i)
        table.push_back({L"BUTTON", kAmounts[i].Caption,
                         BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0u), kLabelLeft,
                         kRadioTop + i * kRadioPitch, kLabelInfoWidth, kCheckBoxHeight,
                         kAmounts[i].Id});
    // WS_GROUP on "&OK" ends the radio group, so the arrow keys stay among the amounts.
    const int top = ButtonRowTop(kClientHeight);
    table.push_back({L"BUTTON", L"&OK", WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON,
                     ButtonLeft(kClientWidth, 1), top, kButtonWidth, kButtonHeight, IDOK});
    table.push_back({L"BUTTON", L"&Cancel", WS_TABSTOP | BS_PUSHBUTTON, ButtonLeft(kClientWidth, 0),
                     top, kButtonWidth, kButtonHeight, IDCANCEL});
    AddControls(table);
    SetCheckedRadio(AmountIds(), kStartAmountIndex);
    UpdateTabStops();
    BuildImageList();
}

void TAdjustBonusTimeForm::BuildImageList() {
    const int size = Scale(kPictureSize);
    TImageListHandle list(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 2, 0));
    if (!list)
        return;
    for (int resource : kDirectionIcons) {
        HICON icon = LoadProgramIcon(resource, size);
        if (icon) {
            ImageList_AddIcon(list.Get(), icon);
            DestroyIcon(icon);
        }
    }
    FImages = std::move(list);
}

void TAdjustBonusTimeForm::OnDpiChanged() {
    BuildImageList();
    if (FIconIndex >= 0)
        ShowDirectionIcon(FIconIndex);
}

void TAdjustBonusTimeForm::ShowDirectionIcon(int index) {
    if (!FImages || index < 0 || index >= ImageList_GetImageCount(FImages.Get()))
        return;
    HICON icon = ImageList_GetIcon(FImages.Get(), index, ILD_NORMAL);
    if (!icon)
        return;
    SendMessageW(Control(IdPicture), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    if (FShownIcon)
        DestroyIcon(FShownIcon);
    FShownIcon = icon;
    FIconIndex = index;
}

int TAdjustBonusTimeForm::SelectedAmount() const {
    const int index = CheckedRadio(AmountIds());
    return index >= 0 ? kAmounts[index].Minutes : 0;
}

void TAdjustBonusTimeForm::SetSelectedAmount(int minutes) {
    int index = -1;
    for (int i = 0; i < kAmountCount; ++i)
        if (kAmounts[i].Minutes == minutes)
            index = i;
    SetCheckedRadio(AmountIds(), index);
    UpdateTabStops();
}

int TAdjustBonusTimeForm::SignedAmount() const {
    const int amount = SelectedAmount();
    return FDirection == TBonusDirection::Increase ? amount : -amount;
}

void TAdjustBonusTimeForm::Prepare(TBonusDirection direction, const std::wstring& userName) {
    const bool increase = direction == TBonusDirection::Increase;
    FDirection = direction;
    SetWindowTextW(Handle(), increase ? L"Increase bonus time" : L"Decrease bonus time");
    SetControlText(IdLabelInfo, std::wstring(increase ? L"Increase today's bonus time for user "
                                                      : L"Decrease today's bonus time for user ") +
                                    userName + L" with the selected amount of time:");
    ShowDirectionIcon(increase ? 0 : 1);
}

void TAdjustBonusTimeForm::UpdateTabStops() {
    const int checked = CheckedRadio(AmountIds());
    for (int i = 0; i < kAmountCount; ++i) {
        HWND button = Control(kAmounts[i].Id);
        LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
        // With none checked the first button takes the keyboard into the group.
        const bool stop = i == (checked >= 0 ? checked : 0);
        style = stop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
        SetWindowLongPtrW(button, GWL_STYLE, style);
    }
}

void TAdjustBonusTimeForm::OnShow() {
    const int checked = CheckedRadio(AmountIds());
    FocusOnShow(kAmounts[checked >= 0 ? checked : 0].Id);
}

bool TAdjustBonusTimeForm::OnCommand(int id, int code, HWND) {
    for (const TAmount& amount : kAmounts)
        if (amount.Id == id && code == BN_CLICKED) {
            UpdateTabStops();
            return true;
        }
    return false;
}

} // namespace vantrel
