// The bonus commands and the detailed time usage command, run as the administrator runs them:
// from the command table with a user selected, the real dialog driven inside its modal loop,
// the store in the real registry and the stand-in service on the real pipe.
#include "DialogDriver.h"
#include "MainFormSupport.h"

#include "ui/dialogs/AdjustBonusTimeForm.h"
#include "ui/dialogs/DetailedTimeUsageForm.h"

namespace vantrel::testing {
namespace {

using Steps = TModalSteps;
using Bonus = TAdjustBonusTimeForm;

constexpr TMainCommand kIncrease = TMainCommand::AMEditIncreaseTodaysLimit;
constexpr TMainCommand kDecrease = TMainCommand::AMEditDecreaseTodaysLimit;
constexpr wchar_t kNoUsageText[] = L"No time usage information found for this user today.";

class UserDialogCommands : public MainFormTest {
protected:
    Bonus& BonusDialog() { return App->AdjustBonusTimeForm; }
    TDetailedTimeUsageForm& UsageDialog() { return App->DetailedTimeUsageForm; }

    // Runs a command from the command table while `steps` drive the dialog it shows; the
    // dialog's result, 0 when it was not shown.
    int Run(TMainCommand action, TModalDialog& dialog, std::vector<Steps::TStep> steps) {
        bool shown = false;
        steps.insert(steps.begin(), [&shown] { shown = true; });
        Steps::Run(dialog, std::move(steps), [&] {
            Form().ActionManager.Execute(Form().Action(action));
            return 0;
        });
        return shown ? dialog.ModalResult() : 0;
    }
    // A bonus command in which the administrator clicks `minutes` and then presses `key`.
    int RunBonus(TMainCommand action, int row, int minutes, UINT key = VK_RETURN) {
        SelectRow(row);
        const int ids[] = {Bonus::IdRb15m, Bonus::IdRb30m, Bonus::IdRb1h, Bonus::IdRb2h,
                           Bonus::IdRb4h};
        const int amounts[] = {15, 30, 60, 120, 240};
        int id = 0;
        for (int i = 0; i < 5; ++i)
            if (amounts[i] == minutes)
                id = ids[i];
        return Run(action, BonusDialog(),
                   {[this, id] { SendMessageW(BonusDialog().Control(id), BM_CLICK, 0, 0); },
                    [key] { Steps::Key(key); }});
    }
    static DWORD Stored(const std::wstring& user, const wchar_t* name) {
        DWORD value = 0xDEADBEEF;
        ReadStoredDword(UserKey(user), name, value);
        return value;
    }
    std::vector<std::wstring> UsageRows() {
        std::vector<std::wstring> rows;
        HWND list = UsageDialog().ListViewUsageDetails();
        for (int i = 0; i < ListView_GetItemCount(list); ++i) {
            wchar_t computer[64] = {}, usage[64] = {};
            ListView_GetItemText(list, i, 0, computer, 64);
            ListView_GetItemText(list, i, 1, usage, 64);
            rows.push_back(std::wstring(computer) + L"|" + usage);
        }
        return rows;
    }
};

// Another day's bonus is replaced, today's is added to, and the day's total stays within 0 and
// 24 hours; the list shows the stored result.
TEST_F(UserDialogCommands, BonusCommandsFollowTheBonusRules) {
    Accounts = {L"amy", L"ben", L"cat", L"dan", L"eve"};
    SeedUser(L"amy", true, 120, 60, kTestDayOfYear - 1); // yesterday's bonus
    SeedUser(L"ben", true, 120, 30);
    SeedUser(L"cat", true, 120, 0);
    SeedUser(L"dan", true, 600, 800);
    SeedUser(L"eve", true, 600, 0x7FFFFFFF); // a damaged store: the largest bonus
    Start();

    EXPECT_EQ(RunBonus(kIncrease, 4, 15), IDOK);
    EXPECT_EQ(Stored(L"eve", L"BonusTime"), 840u);

    EXPECT_EQ(RunBonus(kIncrease, 0, 30), IDOK);
    EXPECT_EQ(Stored(L"amy", L"BonusTime"), 30u);
    EXPECT_EQ(Stored(L"amy", L"BonusDayOfYear"), static_cast<DWORD>(kTestDayOfYear));
    EXPECT_EQ(Cell(0, 2), L" 00:30");

    EXPECT_EQ(RunBonus(kDecrease, 1, 60), IDOK);
    EXPECT_EQ(static_cast<int>(Stored(L"ben", L"BonusTime")), -30);
    EXPECT_EQ(Cell(1, 2), L"-00:30");

    EXPECT_EQ(RunBonus(kDecrease, 2, 240), IDOK);
    EXPECT_EQ(static_cast<int>(Stored(L"cat", L"BonusTime")), -120);
    EXPECT_EQ(Cell(2, 4), L" 00:00");

    EXPECT_EQ(RunBonus(kIncrease, 3, 60), IDOK);
    EXPECT_EQ(Stored(L"dan", L"BonusTime"), 840u);
    EXPECT_EQ(Cell(3, 2), L" 14:00");

    // What the dialog showed for the last of them.
    wchar_t title[64] = {};
    GetWindowTextW(BonusDialog().Handle(), title, 64);
    EXPECT_STREQ(title, L"Increase bonus time");
    EXPECT_EQ(BonusDialog().ControlText(Bonus::IdLabelInfo),
              L"Increase today's bonus time for user dan with the selected amount of time:");
    EXPECT_EQ(BonusDialog().DirectionIcon(), 0);
    EXPECT_TRUE(Messages.empty());
    // The row stays selected for the next command.
    EXPECT_EQ(SelectedRow(), 3);

    // A bonus and limits stored elsewhere since the list was read, also beside a value that
    // cannot be read: added to, and the rest kept as stored.
    const struct {
        int Row;
        const wchar_t *User, *Damaged;
    } changedElsewhere[] = {{0, L"amy", nullptr}, {3, L"dan", L"TimeLimitWed"}};
    for (const auto& c : changedElsewhere) {
        SeedUser(c.User, true, 150, 45);
        if (c.Damaged)
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, UserKey(c.User).c_str(), c.Damaged, REG_SZ, L"9",
                            4);
        EXPECT_EQ(RunBonus(kIncrease, c.Row, 60), IDOK);
        EXPECT_EQ(Stored(c.User, L"BonusTime"), 105u) << c.Row;
        EXPECT_EQ(Stored(c.User, L"TimeLimitThu"), 150u) << c.Row;
    }
}

// Cancel changes, saves and sends nothing, and the next showing starts on the amount picked
// before it; OK then writes the store, and only then does the service hear of it.
TEST_F(UserDialogCommands, CancelDoesNothingAndOKWritesBeforeTheServiceHears) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"amy"};
    SeedUser(L"amy", true, 120, 10);
    SeedPrefs(false, true, L"FARAWAY");
    // The network computer cannot be reached: the local registry is written, the save is
    // reported as failed, and the service must not have the message at that moment.
    SetRemoteRegistrySeam([](const std::wstring&, HKEY*) { return LONG{ERROR_BAD_NETPATH}; });
    Start();
    ASSERT_TRUE(PumpUntil([&] { return StandIn.Command("stats").find("clients=1") == 0; }));
    Messages.clear();

    EXPECT_EQ(RunBonus(kIncrease, 0, 240, VK_ESCAPE), IDCANCEL);
    EXPECT_EQ(Form().Users().Items(0).BonusTime, 10);
    EXPECT_EQ(Stored(L"amy", L"BonusTime"), 10u);
    EXPECT_TRUE(Messages.empty());

    int amountAtStart = 0;
    int countAtWarning = -1;
    DWORD storedAtWarning = 0;
    SetMessageBoxSeam([&](HWND, const std::wstring& text, TMsgKind kind, TMsgButtons) {
        if (kind == TMsgKind::Warning) {
            countAtWarning = StandInMessages();
            storedAtWarning = Stored(L"amy", L"BonusTime");
        }
        Messages.push_back({text, kind});
        return IDOK;
    });
    SelectRow(0);
    EXPECT_EQ(Run(kDecrease, BonusDialog(),
                  {[&] { amountAtStart = BonusDialog().SelectedAmount(); },
                   [] { Steps::Key(VK_RETURN); }}),
              IDOK);
    EXPECT_EQ(amountAtStart, 240);
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages[0].Text, L"Could not save user administration to the remote registry.");
    EXPECT_EQ(countAtWarning, 0);
    EXPECT_EQ(static_cast<int>(storedAtWarning), -120);
    // One message for the one OK: the Cancel sent nothing, and the pipe keeps order.
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() != 0; }));
    Pump();
    EXPECT_EQ(StandInMessages(), 1);
    EXPECT_EQ(StandIn.Command("last"), "40, QORsvc");
}

// A dialog left open over midnight gives the bonus to the day on which it was confirmed.
TEST_F(UserDialogCommands, BonusConfirmedAfterMidnightBelongsToTheNewDay) {
    Accounts = {L"amy"};
    SeedUser(L"amy", true, 120, 30);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, UserKey(L"amy").c_str(), 0, KEY_SET_VALUE, &key));
    WriteDword(key, L"TimeLimitTue", 1400);
    RegCloseKey(key);
    SYSTEMTIME now = TestToday();
    SetClockSeam([&now] { return now; });
    Start();
    SelectRow(0);
    EXPECT_EQ(Run(kIncrease, BonusDialog(),
                  {[&] {
                       // Tuesday, 8 December: the next day, with a limit of its own.
                       now.wDay = 8;
                       now.wDayOfWeek = 2;
                       now.wHour = 0;
                       SendMessageW(BonusDialog().Control(Bonus::IdRb2h), BM_CLICK, 0, 0);
                   },
                   [] { Steps::Key(VK_RETURN); }}),
              IDOK);
    // Yesterday's 30 minutes do not count; 120 against Tuesday's 1400 is bounded to 40.
    EXPECT_EQ(Stored(L"amy", L"BonusDayOfYear"), static_cast<DWORD>(kTestDayOfYear + 1));
    EXPECT_EQ(Stored(L"amy", L"BonusTime"), 40u);
}

TEST_F(UserDialogCommands, DetailedUsageShowsTodaysMinutesPerComputer) {
    Accounts = {L"amy", L"ben", L"cat"};
    SeedUser(L"amy", true, 120);
    SeedUser(L"ben", true, 60);
    SeedUser(L"cat", true, 60);
    SeedUsage(L"amy", L"STUDY-PC", 95);
    SeedUsage(L"amy", L"KITCHEN-PC", 20);
    SeedUsage(L"amy", L"GAMING-RIG", 1500);
    SeedUsage(L"amy", L"ATTIC-PC", 45, kTestDayOfYear - 7); // last Monday's
    SeedUsage(L"ben", L"STUDY-PC", 30, kTestDayOfYear - 1); // only another day's
    Start();

    SelectRow(0);
    std::wstring heading;
    std::vector<std::wstring> rows;
    EXPECT_EQ(Run(TMainCommand::AMEditDetailedTimeUsage, UsageDialog(),
                  {[&] {
                       heading = UsageDialog().ControlText(TDetailedTimeUsageForm::IdLabelTop);
                       rows = UsageRows();
                   },
                   [] { Steps::Key(VK_ESCAPE); }}),
              IDOK);
    EXPECT_EQ(heading, L"Today's time usage per computer for user amy:");
    // In the store's order of the computers.
    EXPECT_EQ(rows, (std::vector<std::wstring>{L"GAMING-RIG| 25:00", L"KITCHEN-PC| 00:20",
                                               L"STUDY-PC| 01:35"}));
    EXPECT_TRUE(Messages.empty());

    // Only another day's usage, or none at all: the box, and no dialog.
    for (int row : {1, 2}) {
        Messages.clear();
        SelectRow(row);
        EXPECT_EQ(Run(TMainCommand::AMEditDetailedTimeUsage, UsageDialog(), {}), 0) << row;
        ASSERT_EQ(Messages.size(), 1u) << row;
        EXPECT_EQ(Messages[0].Text, kNoUsageText);
        EXPECT_EQ(Messages[0].Kind, TMsgKind::Information);
    }
}

// With the preference on, a double-click on a user shows the usage dialog, or only the box
// when there is no usage today.
TEST_F(UserDialogCommands, DoubleClickShowsTheUsageWhenThePreferenceSaysSo) {
    Accounts = {L"amy", L"ben"};
    SeedUser(L"amy", true, 120);
    SeedUser(L"ben", true, 60);
    SeedUsage(L"amy", L"STUDY-PC", 95);
    SeedPrefs(true);
    Start();
    auto doubleClick = [this](int row) {
        SelectRow(row);
        RECT rect = RowRect(row);
        LPARAM point = MAKELPARAM(rect.left + Form().Scale(30), (rect.top + rect.bottom) / 2);
        SendMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, point);
        SendMessageW(List(), WM_LBUTTONUP, 0, point);
    };
    std::vector<std::wstring> rows;
    Steps::Run(UsageDialog(), {[&] { rows = UsageRows(); }, [] { Steps::Key(VK_RETURN); }}, [&] {
        doubleClick(0);
        Pump();
        return 0;
    });
    EXPECT_EQ(rows, (std::vector<std::wstring>{L"STUDY-PC| 01:35"}));
    EXPECT_EQ(UsageDialog().ModalResult(), IDOK);
    EXPECT_TRUE(Messages.empty());

    doubleClick(1);
    Pump();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, kNoUsageText);
}

} // namespace
} // namespace vantrel::testing
