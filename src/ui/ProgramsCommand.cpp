// "Programs...": the programs the selected user ran this week and the user's rules per program,
// read from the store the program administers; the rules saved after OK to this computer first
// and then to the network store, and the service told.
#include "ui/MainForm.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "ui/UserPrograms.h"
#include "ui/controls/MessageBox.h"
#include "ui/dialogs/ProgramsForm.h"

namespace vantrel {

namespace {

// How long the window's thread waits for a network store that does not answer.
constexpr DWORD kProgramsConnectMs = 2000;

constexpr wchar_t kLocalRulesFailedText[] =
    L"Could not save the program rules to the local registry.";
constexpr wchar_t kRemoteRulesFailedText[] =
    L"Could not save the program rules to the remote registry.";

} // namespace

void TMainForm::AMEditProgramsExecute() {
    TQorUser* user = SelectedUser();
    if (!user)
        return;
    const std::wstring name = user->Username;
    TRegRoot root;
    const bool remote = Prefs.UseRemoteRegistry;
    const bool reached = remote && FRequestConnect.Connect(Prefs.RemoteRegistry, kProgramsConnectMs,
                                                           root) == ERROR_SUCCESS;
    // The minutes from the store, or from this computer while the store does not answer.
    const TWeekPrograms week = ReadWeekPrograms(root.Get(), name, LocalNow());
    const TShownRules shown =
        ReadShownRules(reached ? root.Get() : nullptr, remote && !reached, name);

    TDialog<TProgramsForm> dialog;
    if (!dialog.Create(Handle()))
        return;
    dialog.UserName = name;
    dialog.Today = week.Today;
    dialog.Week = week.Week;
    dialog.ShownRules = shown.Rules;
    dialog.RulesEditable = shown.Editable;
    dialog.Note = shown.Note;
    if (dialog.ShowModal() != IDOK || !IsOpen() || !shown.Editable || !dialog.RulesChanged())
        return;

    const TRulesSaved saved =
        SaveProgramRules(reached ? root.Get() : nullptr, name, dialog.Rules());
    std::wstring failed;
    if (saved.Local != ERROR_SUCCESS)
        failed = kLocalRulesFailedText;
    // A store that did not answer gets the change from the service, which takes this computer's
    // newer rules to it; it is told all the same.
    if (remote && (!reached || saved.Store != ERROR_SUCCESS))
        failed += (failed.empty() ? L"" : L"\r\n") + std::wstring(kRemoteRulesFailedText);
    if (!failed.empty()) {
        ShowMessage(Handle(), failed, TMsgKind::Warning);
        if (!IsOpen())
            return;
    }
    NotifyAndRefresh();
}

} // namespace vantrel
