#include "ui/dialogs/AdjustBonusTimeForm.h"

#include "DialogDriver.h"
#include "controls/TestWindows.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel::testing {
namespace {

using Form = TAdjustBonusTimeForm;
using Steps = TModalSteps;

constexpr int kAmountIds[] = {Form::IdRb15m, Form::IdRb30m, Form::IdRb1h, Form::IdRb2h,
                              Form::IdRb4h};

class AdjustBonusTimeForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetProcessDPIAware(); }
    void SetUp() override { ASSERT_TRUE(Dialog.Create(Owner.Handle())); }

    RECT Place(int id) { return ClientRectOf(Dialog.Handle(), Dialog.Control(id)); }
    int FocusedId() { return GetDlgCtrlID(GetFocus()); }
    HICON Picture() {
        return reinterpret_cast<HICON>(
            SendMessageW(Dialog.Control(Form::IdPicture), STM_GETICON, 0, 0));
    }
    static int IconWidth(HICON icon) {
        ICONINFO info{};
        if (!icon || !GetIconInfo(icon, &info))
            return 0;
        BITMAP bm{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return bm.bmWidth;
    }
    std::wstring Title() {
        wchar_t text[64] = {};
        GetWindowTextW(Dialog.Handle(), text, 64);
        return text;
    }

    testwin::TTestWindow Owner{100, 100, 600, 450};
    TDialog<Form> Dialog;
};

TEST_F(AdjustBonusTimeForm, FiveAmountsTopToBottomWithOneHourAtStart) {
    const wchar_t* captions[] = {L"15 minutes", L"30 minutes", L"1 hour", L"2 hours", L"4 hours"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Dialog.ControlText(kAmountIds[i]), captions[i]);
        const LONG style = GetWindowLongW(Dialog.Control(kAmountIds[i]), GWL_STYLE);
        EXPECT_EQ(style & BS_TYPEMASK, BS_AUTORADIOBUTTON) << i;
        EXPECT_EQ((style & WS_GROUP) != 0, i == 0) << i;
        if (i > 0) {
            EXPECT_GT(Place(kAmountIds[i]).top, Place(kAmountIds[i - 1]).top);
        }
    }
    EXPECT_EQ(Dialog.SelectedAmount(), 60);
    EXPECT_TRUE(Dialog.IsChecked(Form::IdRb1h));
    for (int minutes : {15, 30, 120, 240, 60}) {
        Dialog.SetSelectedAmount(minutes);
        EXPECT_EQ(Dialog.SelectedAmount(), minutes);
    }
    Dialog.SetCheckedRadio({Form::IdRb15m, Form::IdRb30m, Form::IdRb1h, Form::IdRb2h, Form::IdRb4h},
                           -1);
    EXPECT_EQ(Dialog.SelectedAmount(), 0);
    EXPECT_EQ(Dialog.SignedAmount(), 0);
    Dialog.SetSelectedAmount(60);

    // The picture at the top left, LabelInfo to its right, wrapping at 180 pixels, the
    // amounts below it and the buttons at the bottom.
    const RECT picture = Place(Form::IdPicture);
    const RECT label = Place(Form::IdLabelInfo);
    EXPECT_EQ(picture.right - picture.left, 32);
    EXPECT_EQ(picture.bottom - picture.top, 32);
    EXPECT_EQ(label.right - label.left, 180);
    EXPECT_GE(label.left, picture.right);
    EXPECT_EQ(label.top, picture.top);
    EXPECT_EQ(GetWindowLongW(Dialog.Control(Form::IdLabelInfo), GWL_STYLE) & SS_TYPEMASK, SS_LEFT);
    EXPECT_GE(Place(Form::IdRb15m).top, label.bottom);
    EXPECT_GE(Place(IDOK).top, Place(Form::IdRb4h).bottom);
    EXPECT_EQ(Dialog.ControlText(IDOK), L"&OK");
    EXPECT_EQ(Dialog.ControlText(IDCANCEL), L"&Cancel");
    EXPECT_EQ(Dialog.DefaultButton(), IDOK);
}

TEST_F(AdjustBonusTimeForm, EachDirectionSetsTitleTextIconAndSign) {
    Dialog.Prepare(TBonusDirection::Increase, L"emma");
    EXPECT_EQ(Title(), L"Increase bonus time");
    EXPECT_EQ(Dialog.ControlText(Form::IdLabelInfo),
              L"Increase today's bonus time for user emma with the selected amount of time:");
    EXPECT_EQ(Dialog.DirectionIcon(), 0);
    HICON increase = Picture();
    ASSERT_NE(increase, nullptr);
    EXPECT_EQ(IconWidth(increase), 32);
    EXPECT_EQ(Dialog.SignedAmount(), 60);

    Dialog.Prepare(TBonusDirection::Decrease, L"Tom & Jerry");
    EXPECT_EQ(Title(), L"Decrease bonus time");
    EXPECT_EQ(Dialog.ControlText(Form::IdLabelInfo),
              L"Decrease today's bonus time for user Tom & Jerry with the selected amount of "
              L"time:");
    // An "&" in a name is shown as it is, not taken for an access key.
    EXPECT_TRUE(GetWindowLongW(Dialog.Control(Form::IdLabelInfo), GWL_STYLE) & SS_NOPREFIX);
    EXPECT_EQ(Dialog.DirectionIcon(), 1);
    HICON decrease = Picture();
    EXPECT_NE(decrease, nullptr);
    EXPECT_NE(decrease, increase);
    Dialog.SetSelectedAmount(240);
    EXPECT_EQ(Dialog.SignedAmount(), -240);

    // An icon the list does not hold leaves the picture as it was.
    Dialog.ShowDirectionIcon(2);
    Dialog.ShowDirectionIcon(-1);
    EXPECT_EQ(Picture(), decrease);
    EXPECT_EQ(Dialog.DirectionIcon(), 1);

    // The longest account name (20 characters) still fits the label whole.
    Dialog.Prepare(TBonusDirection::Increase, L"Maximilian.Schneider");
    ExpectSoundLayout(Dialog);
}

// Arrow keys move among the amounts and check them, Tab goes to the buttons and back to the
// checked amount, Enter is OK and Escape Cancel; the amount stays as the keys left it, also
// after Cancel.
TEST_F(AdjustBonusTimeForm, WorksFromTheKeyboardAndKeepsTheAmountAfterCancel) {
    Dialog.Prepare(TBonusDirection::Increase, L"emma");
    std::vector<int> focus;
    auto noteFocus = [&] { focus.push_back(FocusedId()); };
    int result = Steps::Run(Dialog, {
                                        noteFocus,
                                        [] { Steps::Key(VK_DOWN); },
                                        noteFocus,
                                        [] { Steps::Key(VK_DOWN); },
                                        noteFocus,
                                        [] { Steps::Key(VK_UP); },
                                        [] { Steps::Key(VK_UP); },
                                        [] { Steps::Key(VK_UP); },
                                        noteFocus,
                                        [] { Steps::Key(VK_TAB); },
                                        noteFocus,
                                        [] { Steps::Key(VK_TAB); },
                                        noteFocus,
                                        [] { Steps::Key(VK_TAB); },
                                        noteFocus,
                                        [] { Steps::Key(VK_RETURN); },
                                    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(focus, (std::vector<int>{Form::IdRb1h, Form::IdRb2h, Form::IdRb4h, Form::IdRb30m,
                                       IDOK, IDCANCEL, Form::IdRb30m}));
    EXPECT_EQ(Dialog.SelectedAmount(), 30);
    EXPECT_FALSE(IsWindowVisible(Dialog.Handle()));

    // Cancel after a change: the dialog reports Cancel, the amount stays picked.
    int focusAtStart = 0;
    result = Steps::Run(Dialog, {
                                    [&] { focusAtStart = FocusedId(); },
                                    [] { Steps::Key(VK_DOWN); },
                                    [] { Steps::Key(VK_ESCAPE); },
                                });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(focusAtStart, Form::IdRb30m);
    EXPECT_EQ(Dialog.SelectedAmount(), 60);

    // The next showing starts on that amount; the close box cancels too.
    result = Steps::Run(Dialog, {
                                    [&] { focusAtStart = FocusedId(); },
                                    [this] { PostMessageW(Dialog.Handle(), WM_CLOSE, 0, 0); },
                                });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(focusAtStart, Form::IdRb1h);
    EXPECT_TRUE(Dialog.IsChecked(Form::IdRb1h));
    EXPECT_EQ(Dialog.SelectedAmount(), 60);

    // The buttons' access keys.
    EXPECT_EQ(Steps::Run(Dialog, {[] { Steps::AltKey(L'c'); }}), IDCANCEL);
    EXPECT_EQ(Steps::Run(Dialog, {[] { Steps::AltKey(L'o'); }}), IDOK);
}

TEST_F(AdjustBonusTimeForm, MovingToAScreenOf144DpiScalesLayoutAndPicture) {
    Dialog.Prepare(TBonusDirection::Decrease, L"Maximilian.Schneider");
    ASSERT_EQ(Dialog.Dpi(), 96);
    ExpectSoundLayout(Dialog);
    RECT suggested{10, 20, 600, 500};
    SendMessageW(Dialog.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(Dialog.Dpi(), 144);
    const RECT label = Place(Form::IdLabelInfo);
    EXPECT_EQ(label.right - label.left, 270);
    EXPECT_EQ(IconWidth(Picture()), 48);
    EXPECT_EQ(Dialog.DirectionIcon(), 1);
    ExpectSoundLayout(Dialog);
}

} // namespace
} // namespace vantrel::testing
