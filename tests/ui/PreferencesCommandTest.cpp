// The command "Preferences...": the dialog over the real main window, then the save, the copy
// of the user administration from a newly chosen network computer, the service message, the
// rebuilt list and the status bar.
#include "MainFormSupport.h"

#include "ui/dialogs/PreferencesForm.h"

#include <commctrl.h>
#include <sddl.h>

#include <deque>
#include <set>
#include <functional>

namespace vantrel::testing {
namespace {

using P = TPreferencesForm;

constexpr wchar_t kNetworkRoots[] = L"Software\\VantrelTestNetwork";
constexpr wchar_t kSuccessText[] =
    L"Successfully read user administration from the remote registry.\r\nNote that the local "
    L"user administration will be overwritten by the remote one.";
constexpr wchar_t kAdministratorNotice[] =
    L"In order to use a remote server for storing user data the QOR service\r\nhas to run under "
    L"an Administrator account (if you've not already done so).\r\nThis is fairly easy to do, "
    L"please consult the built-in Help for more information.";

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// A network computer's HKEY_LOCAL_MACHINE, as a key of this computer's registry. Network names
// are not case-sensitive.
std::wstring NetworkRoot(const std::wstring& computer) {
    return std::wstring(kNetworkRoots) + L"\\" + Upper(computer);
}

class PreferencesCommand : public MainFormTest {
protected:
    static constexpr UINT kRunStep = WM_APP + 23;

    void SetUp() override {
        MainFormTest::SetUp();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kNetworkRoots);
        SetRemoteRegistrySeam([this](const std::wstring& computer, HKEY* root) -> LONG {
            Connections.push_back(computer);
            if (!Reachable.count(Upper(computer)))
                return ERROR_BAD_NETPATH;
            return RegCreateKeyExW(HKEY_LOCAL_MACHINE, NetworkRoot(computer).c_str(), 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, root, nullptr);
        });
    }
    void TearDown() override {
        if (App)
            RemoveWindowSubclass(Dialog().Handle(), DialogProc, 1);
        MainFormTest::TearDown();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kNetworkRoots);
    }

    void StartProgram() {
        Start();
        ASSERT_TRUE(
            SetWindowSubclass(Dialog().Handle(), DialogProc, 1, reinterpret_cast<DWORD_PTR>(this)));
    }

    TPreferencesForm& Dialog() { return App->PreferencesForm; }

    // A user's settings on a network computer: the same limit every day.
    void SeedNetworkUser(const std::wstring& computer, const std::wstring& name, int limit) {
        Reachable.insert(Upper(computer));
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                  (NetworkRoot(computer) + L"\\" + UserKey(name)).c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        WriteDword(key, L"QorControl", 1);
        for (const wchar_t* day : kDaySuffix)
            WriteDword(key, (std::wstring(L"AllowBegin") + day).c_str(), 8);
        for (const wchar_t* day : kDaySuffix)
            WriteDword(key, (std::wstring(L"AllowEnd") + day).c_str(), 18);
        for (const wchar_t* day : kDaySuffix)
            WriteDword(key, (std::wstring(L"TimeLimit") + day).c_str(), static_cast<DWORD>(limit));
        WriteDword(key, L"BonusTime", 0);
        WriteDword(key, L"BonusDayOfYear", kTestDayOfYear);
        RegCloseKey(key);
    }

    // Runs the command; `steps` runs inside the dialog and must end it.
    void RunCommand(std::function<void()> steps) {
        Steps.push_back(std::move(steps));
        PostMessageW(Dialog().Handle(), kRunStep, 0, 0);
        SendMessageW(Form().Handle(), WM_COMMAND,
                     Form().Action(TMainCommand::AMToolsPreferences).CommandId, 0);
    }
    void Click(int id) { SendMessageW(Dialog().Control(id), BM_CLICK, 0, 0); }
    void Replace(int id, const std::wstring& text) {
        HWND edit = Dialog().Control(id);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
    }
    std::vector<std::wstring> Texts() const {
        std::vector<std::wstring> texts;
        for (const TShownMessage& m : Messages)
            texts.push_back(m.Text);
        return texts;
    }
    bool RemoteIconShown() {
        return IsWindowVisible(Form().ImageRemoteRegistry) &&
               !IsWindowVisible(Form().ImageLocalRegistry);
    }
    bool LocalIconShown() {
        return IsWindowVisible(Form().ImageLocalRegistry) &&
               !IsWindowVisible(Form().ImageRemoteRegistry);
    }

    std::set<std::wstring> Reachable;
    std::vector<std::wstring> Connections;

private:
    static LRESULT CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data) {
        auto* self = reinterpret_cast<PreferencesCommand*>(data);
        if (msg == kRunStep && !self->Steps.empty()) {
            auto step = std::move(self->Steps.front());
            self->Steps.pop_front();
            step();
            return 0;
        }
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    std::deque<std::function<void()>> Steps;
};

TEST_F(PreferencesCommand, SwitchingToANetworkComputerCopiesItsUserAdministrationHere) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", true, 60);
    SeedNetworkUser(L"OFFICE-PC", L"alice", 120);
    SeedNetworkUser(L"OFFICE-PC", L"bob", 30);
    StartProgram();
    ASSERT_TRUE(LocalIconShown());
    Messages.clear();
    int openedOn = -1;
    Dialog().SetActivePage(P::PageAdvanced); // left there by an earlier showing
    RunCommand([&] {
        openedOn = Dialog().ActivePage();
        Click(P::CheckBoxUseRemoteRegistry);
        Replace(P::EditRemoteRegistry, L"OFFICE-PC");
        Click(IDOK);
    });
    EXPECT_EQ(openedOn, P::PageGeneral);
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{kAdministratorNotice, kSuccessText}));
    // The preferences are stored, and this computer's registry holds the network's settings.
    TQorPrefs stored;
    ASSERT_TRUE(LoadPrefs(stored));
    EXPECT_TRUE(stored.UseRemoteRegistry);
    EXPECT_EQ(stored.RemoteRegistry, L"OFFICE-PC");
    DWORD limit = 0, begin = 0;
    ASSERT_TRUE(ReadStoredDword(UserKey(L"alice"), L"TimeLimitSun", limit));
    ASSERT_TRUE(ReadStoredDword(UserKey(L"bob"), L"AllowBeginWed", begin));
    EXPECT_EQ(limit, 120u);
    EXPECT_EQ(begin, 8u);
    ASSERT_TRUE(ReadStoredDword(UserKey(L"bob"), L"TimeLimitMon", limit));
    EXPECT_EQ(limit, 30u);
    // The service is told, and the list and status bar show the network store.
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() == 1; }));
    EXPECT_EQ("40, QORsvc", StandIn.Command("last"));
    EXPECT_EQ(L" 02:00", Cell(0, 1));
    EXPECT_EQ(L" 00:30", Cell(1, 1));
    EXPECT_TRUE(RemoteIconShown());
}

TEST_F(PreferencesCommand, OnlyANewNameReadsTheNetworkAgainAndLetterCaseMakesItNew) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedNetworkUser(L"OFFICE-PC", L"alice", 120);
    SeedPrefs(false, true, L"OFFICE-PC");
    StartProgram();
    ASSERT_TRUE(RemoteIconShown());
    Messages.clear();
    // The same name: saved and told, but not copied again.
    RunCommand([&] { Click(IDOK); });
    EXPECT_TRUE(Messages.empty());
    // Only the letter case changed: a new computer to this program.
    RunCommand([&] {
        Replace(P::EditRemoteRegistry, L"office-pc");
        Click(IDOK);
    });
    EXPECT_EQ(Texts(), std::vector<std::wstring>{kSuccessText});
    TQorPrefs stored;
    ASSERT_TRUE(LoadPrefs(stored));
    EXPECT_EQ(stored.RemoteRegistry, L"office-pc");
}

TEST_F(PreferencesCommand, SwitchingTheNetworkStoreOffRebuildsFromThisComputer) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedNetworkUser(L"OFFICE-PC", L"alice", 120);
    SeedPrefs(false, true, L"OFFICE-PC");
    StartProgram();
    ASSERT_EQ(L" 02:00", Cell(0, 1));
    Messages.clear();
    Connections.clear();
    RunCommand([&] {
        Click(P::CheckBoxUseRemoteRegistry);
        Click(IDOK);
    });
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(Connections.empty());
    EXPECT_EQ(L" 01:00", Cell(0, 1));
    EXPECT_TRUE(LocalIconShown());
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() == 1; }));
    EXPECT_EQ("40, QORsvc", StandIn.Command("last"));
}

// Another administrator (or `reg add`) changes preferences while this program runs, before and
// while the dialog is open: the dialog shows what is stored when it opens, and OK writes only
// what this administrator changed over what is stored by then.
TEST_F(PreferencesCommand, TheDialogReadsAfreshAndOKWritesOnlyTheChangedValues) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedNetworkUser(L"OFFICE-PC", L"alice", 120);
    SeedPrefs(false);
    StartProgram();
    Messages.clear();
    Connections.clear();
    const auto other = [](const wchar_t* name, const std::wstring* text, bool on) {
        TRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, KEY_SET_VALUE));
        ASSERT_EQ(ERROR_SUCCESS, text ? key.WriteString(name, *text) : key.WriteBool(name, on));
    };
    const std::wstring warning = L"Only %d minutes left!";
    const std::wstring office = L"OFFICE-PC";
    other(L"DoNotForceLogoff", nullptr, true);
    other(L"MsgWarningText", &warning, false);
    RunCommand([&] {
        EXPECT_TRUE(Dialog().IsChecked(P::CheckBoxDoNotForceLogoff));
        EXPECT_EQ(warning, Dialog().ControlText(P::EditWarningText));
        // Meanwhile the network store and debug logging are switched on elsewhere.
        other(L"UseDebugLogging", nullptr, true);
        other(L"RemoteRegistry", &office, false);
        other(L"UseRemoteRegistry", nullptr, true);
        Click(P::CheckBoxUse24HourClock);
        Click(IDOK);
    });
    TQorPrefs stored;
    ASSERT_TRUE(LoadPrefs(stored));
    EXPECT_TRUE(stored.Use24HourClock);
    EXPECT_TRUE(stored.DoNotForceLogoff);
    EXPECT_TRUE(stored.UseDebugLogging);
    EXPECT_TRUE(stored.UseRemoteRegistry);
    EXPECT_EQ(office, stored.RemoteRegistry);
    EXPECT_EQ(warning, stored.MsgWarningText);
    // The program goes on with what is stored: the network store's list, without the copy a
    // switch made here would ask for.
    EXPECT_TRUE(Form().Prefs.UseRemoteRegistry && Form().Prefs.UseDebugLogging);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(L" 02:00", Cell(0, 1));
    EXPECT_TRUE(RemoteIconShown());
}

TEST_F(PreferencesCommand, AFailedSaveIsReportedAndTheStoredPreferencesComeBack) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedPrefs(false);
    // The preferences key may be read but not written, and its store choice cannot be read.
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"UseRemoteRegistry", REG_SZ, L"", 2);
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, 0, WRITE_DAC, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly));
    RegCloseKey(key);
    LocalFree(readOnly);
    StartProgram();
    Messages.clear();
    SeedUser(L"alice", true, 90); // a rebuilt list would show this
    RunCommand([&] {
        Click(P::CheckBoxUse24HourClock);
        Click(P::CheckBoxDoubleClickIsTimeUsage);
        Click(P::CheckBoxUseRemoteRegistry);
        Replace(P::EditRemoteRegistry, L"OFFICE-PC");
        Click(IDOK);
    });
    ASSERT_EQ(Messages.size(), 2u); // the notice on OK, then the failure
    EXPECT_EQ(Messages[1].Text, L"Could not save preferences to the local registry.");
    EXPECT_EQ(Messages[1].Kind, TMsgKind::Error);
    // Read back: the stored values replace the edited ones; what cannot be read is as it was
    // before the dialog, never a store that the service does not know of.
    EXPECT_FALSE(Form().Prefs.Use24HourClock);
    EXPECT_FALSE(Form().Prefs.DoubleClickIsTimeUsage);
    EXPECT_FALSE(Form().Prefs.UseRemoteRegistry);
    EXPECT_FALSE(Form().PreferencesHaveBeenChanged);
    // No service message, no rebuild.
    Pump();
    EXPECT_EQ(0, StandInMessages());
    EXPECT_EQ(L" 01:00", Cell(0, 1));
}

TEST_F(PreferencesCommand, CancelChangesNothingButApplyBeforeItCounts) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    StartProgram();
    Messages.clear();
    RunCommand([&] {
        Click(P::CheckBoxUse24HourClock);
        Click(IDCANCEL);
    });
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, 0, KEY_READ, &key));
    EXPECT_FALSE(Form().Prefs.Use24HourClock);
    Pump();
    EXPECT_EQ(0, StandInMessages());

    RunCommand([&] {
        Click(P::CheckBoxUse24HourClock);
        Click(P::ButtonApply);
        Click(P::CheckBoxDoubleClickIsTimeUsage); // not applied
        Click(IDCANCEL);
    });
    TQorPrefs stored;
    ASSERT_TRUE(LoadPrefs(stored));
    EXPECT_TRUE(stored.Use24HourClock);
    EXPECT_FALSE(stored.DoubleClickIsTimeUsage);
    EXPECT_FALSE(Form().PreferencesHaveBeenChanged);
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() == 1; }));
}

TEST_F(PreferencesCommand, F1InTheDialogRunsTheMainWindowsHelpCommand) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    StartProgram();
    int helps = 0;
    Form().Action(TMainCommand::AMHelpHelp).OnExecute = [&] { ++helps; };
    RunCommand([&] {
        HELPINFO info{};
        info.cbSize = sizeof(info);
        info.iContextType = HELPINFO_WINDOW;
        info.iCtrlId = P::CheckBoxUse24HourClock;
        info.hItemHandle = Dialog().Control(P::CheckBoxUse24HourClock);
        SendMessageW(Dialog().Handle(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        Click(IDCANCEL);
    });
    EXPECT_EQ(helps, 1);
}

} // namespace
} // namespace vantrel::testing

namespace vantrel::testing {
namespace {

// The program asked to close while the dialog is open, after Apply: the applied preferences are
// still stored, and nothing touches the list that went with the window.
TEST_F(PreferencesCommand, ClosingTheProgramWhileTheDialogIsOpenStoresWhatWasApplied) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedNetworkUser(L"OFFICE-PC", L"alice", 90);
    StartProgram();
    Form().QuitOnDestroy = true;
    RunCommand([&] {
        Click(P::CheckBoxUseRemoteRegistry);
        Replace(P::EditRemoteRegistry, L"\\\\OFFICE-PC");
        Click(P::ButtonApply);
        SendMessageW(Form().Handle(), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(nullptr, Form().Handle());
    TQorPrefs stored;
    ASSERT_TRUE(LoadPrefs(stored));
    EXPECT_TRUE(stored.UseRemoteRegistry);
    EXPECT_EQ(L"\\\\OFFICE-PC", stored.RemoteRegistry);
    // The network computer's administration was not copied: there was no list to take it.
    EXPECT_TRUE(Connections.empty());
    MSG quit{};
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// A close request from outside (End task, a shutdown) that a box's or a dialog's loop
// dispatches ends the program there: the command stops and writes nothing more.
TEST_F(PreferencesCommand, ACloseRequestUnderABoxOrADialogEndsTheProgramCleanly) {
    // Each command with the box under which the request comes; none: under its dialog.
    const std::pair<TMainCommand, const wchar_t*> cases[] = {
        {TMainCommand::AMEditRefresh, L"Could not read user administration"},
        {TMainCommand::AMToolsPreferences, kSuccessText},
        {TMainCommand::AMEditDailyTimeLimits, nullptr},
        {TMainCommand::AMEditIncreaseTodaysLimit, nullptr},
        {TMainCommand::AMEditDetailedTimeUsage, nullptr},
        {TMainCommand::AMHelpAbout, nullptr}};
    for (const auto& [action, box] : cases) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
        Accounts = {L"alice", L"bob"}; // bob has a key on the network computer only
        SeedUser(L"alice", true, 60);
        SeedUsage(L"alice", L"PC1", 30);
        SeedNetworkUser(L"OFFICE-PC", L"alice", 90);
        SeedNetworkUser(L"OFFICE-PC", L"bob", 90);
        StartProgram();
        Form().QuitOnDestroy = true;
        const HWND window = Form().Handle();
        SetMessageBoxSeam([&, box = box](HWND, const std::wstring& text, TMsgKind, TMsgButtons) {
            if (box && text.rfind(box, 0) == 0)
                SendMessageW(window, WM_CLOSE, 0, 0);
            return IDOK;
        });
        SelectRow(0);
        if (!box)
            PostMessageW(window, WM_CLOSE, 0, 0);
        if (box == kSuccessText)
            RunCommand([&] {
                Click(P::CheckBoxUseRemoteRegistry);
                Replace(P::EditRemoteRegistry, L"OFFICE-PC");
                Click(IDOK);
            });
        else
            SendMessageW(window, WM_COMMAND, Form().Action(action).CommandId, 0);
        EXPECT_FALSE(IsWindow(window)) << action;
        MSG quit{};
        EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        DWORD limit = 0; // this computer's copy was not overwritten by the network's
        EXPECT_TRUE(ReadStoredDword(UserKey(L"alice"), L"TimeLimitMon", limit) && limit == 60);
        App.reset();
    }
}

} // namespace
} // namespace vantrel::testing
