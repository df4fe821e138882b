#pragma once
// What the limited user may see of their own day: the service writes these figures for each
// user with a session on this computer after every minute it counted, in a key that the user
// may read and only SYSTEM and the Administrators may write; QORtray.exe shows them and
// writes nothing. Everything in them is worked out by the service in the time zone it enforces,
// so that the user's own program never judges days, hours or limits itself.
#include <windows.h>

#include <string>
#include <vector>

namespace vantrel {

// Under the key of the service "QORsvc"; one subkey per user, named as the account.
inline constexpr wchar_t kFiguresKeyPath[] =
    L"SYSTEM\\CurrentControlSet\\Services\\QORsvc\\Figures";

// Where the user stands now.
enum class TFiguresState : int {
    TimeLeft = 0,     // within today's allowed hours with time left
    OutsideHours = 1, // time left, but not at this hour
    OverLimit = 2,    // today's limit and bonus are used up
};

// A program with a rule of its own that was running in the user's sessions at the count, and
// the minutes it has left today (model/ProgramRules.h); 0 for one that is ended whenever it
// starts (not allowed, or its time used up).
struct TProgramLeft {
    std::wstring Name;
    int Left = 0;
    bool operator==(const TProgramLeft& other) const {
        return Name == other.Name && Left == other.Left;
    }
};

struct TUserFigures {
    // When the service wrote them (UTC, as GetSystemTimeAsFileTime gives it): figures that
    // were not renewed for a few minutes tell of a service that no longer counts.
    FILETIME Written{};
    // Off for a user without a limit: such a user sees nothing.
    bool Limited = false;
    TFiguresState State = TFiguresState::TimeLeft;
    // Today's limit and bonus, the minutes used on all computers, and the minutes left
    // (limit + bonus - used, never negative), all in minutes.
    int Limit = 0;
    int Bonus = 0;
    int Used = 0;
    int Left = 0;
    // Today's allowed hours, as whole hours 0..24 (begin inclusive, end exclusive).
    int AllowBegin = 0;
    int AllowEnd = 0;
    // With time left: the minute of the day (0..1440) at which today's time ends, the earlier
    // of the time left running out and the allowed hours ending.
    int Until = 0;
    // Otherwise: in how many days (0 today, 1 tomorrow, up to 7) and at which minute of that
    // day the user is allowed again; AgainDays -1 when no day of the coming week allows any.
    int AgainDays = -1;
    int AgainAt = 0;
    // At the end the user is logged off; off when the preferences say only a message is shown.
    bool LogsOff = true;
    // The preferences' clock format for the times shown.
    bool Clock24 = false;
    // The text of the service's last warning, and a number that grows with each warning given,
    // so that a reader sees a new warning once.
    std::wstring Warning;
    DWORD WarningSerial = 0;

    // The user's request for more time as it stands (model/TimeRequest.h), how many more the
    // user may make today and how much each may ask for, and whether a code from the parent's
    // phone can be entered: CodesPaired, unless CodesLocked (the minutes until wrong codes stop
    // locking it) is above zero. Written by services that know of requests; a key without these
    // values reads as no request and no codes.
    int RequestState = 0; // a TRequestState
    int RequestMinutes = 0;
    int RequestGranted = 0;
    std::wstring RequestReply;
    DWORD RequestSerial = 0;
    int RequestsLeft = 0;
    int RequestMost = 0;
    bool CodesPaired = false;
    int CodesLocked = 0;

    // The limited programs running at the count, as REG_MULTI_SZ "ProgramsLeft" of
    // "<minutes>\t<name>" lines; a key without it reads as none.
    std::vector<TProgramLeft> Programs;
};

// The user's figures as the service last wrote them, all from one writing; false when there are
// none (no key, or a value missing, of the wrong type or outside what the service writes, or
// a writing that did not end while the reader waited a few milliseconds).
bool ReadUserFigures(const std::wstring& user, TUserFigures& figures);
bool ReadUserFigures(HKEY userKey, TUserFigures& figures);
// Writes the figures into the user's open key (made by the service with its own security):
// every value, or with `before` (what the key holds from the last writing that succeeded) only
// those that differ. "Written" comes last and is zero while the others are written, so that a
// reader never takes half of two writings. The system's code of the first write that failed.
LONG WriteUserFigures(HKEY userKey, const TUserFigures& figures,
                      const TUserFigures* before = nullptr);

} // namespace vantrel
