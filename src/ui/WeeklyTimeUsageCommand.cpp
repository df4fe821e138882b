// "Weekly time usage...": the selected user's last seven days and their programs, read from the
// store here, shown in a dialog made for the showing.
#include "ui/MainForm.h"

#include "model/Clock.h"
#include "model/UserStore.h"
#include "model/WeekUsage.h"
#include "ui/UserPrograms.h"
#include "ui/dialogs/WeeklyTimeUsageForm.h"

namespace vantrel {

namespace {
// How long the window's thread waits for a network store that does not answer.
constexpr DWORD kWeekConnectMs = 2000;
} // namespace

void TMainForm::AMEditWeeklyTimeUsageExecute() {
    TQorUser* user = SelectedUser();
    if (!user)
        return;
    // The limits as the store holds them now; read into a copy, so that the list's row keeps
    // what it shows until the next refresh.
    TQorUser current;
    current.Assign(*user);
    LoadUser(current, Prefs.UseRemoteRegistry, Prefs.RemoteRegistry);
    TDialog<TWeeklyTimeUsageForm> dialog;
    if (!dialog.Create(Handle()))
        return;
    const SYSTEMTIME today = LocalNow();
    dialog.Week = ReadWeekUsage(current, Prefs.UseRemoteRegistry, Prefs.RemoteRegistry, today,
                                Prefs.Use24HourClock);
    // The programs from the same store, or from this computer while it does not answer.
    TRegRoot root;
    if (Prefs.UseRemoteRegistry)
        FRequestConnect.Connect(Prefs.RemoteRegistry, kWeekConnectMs, root);
    dialog.Programs = ReadWeekPrograms(root.Get(), current.Username, today).Days;
    dialog.ShowModal();
}

} // namespace vantrel
