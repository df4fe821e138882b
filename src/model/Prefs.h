#pragma once
// The preferences shared with the time-limit service, always in this computer's registry.
#include <string>

namespace vantrel {

struct TQorPrefs {
    bool Use24HourClock = false;
    bool DoubleClickIsTimeUsage = false;
    bool RptTimeUsagePerComputer = false;
    bool UseRemoteRegistry = false;
    std::wstring RemoteRegistry;
    std::wstring MsgNotAllowedText;
    std::wstring MsgWarningText;
    std::wstring MsgReachedLimitText;
    bool UseDebugLogging = false;
    bool DoNotForceLogoff = false;
};

// False when the preferences key cannot be opened; the record is then left untouched.
bool LoadPrefs(TQorPrefs& prefs);
// What every load ends with: no network store without a name, and the default text for each
// empty message text. The service needs it also when there is no preferences key at all.
void CompletePrefs(TQorPrefs& prefs);
// False when the key can be neither opened nor created, or a value cannot be written.
bool SavePrefs(const TQorPrefs& prefs);

// Minutes as hours and minutes: " 01:35" for 95, "-01:35" for -95, " 100:00" for 6000.
std::wstring FormatMinutes(int minutes);

} // namespace vantrel
