#include "model/QorUsers.h"

#include "accounts/Accounts.h"
#include "model/Clock.h"
#include "model/Registry.h"

namespace vantrel {

namespace {

TAccountSource& AccountSourceSeam() {
    static TAccountSource source;
    return source;
}

std::vector<std::wstring> MonitoredAccounts() {
    if (AccountSourceSeam())
        return AccountSourceSeam()();
    std::vector<std::wstring> names;
    ListMonitoredAccounts(GetWorkstationName(), names);
    return names;
}

} // namespace

void SetAccountSourceSeam(TAccountSource source) {
    AccountSourceSeam() = std::move(source);
}

TQorUser& TQorUsers::Add() {
    FItems.push_back(std::make_unique<TQorUser>());
    return *FItems.back();
}

void TQorUsers::Clear() {
    FItems.clear();
}

bool TQorUsers::ReloadUsage(bool remote, const std::wstring& remoteComputer) {
    return Reload(remote, remoteComputer, false);
}

bool TQorUsers::ReloadShown(bool remote, const std::wstring& remoteComputer) {
    return Reload(remote, remoteComputer, true);
}

bool TQorUsers::Reload(bool remote, const std::wstring& remoteComputer, bool settings) {
    TRegRoot root;
    const bool connected =
        !remote || FReloadConnect.Connect(remoteComputer, kReloadConnectMs, root) == ERROR_SUCCESS;
    const std::wstring thisComputer = GetWorkstationName();
    // One day for every record, however long the reading takes.
    const SYSTEMTIME now = LocalNow();
    const int weekday = WeekdayOf(now);
    const int dayOfYear = DayOfYearOf(now);
    // A store that does not answer leaves the settings as they were; the usage comes from this
    // computer's registry.
    for (auto& user : FItems) {
        if (!settings || !connected) {
            LoadTodaysUsage(*user, root.Get(), thisComputer, weekday, dayOfYear, now.wYear);
            continue;
        }
        const TLoadState loaded = user->LoadState;
        const TStoredSettings found =
            LoadUser(*user, root.Get(), thisComputer, weekday, dayOfYear, now.wYear);
        // A network key read in part: this computer's copy read whole stands, as LoadUser shows
        // it and the service enforces it.
        if (remote && found == TStoredSettings::Partial) {
            TQorUser copy;
            copy.Username = user->Username;
            if (Enforceable(LoadUser(copy, HKEY_LOCAL_MACHINE, thisComputer, weekday, dayOfYear,
                                     now.wYear))) {
                user->Assign(copy);
                user->DeriveTodaysFigures(weekday, dayOfYear, now.wYear);
            }
        }
        user->LoadState = loaded;
    }
    return connected;
}

bool TQorUsers::LoadAll(bool remote, const std::wstring& remoteComputer) {
    if (FAccountNames.empty())
        return Rebuild(remote, remoteComputer);
    // The computer's name does not change while the program runs; ask for it once per load.
    const std::wstring thisComputer = GetWorkstationName();
    bool result = true;
    for (auto& user : FItems) {
        if (!LoadUser(*user, remote, remoteComputer, thisComputer))
            result = false;
    }
    return result;
}

bool TQorUsers::Rebuild(bool remote, const std::wstring& remoteComputer) {
    FItems.clear();
    FAccountNames.clear();
    FAccountNames = MonitoredAccounts();
    const std::wstring thisComputer = GetWorkstationName();
    bool result = true;
    for (const std::wstring& name : FAccountNames) {
        TQorUser& user = Add();
        user.Username = name;
        if (!LoadUser(user, remote, remoteComputer, thisComputer))
            result = false;
    }
    return result;
}

bool TQorUsers::SaveAll(bool remote, const std::wstring& remoteComputer) {
    bool result = true;
    for (auto& user : FItems) {
        if (user->LoadState != TLoadState::Incomplete && !SaveUser(*user, remote, remoteComputer))
            result = false;
    }
    return result;
}

bool TQorUsers::SaveNewAccounts(bool remote, const std::wstring& remoteComputer) {
    const std::wstring thisComputer = GetWorkstationName();
    bool result = true;
    for (auto& user : FItems) {
        if (user->LoadState != TLoadState::NoKey)
            continue;
        LoadUser(*user, remote, remoteComputer, thisComputer);
        if (user->LoadState == TLoadState::NoKey && !SaveUser(*user, remote, remoteComputer))
            result = false;
    }
    return result;
}

} // namespace vantrel
