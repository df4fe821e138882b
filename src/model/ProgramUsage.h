#pragma once
// Which programs a user ran, and for how many minutes each, per computer and per day, beside the
// usage of the day in a key of its own that older programs do not read:
// "System\QOR\Users\<user>\Programs\<computer>", one REG_MULTI_SZ "Programs<weekday>" per
// weekday (1 Monday .. 7 Sunday), so that, as the usage, a week is kept. Its first string is
// the date it belongs to, "YYYY-MM-DD"; a value of another date is last week's and reads as
// nothing. Each further string is "<minutes>\t<id>\t<name>". One value per day is written in
// one call, so a reader never sees half of a writing.
//
// A day keeps at most kMostProgramsListed programs besides the ones a rule names (whose minutes
// the rules need): the ones with the most minutes, so that many small programs run early or
// beside cannot hide a game played for hours. The minutes of any further program are summed under
// the empty identity, shown as "Other programs".
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vantrel {

inline constexpr wchar_t kOtherProgramsName[] = L"Other programs";
inline constexpr size_t kMostProgramsListed = 24;

struct TProgramMinutes {
    // Empty for "Other programs".
    std::wstring Id;
    std::wstring Name;
    int Minutes = 0;
};
using TProgramList = std::vector<TProgramMinutes>;

// Whether a rule names the program: its line is always kept.
using TProgramRuled = std::function<bool(const std::wstring& id)>;

// Adds minutes to the program in the day's list: to its line when it has one; else a new line
// when the program is ruled or fewer than kMostProgramsListed programs without a rule are listed.
// Else the listed program without a rule that has the fewest minutes (the oldest line among
// equals) gives its line up when it has fewer minutes than the program will have, counting
// `earlier`, the program's minutes of today already summed under "Other programs" (the caller
// knows them): those move from "Other programs" to the new line, and the line given up goes to
// "Other programs" (and to `given`, when not null). Else the minutes go to "Other programs". No
// minute is made up or lost; minutes stay within the int range. True when the minutes went to
// the program's own line.
bool AddProgramMinutes(TProgramList& list, const std::wstring& id, const std::wstring& name,
                       int minutes, const TProgramRuled& ruled, int earlier = 0,
                       TProgramMinutes* given = nullptr);
// The program's minutes in the list; 0 when not listed.
int ProgramMinutesOf(const TProgramList& list, const std::wstring& id);
// Adds every line of `from` to `into` by identity (any number of lines; used to sum computers
// and days for showing), keeping the names of `into`. The result is sorted by minutes, most
// first, "Other programs" last.
void SumProgramLists(TProgramList& into, const TProgramList& from);

// The date text of a day, "YYYY-MM-DD".
std::wstring ProgramDayText(const SYSTEMTIME& date);

// One computer's list of the day given (its weekday and date). False when the store holds no
// list of that day (none, last week's, or damaged); `list` is changed only on success. Damaged
// lines are skipped.
bool ReadProgramUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                      const SYSTEMTIME& date, TProgramList& list);
// Every computer's list of that day, by computer name. False only when the user's key cannot be
// opened.
bool ReadProgramUsagePerComputer(HKEY root, const std::wstring& user, const SYSTEMTIME& date,
                                 std::map<std::wstring, TProgramList>& lists);
// Writes one computer's list of the day. Without createUser, a store that has no key for the
// user gets none (ERROR_FILE_NOT_FOUND), as with the usage. The system's code.
LONG WriteProgramUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                       const SYSTEMTIME& date, const TProgramList& list, bool createUser = true);

} // namespace vantrel
