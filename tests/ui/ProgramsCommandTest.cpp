// "Programs..." on the real main window: the week's programs summed over the store's computers
// and days, the user's rules edited in the dialog and saved to this computer and the network
// store, the newer of the two stores shown, and rules that were read in part never saved over.
#include "MainFormSupport.h"
#include "TestPrograms.h"

#include "model/ProgramRules.h"
#include "model/ProgramUsage.h"
#include "ui/UserPrograms.h"
#include "ui/controls/Shell.h"
#include "ui/dialogs/ProgramsForm.h"

#include <tuple>
#include <vector>

namespace vantrel::testing {
namespace {

constexpr wchar_t kNetwork[] = L"Software\\VantrelTest\\ProgramsNetwork";
constexpr wchar_t kGame[] = L"v:game.exe|game|acme|";
constexpr wchar_t kBrowser[] = L"v:browser.exe|browser|web inc|web inc";
constexpr wchar_t kPaint[] = L"v:paint.exe|paint|art ltd|";

TProgramRule Rule(const wchar_t* id, const wchar_t* name, bool blocked, int minutes) {
    TProgramRule rule;
    rule.Id = id;
    rule.Name = name;
    rule.Blocked = blocked;
    for (int& day : rule.Minutes)
        day = blocked ? 0 : minutes;
    return rule;
}

std::wstring RulesKey() {
    return UserKey(L"amy") + L"\\ProgramRules";
}

// The rules value as stored, byte for byte.
std::vector<BYTE> RawRules(HKEY root) {
    std::vector<BYTE> data(4096);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegGetValueW(root, RulesKey().c_str(), L"Rules", RRF_RT_REG_MULTI_SZ, nullptr, data.data(),
                     &size) != ERROR_SUCCESS)
        return {};
    data.resize(size);
    return data;
}

// Rules read in part: a line whose kind cannot be read and one that names no program.
void DamageRules(HKEY root) {
    const wchar_t value[] = L"v:paint.exe|paint|art ltd|\tPaint\tsometimes\t1,2\0garbage\0";
    ASSERT_EQ(
        RegSetKeyValueW(root, RulesKey().c_str(), L"Rules", REG_MULTI_SZ, value, sizeof(value)),
        ERROR_SUCCESS);
}

// What is done in the dialog, in order: the row selected (unless -1), then the control clicked
// or, with a text, the text typed into it.
struct TAct {
    int Row, Control;
    const wchar_t* Text = nullptr;
};
struct TRun {
    HWND Main = nullptr;
    std::vector<TAct> Acts;
    bool Done = false;
    // The list's rows and the note as first shown.
    std::vector<std::vector<std::wstring>> Rows;
    std::wstring Note;
};
TRun gRun;

void CALLBACK RunActs(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = GetLastActivePopup(gRun.Main);
    if (dialog == gRun.Main || !IsWindowVisible(dialog))
        return;
    if (gRun.Done) {
        ADD_FAILURE() << "the dialog was still open after the last step";
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        return;
    }
    gRun.Done = true;
    HWND list = GetDlgItem(dialog, TProgramsForm::IdListPrograms);
    gRun.Rows.resize(static_cast<size_t>(ListView_GetItemCount(list)));
    for (size_t row = 0; row < gRun.Rows.size(); ++row)
        for (int column = 0; column < 4; ++column) {
            wchar_t text[256] = {};
            ListView_GetItemText(list, static_cast<int>(row), column, text, 256);
            gRun.Rows[row].push_back(text);
        }
    wchar_t note[512] = {};
    GetDlgItemTextW(dialog, TProgramsForm::IdLabelNote, note, 512);
    gRun.Note = note;
    for (const TAct& act : gRun.Acts) {
        if (act.Row >= 0) {
            ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
            ListView_SetItemState(list, act.Row, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
        }
        if (act.Text)
            SetDlgItemTextW(dialog, act.Control, act.Text);
        else
            SendMessageW(GetDlgItem(dialog, act.Control), BM_CLICK, 0, 0);
    }
}

LONG ReachStore(const std::wstring&, HKEY* connected) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNetwork, 0, KEY_ALL_ACCESS, connected);
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

    // amy in this computer's registry and in a network store that the preferences name; the main
    // window shown.
    void StartWithStore() {
        Accounts = {L"amy"};
        SeedUser(L"amy", true, 120);
        RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                        (std::wstring(kNetwork) + L"\\" + UserKey(L"amy")).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &Network, nullptr);
        ASSERT_EQ(RegCopyTreeW(HKEY_LOCAL_MACHINE, UserKey(L"amy").c_str(), Network),
                  ERROR_SUCCESS);
        RegCloseKey(Network);
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNetwork, 0, KEY_ALL_ACCESS, &Network),
                  ERROR_SUCCESS);
        SeedPrefs(false, true, L"FARAWAY");
        SetRemoteRegistrySeam(ReachStore);
        Start();
    }

    // Runs "Programs..." on amy's row, doing the acts in the dialog.
    void RunPrograms(std::vector<TAct> acts) {
        SelectRow(0);
        gRun = TRun{Form().Handle(), std::move(acts), false, {}, {}};
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, RunActs);
        EXPECT_TRUE(Form().ActionManager.Execute(Form().Action(TMainCommand::AMEditPrograms)));
        KillTimer(nullptr, timer);
        EXPECT_TRUE(gRun.Done) << "the dialog was not shown";
    }

    HKEY Network = nullptr;
};

TEST_F(ProgramsCommand, RulesAddedFromTheListAndFromAFileAreSavedToBothStores) {
    StartWithStore();
    // The week in the network store: two computers today, one six days ago; on a third the same
    // weekday a week ago, which is not in the week.
    const std::tuple<const wchar_t*, int, TProgramList> usage[] = {
        {L"A", 0, {{kGame, L"Game", 30}, {kBrowser, L"Browser", 5}, {L"", kOtherProgramsName, 4}}},
        {L"B", 0, {{kGame, L"Game", 20}}},
        {L"A", 6, {{kBrowser, L"Browser", 70}, {L"", kOtherProgramsName, 3}}},
        {L"C", 7, {{kPaint, L"Paint", 99}}},
    };
    for (const auto& [computer, daysAgo, programs] : usage)
        WriteProgramUsage(Network, L"amy", computer, DaysBefore(TestToday(), daysAgo), programs);
    // The store's rules are newer than this computer's copy, so they are the ones shown.
    WriteProgramRules(HKEY_LOCAL_MACHINE, L"amy", {Rule(kGame, L"Game", true, 0)}, 100);
    WriteProgramRules(Network, L"amy", {Rule(kPaint, L"Paint", true, 0)}, 200);
    // The file chosen: a game with version information.
    TProgramInfo chosen;
    ASSERT_TRUE(ReadProgramInfo(TestGameExe(), chosen));
    SetChooseFileSeam([&](HWND, const std::wstring&, const std::wstring&, std::wstring& path) {
        path = TestGameExe();
        return true;
    });

    // The game gets one limit every day, the file a limit per weekday, longer on Saturday, and
    // Paint's rule goes.
    RunPrograms({{1, TProgramsForm::IdRadioSame},
                 {-1, TProgramsForm::IdEditMinutes, L"45"},
                 {-1, TProgramsForm::IdButtonAddFile},
                 {-1, TProgramsForm::IdRadioPerDay},
                 {-1, TProgramsForm::IdDayEditFirst + 5, L"90"},
                 {2, TProgramsForm::IdRadioNoRule},
                 {-1, IDOK}});
    const std::vector<std::vector<std::wstring>> expected = {
        {L"Browser", L" 00:05", L" 01:15", L""},
        {L"Game", L" 00:50", L" 00:50", L""},
        {L"Paint", L" 00:00", L" 00:00", L"Not allowed"},
        {kOtherProgramsName, L" 00:04", L" 00:07", L""},
    };
    EXPECT_EQ(gRun.Rows, expected);

    TProgramRule game = Rule(kGame, L"Game", false, 45);
    TProgramRule file = Rule(chosen.Id.c_str(), chosen.Name.c_str(), false, 60);
    file.Minutes[5] = 90;
    for (HKEY store : {HKEY_LOCAL_MACHINE, Network}) {
        std::vector<TProgramRule> rules;
        ULONGLONG changedAt = 0;
        EXPECT_EQ(ReadProgramRules(store, L"amy", rules, &changedAt), TStoredRules::Whole);
        ASSERT_EQ(rules.size(), 2u) << (store == Network);
        EXPECT_EQ(FormatProgramRule(rules[0]), FormatProgramRule(game));
        EXPECT_EQ(FormatProgramRule(rules[1]), FormatProgramRule(file));
        EXPECT_GT(changedAt, 200u);
    }
}

// The newer of the two stores is shown; only rules read whole, for a user the store has settings
// of, may be changed, and others stay byte for byte. A network store that does not answer: the
// change is kept here, and the administrator told.
TEST_F(ProgramsCommand, TheNewerRulesAreShownAndOnlyWholeOnesAreSaved) {
    StartWithStore();
    enum TDamaged { None, Here, InStore };
    const struct {
        const char* Case;
        ULONGLONG Local, Stored; // 0: no rules in the store
        TDamaged Damaged;
        bool StoreAway, NoUserInStore;
        const wchar_t* Shown; // the rule's name
        bool Editable;
    } cases[] = {
        {"store newer", 100, 200, None, false, false, L"Paint", true},
        {"this computer newer", 300, 200, None, false, false, L"Game", true},
        {"store newer, damaged", 100, 200, InStore, false, false, L"Paint", false},
        {"this computer newer, store damaged", 300, 200, InStore, false, false, L"Game", true},
        {"this computer newer, damaged", 300, 200, Here, false, false, L"Paint", false},
        {"store away", 100, 200, None, true, false, L"Game", true},
        {"no user in the store", 100, 0, None, false, true, L"Game", false},
    };
    bool chooserShown = false;
    SetChooseFileSeam([&](HWND, const std::wstring&, const std::wstring&, std::wstring&) {
        return !(chooserShown = true);
    });
    for (const auto& c : cases) {
        RegDeleteTreeW(Network, RulesKey().c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, RulesKey().c_str());
        if (c.NoUserInStore)
            RegDeleteTreeW(Network, UserKey(L"amy").c_str());
        WriteProgramRules(HKEY_LOCAL_MACHINE, L"amy", {Rule(kGame, L"Game", false, 30)}, c.Local);
        if (c.Stored)
            WriteProgramRules(Network, L"amy", {Rule(kPaint, L"Paint", true, 0)}, c.Stored);
        if (c.Damaged != None)
            DamageRules(c.Damaged == Here ? HKEY_LOCAL_MACHINE : Network);
        SetRemoteRegistrySeam(
            c.StoreAway ? [](const std::wstring&, HKEY*) { return LONG{ERROR_BAD_NETPATH}; }
                        : TRemoteRegistryConnect(ReachStore));
        const HKEY stores[] = {HKEY_LOCAL_MACHINE, Network};
        const std::vector<BYTE> before[] = {RawRules(stores[0]), RawRules(stores[1])};
        chooserShown = false;
        Messages.clear();

        // Disabled controls and button: the clicks change nothing.
        RunPrograms(
            {{0, TProgramsForm::IdRadioNoRule}, {-1, TProgramsForm::IdButtonAddFile}, {-1, IDOK}});
        ASSERT_FALSE(gRun.Rows.empty()) << c.Case;
        EXPECT_EQ(gRun.Rows[0][0], c.Shown) << c.Case;
        EXPECT_EQ(gRun.Note.empty(), c.Editable && !c.StoreAway) << c.Case;
        EXPECT_EQ(chooserShown, c.Editable) << c.Case;
        // Rules read whole are saved, to the store too when it answers; the others stay as they
        // were.
        for (int at = 0; at < 2; ++at) {
            std::vector<TProgramRule> rules;
            if (c.Editable && !(at == 1 && c.StoreAway))
                EXPECT_TRUE(ReadProgramRules(stores[at], L"amy", rules) == TStoredRules::Whole &&
                            rules.empty())
                    << c.Case << at;
            else
                EXPECT_EQ(RawRules(stores[at]), before[at]) << c.Case << at;
        }
        // The one warning when the store is away; the list's refresh tells of it as always.
        ASSERT_EQ(Messages.empty(), !c.StoreAway) << c.Case;
        if (c.StoreAway) {
            EXPECT_EQ(Messages[0].Kind, TMsgKind::Warning);
            EXPECT_EQ(Messages[0].Text,
                      L"Could not save the program rules to the remote registry.");
        }
    }
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
