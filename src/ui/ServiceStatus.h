#pragma once
// What the status bar says of the time-limit service: whether it runs and when it last counted,
// whether it has stopped answering, whether a log-off it asked for is not done, and whether it
// counts on this computer's copy because the network store does not answer.
#include "model/ServiceNews.h"

#include <windows.h>

#include <string>

namespace vantrel {

struct TServiceStatus {
    std::wstring Text;
    // What the administrator can do about it.
    std::wstring Hint;
    int Icon = 0; // a resource id of the program's icons
    // The service can be started from here (it does not run).
    bool CanStart = false;
};

enum class TServiceLink {
    None,      // nobody serves the pipe (or it stayed busy)
    Stranger,  // a program the Administrators did not start serves it: nothing it says counts
    Connected, // the service's own pipe
};

// The service does not count for this long after its last news (ms): it is not responding. A
// minute may wait 3 seconds for the network store, and a busy computer a little more.
inline constexpr ULONGLONG kServiceSilentMs = 150000;

struct TServiceView {
    TServiceLink Link = TServiceLink::None;
    // The last the service told, nullptr when it has told nothing yet on this link.
    const TServiceNews* News = nullptr;
    // Nothing was heard from the service since the local time in SilentSince for longer than
    // kServiceSilentMs.
    bool Silent = false;
    SYSTEMTIME SilentSince{};
    bool Clock24 = false;
    // Today's date, in the time zone days are judged in.
    SYSTEMTIME Today{};
};

TServiceStatus ServiceStatusOf(const TServiceView& view);

// A moment the status bar tells: "13:53" (or "1:53 p.m." on the 12-hour clock) today, with
// "yesterday" or the date before it on an earlier day.
std::wstring StatusTimeText(const SYSTEMTIME& time, const SYSTEMTIME& today, bool clock24);

// Asks the service manager to start the time-limit service ("QORsvc"); ERROR_SUCCESS (also
// when it runs already) or the system's code.
DWORD StartTimeLimitService();

} // namespace vantrel
