// The main window's command table, the three surfaces that show it, and what each command
// does; the commit-and-notify sequence that every change of a user ends with.
#include "ui/MainForm.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "model/UserStore.h"
#include "reports/EventLog.h"
#include "reports/HelpViewer.h"
#include "reports/UsageReport.h"
#include "ui/AboutForm.h"
#include "ui/AdjustBonusTimeForm.h"
#include "ui/DailyTimeLimitsForm.h"
#include "ui/DetailedTimeUsageForm.h"
#include "ui/PreferencesForm.h"
#include "ui/ReportMessages.h"
#include "ui/controls/MessageBox.h"

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

constexpr const wchar_t* kUserCommands[4] = {L"AMEditDailyTimeLimits", L"AMEditDetailedTimeUsage",
                                             L"AMEditIncreaseTodaysLimit",
                                             L"AMEditDecreaseTodaysLimit"};

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
    // The amount goes onto the bonus stored when the administrator confirms, so a bonus given
    // elsewhere meanwhile counts. Today is that day too: a dialog left open over midnight
    // gives the bonus to the new day, bounded by that day's limit.
    ReadAfresh(form, *user);
    const SYSTEMTIME now = LocalNow();
    user->TodaysTimeLimit = user->TimeLimit(WeekdayOf(now));
    user->AdjustBonus(dialog->SignedAmount(), DayOfYearOf(now));
    form.CommitUser(*user);
}

} // namespace

void TMainForm::CreateActions() {
    auto add = [this](const wchar_t* name, const wchar_t* category, const wchar_t* caption,
                      int image, WORD key, void (TMainForm::*handler)()) {
        ActionManager.Add(name, category, caption, image, key,
                          [this, handler] { (this->*handler)(); });
    };
    add(L"AMFileExit", L"File", L"Exit", kNoImage, 0, &TMainForm::AMFileExitExecute);
    add(L"AMEditDailyTimeLimits", L"Users", L"Daily time limits...", 3, 0,
        &TMainForm::AMEditDailyTimeLimitsExecute);
    add(L"AMEditDetailedTimeUsage", L"Users", L"Detailed time usage...", 17, 0,
        &TMainForm::AMEditDetailedTimeUsageExecute);
    add(L"AMEditIncreaseTodaysLimit", L"Users", L"Increase bonus time...", 7, 0,
        &TMainForm::AMEditIncreaseTodaysLimitExecute);
    add(L"AMEditDecreaseTodaysLimit", L"Users", L"Decrease bonus time...", 8, 0,
        &TMainForm::AMEditDecreaseTodaysLimitExecute);
    add(L"AMEditRefresh", L"Tools", L"Refresh user data", 5, 0, &TMainForm::AMEditRefreshExecute);
    add(L"AMToolsUsageReport", L"Tools", L"Time usage report...", 9, 0,
        &TMainForm::AMToolsUsageReportExecute);
    add(L"AMToolsPreferences", L"Tools", L"Preferences...", 6, 0,
        &TMainForm::AMToolsPreferencesExecute);
    add(L"AMToolsLog", L"Tools", L"View logfile...", 14, 0, &TMainForm::AMToolsLogExecute);
    add(L"AMHelpHelp", L"Help", L"Help", 15, VK_F1, &TMainForm::AMHelpHelpExecute);
    add(L"AMHelpAbout", L"Help", L"About...", 0, 0, &TMainForm::AMHelpAboutExecute);
    ActionManager.OnEnabledChanged = [this](TAction& action) { FCommandBars.UpdateAction(action); };
}

void TMainForm::CreateCommandBars() {
    std::vector<TCommandMenu> menus = {
        {L"&File", {{L"&Exit", L"AMFileExit"}}},
        {L"&Users",
         {{L"&Daily time limits...", L"AMEditDailyTimeLimits"},
          {L"De&tailed time usage...", L"AMEditDetailedTimeUsage"},
          {},
          {L"&Increase bonus time...", L"AMEditIncreaseTodaysLimit"},
          {L"D&ecrease bonus time...", L"AMEditDecreaseTodaysLimit"}}},
        {L"&Tools",
         {{L"&Refresh user data", L"AMEditRefresh"},
          {L"&Time usage report...", L"AMToolsUsageReport"},
          {},
          {L"&Preferences...", L"AMToolsPreferences"},
          {L"&View logfile...", L"AMToolsLog"}}},
        {L"&Help", {{L"&Help", L"AMHelpHelp"}, {}, {L"&About...", L"AMHelpAbout"}}},
    };
    std::vector<TCommandItem> toolBar = {
        {nullptr, L"AMEditDailyTimeLimits"},
        {nullptr, L"AMEditDetailedTimeUsage"},
        {},
        {nullptr, L"AMEditIncreaseTodaysLimit"},
        {nullptr, L"AMEditDecreaseTodaysLimit"},
        {},
        {nullptr, L"AMEditRefresh"},
        {nullptr, L"AMToolsUsageReport"},
    };
    // The list's pop-up menu holds the four user commands.
    std::vector<TCommandItem> popup = {
        {nullptr, L"AMEditDailyTimeLimits"},     {nullptr, L"AMEditDetailedTimeUsage"},   {},
        {nullptr, L"AMEditIncreaseTodaysLimit"}, {nullptr, L"AMEditDecreaseTodaysLimit"},
    };
    FCommandBars.Create(Handle(), menus, toolBar, popup);
}

void TMainForm::SetUserCommandsEnabled(bool enabled) {
    for (const wchar_t* name : kUserCommands)
        ActionManager.SetEnabled(Action(name), enabled);
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
    const wchar_t* name =
        Prefs.DoubleClickIsTimeUsage ? L"AMEditDetailedTimeUsage" : L"AMEditDailyTimeLimits";
    ActionManager.ExecuteHandler(Action(name));
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
    FUserList.Fill(*FUsers);
    // Removing the rows does not report a lost selection; a list that came back shorter
    // must not leave the user commands enabled with nothing selected.
    ListViewUsersSelectItem();
}

void TMainForm::CommitUser(TQorUser& user, bool keysForNewAccounts) {
    if (!IsOpen())
        return;
    // Every other user stays as the store holds it: the collection's copies may be old, or
    // from a load that could not read every value.
    bool saved = SaveUser(user, Prefs.UseRemoteRegistry, Prefs.RemoteRegistry);
    if (keysForNewAccounts &&
        !FUsers->SaveNewAccounts(Prefs.UseRemoteRegistry, Prefs.RemoteRegistry))
        saved = false;
    if (!saved) {
        ShowMessage(Handle(),
                    Prefs.UseRemoteRegistry ? kRemoteSaveFailedText : kLocalSaveFailedText,
                    TMsgKind::Warning);
        if (!IsOpen())
            return;
    }
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
    TQorUser shown;
    shown.Assign(*user);
    DailyTimeLimitsForm->QorUser().Assign(*user);
    if (DailyTimeLimitsForm->ShowModal() != IDOK || !IsOpen())
        return;
    // Only what the administrator changed goes over what the store holds by now.
    ReadAfresh(*this, *user);
    user->TakeChanges(shown, DailyTimeLimitsForm->QorUser());
    CommitUser(*user, true);
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
    PreferencesForm->Bind(Prefs, PreferencesHaveBeenChanged);
    PreferencesForm->HelpCommand = [this] { ActionManager.ExecuteHandler(Action(L"AMHelpHelp")); };
    PreferencesForm->SetActivePage(TPreferencesForm::PageGeneral);
    // What counts is whether the dialog stored the preferences (OK, or Apply before Cancel).
    PreferencesForm->ShowModal();
    if (!PreferencesHaveBeenChanged)
        return;
    PreferencesHaveBeenChanged = false;
    if (!SavePrefs(Prefs)) {
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
    if (Prefs.UseRemoteRegistry && OtherStore(Prefs, before) &&
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
