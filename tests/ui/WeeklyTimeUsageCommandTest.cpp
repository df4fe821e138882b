// "Weekly time usage..." on the real main window: the dialog it opens shows the selected user's
// minutes and the limit the store holds when the command runs.
#include "MainFormSupport.h"

#include "ui/dialogs/WeeklyTimeUsageForm.h"

#include <set>
#include <utility>

namespace vantrel::testing {
namespace {

using MainFormWeeklyUsage = MainFormTest;

// What the shown dialog says, read from inside its modal loop, which the read then ends.
struct TShownTexts {
    HWND Main = nullptr;
    std::wstring Heading, Day;
};
TShownTexts gShown;

void CALLBACK ReadShownDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    for (HWND w = GetTopWindow(nullptr); w && !dialog; w = GetWindow(w, GW_HWNDNEXT))
        if (w != gShown.Main && IsWindowVisible(w) && GetWindow(w, GW_OWNER) == gShown.Main)
            dialog = w;
    if (!dialog)
        return;
    KillTimer(nullptr, timer);
    wchar_t text[512] = {};
    GetDlgItemTextW(dialog, TWeeklyTimeUsageForm::IdLabelTop, text, 512);
    gShown.Heading = text;
    GetDlgItemTextW(dialog, TWeeklyTimeUsageForm::IdLabelDay, text, 512);
    gShown.Day = text;
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

TEST_F(MainFormWeeklyUsage, ShowsTheSelectedUsersWeekWithTheLimitStoredNow) {
    Accounts = {L"amy", L"ben"};
    SeedUser(L"amy", true, 120);
    SeedUser(L"ben", true, 60);
    SeedUsage(L"amy", L"STUDY-PC", 95);
    SeedUsage(L"amy", L"ATTIC-PC", 45, kTestDayOfYear - 7); // last Monday's
    SeedUsage(L"ben", L"STUDY-PC", 30);
    Start();
    SelectRow(0);
    SeedUser(L"amy", true, 60); // lowered elsewhere since the list was read
    gShown = TShownTexts{};
    gShown.Main = Form().Handle();
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadShownDialog);
    EXPECT_TRUE(Form().ActionManager.Execute(Form().Action(TMainCommand::AMEditWeeklyTimeUsage)));
    KillTimer(nullptr, timer);
    EXPECT_NE(gShown.Heading.find(L" amy:"), std::wstring::npos) << gShown.Heading;
    // Today is the current day when the dialog opens.
    EXPECT_NE(
        gShown.Day.find(L": 1:35 used (STUDY-PC 1:35). Time limit 1:00, 0:35 over the limit."),
        std::wstring::npos)
        << gShown.Day;
}

TEST(WeekChartLabels, DurationsTheComputersOrderAndColoursThatStay) {
    const std::pair<long long, const wchar_t*> durations[] = {{0, L"0"},       {15, L"15 min"},
                                                              {60, L"1 h"},    {65, L"1 h 05"},
                                                              {90, L"1 h 30"}, {1440, L"24 h"}};
    for (const auto& [minutes, text] : durations)
        EXPECT_EQ(text, DurationLabel(minutes)) << minutes;

    // This computer first, the others by name whatever the letter case; each day alike.
    TWeekUsage week;
    week.Computers = {L"kitchen-pc", L"Study", L"THIS-PC", L"attic"};
    TDayUsage day;
    day.Computers = {{L"Study", 10}, {L"THIS-PC", 20}, {L"kitchen-pc", 5}};
    week.Days.assign(7, day);
    OrderComputers(week, L"this-pc");
    EXPECT_EQ(std::vector<std::wstring>({L"THIS-PC", L"attic", L"kitchen-pc", L"Study"}),
              week.Computers);
    std::vector<std::wstring> named;
    for (const TUsageEntry& entry : week.Days[3].Computers)
        named.push_back(entry.Computer);
    EXPECT_EQ(std::vector<std::wstring>({L"THIS-PC", L"kitchen-pc", L"Study"}), named);

    // A computer's colour is its name's, in any week it has to itself; twelve computers all
    // differ.
    TWeekUsage many;
    for (int i = 0; i < 12; ++i)
        many.Computers.push_back(L"PC-" + std::to_wstring(i * 7));
    TWeekChart chart;
    chart.SetWeek(many);
    std::set<COLORREF> colours;
    for (size_t i = 0; i < many.Computers.size(); ++i)
        colours.insert(chart.ComputerColor(i));
    EXPECT_EQ(12u, colours.size());
    for (const std::wstring& computer : week.Computers) {
        TWeekUsage alone;
        alone.Computers = {computer};
        chart.SetWeek(alone);
        EXPECT_EQ(TWeekChart::ColorOfName(computer), chart.ComputerColor(0));
    }
    chart.SetWeek(week);
    for (size_t i = 0; i < week.Computers.size(); ++i) {
        bool shared = false;
        for (size_t j = 0; j < i; ++j)
            shared = shared || TWeekChart::ColorOfName(week.Computers[j]) ==
                                   TWeekChart::ColorOfName(week.Computers[i]);
        if (!shared) {
            EXPECT_EQ(TWeekChart::ColorOfName(week.Computers[i]), chart.ComputerColor(i)) << i;
        }
    }
}

} // namespace
} // namespace vantrel::testing
