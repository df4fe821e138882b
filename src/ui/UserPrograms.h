#pragma once
// A user's programs as the administration program shows them: the minutes of the last seven
// days summed over every computer of the store, and the user's rules read from this computer
// and from the network store, the newer of the two shown and saved back to both.
#include "model/ProgramRules.h"
#include "model/ProgramUsage.h"

#include <windows.h>

#include <string>
#include <vector>

namespace vantrel {

struct TWeekPrograms {
    // Seven days, the oldest first and today last; each summed over the computers.
    std::vector<TProgramList> Days;
    // Today's and the seven days' sums, most minutes first, "Other programs" last.
    TProgramList Today;
    TProgramList Week;
};

// The week ending on the local date `today` from the store whose root is given.
TWeekPrograms ReadWeekPrograms(HKEY root, const std::wstring& user, const SYSTEMTIME& today);

// The rules to show, and whether they may be saved over what the stores hold.
struct TShownRules {
    std::vector<TProgramRule> Rules;
    // False when saving could lose a rule (a list read in part) or has nowhere to go (no
    // settings for the user in the store the program administers).
    bool Editable = false;
    // Why they cannot be changed, or where they came from; empty when nothing is to be said.
    std::wstring Note;
};

// Reads the rules of `user` from this computer's registry and, when `store` is given, from the
// network store, and shows the newer ("ChangedAt") of the two. `storeAway`: a network store is
// set but did not answer; this computer's copy is shown.
TShownRules ReadShownRules(HKEY store, bool storeAway, const std::wstring& user);

// What became of a save: the system's code of each write (ERROR_SUCCESS for none asked).
struct TRulesSaved {
    LONG Local = ERROR_SUCCESS;
    LONG Store = ERROR_SUCCESS;
};
// Writes the rules to this computer's registry, then to the network store when one is given,
// both stamped with the same moment.
TRulesSaved SaveProgramRules(HKEY store, const std::wstring& user,
                             const std::vector<TProgramRule>& rules);

// A rule as the list shows it: "Not allowed", "1 hour a day", "45 minutes a day", or the
// weekdays with their limits, runs of days joined ("Mon-Fri 1:00, Sat-Sun 2:00").
std::wstring ProgramRuleText(const TProgramRule& rule);

} // namespace vantrel
