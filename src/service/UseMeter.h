#pragma once
// How long each user really had the computer in use: a session someone works in (active, not
// switched away from) whose screen is not locked. One look at the moment of the minute's count
// could be dodged by locking the screen just then; the meter is told of the sessions often
// instead (at times the service draws by chance, and whenever the system reports a lock, an
// unlock, a logon, a logoff, a connect or a disconnect) and adds up the time between looks: the
// state seen at a look holds until the next one. The minute loop takes a whole minute for every
// minute in use and leaves what is less for the next minute, so a user unlocked most of a minute
// pays for it however the screen stands at the count.
#include "service/Sessions.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace vantrel {

class TUseMeter {
public:
    // A minute of use is this long: a minute, or the shorter one of a demonstration.
    explicit TUseMeter(ULONGLONG minuteMs = 60000) : FMinuteMs(minuteMs ? minuteMs : 60000) {}
    ULONGLONG MinuteMs() const { return FMinuteMs; }

    // The sessions as they are at `at` (monotonic milliseconds). A user not seen before is taken
    // to have been in this state since the previous look; at the very first look, since
    // `firstSince` (the minute being counted, or `at` when nothing is counted).
    void Look(const std::vector<TSessionInfo>& sessions, ULONGLONG at, ULONGLONG firstSince);
    // Takes the whole minutes the user was in use since the last charge, at most `most`; less
    // than a minute stays for the next charge, and time beyond `most` minutes (a service held
    // up, a clock that jumped) is dropped. Call right after a look.
    int Charge(const std::wstring& user, int most);
    // Whether the user was in use at the last look.
    bool InUse(const std::wstring& user) const;

private:
    struct TUse {
        bool InUse = false;
        ULONGLONG Since = 0; // the look the state was seen at
        ULONGLONG Ms = 0;    // in use and not charged yet
    };

    ULONGLONG FMinuteMs;
    std::map<std::wstring, TUse, TNameLess> FUsers;
    bool FLooked = false;
    ULONGLONG FLastLook = 0;
};

// True when any of the sessions is one someone can use now.
bool AnyInUse(const std::vector<TSessionInfo>& sessions);

// A pause of between `shortest` and `longest` milliseconds, drawn from the system's random
// generator, so that nobody can foresee the next look.
ULONGLONG RandomPause(ULONGLONG shortest, ULONGLONG longest);

} // namespace vantrel
