#include "model/Prefs.h"

#include "model/Constants.h"
#include "model/Registry.h"

#include <cstdio>

namespace vantrel {

namespace {

// A missing string reads as empty and the reading goes on; a value of another type ends it.
bool ReadPrefString(const TRegKey& key, const wchar_t* name, std::wstring& value) {
    std::wstring text;
    LONG rc = key.ReadString(name, text);
    if (rc == ERROR_FILE_NOT_FOUND) {
        value.clear();
        return true;
    }
    if (rc != ERROR_SUCCESS)
        return false;
    value = text;
    return true;
}

bool ReadPrefBool(const TRegKey& key, const wchar_t* name, bool& value) {
    return key.ReadBool(name, value) == ERROR_SUCCESS;
}

void ReadPrefs(const TRegKey& key, TQorPrefs& prefs) {
    if (!ReadPrefBool(key, L"Use24HourClock", prefs.Use24HourClock) ||
        !ReadPrefBool(key, L"DoubleClickIsTimeUsage", prefs.DoubleClickIsTimeUsage) ||
        !ReadPrefBool(key, L"RptTimeUsagePerComputer", prefs.RptTimeUsagePerComputer) ||
        !ReadPrefBool(key, L"UseRemoteRegistry", prefs.UseRemoteRegistry) ||
        !ReadPrefString(key, L"RemoteRegistry", prefs.RemoteRegistry) ||
        !ReadPrefString(key, L"MsgNotAllowedText", prefs.MsgNotAllowedText) ||
        !ReadPrefString(key, L"MsgWarningText", prefs.MsgWarningText) ||
        !ReadPrefString(key, L"MsgReachedLimitText", prefs.MsgReachedLimitText) ||
        !ReadPrefBool(key, L"DoNotForceLogoff", prefs.DoNotForceLogoff))
        return;
    ReadPrefBool(key, L"UseDebugLogging", prefs.UseDebugLogging);
}

// Writes in stored order; the first write that fails ends the writing.
bool WritePrefs(const TRegKey& key, const TQorPrefs& prefs) {
    return key.WriteBool(L"Use24HourClock", prefs.Use24HourClock) == ERROR_SUCCESS &&
           key.WriteBool(L"DoubleClickIsTimeUsage", prefs.DoubleClickIsTimeUsage) ==
               ERROR_SUCCESS &&
           key.WriteBool(L"RptTimeUsagePerComputer", prefs.RptTimeUsagePerComputer) ==
               ERROR_SUCCESS &&
           key.WriteBool(L"UseRemoteRegistry", prefs.UseRemoteRegistry) == ERROR_SUCCESS &&
           key.WriteString(L"RemoteRegistry", prefs.RemoteRegistry) == ERROR_SUCCESS &&
           key.WriteString(L"MsgNotAllowedText", prefs.MsgNotAllowedText) == ERROR_SUCCESS &&
           key.WriteString(L"MsgWarningText", prefs.MsgWarningText) == ERROR_SUCCESS &&
           key.WriteString(L"MsgReachedLimitText", prefs.MsgReachedLimitText) == ERROR_SUCCESS &&
           key.WriteBool(L"DoNotForceLogoff", prefs.DoNotForceLogoff) == ERROR_SUCCESS &&
           key.WriteBool(L"UseDebugLogging", prefs.UseDebugLogging) == ERROR_SUCCESS;
}

} // namespace

bool LoadPrefs(TQorPrefs& prefs) {
    TRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, KEY_READ) != ERROR_SUCCESS)
        return false;
    ReadPrefs(key, prefs);
    CompletePrefs(prefs);
    return true;
}

void CompletePrefs(TQorPrefs& prefs) {
    if (prefs.UseRemoteRegistry && prefs.RemoteRegistry.empty())
        prefs.UseRemoteRegistry = false;
    if (prefs.MsgNotAllowedText.empty())
        prefs.MsgNotAllowedText = kDefaultNotAllowedText;
    if (prefs.MsgWarningText.empty())
        prefs.MsgWarningText = kDefaultWarningText;
    if (prefs.MsgReachedLimitText.empty())
        prefs.MsgReachedLimitText = kDefaultReachedLimitText;
}

bool SavePrefs(const TQorPrefs& prefs) {
    TRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, KEY_SET_VALUE) != ERROR_SUCCESS)
        return false;
    return WritePrefs(key, prefs);
}

std::wstring FormatMinutes(int minutes) {
    // In 64 bits, so that the most negative minute count has an absolute value too.
    long long value = minutes;
    bool negative = value < 0;
    if (negative)
        value = -value;
    wchar_t text[32];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%c%.2lld:%.2lld", negative ? L'-' : L' ',
                  value / 60, value % 60);
    return text;
}

} // namespace vantrel
