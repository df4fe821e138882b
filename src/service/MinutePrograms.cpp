#include "service/MinuteLoop.h"

#include "model/Clock.h"
#include "model/TimeLeft.h"
#include "model/UserStore.h"
#include "win/SystemError.h"

#include <algorithm>
#include <new>

namespace vantrel {

// The programs of the minute loop: which run in the monitored users' sessions, what they are
// charged, and which are ended (service/ProgramLimits.h keeps each user's record).

void TMinuteLoop::FirstSeen(const std::wstring& name) {
    TUserState& state = FUsers[name];
    state.User = std::make_unique<TQorUser>();
    state.User->Username = name;
    const SYSTEMTIME now = LocalNow();
    const int day = DayOfYearOf(now);
    TQorUser local;
    local.Username = name;
    if (!Enforceable(LoadUser(local, HKEY_LOCAL_MACHINE, FThisComputer, WeekdayOf(now), day,
                              YearOfDay(day))))
        return;
    state.User->Assign(local);
    if (!local.QorControl)
        return;
    // The rules kept here; with a network store, only this computer's minutes are known yet.
    TProgramStores stores;
    stores.Network = FPrefs.UseRemoteRegistry;
    stores.Store = stores.Network ? nullptr : HKEY_LOCAL_MACHINE;
    stores.StoreName = FPrefs.RemoteRegistry;
    stores.LookHere = true;
    state.Programs.Minute(name, FThisComputer, stores, now, 0, FLog);
}

TMinuteLoop::TRunningByUser TMinuteLoop::WatchPrograms(const std::vector<TSessionInfo>& listed,
                                                       bool atMinute) {
    // Between minutes only the users known to be monitored; at the minute also those whose
    // settings are still to be read (a first logon).
    std::vector<TSessionInfo> watched;
    for (const TSessionInfo& session : listed) {
        if (session.Username.empty())
            continue;
        auto it = FUsers.find(session.Username);
        const bool known = it != FUsers.end() && it->second.User;
        const bool monitored = known && it->second.User->QorControl;
        if (monitored || (atMinute && (!known || !it->second.Read)))
            watched.push_back(session);
    }
    TRunningByUser byUser;
    if (watched.empty())
        return byUser;
    // Memory that runs out here costs this look its programs, never the minute.
    try {
        for (TRunningProgram& process : FWatch.Look(watched)) {
            std::wstring user = process.User;
            byUser[user].push_back(std::move(process));
        }
        FWatchFailed = false;
    } catch (const std::bad_alloc&) {
        byUser.clear();
        if (!FWatchFailed)
            FLog.WriteFixed(L"Cannot look at the running programs (no memory was left); the "
                            L"minutes are counted without them");
        FWatchFailed = true;
    }
    return byUser;
}

void TMinuteLoop::CountPrograms(TUserState& state, const std::vector<TRunningProgram>& running,
                                HKEY store, bool fromNetwork, const SYSTEMTIME& now, int used) {
    const bool remote = FPrefs.UseRemoteRegistry;
    TProgramStores stores;
    stores.Store = fromNetwork ? store : remote ? nullptr : HKEY_LOCAL_MACHINE;
    stores.Network = remote;
    stores.StoreName = FPrefs.RemoteRegistry;
    stores.StoreLacking = state.StoreLacking;
    // This computer's copy is read again when a save here may have changed it.
    stores.LookHere = state.ProgramsLooked != FPendingLook;
    state.ProgramsLooked = FPendingLook;
    for (const TRunningProgram& process : running)
        state.Programs.See(process);
    state.Programs.Minute(state.User->Username, FThisComputer, stores, now, used, FLog);
}

void TMinuteLoop::EnforcePrograms(TUserState& state, const std::vector<TRunningProgram>& running,
                                  const std::vector<TSessionInfo>& sessions, const SYSTEMTIME& now,
                                  ULONGLONG mono) {
    const long long userLeft = WarnPrograms(state, running, sessions, now);
    for (const TRunningProgram& process : running) {
        if (state.Programs.NoTimeLeft(process.Program.Id))
            EndProgram(state, process, sessions, mono);
    }
    state.ProgramsLeft = state.Programs.Left(running, userLeft);
}

long long TMinuteLoop::WarnPrograms(TUserState& state, const std::vector<TRunningProgram>& running,
                                    const std::vector<TSessionInfo>& sessions,
                                    const SYSTEMTIME& now) {
    const long long userLeft = state.Block.On ? 0 : MinutesToEnd(*state.User, now);
    std::vector<DWORD> active;
    for (const TSessionInfo& session : sessions) {
        if (session.Active)
            active.push_back(session.Id);
    }
    for (const std::wstring& text : state.Programs.Warnings(running, userLeft)) {
        Show(state.User->Username, active, L"Warning", text);
        if (!active.empty()) {
            state.Warning = text;
            state.WarningSerial = ++FWarningSerial;
        }
    }
    return userLeft;
}

void TMinuteLoop::EndProgram(TUserState& state, const TRunningProgram& process,
                             const std::vector<TSessionInfo>& sessions, ULONGLONG mono) {
    const std::wstring& name = state.User->Username;
    if (!FWatch.End(process)) {
        if (state.Programs.EndFailed(process.Program.Id)) {
            const DWORD error = GetLastError();
            std::wstring line = L"Cannot end " + process.Program.Path + L" (process " +
                                std::to_wstring(process.Pid) + L") of " + name + L", error " +
                                std::to_wstring(error);
            const std::wstring system = SystemErrorText(error);
            if (!system.empty())
                line += L": " + system;
            FLog.Write(line + L"; trying again at every look");
        }
        return;
    }
    const std::wstring text = state.Programs.Ended(process, mono);
    if (text.empty())
        return;
    // Told in its own session, when someone works there.
    const bool active = std::any_of(sessions.begin(), sessions.end(), [&](const TSessionInfo& s) {
        return s.Id == process.Session && s.Active;
    });
    if (active)
        Show(name, {process.Session}, L"Program ended, message", text);
    else
        FLog.Write(L"Program ended in " + name + L"'s session " + std::to_wstring(process.Session) +
                   L": " + text);
}

} // namespace vantrel
