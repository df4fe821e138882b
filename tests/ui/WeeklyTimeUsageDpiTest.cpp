// The weekly time usage dialog made on a 144-DPI display, in a child run of this test program
// (Wine reads the display DPI when a process starts): its chart laid out whole, and read from
// the keyboard and by a screen reader.
#include "ui/dialogs/WeeklyTimeUsageForm.h"

#include "DialogDriver.h"
#include "DpiChildRun.h"
#include "controls/TestWindows.h"
#include "ui/Fonts.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <oleacc.h>

namespace vantrel::testing {
namespace {

TEST(WeeklyTimeUsageDpi, ChartIsLaidOutAt144Dpi) {
    EXPECT_EQ(0u, RunTestsAtDpi(144, L"WeeklyTimeUsageAtDpi.*"));
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST(WeeklyTimeUsageAtDpi, ChartTakesTheDisplaysSizesAndAnswersKeysAndScreenReaders) {
    const int dpi = ExpectedDpi();
    if (dpi == 0)
        GTEST_SKIP() << "runs in the child process of WeeklyTimeUsageDpi";
    SetProcessDPIAware();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    testwin::TTestWindow owner{50, 50, 900, 700};
    TDialog<TWeeklyTimeUsageForm> form;
    ASSERT_TRUE(form.Create(owner.Handle()));
    ASSERT_EQ(form.Dpi(), dpi);
    TQorUser user;
    user.Username = L"Maximilian.Schneider";
    user.QorControl = true;
    SYSTEMTIME today{};
    GetLocalTime(&today);
    form.Week = WeekUsageOf(user, today, [](int weekday, int) {
        return std::vector<std::wstring>{L"STUDY-PC=" + std::to_wstring(weekday * 40),
                                         L"GAMING-RIG-WITH-A-LONG-NAME=25"};
    });
    TWeekChart& chart = form.Chart();
    std::wstring labelAfterLeft, readAloud;
    TModalSteps::Run(form, {[&] {
                                ASSERT_EQ(GetFocus(), chart.Handle());
                                TModalSteps::Key(VK_LEFT);
                            },
                            [&] {
                                labelAfterLeft = form.ControlText(TWeeklyTimeUsageForm::IdLabelDay);
                                IAccessible* object = nullptr;
                                VARIANT self{};
                                self.vt = VT_I4;
                                BSTR value = nullptr;
                                if (SUCCEEDED(AccessibleObjectFromWindow(
                                        chart.Handle(), OBJID_CLIENT, __uuidof(IAccessible),
                                        reinterpret_cast<void**>(&object)))) {
                                    object->get_accValue(self, &value);
                                    object->Release();
                                }
                                readAloud = value ? value : L"";
                                SysFreeString(value);
                                form.EndModal(IDOK);
                            }});
    // Left moved from today to yesterday, and both the dialog and a screen reader tell it.
    EXPECT_EQ(chart.CurrentDay(), 5);
    EXPECT_EQ(labelAfterLeft, DayUsageText(form.Week.Days[5]));
    EXPECT_EQ(readAloud, labelAfterLeft);

    const RECT bounds = ClientRectOf(form.Handle(), chart.Handle());
    EXPECT_EQ(bounds.right - bounds.left, MulDiv(600, dpi, 96));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(chart.Handle(), WM_GETFONT, 0, 0)),
               sizeof(font), &font);
    EXPECT_EQ(font.lfHeight, -MulDiv(SystemFontSize(), dpi, 72));
    ExpectSoundLayout(form);

    RECT client{};
    GetClientRect(chart.Handle(), &client);
    const RECT plot = chart.PlotRect();
    ASSERT_TRUE(Inside(plot, client));
    const auto legend = chart.Legend();
    for (size_t i = 0; i < legend.size(); ++i) {
        EXPECT_TRUE(Inside(legend[i].Bounds, client)) << i;
        EXPECT_LE(legend[i].Bounds.bottom, plot.top) << i;
        for (size_t j = i + 1; j < legend.size(); ++j) {
            RECT overlap{};
            EXPECT_FALSE(IntersectRect(&overlap, &legend[i].Bounds, &legend[j].Bounds)) << i;
        }
    }
    // Each day's tool covers its column and tells its figures.
    ASSERT_EQ(SendMessageW(chart.ToolTip(), TTM_GETTOOLCOUNT, 0, 0), 7);
    wchar_t tip[512] = {};
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = chart.Handle();
    tool.uId = 2;
    ASSERT_TRUE(
        SendMessageW(chart.ToolTip(), TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)));
    const RECT column2 = chart.DayRect(2);
    EXPECT_TRUE(EqualRect(&tool.rect, &column2));
    tool.lpszText = tip;
    SendMessageW(chart.ToolTip(), TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(std::wstring(tip), DayUsageText(form.Week.Days[2]));
    EXPECT_EQ(chart.MinutesY(chart.ScaleMinutes()), plot.top);
    for (int day = 0; day < 7; ++day) {
        const RECT column = chart.DayRect(day), bar = chart.BarRect(day);
        EXPECT_TRUE(Inside(column, client)) << day;
        EXPECT_TRUE(Inside(bar, column)) << day;
        EXPECT_EQ(bar.top, chart.MinutesY(form.Week.Days[day].Minutes)) << day;
        EXPECT_GT(bar.right - bar.left, MulDiv(30, dpi, 96)) << day;
        if (day > 0) {
            EXPECT_EQ(column.left, chart.DayRect(day - 1).right) << day;
        }
    }
}

} // namespace
} // namespace vantrel::testing
