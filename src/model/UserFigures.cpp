#include "model/UserFigures.h"

#include "model/Registry.h"

#include <algorithm>

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
constexpr wchar_t kRequestState[] = L"RequestState";
constexpr wchar_t kRequestMinutes[] = L"RequestMinutes";
constexpr wchar_t kRequestGranted[] = L"RequestGranted";
constexpr wchar_t kRequestReply[] = L"RequestReply";
constexpr wchar_t kRequestSerial[] = L"RequestSerial";
constexpr wchar_t kRequestsLeft[] = L"RequestsLeft";
constexpr wchar_t kRequestMost[] = L"RequestMost";
constexpr wchar_t kCodesPaired[] = L"CodesPaired";
constexpr wchar_t kCodesLocked[] = L"CodesLocked";
constexpr wchar_t kProgramsLeft[] = L"ProgramsLeft";

// The values are written one by one while the user's program may be reading. "Written" is
// zero while they are being written and set last, so a reading that finds it zero, or another
// time at its end than at its start, took parts of two writings and is read again.
constexpr int kReadAttempts = 5;
constexpr DWORD kReadPauseMs = 5;

bool Within(int value, int low, int high) {
    return value >= low && value <= high;
}

bool IsZero(const FILETIME& time) {
    return time.dwLowDateTime == 0 && time.dwHighDateTime == 0;
}

// The request's values, written only by services that know of requests: a value that is missing
// reads as no request and no codes; one that is there but not as the service writes it fails the
// reading, as any other.
bool ReadRequest(const TRegKey& key, TUserFigures& read) {
    const auto optional = [&key](const wchar_t* name, int& value, int low, int high) {
        const LONG rc = key.ReadInt(name, value);
        if (rc == ERROR_FILE_NOT_FOUND) {
            value = 0;
            return true;
        }
        return rc == ERROR_SUCCESS && Within(value, low, high);
    };
    bool paired = false;
    LONG pairedRc = key.ReadBool(kCodesPaired, paired);
    LONG replyRc = key.ReadString(kRequestReply, read.RequestReply);
    LONG serialRc = key.ReadDword(kRequestSerial, read.RequestSerial);
    if (replyRc == ERROR_FILE_NOT_FOUND)
        read.RequestReply.clear();
    if (serialRc == ERROR_FILE_NOT_FOUND)
        read.RequestSerial = 0;
    read.CodesPaired = pairedRc == ERROR_SUCCESS && paired;
    return optional(kRequestState, read.RequestState, 0, 5) &&
           optional(kRequestMinutes, read.RequestMinutes, 0, 1440) &&
           optional(kRequestGranted, read.RequestGranted, 0, 1440) &&
           optional(kRequestsLeft, read.RequestsLeft, 0, 1440) &&
           optional(kRequestMost, read.RequestMost, 0, 1440) &&
           optional(kCodesLocked, read.CodesLocked, 0, 1440) &&
           (replyRc == ERROR_SUCCESS || replyRc == ERROR_FILE_NOT_FOUND) &&
           (serialRc == ERROR_SUCCESS || serialRc == ERROR_FILE_NOT_FOUND) &&
           (pairedRc == ERROR_SUCCESS || pairedRc == ERROR_FILE_NOT_FOUND);
}

// "<minutes>\t<name>" lines; a key without them has no program with a limit running. A line
// that is not one is left out: a name without its minutes says nothing the user could trust.
bool ReadProgramsLeft(const TRegKey& key, std::vector<TProgramLeft>& programs) {
    std::vector<std::wstring> lines;
    const LONG rc = key.ReadMultiString(kProgramsLeft, lines);
    programs.clear();
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return false;
    for (const std::wstring& line : lines) {
        const size_t tab = line.find(L'\t');
        if (tab == 0 || tab == std::wstring::npos || tab > 4 || tab + 1 == line.size())
            continue;
        int minutes = 0;
        bool digits = true;
        for (size_t i = 0; i < tab; ++i) {
            digits = digits && line[i] >= L'0' && line[i] <= L'9';
            minutes = minutes * 10 + (line[i] - L'0');
        }
        if (digits && Within(minutes, 0, 24 * 60))
            programs.push_back(TProgramLeft{line.substr(tab + 1), minutes});
    }
    return true;
}

LONG WriteProgramsLeft(const TRegKey& key, const std::vector<TProgramLeft>& programs) {
    std::vector<std::wstring> lines;
    for (const TProgramLeft& program : programs) {
        std::wstring name = program.Name;
        for (wchar_t& c : name)
            if (c < L' ')
                c = L' ';
        if (!name.empty())
            lines.push_back(std::to_wstring(std::max(0, std::min(program.Left, 24 * 60))) + L'\t' +
                            name);
    }
    return key.WriteMultiString(kProgramsLeft, lines);
}

// One reading; false also for a value the service never writes (a damaged key), which no text
// must take for a day or a time.
bool ReadOnce(const TRegKey& key, TUserFigures& read) {
    int state = 0;
    FILETIME end{};
    const bool ok =
        key.ReadBinary(kWritten, &read.Written, sizeof(read.Written)) == ERROR_SUCCESS &&
        !IsZero(read.Written) && key.ReadBool(kLimited, read.Limited) == ERROR_SUCCESS &&
        key.ReadInt(kState, state) == ERROR_SUCCESS && Within(state, 0, 2) &&
        key.ReadInt(kLimit, read.Limit) == ERROR_SUCCESS &&
        key.ReadInt(kBonus, read.Bonus) == ERROR_SUCCESS &&
        key.ReadInt(kUsed, read.Used) == ERROR_SUCCESS &&
        key.ReadInt(kLeft, read.Left) == ERROR_SUCCESS && read.Left >= 0 &&
        key.ReadInt(kAllowBegin, read.AllowBegin) == ERROR_SUCCESS &&
        Within(read.AllowBegin, 0, 24) && key.ReadInt(kAllowEnd, read.AllowEnd) == ERROR_SUCCESS &&
        Within(read.AllowEnd, 0, 24) && key.ReadInt(kUntil, read.Until) == ERROR_SUCCESS &&
        Within(read.Until, 0, 24 * 60) &&
        key.ReadInt(kAgainDays, read.AgainDays) == ERROR_SUCCESS && Within(read.AgainDays, -1, 7) &&
        key.ReadInt(kAgainAt, read.AgainAt) == ERROR_SUCCESS && Within(read.AgainAt, 0, 24 * 60) &&
        key.ReadBool(kLogsOff, read.LogsOff) == ERROR_SUCCESS &&
        key.ReadBool(kClock24, read.Clock24) == ERROR_SUCCESS &&
        key.ReadString(kWarning, read.Warning) == ERROR_SUCCESS &&
        key.ReadDword(kWarningSerial, read.WarningSerial) == ERROR_SUCCESS &&
        ReadRequest(key, read) && ReadProgramsLeft(key, read.Programs) &&
        key.ReadBinary(kWritten, &end, sizeof(end)) == ERROR_SUCCESS &&
        CompareFileTime(&end, &read.Written) == 0;
    read.State = static_cast<TFiguresState>(state);
    return ok;
}

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
    bool ok = false;
    TUserFigures read;
    for (int attempt = 0; attempt < kReadAttempts && !ok; ++attempt) {
        if (attempt > 0)
            Sleep(kReadPauseMs);
        read = TUserFigures{};
        ok = ReadOnce(key, read);
    }
    // The key belongs to the caller.
    (void)key.Release();
    if (ok)
        figures = read;
    return ok;
}

LONG WriteUserFigures(HKEY userKey, const TUserFigures& figures, const TUserFigures* before) {
    TRegKey key(userKey);
    const FILETIME writing{};
    LONG rc = key.WriteBinary(kWritten, &writing, sizeof(writing));
    const auto next = [&rc](LONG result) {
        if (rc == ERROR_SUCCESS)
            rc = result;
    };
    // A minute mostly changes the minutes only: a value the key already holds costs no round
    // trip to the registry.
    const auto put = [&](const wchar_t* name, DWORD value, DWORD old) {
        if (!before || value != old)
            next(key.WriteDword(name, value));
    };
    const TUserFigures& old = before ? *before : figures;
    put(kLimited, figures.Limited, old.Limited);
    put(kState, static_cast<DWORD>(figures.State), static_cast<DWORD>(old.State));
    put(kLimit, figures.Limit, old.Limit);
    put(kBonus, figures.Bonus, old.Bonus);
    put(kUsed, figures.Used, old.Used);
    put(kLeft, figures.Left, old.Left);
    put(kAllowBegin, figures.AllowBegin, old.AllowBegin);
    put(kAllowEnd, figures.AllowEnd, old.AllowEnd);
    put(kUntil, figures.Until, old.Until);
    put(kAgainDays, figures.AgainDays, old.AgainDays);
    put(kAgainAt, figures.AgainAt, old.AgainAt);
    put(kLogsOff, figures.LogsOff, old.LogsOff);
    put(kClock24, figures.Clock24, old.Clock24);
    if (!before || figures.Warning != old.Warning)
        next(key.WriteString(kWarning, figures.Warning));
    put(kWarningSerial, figures.WarningSerial, old.WarningSerial);
    put(kRequestState, figures.RequestState, old.RequestState);
    put(kRequestMinutes, figures.RequestMinutes, old.RequestMinutes);
    put(kRequestGranted, figures.RequestGranted, old.RequestGranted);
    if (!before || figures.RequestReply != old.RequestReply)
        next(key.WriteString(kRequestReply, figures.RequestReply));
    put(kRequestSerial, figures.RequestSerial, old.RequestSerial);
    put(kRequestsLeft, figures.RequestsLeft, old.RequestsLeft);
    put(kRequestMost, figures.RequestMost, old.RequestMost);
    put(kCodesPaired, figures.CodesPaired, old.CodesPaired);
    put(kCodesLocked, figures.CodesLocked, old.CodesLocked);
    if (!before || figures.Programs != old.Programs)
        next(WriteProgramsLeft(key, figures.Programs));
    // Last, and only when every value went in: a writing that failed midway stays marked
    // unfinished, so no reader takes its half for figures.
    if (rc == ERROR_SUCCESS)
        rc = key.WriteBinary(kWritten, &figures.Written, sizeof(figures.Written));
    (void)key.Release();
    return rc;
}

} // namespace vantrel
