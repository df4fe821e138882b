#pragma once
// A user's request for more time today and its answer. It is kept with the user's settings in
// the store, under "System\QOR\Users\<name>\Request", so that with a network store every
// Vantrel of every computer sees it, whichever computer the user asked from. Only the service
// (for the user, who has no right to the store) and the administration program write it.
//
// One request a user at a time: a new one replaces the one still waiting. The user may ask a
// few times a day (RequestsPerDay of the user's settings), each time for at most
// RequestMostMinutes; a request still waiting at the end of its day has expired.
#include <windows.h>

#include <string>

namespace vantrel {

enum class TRequestState : int {
    None = 0,      // never asked
    Waiting = 1,   // asked, not answered
    Granted = 2,   // answered with time (Granted minutes)
    Denied = 3,    // answered without time
    Withdrawn = 4, // taken back by the user
    Expired = 5,   // its day ended while it waited
};

// What the parent allows: how often a day, and how much at a time. Kept as "RequestsPerDay"
// and "RequestMostMinutes" in the user's key; a value that is missing has its default.
struct TRequestRules {
    static constexpr int kDefaultPerDay = 5;
    static constexpr int kDefaultMostMinutes = 60;
    static constexpr int kLargestPerDay = 20;
    int PerDay = kDefaultPerDay; // 0: the user may not ask
    int MostMinutes = kDefaultMostMinutes;
};

constexpr int kMaxReasonLength = 100;
constexpr int kMaxReplyLength = 200;

struct TTimeRequest {
    TRequestState State = TRequestState::None;
    int Minutes = 0;       // asked for
    std::wstring Reason;   // the user's words, at most kMaxReasonLength characters
    std::wstring Computer; // where the user asked
    FILETIME AskedAt{};    // UTC
    // The local day (of the year) and year the request belongs to, and how many requests the
    // user made that day, replaced and withdrawn ones included.
    int Day = 0;
    int Year = 0;
    int AskedThatDay = 0;
    int Granted = 0;       // minutes given with the answer
    std::wstring Reply;    // the parent's words, at most kMaxReplyLength characters
    FILETIME AnsweredAt{}; // UTC
    // Grows with every request and every answer, so that a reader tells each one once.
    DWORD Serial = 0;
    // Codes from the parent's phone: the wrong ones entered on Day, and until when (UTC) code
    // entry is locked for them; both zero when the values are missing.
    int WrongCodes = 0;
    FILETIME CodesLockedUntil{};
};

// Why a step of the request's life was refused.
enum class TRequestRefusal {
    None,
    NotAllowed,  // the rules allow no requests
    TooMany,     // the day's requests are used up
    BadAmount,   // not between 1 and the most the rules allow
    NothingOpen, // nothing is waiting to be withdrawn or answered
};

// The request as it stands on the local day and year: one still waiting from another day has
// expired.
void ExpireRequest(TTimeRequest& request, int day, int year);
// The user asks: a new request replaces the one waiting. The reason is cut to its length and
// stripped of line breaks and other control characters.
TRequestRefusal AskForTime(TTimeRequest& request, const TRequestRules& rules, int minutes,
                           const std::wstring& reason, const std::wstring& computer,
                           const FILETIME& now, int day, int year);
TRequestRefusal WithdrawRequest(TTimeRequest& request, const FILETIME& now, int day, int year);
// The parent answers the waiting request: with minutes > 0 it is granted that much.
TRequestRefusal AnswerRequest(TTimeRequest& request, int minutes, const std::wstring& reply,
                              const FILETIME& now, int day, int year);
// How many more requests the user may make that day.
int RequestsLeft(const TTimeRequest& request, const TRequestRules& rules, int day, int year);

// The request and the rules of the user in the store at `root` (HKEY_LOCAL_MACHINE of this or a
// network computer). ReadTimeRequest is false when the user has no request or it cannot be read
// whole; the request then reads as None.
bool ReadTimeRequest(HKEY root, const std::wstring& user, TTimeRequest& request);
LONG WriteTimeRequest(HKEY root, const std::wstring& user, const TTimeRequest& request);
TRequestRules ReadRequestRules(HKEY root, const std::wstring& user);
LONG WriteRequestRules(HKEY root, const std::wstring& user, const TRequestRules& rules);

} // namespace vantrel
