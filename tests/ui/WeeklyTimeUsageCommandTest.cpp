// "Weekly time usage..." on the real main window: the dialog it opens shows the selected user's
// minutes and the limit the store holds when the command runs.
#include "MainFormSupport.h"

#include "ui/WeeklyTimeUsageForm.h"

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

} // namespace
} // namespace vantrel::testing
