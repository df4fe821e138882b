#include "model/UserFigures.h"

#include "model/Registry.h"

namespace vantrel {

namespace {

constexpr wchar_t kWritten[] = L"Written";
constexpr wchar_t kLimited[] = L"Limited";
constexpr wchar_t kState[] = L"State";
constexpr wchar_t kLimit[] = L"Limit";
constexpr wchar_t kBonus[] = L"Bonus";
constexpr wchar_t kUsed[] = L"Used";
constexpr wchar_t kLeft[] = L"Left";
constexpr wchar_t kAllowBegin[] = L"AllowBegin";
constexpr wchar_t kAllowEnd[] = L"AllowEnd";
constexpr wchar_t kUntil[] = L"Until";
constexpr wchar_t kAgainDays[] = L"AgainDays";
constexpr wchar_t kAgainAt[] = L"AgainAt";
constexpr wchar_t kLogsOff[] = L"LogsOff";
constexpr wchar_t kClock24[] = L"Clock24";
constexpr wchar_t kWarning[] = L"Warning";
constexpr wchar_t kWarningSerial[] = L"WarningSerial";

} // namespace

bool ReadUserFigures(const std::wstring& user, TUserFigures& figures) {
    if (user.empty() || user.find(L'\\') != std::wstring::npos)
        return false;
    TRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, std::wstring(kFiguresKeyPath) + L"\\" + user, KEY_READ) !=
        ERROR_SUCCESS)
        return false;
    return ReadUserFigures(key.Get(), figures);
}

bool ReadUserFigures(HKEY userKey, TUserFigures& figures) {
    TRegKey key(userKey);
    TUserFigures read;
    int state = 0;
    DWORD serial = 0;
    const bool ok =
        key.ReadBinary(kWritten, &read.Written, sizeof(read.Written)) == ERROR_SUCCESS &&
        key.ReadBool(kLimited, read.Limited) == ERROR_SUCCESS &&
        key.ReadInt(kState, state) == ERROR_SUCCESS && state >= 0 && state <= 2 &&
        key.ReadInt(kLimit, read.Limit) == ERROR_SUCCESS &&
        key.ReadInt(kBonus, read.Bonus) == ERROR_SUCCESS &&
        key.ReadInt(kUsed, read.Used) == ERROR_SUCCESS &&
        key.ReadInt(kLeft, read.Left) == ERROR_SUCCESS &&
        key.ReadInt(kAllowBegin, read.AllowBegin) == ERROR_SUCCESS &&
        key.ReadInt(kAllowEnd, read.AllowEnd) == ERROR_SUCCESS &&
        key.ReadInt(kUntil, read.Until) == ERROR_SUCCESS &&
        key.ReadInt(kAgainDays, read.AgainDays) == ERROR_SUCCESS &&
        key.ReadInt(kAgainAt, read.AgainAt) == ERROR_SUCCESS &&
        key.ReadBool(kLogsOff, read.LogsOff) == ERROR_SUCCESS &&
        key.ReadBool(kClock24, read.Clock24) == ERROR_SUCCESS &&
        key.ReadString(kWarning, read.Warning) == ERROR_SUCCESS &&
        key.ReadDword(kWarningSerial, serial) == ERROR_SUCCESS;
    // The key belongs to the caller.
    (void)key.Release();
    if (!ok)
        return false;
    read.State = static_cast<TFiguresState>(state);
    read.WarningSerial = serial;
    figures = read;
    return true;
}

LONG WriteUserFigures(HKEY userKey, const TUserFigures& figures) {
    TRegKey key(userKey);
    LONG rc = key.WriteBinary(kWritten, &figures.Written, sizeof(figures.Written));
    const auto next = [&rc](LONG result) {
        if (rc == ERROR_SUCCESS)
            rc = result;
    };
    next(key.WriteBool(kLimited, figures.Limited));
    next(key.WriteInt(kState, static_cast<int>(figures.State)));
    next(key.WriteInt(kLimit, figures.Limit));
    next(key.WriteInt(kBonus, figures.Bonus));
    next(key.WriteInt(kUsed, figures.Used));
    next(key.WriteInt(kLeft, figures.Left));
    next(key.WriteInt(kAllowBegin, figures.AllowBegin));
    next(key.WriteInt(kAllowEnd, figures.AllowEnd));
    next(key.WriteInt(kUntil, figures.Until));
    next(key.WriteInt(kAgainDays, figures.AgainDays));
    next(key.WriteInt(kAgainAt, figures.AgainAt));
    next(key.WriteBool(kLogsOff, figures.LogsOff));
    next(key.WriteBool(kClock24, figures.Clock24));
    next(key.WriteString(kWarning, figures.Warning));
    next(key.WriteDword(kWarningSerial, figures.WarningSerial));
    (void)key.Release();
    return rc;
}

} // namespace vantrel
