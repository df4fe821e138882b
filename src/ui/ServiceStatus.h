#pragma once
// What the status bar says of the time-limit service: whether it runs and when it last counted,
// and whether it counts on this computer's copy because the network store does not answer.
#include "model/ServiceNews.h"

#include <string>

namespace vantrel {

struct TServiceStatus {
    std::wstring Text;
    // What the administrator can do about it.
    std::wstring Hint;
    int Icon = 0; // a resource id of the program's icons
};

enum class TServiceLink {
    None,      // nobody serves the pipe (or it stayed busy)
    Stranger,  // a program the Administrators did not start serves it: nothing it says counts
    Connected, // the service's own pipe
};

// `news`: the last the service told, nullptr when it has told nothing yet on this link.
TServiceStatus ServiceStatusOf(TServiceLink link, const TServiceNews* news);

} // namespace vantrel
