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

ULONGLONG UtcNowUnits() {
    const SYSTEMTIME utc = UtcNow();
    FILETIME file{};
    SystemTimeToFileTime(&utc, &file);
    return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

// A time stored as a FILETIME (REG_BINARY of 8 bytes), or 0 when missing or damaged.
ULONGLONG ReadTime(const TRegKey& key, const wchar_t* name) {
    FILETIME file{};
    if (key.ReadBinary(name, &file, sizeof(file)) != ERROR_SUCCESS)
        return 0;
    return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

LONG WriteTime(const TRegKey& key, const wchar_t* name, ULONGLONG units) {
    FILETIME file{};
    file.dwLowDateTime = static_cast<DWORD>(units);
    file.dwHighDateTime = static_cast<DWORD>(units >> 32);
    return key.WriteBinary(name, &file, sizeof(file));
}

// Reads the bonus; a pair that cannot be read whole, or a year that is there but cannot be read,
// is no bonus. False then.
bool ReadBonus(const TRegKey& key, TQorUser& user) {
    int bonus = 0;
    int day = 0;
    int year = 0;
    const LONG yearRead = key.ReadInt(L"BonusYear", year);
    const bool whole = key.ReadInt(L"BonusTime", bonus) == ERROR_SUCCESS &&
                       key.ReadInt(L"BonusDayOfYear", day) == ERROR_SUCCESS &&
                       (yearRead == ERROR_SUCCESS || yearRead == ERROR_FILE_NOT_FOUND);
    user.BonusTime = whole ? bonus : 0;
    user.BonusDayOfYear = whole ? day : 0;
    user.BonusYear = whole && yearRead == ERROR_SUCCESS ? year : 0;
    return whole;
}

// Reads every value of the settings; each one missing reads as missing (see TStoredSettings).
// A key without "QorControl" and without any value of the week changes nothing of the record.
TStoredSettings ReadSettings(const TRegKey& key, TQorUser& user) {
    bool control = true;
    const bool controlRead = key.ReadBool(L"QorControl", control) == ERROR_SUCCESS;
    int values[3][8] = {};
    bool read[3][8] = {};
    const wchar_t* names[] = {L"AllowBegin", L"AllowEnd", L"TimeLimit"};
    int found = controlRead ? 1 : 0;
    for (int family = 0; family < 3; ++family) {
        for (int weekday = 1; weekday <= 7; ++weekday) {
            read[family][weekday] = key.ReadInt(WeekdayValueName(names[family], weekday).c_str(),
                                                values[family][weekday]) == ERROR_SUCCESS;
            found += read[family][weekday] ? 1 : 0;
        }
    }
    if (found == 0)
        return TStoredSettings::None;
    // Missing never means "no limit", nor hours or minutes that the store does not give.
    user.QorControl = controlRead ? control : true;
    for (int weekday = 1; weekday <= 7; ++weekday) {
        const bool period = read[0][weekday] && read[1][weekday];
        user.AllowBegin(weekday) = period ? values[0][weekday] : 0;
        user.AllowEnd(weekday) = period ? values[1][weekday] : 0;
        user.TimeLimit(weekday) = read[2][weekday] ? values[2][weekday] : 0;
    }
    const bool bonus = ReadBonus(key, user);
    if (found < 22)
        return TStoredSettings::Partial;
    return bonus ? TStoredSettings::Whole : TStoredSettings::NoBonus;
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

// Writes the given settings in stored order; false at the first write that fails. The year
// goes last: a reader between the writes sees a new bonus with the old year, which refuses it,
// rather than last year's bonus with this year.
bool WriteSettings(const TRegKey& key, const TQorUser& user, unsigned settings) {
    return (!(settings & SettingsSchedule) || WriteSchedule(key, user)) &&
           (!(settings & SettingsBonus) ||
            (key.WriteInt(L"BonusTime", user.BonusTime) == ERROR_SUCCESS &&
             key.WriteInt(L"BonusDayOfYear", user.BonusDayOfYear) == ERROR_SUCCESS &&
             key.WriteInt(L"BonusYear", user.BonusYear) == ERROR_SUCCESS));
}

// Each group of settings has a stamp of its own, so that a change of the bonus made elsewhere
// does not outweigh a change of the schedule made here, nor the other way round; "ChangedAt"
// tells when anything last changed.
const struct {
    unsigned Settings;
    const wchar_t* Stamp;
} kStamps[] = {{SettingsSchedule, L"ScheduleChangedAt"}, {SettingsBonus, L"BonusChangedAt"}};

bool WriteStamps(const TRegKey& key, unsigned settings, ULONGLONG changedAt) {
    for (const auto& stamp : kStamps) {
        if ((settings & stamp.Settings) && WriteTime(key, stamp.Stamp, changedAt) != ERROR_SUCCESS)
            return false;
    }
    return WriteTime(key, L"ChangedAt", changedAt) == ERROR_SUCCESS;
}

// Writes the given settings to the user's key of one store, stamped with the time of the
// change. A store without the user's settings gets all of them: a key with part of the values
// would read as damaged.
bool SaveTo(HKEY root, const std::wstring& path, const TQorUser& user, unsigned settings,
            ULONGLONG changedAt) {
    TRegKey key;
    LONG opened = key.Open(root, path, KEY_SET_VALUE | KEY_QUERY_VALUE);
    if (opened == ERROR_FILE_NOT_FOUND) {
        settings = SettingsAll;
        opened = key.Create(root, path, KEY_SET_VALUE | KEY_QUERY_VALUE);
    } else if (opened == ERROR_SUCCESS) {
        // Nearly every key holds "QorControl"; only one without it is read through.
        bool control = false;
        TQorUser held;
        if (key.ReadBool(L"QorControl", control) != ERROR_SUCCESS &&
            ReadSettings(key, held) == TStoredSettings::None)
            settings = SettingsAll;
    }
    return opened == ERROR_SUCCESS && WriteSettings(key, user, settings) &&
           WriteStamps(key, settings, changedAt);
}

// Marks this computer's copy of the user with a change the network store did not take; a mark
// already there grows by the settings, and takes the newer time.
void MarkPending(const std::wstring& path, unsigned settings, ULONGLONG changedAt) {
    TRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, path, KEY_SET_VALUE | KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return;
    DWORD pending = 0;
    key.ReadDword(L"PendingSettings", pending);
    WriteTime(key, L"PendingChangedAt", changedAt);
    key.WriteDword(L"PendingSettings", (pending & SettingsAll) | settings);
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
                     const std::wstring& thisComputer, int weekday, int dayOfYear, int year,
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
    user.DeriveTodaysFigures(weekday, dayOfYear, year);
}

} // namespace

bool LoadUser(TQorUser& user, bool remote, const std::wstring& remoteComputer,
              const std::wstring& thisComputer) {
    TLoadState local = TLoadState::Complete;
    TQorUser copy;
    if (remote) {
        LoadUser(user, false, remoteComputer, thisComputer);
        local = user.LoadState;
        copy.Assign(user);
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
    const TStoredSettings found =
        opened == ERROR_SUCCESS ? ReadSettings(key, user) : TStoredSettings::NoKey;
    key.Close();
    if (opened != ERROR_SUCCESS)
        result = false;
    // A network store's key read in part: this computer's copy read whole stands, as the service
    // enforces it.
    if (remote && connected && found == TStoredSettings::Partial && local == TLoadState::Complete)
        user.Assign(copy);
    if (found == TStoredSettings::Whole && connected) {
        user.LoadState = TLoadState::Complete;
    } else if ((opened == ERROR_FILE_NOT_FOUND || found == TStoredSettings::None) && connected &&
               local != TLoadState::Incomplete) {
        // A store that answers and has no settings for the account: a new account. A network
        // store's record then holds this computer's copy, which must have been read whole.
        user.LoadState = TLoadState::NoKey;
    }

    ReadTodaysUsage(user, root.Get(), path, thisComputer, weekday, dayOfYear, now.wYear, nullptr);
    return result;
}

TStoredSettings LoadUser(TQorUser& user, HKEY root, const std::wstring& thisComputer, int weekday,
                         int dayOfYear, int year, std::map<std::wstring, int>* computers) {
    if (computers)
        computers->clear();
    std::wstring path;
    TRegKey key;
    TStoredSettings found = TStoredSettings::NoKey;
    if (UserKeyPath(user, path) && key.Open(root, path, KEY_READ) == ERROR_SUCCESS) {
        found = ReadSettings(key, user);
        key.Close();
    }
    user.LoadState = found == TStoredSettings::Whole ? TLoadState::Complete
                     : found == TStoredSettings::NoKey || found == TStoredSettings::None
                         ? TLoadState::NoKey
                         : TLoadState::Incomplete;
    ReadTodaysUsage(user, root, path, thisComputer, weekday, dayOfYear, year, computers);
    return found;
}

bool LoadTodaysUsage(TQorUser& user, HKEY root, const std::wstring& thisComputer, int weekday,
                     int dayOfYear, int year) {
    std::wstring path;
    if (!UserKeyPath(user, path))
        return false;
    ReadTodaysUsage(user, root, path, thisComputer, weekday, dayOfYear, year, nullptr);
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
    std::wstring path;
    if (!UserKeyPath(user, path))
        return false;
    const ULONGLONG changedAt = UtcNowUnits();
    const bool local = SaveTo(HKEY_LOCAL_MACHINE, path, user, settings, changedAt);
    if (!remote)
        return local;
    TRegRoot root;
    bool saved = root.Connect(remoteComputer) == ERROR_SUCCESS;
    if (saved) {
        // A change saved here earlier goes first, so that this one is the newer.
        WritePendingChange(root.Get(), user.Username);
        saved = SaveTo(root.Get(), path, user, settings, changedAt);
    }
    // The service enforces this computer's copy until the store takes the change.
    if (!saved && local)
        MarkPending(path, settings, changedAt);
    return saved;
}

bool LoadBonus(TQorUser& user, bool remote, const std::wstring& remoteComputer) {
    TRegRoot root;
    const bool result = ConnectIfRemote(root, remote, remoteComputer);
    std::wstring path;
    TRegKey key;
    if (!UserKeyPath(user, path) || key.Open(root.Get(), path, KEY_READ) != ERROR_SUCCESS)
        return false;
    ReadBonus(key, user);
    return result;
}

bool ReadPendingChange(const std::wstring& user, TPendingChange& pending) {
    TQorUser named;
    named.Username = user;
    std::wstring path;
    TRegKey key;
    DWORD settings = 0;
    if (!UserKeyPath(named, path) ||
        key.Open(HKEY_LOCAL_MACHINE, path, KEY_READ) != ERROR_SUCCESS ||
        key.ReadDword(L"PendingSettings", settings) != ERROR_SUCCESS ||
        (settings & SettingsAll) == 0)
        return false;
    pending.Settings = settings & SettingsAll;
    pending.ChangedAt = ReadTime(key, L"PendingChangedAt");
    return true;
}

TPendingResult WritePendingChange(HKEY store, const std::wstring& user) {
    TPendingChange pending;
    if (!ReadPendingChange(user, pending))
        return TPendingResult::None;
    TQorUser copy;
    copy.Username = user;
    std::wstring path;
    UserKeyPath(copy, path);
    TRegKey local;
    if (local.Open(HKEY_LOCAL_MACHINE, path, KEY_READ | KEY_SET_VALUE) != ERROR_SUCCESS)
        return TPendingResult::Failed;
    const auto clear = [&local] {
        const bool cleared = RegDeleteValueW(local.Get(), L"PendingSettings") == ERROR_SUCCESS;
        RegDeleteValueW(local.Get(), L"PendingChangedAt");
        return cleared;
    };
    // Only settings read whole go to the store; a copy damaged since is not the change.
    const TStoredSettings held = ReadSettings(local, copy);
    TRegKey key;
    LONG opened = key.Open(store, path, KEY_READ | KEY_SET_VALUE);
    unsigned settings = pending.Settings;
    if (opened == ERROR_FILE_NOT_FOUND) {
        settings = SettingsAll;
        opened = key.Create(store, path, KEY_READ | KEY_SET_VALUE);
    }
    if (opened != ERROR_SUCCESS)
        return TPendingResult::Failed;
    TQorUser stored;
    if (ReadSettings(key, stored) == TStoredSettings::None)
        settings = SettingsAll;
    // Each group goes unless the store changed it later; a store of an older version has no
    // stamps, and the change made here is the newer.
    for (const auto& stamp : kStamps) {
        if (ReadTime(key, stamp.Stamp) > pending.ChangedAt)
            settings &= ~stamp.Settings;
    }
    if (settings == 0 || !Enforceable(held)) {
        clear();
        return TPendingResult::Dropped;
    }
    if (!WriteSettings(key, copy, settings) || !WriteStamps(key, settings, pending.ChangedAt) ||
        !clear())
        return TPendingResult::Failed;
    return TPendingResult::Written;
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
