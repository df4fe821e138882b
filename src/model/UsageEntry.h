#pragma once
// One line of a user's usage per computer, "computer=minutes", as ReadUsagePerComputer lists
// it. The detailed usage dialog and the weekly report both read the lines here, so that a
// computer shows the same minutes in both.
//
// The minutes are written in decimal and never hold "=", while a computer key of the store may:
// Windows refuses "=" in a computer name, but the registry takes it in a key name, and a key
// added by hand or by another program keeps it. The line is therefore split at its last "=".
#include <string>

namespace vantrel {

struct TUsageEntry {
    std::wstring Computer;
    // 0 when the text after the last "=" is not a whole number within the int range.
    int Minutes = 0;
};

// A line without "=" has no computer and 0 minutes.
TUsageEntry ParseUsageEntry(const std::wstring& line);

} // namespace vantrel
