// The bonus time, detailed time usage and answer request dialogs made on a 144-DPI display. Wine
// reads the display DPI from the registry when a process starts, so they are checked in a child run
// of this test program started after the setting was changed.
#include "ui/dialogs/AdjustBonusTimeForm.h"
#include "ui/dialogs/AnswerRequestForm.h"
#include "ui/dialogs/DetailedTimeUsageForm.h"

#include "DialogDriver.h"
#include "DpiChildRun.h"
#include "controls/TestWindows.h"
#include "model/Clock.h"
#include "ui/Fonts.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel::testing {
namespace {

TEST(UserDialogsDpi, DialogsAreLaidOutAt144Dpi) {
    EXPECT_EQ(0u, RunTestsAtDpi(144, L"UserDialogsAtDpi.*"));
}

class UserDialogsAtDpi : public ::testing::Test {
protected:
    void SetUp() override {
        if (ExpectedDpi() == 0)
            GTEST_SKIP() << "runs in the child process of UserDialogsDpi";
        SetProcessDPIAware();
    }
    static int FontHeight(HWND control) {
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(lf),
                   &lf);
        return lf.lfHeight;
    }
};

TEST_F(UserDialogsAtDpi, TheDialogsTakeTheDisplaysSizes) {
    const int dpi = ExpectedDpi();
    testwin::TTestWindow owner{50, 50, 900, 700};
    TDialog<TAdjustBonusTimeForm> bonus;
    ASSERT_TRUE(bonus.Create(owner.Handle()));
    ASSERT_EQ(bonus.Dpi(), dpi);
    bonus.Prepare(TBonusDirection::Increase, L"Maximilian.Schneider");
    RECT label = ClientRectOf(bonus.Handle(), bonus.Control(TAdjustBonusTimeForm::IdLabelInfo));
    EXPECT_EQ(label.right - label.left, MulDiv(180, dpi, 96));
    RECT picture = ClientRectOf(bonus.Handle(), bonus.Control(TAdjustBonusTimeForm::IdPicture));
    EXPECT_EQ(picture.right - picture.left, MulDiv(32, dpi, 96));
    EXPECT_EQ(FontHeight(bonus.Control(TAdjustBonusTimeForm::IdRb1h)),
              -MulDiv(SystemFontSize(), dpi, 72));
    ExpectSoundLayout(bonus);

    TDialog<TDetailedTimeUsageForm> usage;
    ASSERT_TRUE(usage.Create(owner.Handle()));
    ASSERT_EQ(usage.Dpi(), dpi);
    std::vector<std::wstring> list = {L"STUDY-PC=95", L"GAMING-RIG=1500"};
    usage.TimeUsageList = &list;
    usage.UserName = L"Maximilian.Schneider";
    // Shown once, so that the texts are in.
    PostMessageW(usage.Handle(), WM_COMMAND, IDOK, 0);
    usage.ShowModal();
    usage.TimeUsageList = nullptr;
    EXPECT_EQ(ListView_GetColumnWidth(usage.ListViewUsageDetails(), 0), MulDiv(140, dpi, 96));
    EXPECT_EQ(ListView_GetColumnWidth(usage.ListViewUsageDetails(), 1), MulDiv(140, dpi, 96));
    EXPECT_EQ(FontHeight(usage.ListViewUsageDetails()), -MulDiv(SystemFontSize(), dpi, 72));
    ExpectSoundLayout(usage);

    // The answer to a request, with the longest reason and the code lock shown.
    TDialog<TAnswerRequestForm> answer;
    ASSERT_TRUE(answer.Create(owner.Handle()));
    ASSERT_EQ(answer.Dpi(), dpi);
    TAnswerView view;
    view.User = L"Maximilian.Schneider";
    view.Request.State = TRequestState::Waiting;
    view.Request.Minutes = 120;
    for (int i = 0; i < kMaxReasonLength / 10; ++i)
        view.Request.Reason += L"WWWWWWWWW ";
    view.Request.Computer = L"STUDY-LAPTOP-0001";
    view.Request.WrongCodes = 5;
    view.Now = LocalNow();
    view.Request.Day = DayOfYearOf(view.Now);
    view.Request.Year = view.Now.wYear;
    answer.Prepare(view);
    EXPECT_TRUE(answer.IsControlShown(TAnswerRequestForm::IdCodes));
    EXPECT_EQ(FontHeight(answer.Control(TAnswerRequestForm::IdReply)),
              -MulDiv(SystemFontSize(), dpi, 72));
    ExpectSoundLayout(answer);
}

} // namespace
} // namespace vantrel::testing
