#pragma once
// What the time-limit service tells every connected administration program, in plain ASCII so
// that anyone can read it from the pipe:
//
//   "41, QORsvc minute; last=2026-12-08 14:03; store=local"
//   "42, QORsvc settings; last=2026-12-08 14:03; store=network"
//   "43, QORsvc running; last=-; store=unreachable; since=2026-12-08 13:58"
//   "41, QORsvc minute; last=2026-12-08 14:03; store=local; logofffailed=anna; logoffpending=ben"
//
// 41 after every minute counted, 42 after the settings were read again, 43 once to a client as
// it connects. `last` is the local time (in the time zone days are judged in) of the last minute
// counted, "-" before the first; `store` says where the settings and minutes come from: this
// computer, the network store, or this computer's copy because the store does not answer, since
// the local time in `since`. `logofffailed` lists the users whose time is up and whose log-off
// Windows refused at the last try, `logoffpending` those logged off at an earlier minute whose
// sessions are still there; each is left out when empty. Names are UTF-8 with every byte outside
// the printable ASCII letters, and '%', ',', ';' and '=', written as %XX. A reader that does not
// know a field skips it, so new fields go at the end.
#include <windows.h>

#include <string>
#include <vector>

namespace vantrel {

enum class TNewsKind { Minute, Settings, Running };
enum class TStoreState { Local, Network, Unreachable };

// A user the service told to stop whose sessions are still there after the grace.
struct TUnfinishedLogoff {
    std::wstring User;
    // Windows refused the log-off (true), or it was asked for and the session stays (false).
    bool Failed = false;
    bool operator==(const TUnfinishedLogoff& other) const {
        return User == other.User && Failed == other.Failed;
    }
};

struct TServiceNews {
    TNewsKind Kind = TNewsKind::Running;
    bool Counted = false; // whether LastMinute holds a time
    SYSTEMTIME LastMinute{};
    TStoreState Store = TStoreState::Local;
    SYSTEMTIME StoreDownSince{}; // with TStoreState::Unreachable
    std::vector<TUnfinishedLogoff> Logoffs;
};

std::string FormatServiceNews(const TServiceNews& news);
// False for any text that is not news of this form (a message of some other program).
bool ParseServiceNews(const std::string& text, TServiceNews& news);
// "14:03" of a time.
std::wstring ClockText(const SYSTEMTIME& time);

} // namespace vantrel
