#pragma once
// The registry layout of one user, local or on a network computer: its settings under
// "System\QOR\Users\<name>", its usage per computer under "...\Computers\<computer>".
// Operations return false instead of raising, as the registry does.
#include "model/QorUser.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace vantrel {

// What one store holds of a user's settings. A value that is missing, or that cannot be read, is
// read as missing, and never as one that gives more time: "QorControl" as limited, a day's
// "TimeLimit" as 0 minutes, a day's allowed period with either hour missing as no hour, the bonus
// with "BonusTime" or "BonusDayOfYear" missing (or "BonusYear" damaged) as no bonus.
enum class TStoredSettings {
    NoKey,   // no key for the user
    None,    // a key without the settings: only usage (or a bonus alone), never "no limit"
    Partial, // "QorControl" or a value of the week missing
    NoBonus, // the week whole, the bonus read as none since its pair is not whole
    Whole,
};
// Whether the settings read may be enforced as the store's: the week and "QorControl" whole.
inline bool Enforceable(TStoredSettings found) {
    return found == TStoredSettings::Whole || found == TStoredSettings::NoBonus;
}

// Reads the user's settings and today's usage, then derives today's figures. With remote,
// the local registry is read first, then the network computer's; a network key that holds no
// settings, or part of them, leaves this computer's copy when that was read whole, as the
// service enforces it. Sets the record's LoadState:
// Complete only when every value was read; NoKey for a store that has no key, or a key without
// the settings, while this computer's copy read whole. False when the store cannot be reached or
// holds no key for the user.
bool LoadUser(TQorUser& user, bool remote, const std::wstring& remoteComputer);
// The same with this computer's network name given, for callers that load many users.
bool LoadUser(TQorUser& user, bool remote, const std::wstring& remoteComputer,
              const std::wstring& thisComputer);
// The same from one store, whose root the caller connected (the service opens the store once a
// minute for all its users), for the weekday and the day (day of the year and year) given;
// nothing is read first from this computer's registry. `computers`, when given, gets the minutes
// of every computer with an entry of that day. With NoKey or None the settings stay as they were.
TStoredSettings LoadUser(TQorUser& user, HKEY root, const std::wstring& thisComputer, int weekday,
                         int dayOfYear, int year, std::map<std::wstring, int>* computers = nullptr);
// Reads today's usage of every computer from one store and derives today's figures from the
// settings in memory; the settings themselves are not read. False for a name that has no key.
bool LoadTodaysUsage(TQorUser& user, HKEY root, const std::wstring& thisComputer, int weekday,
                     int dayOfYear, int year);
// Writes the user's settings (never usage). With remote, the local registry is written first.
bool SaveUser(const TQorUser& user, bool remote, const std::wstring& remoteComputer);
// The settings a command edits, as flags: the schedule is "QorControl" and the 21 values of the
// week, the bonus "BonusTime", "BonusDayOfYear" and "BonusYear".
enum TUserSettings : unsigned { SettingsSchedule = 1, SettingsBonus = 2, SettingsAll = 3 };
// Writes only the given settings, so that whatever else the store holds stays: a change made
// elsewhere, or a value the last load could not read. A store that has no key for the user yet,
// or a key without the settings, gets all of them. Every save stamps the key with the time of
// the change ("ChangedAt", UTC). With remote, a network store that cannot be reached or written
// leaves the change marked as pending on this computer (see WritePendingChange), where the
// service enforces it at once.
bool SaveUserSettings(const TQorUser& user, unsigned settings, bool remote,
                      const std::wstring& remoteComputer);
// Reads "BonusTime", "BonusDayOfYear" and "BonusYear" alone, whatever else of the user cannot be
// read; a pair that cannot be read whole counts as no bonus. Without a key the record stays as
// it was.
bool LoadBonus(TQorUser& user, bool remote, const std::wstring& remoteComputer);

// A change saved on this computer that the network store did not take: which settings, and
// when it was made. Read from this computer's registry.
struct TPendingChange {
    unsigned Settings = 0;
    ULONGLONG ChangedAt = 0; // UTC, in 100 ns units
};
bool ReadPendingChange(const std::wstring& user, TPendingChange& pending);
// What became of a pending change when the store answered.
enum class TPendingResult { None, Written, Dropped, Failed };
// Writes the pending settings of this computer's copy to the store whole (all of them when the
// store has none of the user), stamped with the time of the change, unless the store holds a
// newer change; either way the mark is cleared. Failed keeps the mark for the next attempt.
TPendingResult WritePendingChange(HKEY store, const std::wstring& user);

// Lists "computer=minutes" for every computer with at least one minute recorded for the
// weekday (1..7) and day of the year. False only when the network computer is unreachable.
bool ReadUsagePerComputer(const TQorUser& user, bool remote, const std::wstring& remoteComputer,
                          std::vector<std::wstring>& list, int weekday, int dayOfYear);

} // namespace vantrel
