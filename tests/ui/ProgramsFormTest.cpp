// The programs dialog and the week by program, shown for real at 96 DPI and, in a child run of
// this test program, at 144 DPI (Wine reads the display DPI when a process starts): laid out
// whole, reached from the keyboard, the biggest programs in the chart and the rest as others.
#include "ui/dialogs/ProgramsForm.h"
#include "ui/dialogs/WeeklyTimeUsageForm.h"

#include "DialogDriver.h"
#include "DpiChildRun.h"
#include "controls/TestWindows.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace vantrel::testing {
namespace {

// At 96 DPI here, at 144 in the child run of ProgramsFormDpi.
TEST(ProgramsForm, TheDialogsTakeTheDisplaysSizes) {
    SetProcessDPIAware();
    const int dpi = ExpectedDpi() ? ExpectedDpi() : 96;
    testwin::TTestWindow owner{50, 50, 900, 700};

    TDialog<TProgramsForm> programs;
    ASSERT_TRUE(programs.Create(owner.Handle()));
    ASSERT_EQ(programs.Dpi(), dpi);
    programs.UserName = L"Maximilian.Schneider";
    TProgramRule rule;
    rule.Id = L"v:game.exe|game||";
    rule.Name = L"The Longest Game Name Anybody Ever Gave A Game";
    programs.Week = {{rule.Id, rule.Name, 610}, {L"", kOtherProgramsName, 12}};
    programs.Today = {{rule.Id, rule.Name, 95}};
    for (int day = 0; day < 7; ++day)
        rule.Minutes[day] = day < 5 ? 60 : 120;
    programs.ShownRules = {rule};
    programs.Note = L"The network computer cannot be reached: this computer's copy of the rules "
                    L"is shown, and a change goes to the network computer later.";
    std::vector<int> focusAfterAltKeys;
    auto then = [&](std::function<void()> key) {
        return [&focusAfterAltKeys, key] {
            focusAfterAltKeys.push_back(GetDlgCtrlID(GetFocus()));
            key();
        };
    };
    TModalSteps::Run(programs,
                     {
                         [&] {
                             EXPECT_EQ(GetFocus(), programs.ListPrograms());
                             ExpectSoundLayout(programs);
                             EXPECT_EQ(ListView_GetColumnWidth(programs.ListPrograms(), 3),
                                       MulDiv(190, dpi, 96));
                             // The weekdays' limits are shown and open to the keyboard.
                             EXPECT_TRUE(programs.IsChecked(TProgramsForm::IdRadioPerDay));
                             TModalSteps::AltKey(L'w');
                         },
                         then([] { TModalSteps::Key(VK_TAB); }),
                         then([] { TModalSteps::AltKey(L'p'); }),
                         then([&] { programs.EndModal(IDCANCEL); }),
                     });
    EXPECT_EQ(focusAfterAltKeys,
              std::vector<int>({TProgramsForm::IdRadioPerDay, TProgramsForm::IdDayEditFirst,
                                TProgramsForm::IdListPrograms}));
    EXPECT_FALSE(programs.RulesChanged());

    // The week by program: the six biggest programs of the week, the rest as others.
    TDialog<TWeeklyTimeUsageForm> weekly;
    ASSERT_TRUE(weekly.Create(owner.Handle()));
    TQorUser user;
    user.Username = L"amy";
    user.QorControl = true;
    SYSTEMTIME today{};
    GetLocalTime(&today);
    weekly.Week = WeekUsageOf(user, today,
                              [](int, int) { return std::vector<std::wstring>{L"STUDY-PC=100"}; });
    TProgramList day;
    for (int p = 1; p <= 8; ++p)
        day.push_back({L"v:p" + std::to_wstring(p), L"Program " + std::to_wstring(p), 50 - 5 * p});
    day.push_back({L"", kOtherProgramsName, 2});
    weekly.Programs.assign(7, day);
    TWeekChart& chart = weekly.Chart();
    std::wstring dayText;
    std::vector<std::wstring> series;
    std::vector<int> todays;
    std::set<COLORREF> colours;
    TModalSteps::Run(weekly, {[&] { TModalSteps::AltKey(L'p'); },
                              [&] {
                                  EXPECT_EQ(chart.View(), TWeekChartView::Programs);
                                  dayText = weekly.ControlText(TWeeklyTimeUsageForm::IdLabelDay);
                                  series = chart.Series();
                                  for (size_t s = 0; s < series.size(); ++s) {
                                      todays.push_back(chart.SeriesMinutes(6, s));
                                      colours.insert(chart.ComputerColor(s));
                                  }
                                  ExpectSoundLayout(weekly);
                                  weekly.EndModal(IDOK);
                              }});
    EXPECT_EQ(series,
              std::vector<std::wstring>({L"Program 1", L"Program 2", L"Program 3", L"Program 4",
                                         L"Program 5", L"Program 6", kOtherProgramsName}));
    // Programs 7 and 8 and the stored others.
    EXPECT_EQ(todays, std::vector<int>({45, 40, 35, 30, 25, 20, 15 + 10 + 2}));
    EXPECT_EQ(colours.size(), series.size());
    EXPECT_NE(dayText.find(L"1:40 used. Programs: Program 1 0:45, Program 2 0:40"),
              std::wstring::npos)
        << dayText;
}

TEST(ProgramsFormDpi, TheDialogsAt144Dpi) {
    EXPECT_EQ(0u, RunTestsAtDpi(144, L"ProgramsForm.*"));
}

} // namespace
} // namespace vantrel::testing
