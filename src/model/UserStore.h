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

// Reads the user's settings and today's usage, then derives today's figures. With remote,
// the local registry is read first, then the network computer's. Sets the record's LoadState.
bool LoadUser(TQorUser& user, bool remote, const std::wstring& remoteComputer);
// The same with this computer's network name given, for callers that load many users.
bool LoadUser(TQorUser& user, bool remote, const std::wstring& remoteComputer,
              const std::wstring& thisComputer);
// The same from one store, whose root the caller connected (the service opens the store once a
// minute for all its users), for the weekday and day of the year given; nothing is read first
// from this computer's registry. `computers`, when given, gets the minutes of every computer with
// an entry of that day. False when the user's key cannot be opened: the settings then stay.
bool LoadUser(TQorUser& user, HKEY root, const std::wstring& thisComputer, int weekday,
              int dayOfYear, std::map<std::wstring, int>* computers = nullptr);
// Reads today's usage of every computer from one store and derives today's figures from the
// settings in memory; the settings themselves are not read. False for a name that has no key.
bool LoadTodaysUsage(TQorUser& user, HKEY root, const std::wstring& thisComputer, int weekday,
                     int dayOfYear);
// Writes the user's settings (never usage). With remote, the local registry is written first.
bool SaveUser(const TQorUser& user, bool remote, const std::wstring& remoteComputer);
// The settings a command edits, as flags: the schedule is "QorControl" and the 21 values of the
// week, the bonus "BonusTime" and "BonusDayOfYear".
enum TUserSettings : unsigned { SettingsSchedule = 1, SettingsBonus = 2, SettingsAll = 3 };
// Writes only the given settings, so that whatever else the store holds stays: a change made
// elsewhere, or a value the last load could not read. A store that has no key for the user yet
// gets all of them.
bool SaveUserSettings(const TQorUser& user, unsigned settings, bool remote,
                      const std::wstring& remoteComputer);
// Reads "BonusTime" and "BonusDayOfYear" alone, whatever else of the user cannot be read; a
// pair that cannot be read whole counts as no bonus. Without a key the record stays as it was.
bool LoadBonus(TQorUser& user, bool remote, const std::wstring& remoteComputer);
// Lists "computer=minutes" for every computer with at least one minute recorded for the
// weekday (1..7) and day of the year. False only when the network computer is unreachable.
bool ReadUsagePerComputer(const TQorUser& user, bool remote, const std::wstring& remoteComputer,
                          std::vector<std::wstring>& list, int weekday, int dayOfYear);

} // namespace vantrel
