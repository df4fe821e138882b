// The main window's command table, the three surfaces that show it, and what each command
// does; the commit-and-notify sequence that every change of a user ends with.
#include "ui/MainForm.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "model/UserStore.h"
#include "reports/EventLog.h"
#include "reports/HelpViewer.h"
#include "reports/UsageReport.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/AdjustBonusTimeForm.h"
#include "ui/dialogs/DailyTimeLimitsForm.h"
#include "ui/dialogs/DetailedTimeUsageForm.h"
#include "ui/dialogs/PreferencesForm.h"
#include "ui/ProgramIcons.h"
#include "ui/ReportMessages.h"
#include "ui/controls/MessageBox.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vantrel {

namespace {

constexpr wchar_t kRemoteReadFailedText[] =
    L"Could not read user administration from the remote registry. This is a normal situation "
    L"if you have\r\nnever saved the user administration before otherwise it might indicate "
    L"connectivity or privilege problems.\r\n\r\nContinuing with the local administration...";
constexpr wchar_t kLocalReadFailedText[] =
    L"Could not read user administration from the local registry. This is a normal situation "
    L"if you have\r\nnever saved the user administration before otherwise it might indicate "
    L"connectivity or privilege problems.";
constexpr wchar_t kRemoteSaveFailedText[] =
    L"Could not save user administration to the remote registry.";
constexpr wchar_t kLocalSaveFailedText[] =
    L"Could not save user administration to the local registry.";
constexpr wchar_t kPrefsSaveFailedText[] = L"Could not save preferences to the local registry.";
constexpr wchar_t kRemoteReadSucceededText[] =
    L"Successfully read user administration from the remote registry.\r\nNote that the local "
    L"user administration will be overwritten by the remote one.";

constexpr wchar_t kNoTimeUsageText[] = L"No time usage information found for this user today.";

// The lines of MainCommands.h, in the order of their ids.
struct TCommandDeclaration {
    const wchar_t* Category;
    const wchar_t* Caption;
    TMainImage Image;
    WORD ShortCut;
    TEnabledWhen EnabledWhen;
    TShown InMenu;
    TShown OnToolBar;
    TShown InPopup;
    void (TMainForm::*Handler)();
};

constexpr TCommandDeclaration kCommands[] = {
// clang-format off
#define VANTREL_COMMAND_DECLARATION(name, category, caption, image, key, enabledWhen, inMenu, onToolBar, inPopup) \
    {category, caption, TMainImage::image, key, TEnabledWhen::enabledWhen,                                         \
     TShown::inMenu, TShown::onToolBar, TShown::inPopup, &TMainForm::name##Execute},
    // clang-format on
    VANTREL_MAIN_COMMANDS(VANTREL_COMMAND_DECLARATION)
#undef VANTREL_COMMAND_DECLARATION
};

// Whether the users come from another store: the network store switched on or off, or another
// network computer (a name that differs even in letter case only).
bool OtherStore(const TQorPrefs& now, const TQorPrefs& before) {
    return now.UseRemoteRegistry != before.UseRemoteRegistry ||
           (now.UseRemoteRegistry && now.RemoteRegistry != before.RemoteRegistry);
}

// The user as the store holds it now: another administrator, or this program on another
// computer of a shared store, may have changed it since the last refresh.
void ReadAfresh(TMainForm& form, TQorUser& user) {
    LoadUser(user, form.Prefs.UseRemoteRegistry, form.Prefs.RemoteRegistry);
}

// The two bonus commands: the amount for the selected user, then today's bonus changed in the
// collection's record and the commit.
void AdjustSelectedUsersBonus(TMainForm& form, TBonusDirection direction) {
    TQorUser* user = form.SelectedUser();
    TAdjustBonusTimeForm* dialog = form.AdjustBonusTimeForm;
    if (!user || !dialog)
        return;
    dialog->Prepare(direction, user->Username);
    if (dialog->ShowModal() != IDOK || !form.IsOpen())
        return;
    form.AddBonus(*user, dialog->SignedAmount());
    form.NotifyAndRefresh();
}

} // namespace

void TMainForm::CreateActions() {
    // Action i is the command with id i.
    for (const TCommandDeclaration& command : kCommands) {
        auto handler = command.Handler;
        ActionManager.Add(command.Category, command.Caption, ImageIndex(command.Image),
                          command.ShortCut, [this, handler] { (this->*handler)(); });
    }
    ActionManager.OnEnabledChanged = [this](TAction& action) { FCommandBars.UpdateAction(action); };
    ActionManager.Window = Handle();
}

void TMainForm::CreateCommandBars() {
    // A surface's items in the order of the lines; nullptr for the separator before a group.
    auto place = [](TCommandItems& items, TShown shown, TAction& action) {
        if (shown == TShown::No)
            return;
        if (shown == TShown::Group && !items.empty())
            items.push_back(nullptr);
        items.push_back(&action);
    };
    std::vector<TCommandMenu> menus;
    TCommandItems toolBar;
    TCommandItems popup;
    for (size_t i = 0; i < std::size(kCommands); ++i) {
        const TCommandDeclaration& command = kCommands[i];
        TAction& action = ActionManager.At(i);
        if (command.InMenu != TShown::No) {
            const std::wstring caption = std::wstring(L"&") + command.Category;
            auto menu = std::find_if(menus.begin(), menus.end(),
                                     [&](const TCommandMenu& m) { return m.Caption == caption; });
            if (menu == menus.end())
                menu = menus.insert(menus.end(), TCommandMenu{caption, {}});
            place(menu->Items, command.InMenu, action);
        }
        place(toolBar, command.OnToolBar, action);
        place(popup, command.InPopup, action);
    }
    FCommandBars.Create(Handle(), menus, toolBar, popup);
}

void TMainForm::SetUserCommandsEnabled(bool enabled) {
    const bool asks = enabled && SelectedUserAsks();
    for (size_t i = 0; i < std::size(kCommands); ++i) {
        if (kCommands[i].EnabledWhen == TEnabledWhen::UserSelected)
            ActionManager.SetEnabled(ActionManager.At(i), enabled);
        else if (kCommands[i].EnabledWhen == TEnabledWhen::UserAsks)
            ActionManager.SetEnabled(ActionManager.At(i), asks);
    }
}

TQorUser* TMainForm::SelectedUser() {
    return FUsers ? FUserList.SelectedUser() : nullptr;
}

void TMainForm::ListViewUsersSelectItem() {
    SetUserCommandsEnabled(false);
    if (SelectedUser())
        SetUserCommandsEnabled(true);
}

void TMainForm::ListViewUsersDblClick() {
    // A row that shows a request opens its answer.
    if (SelectedUserAsks()) {
        ActionManager.ExecuteHandler(Action(TMainCommand::AMEditAnswerRequest));
        return;
    }
    ActionManager.ExecuteHandler(Action(Prefs.DoubleClickIsTimeUsage
                                            ? TMainCommand::AMEditDetailedTimeUsage
                                            : TMainCommand::AMEditDailyTimeLimits));
}

void TMainForm::RefreshUserList() {
    if (!FUsers)
        return;
    // The load may replace the records the rows point to; until the rows are rebuilt they
    // show the texts of the last refresh.
    FUserList.ForgetUsers();
    if (!FUsers->LoadAll(Prefs.UseRemoteRegistry, Prefs.RemoteRegistry)) {
        ShowMessage(Handle(),
                    Prefs.UseRemoteRegistry ? kRemoteReadFailedText : kLocalReadFailedText,
                    TMsgKind::Information);
        if (!IsOpen())
            return;
    }
    ReadOpenRequests();
    FUserList.Fill(*FUsers);
    // Removing the rows does not report a lost selection; a list that came back shorter
    // must not leave the user commands enabled with nothing selected.
    ListViewUsersSelectItem();
}

bool TMainForm::AddBonus(TQorUser& user, int signedAmount) {
    if (!IsOpen())
        return false;
    // The amount goes onto the bonus stored when the administrator confirms, so a bonus given
    // elsewhere meanwhile counts; it is read on its own, since the load stops at a damaged
    // value before it. Today is that day too: a dialog left open over midnight gives the bonus
    // to the new day, bounded by that day's limit.
    ReadAfresh(*this, user);
    LoadBonus(user, Prefs.UseRemoteRegistry, Prefs.RemoteRegistry);
    const SYSTEMTIME now = LocalNow();
    user.TodaysTimeLimit = user.TimeLimit(WeekdayOf(now));
    user.AdjustBonus(signedAmount, DayOfYearOf(now), now.wYear);
    return SaveUserChange(user, SettingsBonus);
}

void TMainForm::CommitUser(TQorUser& user, unsigned settings, bool keysForNewAccounts) {
    if (!IsOpen())
        return;
    SaveUserChange(user, settings, keysForNewAccounts);
    NotifyAndRefresh();
}

bool TMainForm::SaveUserChange(TQorUser& user, unsigned settings, bool keysForNewAccounts) {
    if (!IsOpen())
        return false;
    // Every other user, and every value the dialog does not edit, stays as the store holds
    // it: the collection's copies may be old, or from a load that could not read every value.
    bool saved = SaveUserSettings(user, settings, Prefs.UseRemoteRegistry, Prefs.RemoteRegistry);
    if (keysForNewAccounts &&
        !FUsers->SaveNewAccounts(Prefs.UseRemoteRegistry, Prefs.RemoteRegistry))
        saved = false;
    if (!saved) {
        ShowMessage(Handle(),
                    Prefs.UseRemoteRegistry ? kRemoteSaveFailedText : kLocalSaveFailedText,
                    TMsgKind::Warning);
    }
    return saved;
}

void TMainForm::NotifyAndRefresh() {
    if (!IsOpen())
        return;
    SendServiceMessage(kServiceMessage);
    RefreshUserList();
}

void TMainForm::AMFileExitExecute() {
    PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

// The four user commands take the user of the selected row when they run, and do nothing
// without one.
void TMainForm::AMEditDailyTimeLimitsExecute() {
    TQorUser* user = SelectedUser();
    if (!user || !DailyTimeLimitsForm)
        return;
    ReadAfresh(*this, *user);
    DailyTimeLimitsForm->QorUser().Assign(*user);
    if (DailyTimeLimitsForm->ShowModal() != IDOK || !IsOpen())
        return;
    // Only what the administrator changed goes over what the store holds by now. The week is
    // written as the dialog showed it and was confirmed, a value that could not be read
    // included; the bonus, which the dialog does not show, only when a preset cleared it.
    const TQorUser& shown = DailyTimeLimitsForm->Shown();
    const TQorUser& edited = DailyTimeLimitsForm->QorUser();
    const bool bonusCleared = edited.BonusTime != shown.BonusTime ||
                              edited.BonusDayOfYear != shown.BonusDayOfYear ||
                              edited.BonusYear != shown.BonusYear;
    ReadAfresh(*this, *user);
    user->TakeChanges(shown, edited);
    CommitUser(*user, bonusCleared ? SettingsAll : SettingsSchedule, true);
}

void TMainForm::AMEditDetailedTimeUsageExecute() {
    TQorUser* user = SelectedUser();
    if (!user || !DetailedTimeUsageForm)
        return;
    std::vector<std::wstring> usage;
    const SYSTEMTIME now = LocalNow();
    ReadUsagePerComputer(*user, Prefs.UseRemoteRegistry, Prefs.RemoteRegistry, usage,
                         WeekdayOf(now), DayOfYearOf(now));
    if (usage.empty()) {
        ShowMessage(Handle(), kNoTimeUsageText, TMsgKind::Information);
        return;
    }
    DetailedTimeUsageForm->TimeUsageList = &usage;
    DetailedTimeUsageForm->UserName = user->Username;
    DetailedTimeUsageForm->ShowModal();
    DetailedTimeUsageForm->TimeUsageList = nullptr;
}

void TMainForm::AMEditIncreaseTodaysLimitExecute() {
    AdjustSelectedUsersBonus(*this, TBonusDirection::Increase);
}

void TMainForm::AMEditDecreaseTodaysLimitExecute() {
    AdjustSelectedUsersBonus(*this, TBonusDirection::Decrease);
}

void TMainForm::AMEditRefreshExecute() {
    RefreshUserList();
}

void TMainForm::AMToolsUsageReportExecute() {
    ShowUsageReport(Handle(), WriteUsageReport(Users(), Prefs));
}

void TMainForm::AMToolsPreferencesExecute() {
    if (!PreferencesForm)
        return;
    const TQorPrefs before = Prefs;
    // The dialog shows what is stored now, and only what the administrator changes in it is
    // written over what is stored by then: another administrator may change others meanwhile.
    LoadPrefs(Prefs);
    const TQorPrefs shown = Prefs;
    PreferencesForm->Bind(Prefs, PreferencesHaveBeenChanged);
    PreferencesForm->HelpCommand = [this] {
        ActionManager.ExecuteHandler(Action(TMainCommand::AMHelpHelp));
    };
    PreferencesForm->TellService = [this] { SendServiceMessage(kServiceMessage); };
    PreferencesForm->SetActivePage(TPreferencesForm::PageGeneral);
    // What counts is whether the dialog stored the preferences (OK, or Apply before Cancel).
    PreferencesForm->ShowModal();
    if (!PreferencesHaveBeenChanged) {
        // What was read when the dialog opened may name another store or clock.
        if (IsOpen() &&
            (OtherStore(Prefs, before) || Prefs.Use24HourClock != before.Use24HourClock)) {
            RefreshUserList();
            UpdateStatusBar();
        }
        return;
    }
    PreferencesHaveBeenChanged = false;
    const TQorPrefs edited = Prefs;
    Prefs = shown;
    LoadPrefs(Prefs);
    if (!SaveChangedPreferences(shown, edited, Prefs)) {
        // The program goes on with what is stored, whatever part of the save went through,
        // since the service reads that; what cannot be read stays as before the dialog.
        Prefs = before;
        LoadPrefs(Prefs);
        ShowMessage(Handle(), kPrefsSaveFailedText, TMsgKind::Error);
        if (!OtherStore(Prefs, before))
            return;
    }
    // The window may have been closed while the dialog or a box was open (a close request
    // from outside ends the dialog too): the preferences are stored, there is no list left.
    if (!IsOpen())
        return;
    // The new network computer's user administration replaces this computer's copy. A failed
    // read is told by the refresh.
    if (Prefs.UseRemoteRegistry && OtherStore(edited, shown) &&
        FUsers->LoadAll(true, Prefs.RemoteRegistry)) {
        ShowMessage(Handle(), kRemoteReadSucceededText, TMsgKind::Information);
        if (!IsOpen())
            return;
        if (!FUsers->SaveAll(false, std::wstring())) {
            ShowMessage(Handle(), kLocalSaveFailedText, TMsgKind::Warning);
            if (!IsOpen())
                return;
        }
    }
    SendServiceMessage(kServiceMessage);
    RefreshUserList();
    UpdateStatusBar();
}

void TMainForm::AMToolsLogExecute() {
    ShowEventLog(Handle(), FindEventLog());
}

void TMainForm::AMHelpHelpExecute() {
    if (HelpViewer)
        ShowHelpResult(Handle(), HelpViewer->ShowHelp());
}

void TMainForm::AMHelpAboutExecute() {
    if (AboutForm)
        AboutForm->ShowModal();
}

} // namespace vantrel
