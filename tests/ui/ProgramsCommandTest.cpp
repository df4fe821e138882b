// "Programs..." on the real main window: the week's programs summed over the store's computers
// and days, the user's rules edited in the dialog and saved to this computer and the network
// store, and rules that were read in part never saved over.
#include "MainFormSupport.h"
#include "TestPrograms.h"

#include "model/ProgramRules.h"
#include "model/ProgramUsage.h"
#include "ui/UserPrograms.h"
#include "ui/controls/Shell.h"
#include "ui/dialogs/ProgramsForm.h"

#include <functional>
#include <vector>

namespace vantrel::testing {
namespace {

constexpr wchar_t kNetwork[] = L"Software\\VantrelTest\\ProgramsNetwork";
constexpr wchar_t kGame[] = L"v:game.exe|game|acme|";
constexpr wchar_t kBrowser[] = L"v:browser.exe|browser|web inc|web inc";
constexpr wchar_t kPaint[] = L"v:paint.exe|paint|art ltd|";

SYSTEMTIME DaysAgo(int days) {
    return DaysBefore(TestToday(), days);
}

TProgramRule Rule(const wchar_t* id, const wchar_t* name, bool blocked, int minutes) {
    TProgramRule rule;
    rule.Id = id;
    rule.Name = name;
    rule.Blocked = blocked;
    for (int& day : rule.Minutes)
        day = blocked ? 0 : minutes;
    return rule;
}

std::vector<std::wstring> Lines(const std::vector<TProgramRule>& rules) {
    std::vector<std::wstring> lines;
    for (const TProgramRule& rule : rules)
        lines.push_back(FormatProgramRule(rule));
    return lines;
}

// The rules value as stored, byte for byte.
std::vector<BYTE> RawRules(HKEY root) {
    std::vector<BYTE> data(4096);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegGetValueW(root, (UserKey(L"amy") + L"\\ProgramRules").c_str(), L"Rules",
                     RRF_RT_REG_MULTI_SZ, nullptr, data.data(), &size) != ERROR_SUCCESS)
        return {};
    data.resize(size);
    return data;
}

void WriteRawRules(HKEY root, const std::vector<std::wstring>& lines) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, (UserKey(L"amy") + L"\\ProgramRules").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::wstring value;
    for (const std::wstring& line : lines)
        value += line + L'\0';
    value += L'\0';
    RegSetValueExW(key, L"Rules", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value.data()),
                   static_cast<DWORD>(value.size() * sizeof(wchar_t)));
    RegCloseKey(key);
}

// Steps run on the shown dialog, one per timer tick, from inside its modal loop.
using TStep = std::function<void(HWND dialog)>;
struct TSteps {
    HWND Main = nullptr;
    std::vector<TStep> Steps;
    size_t Next = 0;
};
TSteps gSteps;

void CALLBACK RunStep(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = nullptr;
    for (HWND w = GetTopWindow(nullptr); w && !dialog; w = GetWindow(w, GW_HWNDNEXT))
        if (w != gSteps.Main && IsWindowVisible(w) && GetWindow(w, GW_OWNER) == gSteps.Main)
            dialog = w;
    if (!dialog)
        return;
    if (gSteps.Next < gSteps.Steps.size()) {
        gSteps.Steps[gSteps.Next++](dialog);
    } else {
        ADD_FAILURE() << "the dialog was still open after the last step";
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
}

void Click(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void SelectProgram(HWND dialog, int row) {
    HWND list = GetDlgItem(dialog, TProgramsForm::IdListPrograms);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

// The list's rows as it shows them.
std::vector<std::vector<std::wstring>> Table(HWND dialog) {
    HWND list = GetDlgItem(dialog, TProgramsForm::IdListPrograms);
    std::vector<std::vector<std::wstring>> rows(static_cast<size_t>(ListView_GetItemCount(list)));
    for (size_t row = 0; row < rows.size(); ++row)
        for (int column = 0; column < 4; ++column) {
            wchar_t text[256] = {};
            ListView_GetItemText(list, static_cast<int>(row), column, text, 256);
            rows[row].push_back(text);
        }
    return rows;
}

class ProgramsCommand : public MainFormTest {
protected:
    void TearDown() override {
        SetChooseFileSeam(nullptr);
        if (Network)
            RegCloseKey(Network);
        MainFormTest::TearDown();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\VantrelTest");
    }

    // amy in this computer's registry and in a network store that the preferences name.
    void UseNetworkStore() {
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                  (std::wstring(kNetwork) + L"\\" + UserKey(L"amy")).c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &Network, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegCopyTreeW(HKEY_LOCAL_MACHINE, UserKey(L"amy").c_str(), Network),
                  ERROR_SUCCESS);
        RegCloseKey(Network);
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNetwork, 0, KEY_ALL_ACCESS, &Network),
                  ERROR_SUCCESS);
        SeedPrefs(false, true, L"FARAWAY");
        SetRemoteRegistrySeam([](const std::wstring&, HKEY* connected) {
            return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNetwork, 0, KEY_ALL_ACCESS, connected);
        });
    }

    // Runs "Programs..." on amy's row with the steps.
    void RunPrograms(std::vector<TStep> steps) {
        gSteps = TSteps{Form().Handle(), std::move(steps), 0};
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, RunStep);
        EXPECT_TRUE(Form().ActionManager.Execute(Form().Action(TMainCommand::AMEditPrograms)));
        KillTimer(nullptr, timer);
        EXPECT_EQ(gSteps.Next, gSteps.Steps.size()) << "not every step ran";
    }

    HKEY Network = nullptr;
};

TEST_F(ProgramsCommand, RulesAddedFromTheListAndFromAFileAreSavedToBothStores) {
    Accounts = {L"amy"};
    SeedUser(L"amy", true, 120);
    UseNetworkStore();
    // The week in the network store: two computers today, one two days ago.
    ASSERT_EQ(WriteProgramUsage(Network, L"amy", L"STUDY-PC", DaysAgo(0),
                                {{kGame, L"Game", 30}, {kBrowser, L"Browser", 5}}),
              ERROR_SUCCESS);
    ASSERT_EQ(WriteProgramUsage(Network, L"amy", L"ATTIC-PC", DaysAgo(0), {{kGame, L"Game", 20}}),
              ERROR_SUCCESS);
    ASSERT_EQ(
        WriteProgramUsage(Network, L"amy", L"STUDY-PC", DaysAgo(2), {{kBrowser, L"Browser", 70}}),
        ERROR_SUCCESS);
    // The store's rules are newer than this computer's copy, so they are the ones shown.
    ASSERT_EQ(WriteProgramRules(HKEY_LOCAL_MACHINE, L"amy", {Rule(kGame, L"Game", true, 0)}, 100),
              ERROR_SUCCESS);
    ASSERT_EQ(WriteProgramRules(Network, L"amy", {Rule(kPaint, L"Paint", true, 0)}, 200),
              ERROR_SUCCESS);
    // The file chosen: a game with version information, known by its product's name.
    TProgramInfo chosen;
    ASSERT_TRUE(ReadProgramInfo(TestGameExe(), chosen));
    ASSERT_EQ(chosen.Name, L"Moon Lander");
    SetChooseFileSeam(
        [&](HWND, const std::wstring&, const std::wstring& pattern, std::wstring& path) {
            EXPECT_EQ(pattern, L"*.exe");
            path = TestGameExe();
            return true;
        });
    Start();
    SelectRow(0);

    std::vector<std::vector<std::wstring>> shown;
    RunPrograms({
        [&](HWND dialog) { shown = Table(dialog); },
        // The game: one limit every day.
        [](HWND dialog) { SelectProgram(dialog, 1); },
        [](HWND dialog) { Click(dialog, TProgramsForm::IdRadioSame); },
        [](HWND dialog) { SetDlgItemTextW(dialog, TProgramsForm::IdEditMinutes, L"45"); },
        // A file: a limit per weekday, longer on Saturday.
        [](HWND dialog) { Click(dialog, TProgramsForm::IdButtonAddFile); },
        [](HWND dialog) { Click(dialog, TProgramsForm::IdRadioPerDay); },
        [](HWND dialog) { SetDlgItemTextW(dialog, TProgramsForm::IdDayEditFirst + 5, L"90"); },
        // Paint's rule goes.
        [](HWND dialog) { SelectProgram(dialog, 2); },
        [](HWND dialog) { Click(dialog, TProgramsForm::IdRadioNoRule); },
        [](HWND dialog) { Click(dialog, IDOK); },
    });
    const std::vector<std::vector<std::wstring>> expected = {
        {L"Browser", L" 00:05", L" 01:15", L""},
        {L"Game", L" 00:50", L" 00:50", L""},
        {L"Paint", L" 00:00", L" 00:00", L"Not allowed"},
    };
    EXPECT_EQ(shown, expected);

    TProgramRule game = Rule(kGame, L"Game", false, 45);
    TProgramRule file = Rule(chosen.Id.c_str(), chosen.Name.c_str(), false, 60);
    file.Minutes[5] = 90;
    for (HKEY store : {HKEY_LOCAL_MACHINE, Network}) {
        std::vector<TProgramRule> rules;
        ULONGLONG changedAt = 0;
        EXPECT_EQ(ReadProgramRules(store, L"amy", rules, &changedAt), TStoredRules::Whole);
        EXPECT_EQ(Lines(rules), Lines({game, file})) << (store == Network);
        EXPECT_GT(changedAt, 200u);
    }
    EXPECT_TRUE(Messages.empty());
}

// Rules read in part are shown but never written back, whichever store holds them; nor are rules
// offered for a user the store has no settings of.
TEST_F(ProgramsCommand, RulesThatCouldNotBeReadWholeAreNotSavedOver) {
    Accounts = {L"amy"};
    SeedUser(L"amy", true, 120);
    UseNetworkStore();
    ASSERT_EQ(WriteProgramRules(HKEY_LOCAL_MACHINE, L"amy", {Rule(kGame, L"Game", false, 30)}, 100),
              ERROR_SUCCESS);
    ASSERT_EQ(WriteProgramRules(Network, L"amy", {Rule(kGame, L"Game", false, 30)}, 200),
              ERROR_SUCCESS);
    // A line whose kind cannot be read and one that names no program.
    WriteRawRules(Network, {std::wstring(kPaint) + L"\tPaint\tsometimes\t1,2", L"garbage"});
    const std::vector<BYTE> local = RawRules(HKEY_LOCAL_MACHINE);
    const std::vector<BYTE> network = RawRules(Network);
    ASSERT_FALSE(network.empty());
    Start();
    SelectRow(0);

    bool chooserShown = false;
    SetChooseFileSeam([&](HWND, const std::wstring&, const std::wstring&, std::wstring&) {
        return !(chooserShown = true);
    });
    // The rule's controls and the file's button are disabled: the clicks change nothing.
    RunPrograms({
        [](HWND dialog) { SelectProgram(dialog, 0); },
        [](HWND dialog) { Click(dialog, TProgramsForm::IdRadioNoRule); },
        [](HWND dialog) { Click(dialog, TProgramsForm::IdButtonAddFile); },
        [](HWND dialog) { Click(dialog, IDOK); },
    });
    EXPECT_FALSE(chooserShown);
    EXPECT_EQ(RawRules(HKEY_LOCAL_MACHINE), local);
    EXPECT_EQ(RawRules(Network), network);
}

// A network store that does not answer: the change is kept here, and the administrator told.
TEST_F(ProgramsCommand, ASaveWhileTheStoreIsAwayStaysHereAndIsReported) {
    Accounts = {L"amy"};
    SeedUser(L"amy", true, 120);
    SeedPrefs(false, true, L"FARAWAY");
    SetRemoteRegistrySeam([](const std::wstring&, HKEY*) { return LONG{ERROR_BAD_NETPATH}; });
    ASSERT_EQ(WriteProgramRules(HKEY_LOCAL_MACHINE, L"amy", {Rule(kGame, L"Game", false, 30)}),
              ERROR_SUCCESS);
    Start();
    SelectRow(0);
    Messages.clear();
    RunPrograms({
        [](HWND dialog) { SelectProgram(dialog, 0); },
        [](HWND dialog) { Click(dialog, TProgramsForm::IdRadioBlocked); },
        [](HWND dialog) { Click(dialog, IDOK); },
    });
    std::vector<TProgramRule> rules;
    EXPECT_EQ(ReadProgramRules(HKEY_LOCAL_MACHINE, L"amy", rules), TStoredRules::Whole);
    EXPECT_EQ(Lines(rules), Lines({Rule(kGame, L"Game", true, 0)}));
    // The one warning; the list's refresh tells of the store as it always does.
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages[0].Kind, TMsgKind::Warning);
    EXPECT_EQ(Messages[0].Text, L"Could not save the program rules to the remote registry.");
}

TEST_F(ProgramsCommand, TheNewerRulesAreShownAndOnlyWholeOnesMayBeChanged) {
    SeedUser(L"amy", true, 120);
    UseNetworkStore();
    const TProgramRule game = Rule(kGame, L"Game", false, 30);
    const TProgramRule paint = Rule(kPaint, L"Paint", true, 0);
    const struct {
        const char* Case;
        ULONGLONG Local;  // 0: no rules here
        ULONGLONG Stored; // 0: no rules in the store
        bool StoreDamaged;
        bool StoreAway;
        bool NoUserInStore;
        const wchar_t* Shown; // the rule's name
        bool Editable;
    } cases[] = {
        {"store newer", 100, 200, false, false, false, L"Paint", true},
        {"this computer newer", 300, 200, false, false, false, L"Game", true},
        {"store newer, damaged", 100, 200, true, false, false, L"Paint", false},
        {"this computer newer, store damaged", 300, 200, true, false, false, L"Game", true},
        {"store away", 100, 200, false, true, false, L"Game", true},
        {"no user in the store", 100, 0, false, false, true, L"Game", false},
    };
    for (const auto& c : cases) {
        RegDeleteTreeW(Network, (UserKey(L"amy") + L"\\ProgramRules").c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (UserKey(L"amy") + L"\\ProgramRules").c_str());
        if (c.NoUserInStore)
            RegDeleteTreeW(Network, UserKey(L"amy").c_str());
        ASSERT_EQ(WriteProgramRules(HKEY_LOCAL_MACHINE, L"amy", {game}, c.Local), ERROR_SUCCESS);
        if (c.Stored) {
            ASSERT_EQ(WriteProgramRules(Network, L"amy", {paint}, c.Stored), ERROR_SUCCESS);
        }
        if (c.StoreDamaged)
            WriteRawRules(Network, {std::wstring(kPaint) + L"\tPaint\tsometimes\t1,2"});
        const TShownRules shown =
            ReadShownRules(c.StoreAway ? nullptr : Network, c.StoreAway, L"amy");
        ASSERT_EQ(shown.Rules.size(), 1u) << c.Case;
        EXPECT_EQ(shown.Rules[0].Name, c.Shown) << c.Case;
        EXPECT_EQ(shown.Editable, c.Editable) << c.Case;
        EXPECT_EQ(shown.Note.empty(), c.Editable && !c.StoreAway) << c.Case;
    }
}

TEST(UserPrograms, TheWeeksProgramsAreSummedOverComputersAndDays) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
    ASSERT_EQ(WriteProgramUsage(HKEY_LOCAL_MACHINE, L"amy", L"A", DaysAgo(0),
                                {{kGame, L"Game", 30}, {L"", kOtherProgramsName, 4}}),
              ERROR_SUCCESS);
    ASSERT_EQ(WriteProgramUsage(HKEY_LOCAL_MACHINE, L"amy", L"B", DaysAgo(0),
                                {{kGame, L"Game", 20}, {kBrowser, L"Browser", 10}}),
              ERROR_SUCCESS);
    ASSERT_EQ(WriteProgramUsage(HKEY_LOCAL_MACHINE, L"amy", L"B", DaysAgo(6),
                                {{kBrowser, L"Browser", 45}, {L"", kOtherProgramsName, 3}}),
              ERROR_SUCCESS);
    // A week ago: the same weekday as today on computer C, which today's list replaced on A.
    ASSERT_EQ(
        WriteProgramUsage(HKEY_LOCAL_MACHINE, L"amy", L"C", DaysAgo(7), {{kPaint, L"Paint", 99}}),
        ERROR_SUCCESS);
    const TWeekPrograms week = ReadWeekPrograms(HKEY_LOCAL_MACHINE, L"amy", TestToday());
    auto minutes = [](const TProgramList& list) {
        std::vector<std::pair<std::wstring, int>> figures;
        for (const TProgramMinutes& program : list)
            figures.push_back({program.Id, program.Minutes});
        return figures;
    };
    using TFigures = std::vector<std::pair<std::wstring, int>>;
    EXPECT_EQ(minutes(week.Today), TFigures({{kGame, 50}, {kBrowser, 10}, {L"", 4}}));
    EXPECT_EQ(minutes(week.Week), TFigures({{kBrowser, 55}, {kGame, 50}, {L"", 7}}));
    ASSERT_EQ(week.Days.size(), 7u);
    EXPECT_EQ(minutes(week.Days[0]), TFigures({{kBrowser, 45}, {L"", 3}}));
    for (int day = 1; day < 6; ++day)
        EXPECT_TRUE(week.Days[static_cast<size_t>(day)].empty()) << day;
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
}

TEST(UserPrograms, RuleTexts) {
    TProgramRule weekdays = Rule(kGame, L"Game", false, 60);
    weekdays.Minutes[5] = weekdays.Minutes[6] = 120;
    TProgramRule mixed = Rule(kGame, L"Game", false, 30);
    mixed.Minutes[1] = 0;
    mixed.Minutes[6] = 45;
    const std::pair<TProgramRule, const wchar_t*> cases[] = {
        {Rule(kGame, L"Game", true, 0), L"Not allowed"},
        {Rule(kGame, L"Game", false, 1), L"1 minute a day"},
        {Rule(kGame, L"Game", false, 90), L"90 minutes a day"},
        {weekdays, L"Mon-Fri 60 min, Sat,Sun 120 min"},
        {mixed, L"Mon 30 min, Tue 0 min, Wed-Sat 30 min, Sun 45 min"},
    };
    for (const auto& [rule, text] : cases)
        EXPECT_EQ(ProgramRuleText(rule), text);
}

} // namespace
} // namespace vantrel::testing
