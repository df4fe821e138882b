#include "model/QorUsers.h"

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

std::wstring Suffixed(const wchar_t* family, int weekday) {
    int index = weekday >= 1 && weekday <= 7 ? weekday - 1 : 0;
    return std::wstring(family) + kDaySuffix[index];
}

// With remote, the root becomes the network computer's; a failed connection keeps the local
// root, so the operation goes on there, and makes the operation's result false.
bool ConnectIfRemote(TRegRoot& root, bool remote, const std::wstring& remoteComputer) {
    return !remote || root.Connect(remoteComputer);
}

// Reads the settings in stored order; the first value that cannot be read ends the reading.
void ReadSettings(const TRegKey& key, TQorUser& user) {
    if (!key.ReadBool(L"QorControl", user.QorControl))
        return;
    int& (TQorUser::*families[])(int) = {&TQorUser::AllowBegin, &TQorUser::AllowEnd,
                                         &TQorUser::TimeLimit};
    const wchar_t* names[] = {L"AllowBegin", L"AllowEnd", L"TimeLimit"};
    for (int f = 0; f < 3; ++f) {
        for (int d = 1; d <= 7; ++d) {
            if (!key.ReadInt(Suffixed(names[f], d).c_str(), (user.*families[f])(d)))
                return;
        }
    }
    if (!key.ReadInt(L"BonusTime", user.BonusTime))
        return;
    key.ReadInt(L"BonusDayOfYear", user.BonusDayOfYear);
}

// Writes the settings in stored order; false at the first write that fails.
bool WriteSettings(const TRegKey& key, const TQorUser& user) {
    if (!key.WriteBool(L"QorControl", user.QorControl))
        return false;
    int (TQorUser::*families[])(int)
        const = {&TQorUser::AllowBegin, &TQorUser::AllowEnd, &TQorUser::TimeLimit};
    const wchar_t* names[] = {L"AllowBegin", L"AllowEnd", L"TimeLimit"};
    for (int f = 0; f < 3; ++f) {
        for (int d = 1; d <= 7; ++d) {
            if (!key.WriteInt(Suffixed(names[f], d).c_str(), (user.*families[f])(d)))
                return false;
        }
    }
    return key.WriteInt(L"BonusTime", user.BonusTime) &&
           key.WriteInt(L"BonusDayOfYear", user.BonusDayOfYear);
}

// Today's usage of one computer key, or false when it has none for day n.
bool ReadTodaysUsage(HKEY computers, const std::wstring& name, const std::wstring& dayName,
                     const std::wstring& usageName, int n, int& minutes) {
    TRegKey key;
    if (key.Open(computers, name, KEY_READ) != ERROR_SUCCESS)
        return false;
    int day = 0;
    return key.ReadInt(dayName.c_str(), day) && day == n && key.ReadInt(usageName.c_str(), minutes);
}

bool LoadUserFrom(TQorUser& user, bool remote, const std::wstring& remoteComputer,
                  const std::wstring& thisComputer) {
    if (remote)
        LoadUserFrom(user, false, remoteComputer, thisComputer);
    const SYSTEMTIME now = LocalNow();
    const int d = WeekdayOf(now);
    const int n = DayOfYearOf(now);

    TRegRoot root;
    bool result = ConnectIfRemote(root, remote, remoteComputer);

    std::wstring path;
    TRegKey key;
    if (UserKeyPath(user, path) && key.Open(root.Get(), path, KEY_READ) == ERROR_SUCCESS) {
        ReadSettings(key, user);
        key.Close();
    } else {
        result = false;
    }

    for (int day = 1; day <= 7; ++day)
        user.TotalTimeUsage(day) = 0;
    TRegKey computers;
    if (!path.empty() &&
        computers.Open(root.Get(), path + L"\\Computers", KEY_READ) == ERROR_SUCCESS) {
        const std::wstring dayName = Suffixed(L"DayOfYear", d);
        const std::wstring usageName = Suffixed(L"TimeUsage", d);
        for (const std::wstring& name : computers.SubkeyNames()) {
            int minutes = 0;
            if (ReadTodaysUsage(computers.Get(), name, dayName, usageName, n, minutes))
                user.MergeUsage(d, n, minutes, name == thisComputer);
        }
    }
    user.DeriveTodaysFigures(d, n);
    return result;
}

bool SaveUserTo(const TQorUser& user, bool remote, const std::wstring& remoteComputer) {
    if (remote)
        SaveUserTo(user, false, remoteComputer);
    TRegRoot root;
    bool result = ConnectIfRemote(root, remote, remoteComputer);
    std::wstring path;
    TRegKey key;
    if (!UserKeyPath(user, path) || key.Create(root.Get(), path, KEY_SET_VALUE) != ERROR_SUCCESS)
        return false;
    if (!WriteSettings(key, user))
        result = false;
    return result;
}

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

bool LoadUser(TQorUser& user, bool remote, const std::wstring& remoteComputer) {
    return LoadUserFrom(user, remote, remoteComputer, GetWorkstationName());
}

bool SaveUser(const TQorUser& user, bool remote, const std::wstring& remoteComputer) {
    return SaveUserTo(user, remote, remoteComputer);
}

bool ReadUsagePerComputer(const TQorUser& user, bool remote, const std::wstring& remoteComputer,
                          std::vector<std::wstring>& list, int weekday, int dayOfYear) {
    list.clear();
    TRegRoot root;
    bool result = ConnectIfRemote(root, remote, remoteComputer);
    std::wstring path;
    TRegKey computers;
    if (!UserKeyPath(user, path) ||
        computers.Open(root.Get(), path + L"\\Computers", KEY_READ) != ERROR_SUCCESS)
        return result;
    const std::wstring dayName = Suffixed(L"DayOfYear", weekday);
    const std::wstring usageName = Suffixed(L"TimeUsage", weekday);
    for (const std::wstring& name : computers.SubkeyNames()) {
        int minutes = 0;
        if (ReadTodaysUsage(computers.Get(), name, dayName, usageName, dayOfYear, minutes) &&
            minutes >= 1)
            list.push_back(name + L"=" + std::to_wstring(minutes));
    }
    return result;
}

TQorUser& TQorUsers::Add() {
    FItems.push_back(std::make_unique<TQorUser>());
    return *FItems.back();
}

void TQorUsers::Clear() {
    FItems.clear();
}

bool TQorUsers::LoadAll(bool remote, const std::wstring& remoteComputer) {
    if (FAccountNames.empty())
        return Rebuild(remote, remoteComputer);
    // The computer's name does not change while the program runs; ask for it once per load.
    const std::wstring thisComputer = GetWorkstationName();
    bool result = true;
    for (auto& user : FItems) {
        if (!LoadUserFrom(*user, remote, remoteComputer, thisComputer))
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
        if (!LoadUserFrom(user, remote, remoteComputer, thisComputer))
            result = false;
    }
    return result;
}

bool TQorUsers::SaveAll(bool remote, const std::wstring& remoteComputer) {
    bool result = true;
    for (auto& user : FItems) {
        if (!SaveUser(*user, remote, remoteComputer))
            result = false;
    }
    return result;
}

} // namespace vantrel
