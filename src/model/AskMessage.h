#pragma once
// What the limited user's program QORtray.exe may say to the service, and what it is answered,
// on the pipe "QorAsk" that any user of the computer may open: one short line each, UTF-8, as
// one pipe message without a terminator. Nothing else is accepted there: no message names a
// user (the service learns who asks from the system) and none can change a setting.
//
//   "ASK 30 homework for tomorrow"  asks for 30 more minutes today, with a reason (may be empty)
//   "WITHDRAW"                      takes the waiting request back
//   "CODE 123456"                   a one-time code from the parent's phone
//
// Answers: "OK" (a code that gave time: "OK 30"), or "NO " and one of the words of
// TAskRefusal ("NO too-many"), for a lock with the minutes until it ends ("NO locked 12").
#include <string>

namespace vantrel {

inline constexpr wchar_t kAskPipeName[] = L"QorAsk";
// A message longer than this is refused unread.
constexpr size_t kAskMessageMost = 512;

enum class TAskKind { Ask, Withdraw, Code };

struct TAskMessage {
    TAskKind Kind = TAskKind::Ask;
    int Minutes = 0;     // with Ask: 1 to 1440
    std::wstring Reason; // with Ask: at most 100 characters, no control characters
    std::string Code;    // with Code: exactly six digits
};

enum class TAskRefusal {
    None,
    Malformed,   // "malformed": not one of the three messages
    Busy,        // "busy": asked too often; try again in a minute
    NotLimited,  // "not-limited": the user has no limit to ask about
    NotAllowed,  // "not-allowed": the parent allows no requests
    TooMany,     // "too-many": today's requests are used up
    BadAmount,   // "amount": more than the parent allows at a time
    NothingOpen, // "nothing-open": nothing waiting to withdraw
    NoCodes,     // "no-codes": no phone is paired
    WrongCode,   // "wrong-code"
    Locked,      // "locked": too many wrong codes; with the minutes until codes are taken again
    Failed,      // "failed": the service could not keep the request (the store is away)
};

std::string FormatAskMessage(const TAskMessage& message);
// Strict: false for anything but one of the three messages exactly as FormatAskMessage makes
// them (invalid UTF-8, control characters, a longer reason, extra spaces, signs, leading zeros).
bool ParseAskMessage(const std::string& bytes, TAskMessage& message);

struct TAskAnswer {
    TAskRefusal Refusal = TAskRefusal::None;
    int Minutes = 0; // OK: the minutes a code gave; Locked: the minutes until it ends
};
std::string FormatAskAnswer(const TAskAnswer& answer);
bool ParseAskAnswer(const std::string& bytes, TAskAnswer& answer);

} // namespace vantrel
