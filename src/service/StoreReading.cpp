#include "service/MinuteLoop.h"

#include "model/Constants.h"
#include "model/ProgramRules.h"
#include "model/UserStore.h"
#include "service/UsageRecord.h"

#include <algorithm>

namespace vantrel {

// Reading the store: each user's settings and usage from the store the computer uses, and this
// computer's copy of what the network store holds.

namespace {

// The program rules of a user without a session here, kept in step as a minute keeps those of a
// user with one (service/ProgramLimits.cpp): the newer whole list goes to the other side, so
// that a logon while the store is away finds the store's rules here, and a change saved here
// while it was away reaches it. True when this computer's rules went to the store.
bool KeepRulesInStep(HKEY store, const std::wstring& name) {
    std::vector<TProgramRule> stored, here;
    ULONGLONG storedAt = 0, hereAt = 0;
    const TStoredRules storedKind = ReadProgramRules(store, name, stored, &storedAt);
    const TStoredRules hereKind = ReadProgramRules(HKEY_LOCAL_MACHINE, name, here, &hereAt);
    if (storedKind == TStoredRules::NoKey || hereKind == TStoredRules::NoKey)
        return false;
    if (hereKind == TStoredRules::Whole && hereAt > storedAt)
        return WriteProgramRules(store, name, here, hereAt) == ERROR_SUCCESS;
    if (storedKind == TStoredRules::Whole && (storedAt > hereAt || hereKind != TStoredRules::Whole))
        WriteProgramRules(HKEY_LOCAL_MACHINE, name, stored, storedAt);
    return false;
}

} // namespace

void TMinuteLoop::NotePending(const std::wstring& name, TPendingResult result) {
    if (result == TPendingResult::Written)
        FLog.Write(L"The change of the settings of " + name +
                   L" saved on this computer while the user store could not be reached is "
                   L"written to the user store on " +
                   FPrefs.RemoteRegistry);
    else if (result == TPendingResult::Dropped)
        FLog.Write(L"The change of the settings of " + name +
                   L" saved on this computer while the user store could not be reached is "
                   L"dropped: the user store on " +
                   FPrefs.RemoteRegistry + L" holds a newer one");
    // Either way this computer's copy is no longer what the service wrote there.
    if (result == TPendingResult::Written || result == TPendingResult::Dropped)
        FCopy.Forget(name);
}

void TMinuteLoop::ReadUser(TUserState& state, HKEY root, bool fromNetwork, int weekday, int day) {
    TQorUser& user = *state.User;
    const std::wstring& name = user.Username;
    const bool remote = FPrefs.UseRemoteRegistry;
    const int year = YearOfDay(day);
    TPendingChange pending;
    // While the store cannot be reached, this computer's copy is read only when a change saved
    // here is still to go to the store: it is what the administrator saved last.
    if (remote && !fromNetwork && state.Read && !ReadPendingChange(name, pending))
        return;
    // A change is marked pending only by a save, which tells the service, or before this start.
    // One the store would not take (an account that may read it but not write it) is still what
    // the administrator saved last: this computer's copy holds it, and is enforced.
    bool pendingHere = false;
    if (fromNetwork && state.PendingLooked != FPendingLook) {
        const TPendingResult result = WritePendingChange(root, name);
        NotePending(name, result);
        if (result != TPendingResult::Failed)
            state.PendingLooked = FPendingLook;
        pendingHere = result == TPendingResult::Failed;
    }
    TQorUser read;
    read.Username = name;
    std::map<std::wstring, int> computers;
    TStoredSettings found = LoadUser(read, root, FThisComputer, weekday, day, year, &computers);
    bool copied = false;
    const auto readCopy = [&] {
        TQorUser local;
        local.Username = name;
        std::map<std::wstring, int> localComputers;
        const TStoredSettings held =
            LoadUser(local, HKEY_LOCAL_MACHINE, FThisComputer, weekday, day, year, &localComputers);
        if (held == TStoredSettings::NoKey || held == TStoredSettings::None)
            return false;
        read.Assign(local);
        // The usage of a key that the store holds is the store's.
        if (found == TStoredSettings::NoKey)
            computers = localComputers;
        found = held;
        copied = true;
        return true;
    };
    if (pendingHere && readCopy()) {
        // The store's usage counts as ever; its settings wait for the change to reach it.
        copied = false;
    } else if (fromNetwork && !Enforceable(found)) {
        // The store lacks the user's settings, or part of them (a key that only the usage of a
        // minute made, or one damaged): it is never read as "no limit". This computer's copy
        // holds the settings, as the program's own load falls back to them.
        if (!state.StoreLacking)
            FLog.Write(L"The user store on " + FPrefs.RemoteRegistry +
                       (found == TStoredSettings::Partial ? L" holds part of the settings of "
                                                          : L" holds no settings of ") +
                       name +
                       L"; enforcing the settings last read or this computer's copy until they "
                       L"are saved there whole");
        state.StoreLacking = true;
        if (found == TStoredSettings::Partial && state.Whole) {
            // The whole settings last read stay; the store's usage counts.
        } else {
            readCopy();
        }
    } else if (fromNetwork) {
        state.StoreLacking = false;
    }
    if (found == TStoredSettings::NoKey || found == TStoredSettings::None ||
        (found == TStoredSettings::Partial && state.Whole)) {
        // The settings last read stay, and with them any block: a failed read unblocks nobody.
        if (state.Read && !state.ReadFailed)
            FLog.Write(L"Cannot read the settings of " + name +
                       L"; enforcing the settings last read");
        state.ReadFailed = true;
        if (found != TStoredSettings::Partial)
            return;
    } else {
        // A key read in part with nothing whole before: the values it lacks give no time.
        if (found == TStoredSettings::Partial && !state.ReadFailed)
            FLog.Write(L"Cannot read the settings of " + name +
                       L" whole; the values missing give no time");
        state.ReadFailed = found == TStoredSettings::Partial;
        state.Whole = state.Whole || Enforceable(found);
        user.Assign(read);
    }
    state.Read = true;
    state.Others.clear();
    state.OthersDay = day;
    state.Stored = 0;
    state.StoredDay = day;
    for (const auto& [computer, minutes] : computers) {
        if (SameName(computer, FThisComputer))
            state.Stored = minutes;
        else
            state.Others[computer] = minutes;
    }
    if (!fromNetwork || copied)
        return;
    // Minutes counted here while the store could not be reached, before this start.
    int local = 0;
    if (state.LocalCheckedDay != day &&
        ReadComputerUsage(HKEY_LOCAL_MACHINE, name, FThisComputer, weekday, day, local))
        state.Stored = std::max(state.Stored, local);
    state.LocalCheckedDay = day;
    // Only settings read whole replace this computer's copy.
    if (Enforceable(found))
        KeepCopy(read, computers, weekday, day);
}

void TMinuteLoop::KeepCopy(const TQorUser& user, const std::map<std::wstring, int>& computers,
                           int weekday, int day) {
    const bool kept = FCopy.Keep(user, computers, weekday, day);
    if (!kept && !FCopyFailed)
        FLog.Write(L"Cannot keep the settings and usage of " + user.Username +
                   L" in this computer's copy of the user store");
    FCopyFailed = !kept;
}

void TMinuteLoop::CopyUsersWithoutSession(HKEY root,
                                          const std::set<std::wstring, TNameLess>& withSession,
                                          int weekday, int day) {
    std::wstring path = kUsersKeyPath;
    path.pop_back();
    TRegKey users;
    std::vector<std::wstring> names;
    if (users.Open(root, path, KEY_READ) != ERROR_SUCCESS)
        return;
    users.SubkeyNames(names);
    users.Close();
    for (const std::wstring& name : names) {
        if (withSession.count(name))
            continue;
        NotePending(name, WritePendingChange(root, name));
        TQorUser read;
        read.Username = name;
        std::map<std::wstring, int> computers;
        const TStoredSettings found =
            LoadUser(read, root, FThisComputer, weekday, day, YearOfDay(day), &computers);
        if (found == TStoredSettings::NoKey)
            continue;
        // Only settings read whole replace this computer's copy.
        if (Enforceable(found)) {
            KeepCopy(read, computers, weekday, day);
            if (KeepRulesInStep(root, name))
                FLog.Write(L"The program rules of " + name +
                           L" saved on this computer while the user store could not be reached "
                           L"are written to the user store on " +
                           FPrefs.RemoteRegistry);
        }
        // Minutes counted here while the store could not be reached go back to it.
        int local = 0;
        auto stored = std::find_if(computers.begin(), computers.end(), [this](const auto& entry) {
            return SameName(entry.first, FThisComputer);
        });
        if (ReadComputerUsage(HKEY_LOCAL_MACHINE, name, FThisComputer, weekday, day, local) &&
            (stored == computers.end() || stored->second < local))
            WriteComputerUsage(root, name, FThisComputer, weekday, day, local);
    }
}

} // namespace vantrel
