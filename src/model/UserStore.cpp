#include "model/UserStore.h"

#include "accounts/Accounts.h"
#include "model/Clock.h"
#include "model/Constants.h"
#include "model/Registry.h"

namespace vantrel {

namespace {

// The user's key path; false for names that would address another key (an empty name would
// open the Users key itself, a backslash a key of another user).
bool UserKeyPath(const TQorUser& user, std::wstring& path) {
    if (user.Username.empty() || user.Username.find(L'\\') != std::wstring::npos)
        return false;
    path = std::wstring(kUsersKeyPath) + user.Username;
    return true;
}

// With remote, the root becomes the network computer's; a failed connection keeps the local
// root, so the operation goes on there, and makes the operation's result false.
bool ConnectIfRemote(TRegRoot& root, bool remote, const std::wstring& remoteComputer) {
    return !remote || root.Connect(remoteComputer) == ERROR_SUCCESS;
}

// Reads the settings in stored order; the first value that cannot be read ends the reading.
// True when every value was read.
bool ReadSettings(const TRegKey& key, TQorUser& user) {
    if (key.ReadBool(L"QorControl", user.QorControl) != ERROR_SUCCESS)
        return false;
    int& (TQorUser::*families[])(int) = {&TQorUser::AllowBegin, &TQorUser::AllowEnd,
                                         &TQorUser::TimeLimit};
    const wchar_t* names[] = {L"AllowBegin", L"AllowEnd", L"TimeLimit"};
    for (int family = 0; family < 3; ++family) {
        for (int weekday = 1; weekday <= 7; ++weekday) {
            if (key.ReadInt(WeekdayValueName(names[family], weekday).c_str(),
                            (user.*families[family])(weekday)) != ERROR_SUCCESS)
                return false;
        }
    }
    return key.ReadInt(L"BonusTime", user.BonusTime) == ERROR_SUCCESS &&
           key.ReadInt(L"BonusDayOfYear", user.BonusDayOfYear) == ERROR_SUCCESS;
}

// Writes "QorControl" and the week in stored order; false at the first write that fails.
bool WriteSchedule(const TRegKey& key, const TQorUser& user) {
    if (key.WriteBool(L"QorControl", user.QorControl) != ERROR_SUCCESS)
        return false;
    int (TQorUser::*families[])(int)
        const = {&TQorUser::AllowBegin, &TQorUser::AllowEnd, &TQorUser::TimeLimit};
    const wchar_t* names[] = {L"AllowBegin", L"AllowEnd", L"TimeLimit"};
    for (int family = 0; family < 3; ++family) {
        for (int weekday = 1; weekday <= 7; ++weekday) {
            if (key.WriteInt(WeekdayValueName(names[family], weekday).c_str(),
                             (user.*families[family])(weekday)) != ERROR_SUCCESS)
                return false;
        }
    }
    return true;
}

// Writes the given settings in stored order; false at the first write that fails.
bool WriteSettings(const TRegKey& key, const TQorUser& user, unsigned settings) {
    return (!(settings & SettingsSchedule) || WriteSchedule(key, user)) &&
           (!(settings & SettingsBonus) ||
            (key.WriteInt(L"BonusTime", user.BonusTime) == ERROR_SUCCESS &&
             key.WriteInt(L"BonusDayOfYear", user.BonusDayOfYear) == ERROR_SUCCESS));
}

// The minutes one computer key holds for the day, or false when it holds none for it.
bool ReadUsageOfDay(HKEY computers, const std::wstring& name, const std::wstring& dayName,
                    const std::wstring& usageName, int dayOfYear, int& minutes) {
    TRegKey key;
    if (key.Open(computers, name, KEY_READ) != ERROR_SUCCESS)
        return false;
    int day = 0;
    return key.ReadInt(dayName.c_str(), day) == ERROR_SUCCESS && day == dayOfYear &&
           key.ReadInt(usageName.c_str(), minutes) == ERROR_SUCCESS;
}

// The computer keys of the user, or an empty list when the Computers key does not open.
std::vector<std::wstring> ComputerNames(TRegKey& computers, HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    if (computers.Open(root, path + L"\\Computers", KEY_READ) == ERROR_SUCCESS)
        computers.SubkeyNames(names);
    return names;
}

// Today's minutes of every computer under the user's key at `path` (none when it is empty),
// merged into the record's totals, and each computer's minutes into `computers` when given.
void ReadTodaysUsage(TQorUser& user, HKEY root, const std::wstring& path,
                     const std::wstring& thisComputer, int weekday, int dayOfYear,
                     std::map<std::wstring, int>* computers) {
    for (int day = 1; day <= 7; ++day)
        user.TotalTimeUsage(day) = 0;
    if (!path.empty()) {
        TRegKey list;
        const std::wstring dayName = WeekdayValueName(L"DayOfYear", weekday);
        const std::wstring usageName = WeekdayValueName(L"TimeUsage", weekday);
        for (const std::wstring& name : ComputerNames(list, root, path)) {
            int minutes = 0;
            if (!ReadUsageOfDay(list.Get(), name, dayName, usageName, dayOfYear, minutes))
                continue;
            user.MergeUsage(weekday, dayOfYear, minutes, name == thisComputer);
            if (computers)
                (*computers)[name] = minutes;
        }
    }
    user.DeriveTodaysFigures(weekday, dayOfYear);
}

} // namespace

bool LoadUser(TQorUser& user, bool remote, const std::wstring& remoteComputer,
              const std::wstring& thisComputer) {
    TLoadState local = TLoadState::Complete;
    if (remote) {
        LoadUser(user, false, remoteComputer, thisComputer);
        local = user.LoadState;
    }
    const SYSTEMTIME now = LocalNow();
    const int weekday = WeekdayOf(now);
    const int dayOfYear = DayOfYearOf(now);

    TRegRoot root;
    const bool connected = ConnectIfRemote(root, remote, remoteComputer);
    bool result = connected;
    user.LoadState = TLoadState::Incomplete;

    std::wstring path;
    TRegKey key;
    const LONG opened =
        UserKeyPath(user, path) ? key.Open(root.Get(), path, KEY_READ) : ERROR_INVALID_NAME;
    if (opened == ERROR_SUCCESS) {
        if (ReadSettings(key, user) && connected)
            user.LoadState = TLoadState::Complete;
        key.Close();
    } else {
        result = false;
        // A store that answers and has no key for the account: a new account. A network
        // store's record then holds this computer's copy, which must have been read whole.
        if (connected && opened == ERROR_FILE_NOT_FOUND && local != TLoadState::Incomplete)
            user.LoadState = TLoadState::NoKey;
    }

    ReadTodaysUsage(user, root.Get(), path, thisComputer, weekday, dayOfYear, nullptr);
    return result;
}

bool LoadUser(TQorUser& user, HKEY root, const std::wstring& thisComputer, int weekday,
              int dayOfYear, std::map<std::wstring, int>* computers) {
    if (computers)
        computers->clear();
    std::wstring path;
    TRegKey key;
    const bool result = UserKeyPath(user, path) && key.Open(root, path, KEY_READ) == ERROR_SUCCESS;
    if (result) {
        ReadSettings(key, user);
        key.Close();
    }
    ReadTodaysUsage(user, root, path, thisComputer, weekday, dayOfYear, computers);
    return result;
}

bool LoadTodaysUsage(TQorUser& user, HKEY root, const std::wstring& thisComputer, int weekday,
                     int dayOfYear) {
    std::wstring path;
    if (!UserKeyPath(user, path))
        return false;
    ReadTodaysUsage(user, root, path, thisComputer, weekday, dayOfYear, nullptr);
    return true;
}

bool LoadUser(TQorUser& user, bool remote, const std::wstring& remoteComputer) {
    return LoadUser(user, remote, remoteComputer, GetWorkstationName());
}

bool SaveUser(const TQorUser& user, bool remote, const std::wstring& remoteComputer) {
    return SaveUserSettings(user, SettingsAll, remote, remoteComputer);
}

bool SaveUserSettings(const TQorUser& user, unsigned settings, bool remote,
                      const std::wstring& remoteComputer) {
    if (remote)
        SaveUserSettings(user, settings, false, remoteComputer);
    TRegRoot root;
    bool result = ConnectIfRemote(root, remote, remoteComputer);
    std::wstring path;
    if (!UserKeyPath(user, path))
        return false;
    TRegKey key;
    LONG opened = key.Open(root.Get(), path, KEY_SET_VALUE);
    if (opened == ERROR_FILE_NOT_FOUND) {
        // A user the store does not know yet: a key with part of the values would read as
        // damaged.
        settings = SettingsAll;
        opened = key.Create(root.Get(), path, KEY_SET_VALUE);
    }
    if (opened != ERROR_SUCCESS)
        return false;
    if (!WriteSettings(key, user, settings))
        result = false;
    return result;
}

bool LoadBonus(TQorUser& user, bool remote, const std::wstring& remoteComputer) {
    TRegRoot root;
    const bool result = ConnectIfRemote(root, remote, remoteComputer);
    std::wstring path;
    TRegKey key;
    if (!UserKeyPath(user, path) || key.Open(root.Get(), path, KEY_READ) != ERROR_SUCCESS)
        return false;
    int bonus = 0;
    int day = 0;
    if (key.ReadInt(L"BonusTime", bonus) != ERROR_SUCCESS ||
        key.ReadInt(L"BonusDayOfYear", day) != ERROR_SUCCESS) {
        bonus = 0;
        day = 0;
    }
    user.BonusTime = bonus;
    user.BonusDayOfYear = day;
    return result;
}

bool ReadUsagePerComputer(const TQorUser& user, bool remote, const std::wstring& remoteComputer,
                          std::vector<std::wstring>& list, int weekday, int dayOfYear) {
    list.clear();
    TRegRoot root;
    bool result = ConnectIfRemote(root, remote, remoteComputer);
    std::wstring path;
    if (!UserKeyPath(user, path))
        return result;
    TRegKey computers;
    const std::wstring dayName = WeekdayValueName(L"DayOfYear", weekday);
    const std::wstring usageName = WeekdayValueName(L"TimeUsage", weekday);
    for (const std::wstring& name : ComputerNames(computers, root.Get(), path)) {
        int minutes = 0;
        if (ReadUsageOfDay(computers.Get(), name, dayName, usageName, dayOfYear, minutes) &&
            minutes >= 1)
            list.push_back(name + L"=" + std::to_wstring(minutes));
    }
    return result;
}

} // namespace vantrel
