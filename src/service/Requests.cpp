#include "service/Requests.h"

#include "model/Clock.h"
#include "model/CodeKey.h"
#include "model/OneTimeCode.h"
#include "model/Registry.h"
#include "model/UserStore.h"
#include "service/MinuteLoop.h"

#include <algorithm>
#include <string>

namespace vantrel {

namespace {

constexpr wchar_t kLastStep[] = L"LastStep";
constexpr wchar_t kFromStore[] = L"FromStore";
constexpr ULONGLONG kUnitsPerMinute = 600000000ULL;

ULONGLONG Units(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTime(ULONGLONG units) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(units);
    time.dwHighDateTime = static_cast<DWORD>(units >> 32);
    return time;
}

FILETIME UtcFileTime() {
    const SYSTEMTIME utc = UtcNow();
    FILETIME time{};
    SystemTimeToFileTime(&utc, &time);
    return time;
}

std::uint64_t UnixSeconds(const FILETIME& time) {
    const ULONGLONG units = Units(time);
    constexpr ULONGLONG kEpoch = 116444736000000000ULL; // 1 January 1970 in FILETIME units
    return units > kEpoch ? (units - kEpoch) / 10000000ULL : 0;
}

const wchar_t* RefusalWord(TAskRefusal refusal) {
    switch (refusal) {
    case TAskRefusal::None:
        return L"done";
    case TAskRefusal::NotAllowed:
        return L"the parent allows no requests";
    case TAskRefusal::TooMany:
        return L"today's requests are used up";
    case TAskRefusal::BadAmount:
        return L"more than the parent allows at a time";
    case TAskRefusal::NothingOpen:
        return L"nothing is waiting";
    case TAskRefusal::Failed:
        return L"the request cannot be kept";
    default:
        return L"refused";
    }
}

// Whether the code is that of one of the steps `from` to `to`, and which.
bool FindStep(const TSecret& secret, const std::string& code, std::uint64_t from, std::uint64_t to,
              std::uint64_t& found) {
    const int number = std::stoi(code);
    bool matched = false;
    // Every step is computed, so that the time taken tells nothing of which one matched.
    for (std::uint64_t step = from; step <= to; ++step) {
        if (TimeCode(secret, step * kCodeStepSeconds) == number && !matched) {
            found = step;
            matched = true;
        }
    }
    return matched;
}

// Whether this computer's copy of a request is to be taken over the store's. A newer request
// is; of the same request, wrong codes are counted without a new serial, so the copy that
// counted them on a later day, more of them, or a later lock is: codes entered while the store
// was away, or would not take them, still count when it answers again.
bool LocalIsNewer(const TTimeRequest& local, const TTimeRequest& stored) {
    if (local.Serial != stored.Serial)
        return local.Serial > stored.Serial;
    if (local.Year != stored.Year || local.Day != stored.Day)
        return local.Year > stored.Year || (local.Year == stored.Year && local.Day > stored.Day);
    return local.WrongCodes > stored.WrongCodes ||
           CompareFileTime(&local.CodesLockedUntil, &stored.CodesLockedUntil) > 0;
}

} // namespace

bool ReadLastCodeStep(std::uint64_t& step) {
    TRegKey key;
    return key.Open(HKEY_LOCAL_MACHINE, kCodeUseKeyPath, KEY_READ) == ERROR_SUCCESS &&
           key.ReadBinary(kLastStep, &step, sizeof(step)) == ERROR_SUCCESS;
}

LONG WriteLastCodeStep(std::uint64_t step) {
    TRegKey key;
    const LONG rc = key.Create(HKEY_LOCAL_MACHINE, kCodeUseKeyPath, KEY_SET_VALUE);
    return rc != ERROR_SUCCESS ? rc : key.WriteBinary(kLastStep, &step, sizeof(step));
}

TAskRefusal AskRefusalOf(TRequestRefusal refusal) {
    switch (refusal) {
    case TRequestRefusal::None:
        return TAskRefusal::None;
    case TRequestRefusal::NotAllowed:
        return TAskRefusal::NotAllowed;
    case TRequestRefusal::TooMany:
        return TAskRefusal::TooMany;
    case TRequestRefusal::BadAmount:
        return TAskRefusal::BadAmount;
    case TRequestRefusal::NothingOpen:
        return TAskRefusal::NothingOpen;
    }
    return TAskRefusal::Failed;
}

void StartCodeDay(TTimeRequest& request, int day, int year) {
    ExpireRequest(request, day, year);
    if (request.Day == day && request.Year == year)
        return;
    request.Day = day;
    request.Year = year;
    request.AskedThatDay = 0;
    request.WrongCodes = 0;
}

int CodesLockedMinutes(const TTimeRequest& request, const FILETIME& now, int day, int year,
                       int minuteOfDay) {
    const bool today = request.Day == day && request.Year == year;
    if (today && request.WrongCodes >= kCodeTriesPerDay)
        return std::max(24 * 60 - minuteOfDay, 1);
    const ULONGLONG until = Units(request.CodesLockedUntil), at = Units(now);
    if (until <= at)
        return 0;
    return static_cast<int>(
        std::min<ULONGLONG>((until - at + kUnitsPerMinute - 1) / kUnitsPerMinute, 24 * 60));
}

void CountWrongCode(TTimeRequest& request, const FILETIME& now, int day, int year,
                    int minuteOfDay) {
    StartCodeDay(request, day, year);
    ++request.WrongCodes;
    int minutes = 0;
    if (request.WrongCodes >= kCodeTriesPerDay)
        minutes = std::max(24 * 60 - minuteOfDay, 1);
    else if (request.WrongCodes % kCodeTriesInARow == 0)
        minutes = kCodeLockMinutes;
    if (minutes > 0)
        request.CodesLockedUntil =
            FileTime(Units(now) + static_cast<ULONGLONG>(minutes) * kUnitsPerMinute);
}

// --- The minute loop's part: the messages of the way in, and the requests each minute reads.

TAskAnswer TMinuteLoop::HandleAsk(const std::wstring& name, const TAskMessage& message) {
    auto it = FUsers.find(name);
    if (it == FUsers.end() || !it->second.User || !it->second.Read ||
        !it->second.User->QorControl) {
        FLog.Write(L"A request of " + name + L", who has no time limit here, is refused");
        return {TAskRefusal::NotLimited, 0};
    }
    TUserState& state = it->second;
    const std::wstring user = state.User->Username;
    const SYSTEMTIME now = LocalNow();
    const int day = DayOfYearOf(now), year = now.wYear;
    const FILETIME utc = UtcFileTime();

    // Read fresh from the store the computer uses: a parent may have answered from anywhere.
    TRegRoot root;
    const bool fromNetwork = FPrefs.UseRemoteRegistry && OpenStore(root);
    TTimeRequest request;
    const bool known = ReadTimeRequest(root.Get(), user, request);
    if (fromNetwork) {
        // One written here while the store was away is newer.
        TTimeRequest local;
        if (ReadTimeRequest(HKEY_LOCAL_MACHINE, user, local) &&
            (!known || LocalIsNewer(local, request)))
            request = local;
    }
    const TRequestRules rules = ReadRequestRules(root.Get(), user);
    const TTimeRequest before = request;
    ExpireRequest(request, day, year);
    // Wrong codes count for their day: a request of today never takes those of another.
    if (request.Day != day || request.Year != year)
        request.WrongCodes = 0;

    TAskAnswer answer;
    std::wstring line;
    bool grant = false;
    switch (message.Kind) {
    case TAskKind::Ask:
        answer.Refusal = AskRefusalOf(AskForTime(request, rules, message.Minutes, message.Reason,
                                                 FThisComputer, utc, day, year));
        line = user + L" asks for " + std::to_wstring(message.Minutes) + L" more minutes" +
               (message.Reason.empty() ? std::wstring() : L" (\"" + message.Reason + L"\")");
        if (answer.Refusal == TAskRefusal::None)
            line = L"Request: " + line;
        else
            line = L"Request refused: " + line + L": " + RefusalWord(answer.Refusal);
        break;
    case TAskKind::Withdraw:
        answer.Refusal = AskRefusalOf(WithdrawRequest(request, utc, day, year));
        line = answer.Refusal == TAskRefusal::None ? user + L" withdrew the request"
                                                   : user + L" withdraws a request: nothing is "
                                                            L"waiting";
        break;
    case TAskKind::Code:
        answer = EnterCode(state, request, message.Code, utc, now,
                           fromNetwork ? root.Get() : nullptr, grant, line);
        break;
    }
    FLog.Write(line);

    const bool changed =
        request.Serial != before.Serial || request.State != before.State ||
        request.WrongCodes != before.WrongCodes ||
        CompareFileTime(&request.CodesLockedUntil, &before.CodesLockedUntil) != 0 ||
        request.Day != before.Day;
    if (changed) {
        // This computer's registry first, as the settings are written.
        const LONG local = WriteTimeRequest(HKEY_LOCAL_MACHINE, user, request);
        LONG remote = ERROR_SUCCESS;
        if (fromNetwork)
            remote = WriteTimeRequest(root.Get(), user, request);
        if (local != ERROR_SUCCESS && (!fromNetwork || remote != ERROR_SUCCESS)) {
            FLog.Write(L"Cannot keep the request of " + user + L" (error " +
                       std::to_wstring(fromNetwork ? remote : local) + L")");
            if (answer.Refusal == TAskRefusal::None && !grant)
                answer = {TAskRefusal::Failed, 0};
        } else if (fromNetwork && remote != ERROR_SUCCESS) {
            FLog.Write(L"Cannot write the request of " + user + L" to the user store on " +
                       FPrefs.RemoteRegistry + L" (error " + std::to_wstring(remote) +
                       L"); it is kept on this computer");
        }
    }
    state.Request = request;
    state.Rules = rules;
    state.RequestKnown = true;
    if (grant)
        Check(); // the bonus is enforced at once, and the figures written with it
    else
        WriteFigures(state, now);
    return answer;
}

TAskAnswer TMinuteLoop::EnterCode(TUserState& state, TTimeRequest& request, const std::string& code,
                                  const FILETIME& utc, const SYSTEMTIME& now, HKEY store,
                                  bool& granted, std::wstring& line) {
    const std::wstring& user = state.User->Username;
    const int day = DayOfYearOf(now), year = now.wYear;
    const int minuteOfDay = now.wHour * 60 + now.wMinute;
    granted = false;
    TCodeKey key;
    if (!ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, key)) {
        line = user + L" entered a code, but no phone is paired";
        return {TAskRefusal::NoCodes, 0};
    }
    StartCodeDay(request, day, year);
    const int locked = CodesLockedMinutes(request, utc, day, year, minuteOfDay);
    if (locked > 0) {
        line = user + L" entered a code while code entry is locked (" + std::to_wstring(locked) +
               L" minutes more)";
        return {TAskRefusal::Locked, locked};
    }
    const std::uint64_t step = CodeStep(UnixSeconds(utc));
    std::uint64_t found = 0;
    if (!FindStep(key.Secret, code, step > 0 ? step - 1 : 0, step + 1, found)) {
        CountWrongCode(request, utc, day, year, minuteOfDay);
        const int lockNow = CodesLockedMinutes(request, utc, day, year, minuteOfDay);
        line =
            user + L" entered a wrong code (" + std::to_wstring(request.WrongCodes) + L" today)" +
            (lockNow > 0 ? L"; code entry is locked for " + std::to_wstring(lockNow) + L" minutes"
                         : std::wstring());
        return {TAskRefusal::WrongCode, 0};
    }
    // A code is used once on every computer of a network store: its step is kept beside the
    // store's key too, which only the Administrators and SYSTEM may read.
    std::uint64_t last = 0, storeLast = 0;
    TRegKey storeKey;
    if (store)
        storeKey.Open(store, kStoreCodesKeyPath, KEY_READ | KEY_SET_VALUE);
    if ((ReadLastCodeStep(last) && found <= last) ||
        (storeKey.IsOpen() &&
         storeKey.ReadBinary(kLastStep, &storeLast, sizeof(storeLast)) == ERROR_SUCCESS &&
         found <= storeLast)) {
        // Known already: it tells nothing new, and it gives nothing.
        line = user + L" entered a code that was used before";
        return {TAskRefusal::WrongCode, 0};
    }
    if (storeKey.IsOpen())
        storeKey.WriteBinary(kLastStep, &found, sizeof(found));
    // Recorded before the time is given: whatever happens next, it is not taken twice.
    const LONG rc = WriteLastCodeStep(found);
    if (rc != ERROR_SUCCESS) {
        line = user + L" entered a right code, but its use cannot be recorded (error " +
               std::to_wstring(rc) + L"); no time is given";
        return {TAskRefusal::Failed, 0};
    }
    int minutes = key.MostMinutes;
    const bool waiting = request.State == TRequestState::Waiting;
    if (waiting)
        minutes = std::min(request.Minutes, key.MostMinutes);
    if (!GiveBonus(state, minutes, now)) {
        line = user + L" entered a right code, but the bonus cannot be written; no time is given";
        return {TAskRefusal::Failed, 0};
    }
    if (waiting)
        AnswerRequest(request, minutes, L"", utc, day, year);
    granted = true;
    line = user + L" entered a right code: " + std::to_wstring(minutes) + L" more minutes" +
           (waiting ? L" for the waiting request" : L"");
    return {TAskRefusal::None, minutes};
}

bool TMinuteLoop::GiveBonus(TUserState& state, int minutes, const SYSTEMTIME& now) {
    // As the bonus command gives it: the bonus stored now, today's added, within its bounds.
    TQorUser user;
    user.Assign(*state.User);
    const bool remote = FPrefs.UseRemoteRegistry;
    LoadBonus(user, remote, FPrefs.RemoteRegistry);
    user.TodaysTimeLimit = user.TimeLimit(WeekdayOf(now));
    user.AdjustBonus(minutes, DayOfYearOf(now), now.wYear);
    const bool saved = SaveUserSettings(user, SettingsBonus, remote, FPrefs.RemoteRegistry);
    if (saved)
        return true;
    // With the store away the change waits on this computer, where it is enforced.
    TPendingChange pending;
    return remote && ReadPendingChange(user.Username, pending);
}

void TMinuteLoop::ReadRequest(TUserState& state, HKEY root) {
    const std::wstring& name = state.User->Username;
    TTimeRequest request;
    if (!ReadTimeRequest(root, name, request) && root != HKEY_LOCAL_MACHINE)
        ReadTimeRequest(HKEY_LOCAL_MACHINE, name, request);
    if (root != HKEY_LOCAL_MACHINE) {
        TTimeRequest local;
        if (ReadTimeRequest(HKEY_LOCAL_MACHINE, name, local) && LocalIsNewer(local, request))
            request = local;
    }
    state.Rules = ReadRequestRules(root, name);
    const bool answered =
        request.State == TRequestState::Granted || request.State == TRequestState::Denied;
    // Vantrel answered (here or on another computer): told once, as the answer reads.
    if (state.RequestKnown && request.Serial != state.Request.Serial && answered &&
        state.Request.State == TRequestState::Waiting)
        FLog.Write(L"The request of " + name + L" for " + std::to_wstring(request.Minutes) +
                   L" minutes was " +
                   (request.State == TRequestState::Granted
                        ? L"granted in Vantrel: " + std::to_wstring(request.Granted) + L" minutes"
                        : std::wstring(L"denied in Vantrel")) +
                   (request.Reply.empty() ? std::wstring() : L" (\"" + request.Reply + L"\")"));
    state.Request = request;
    state.RequestKnown = true;
}

void TMinuteLoop::SyncCodeKey(HKEY store) {
    TCodeKey stored, local;
    const bool inStore = ReadCodeKey(store, kStoreCodesKeyPath, stored);
    const bool here = ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, local);
    if (inStore) {
        const bool same = here && CompareFileTime(&stored.PairedAt, &local.PairedAt) == 0;
        if (here && !same && CompareFileTime(&stored.PairedAt, &local.PairedAt) < 0)
            return; // paired here later: the store takes it from the program that paired
        if (!same) {
            const LONG rc = WriteCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, stored);
            if (rc != ERROR_SUCCESS) {
                if (!FCodeCopyFailed)
                    FLog.Write(L"Cannot copy the paired phone's key from the user store (error " +
                               std::to_wstring(rc) + L")");
                FCodeCopyFailed = true;
                return;
            }
            FLog.Write(L"The paired phone's key is taken from the user store on " +
                       FPrefs.RemoteRegistry);
        }
        FCodeCopyFailed = false;
        // Marked as the store's, so that it goes when the store's goes.
        TRegKey key;
        DWORD from = 0;
        if (key.Open(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, KEY_READ | KEY_SET_VALUE) ==
                ERROR_SUCCESS &&
            (key.ReadDword(kFromStore, from) != ERROR_SUCCESS || from != 1))
            key.WriteDword(kFromStore, 1);
        return;
    }
    if (!here)
        return;
    TRegKey key;
    DWORD from = 0;
    if (key.Open(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, KEY_READ) != ERROR_SUCCESS ||
        key.ReadDword(kFromStore, from) != ERROR_SUCCESS || from != 1)
        return; // paired on this computer alone
    key.Close();
    if (RemoveCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath) == ERROR_SUCCESS)
        FLog.Write(L"The paired phone's key is removed: the user store on " +
                   FPrefs.RemoteRegistry + L" holds none any more");
}

void TMinuteLoop::FillRequestFigures(const TUserState& state, TUserFigures& figures,
                                     const SYSTEMTIME& now) const {
    const int day = DayOfYearOf(now), year = now.wYear;
    TTimeRequest request = state.Request;
    ExpireRequest(request, day, year);
    // An answer of another day is history; an expiry is told until the next request.
    const bool today = request.Day == day && request.Year == year;
    if (today || request.State == TRequestState::Expired) {
        figures.RequestState = static_cast<int>(request.State);
        figures.RequestMinutes = std::clamp(request.Minutes, 0, 1440);
        figures.RequestGranted = std::clamp(request.Granted, 0, 1440);
        figures.RequestReply = request.Reply;
    }
    figures.RequestSerial = request.Serial;
    figures.RequestsLeft = std::clamp(RequestsLeft(request, state.Rules, day, year), 0, 1440);
    figures.RequestMost = std::clamp(state.Rules.MostMinutes, 0, 1440);
    figures.CodesPaired = FCodesPaired;
    figures.CodesLocked = FCodesPaired ? CodesLockedMinutes(request, UtcFileTime(), day, year,
                                                            now.wHour * 60 + now.wMinute)
                                       : 0;
}

} // namespace vantrel
