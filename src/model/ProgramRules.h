#pragma once
// A user's rules per program, beside the user's settings in a key of their own that older
// programs reading the store do not know: "System\QOR\Users\<user>\ProgramRules", whose
// REG_MULTI_SZ "Rules" holds one line per rule and "ChangedAt" (a FILETIME in REG_BINARY, UTC, as
// the settings are stamped) the time of the last change. A rule only ever gives less time: the
// daily limit and the allowed hours hold as they are, and a program's time ends at the earlier of
// its own and the user's.
//
// A line is "<id>\t<name>\t<kind>\t<m1>,<m2>,<m3>,<m4>,<m5>,<m6>,<m7>": the program's identity
// (model/ProgramInfo.h), its name, "limit" or "blocked", and the minutes allowed on each weekday
// (Monday first; "blocked" has none). Nothing missing or damaged is read as more time: a line
// whose kind or minutes cannot be read is a rule with no minutes on the days it cannot tell.
#include <windows.h>

#include <string>
#include <vector>

namespace vantrel {

struct TProgramRule {
    std::wstring Id;
    std::wstring Name;
    // Not allowed at all.
    bool Blocked = false;
    // Minutes a day, weekday 1 (Monday) .. 7 (Sunday) at index 0 .. 6; 0..1440.
    int Minutes[7] = {0, 0, 0, 0, 0, 0, 0};

    // The minutes allowed on the weekday (1..7); 0 when blocked.
    int Limit(int weekday) const;
    // The same number every day.
    bool SameEveryDay() const;
};

// At most this many rules a user; a longer list is refused on writing and cut on reading.
inline constexpr size_t kMostProgramRules = 64;

// What the store holds of a user's rules.
enum class TStoredRules {
    NoKey,  // no key for the user
    None,   // the user's key without a "Rules" value: the user has no rules there
    Whole,  // every line read
    Damaged // some line could not be read whole (read as less time, see above)
};

std::wstring FormatProgramRule(const TProgramRule& rule);
// False when the line names no program (no identity); otherwise the rule, damaged parts read as
// no minutes, and `damaged` set when anything could not be read.
bool ParseProgramRule(const std::wstring& line, TProgramRule& rule, bool& damaged);

// Reads the rules of the user from the store whose root is given.
TStoredRules ReadProgramRules(HKEY root, const std::wstring& user, std::vector<TProgramRule>& rules,
                              ULONGLONG* changedAt = nullptr);
// Writes all the rules in one value (an empty list too: the user has no rules), and stamps the
// change with the current time (or `changedAt` when non-zero). A store without a key for the
// user gets none: ERROR_FILE_NOT_FOUND. The system's code.
LONG WriteProgramRules(HKEY root, const std::wstring& user, const std::vector<TProgramRule>& rules,
                       ULONGLONG changedAt = 0);

// The rule that names the program, or null.
const TProgramRule* FindProgramRule(const std::vector<TProgramRule>& rules, const std::wstring& id);

} // namespace vantrel
