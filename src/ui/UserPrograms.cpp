#include "ui/UserPrograms.h"

#include "model/Clock.h"

#include <map>

namespace vantrel {

namespace {

constexpr wchar_t kDayNames[7][4] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};

ULONGLONG UtcStamp() {
    const SYSTEMTIME utc = UtcNow();
    FILETIME file{};
    SystemTimeToFileTime(&utc, &file);
    return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

std::wstring MinutesText(int minutes) {
    return std::to_wstring(minutes) + (minutes == 1 ? L" minute" : L" minutes");
}

} // namespace

TWeekPrograms ReadWeekPrograms(HKEY root, const std::wstring& user, const SYSTEMTIME& today) {
    TWeekPrograms week;
    for (int back = 6; back >= 0; --back) {
        std::map<std::wstring, TProgramList> lists;
        ReadProgramUsagePerComputer(root, user, DaysBefore(today, back), lists);
        TProgramList day;
        for (const auto& computer : lists)
            SumProgramLists(day, computer.second);
        SumProgramLists(week.Week, day);
        if (back == 0)
            week.Today = day;
        week.Days.push_back(std::move(day));
    }
    return week;
}

TShownRules ReadShownRules(HKEY store, bool storeAway, const std::wstring& user) {
    struct TRead {
        TStoredRules Found = TStoredRules::NoKey;
        std::vector<TProgramRule> Rules;
        ULONGLONG ChangedAt = 0;
    };
    TRead local;
    local.Found = ReadProgramRules(HKEY_LOCAL_MACHINE, user, local.Rules, &local.ChangedAt);
    TShownRules shown;
    const TRead* chosen = &local;
    TRead remote;
    if (store) {
        remote.Found = ReadProgramRules(store, user, remote.Rules, &remote.ChangedAt);
        // A store without the user's key never takes this computer's rules away; otherwise the
        // newer change counts, the store's on a tie, as the service decides.
        if (remote.Found != TStoredRules::NoKey &&
            (local.Found == TStoredRules::NoKey || remote.ChangedAt >= local.ChangedAt))
            chosen = &remote;
    }
    shown.Rules = chosen->Rules;
    // Where the rules are administered: the network store when one answers, else this computer.
    const TStoredRules administered = store ? remote.Found : local.Found;
    if (chosen->Found == TStoredRules::Damaged) {
        shown.Note = L"The rules of " + user +
                     L" could not be read whole: they are shown as read and cannot be changed "
                     L"here.";
    } else if (administered == TStoredRules::NoKey) {
        shown.Note = user + L" has no settings in the store yet: save the daily time limits "
                            L"first, then the rules.";
    } else {
        shown.Editable = true;
        if (storeAway)
            shown.Note = L"The network computer cannot be reached: this computer's copy of the "
                         L"rules is shown, and a change goes to the network computer later.";
    }
    return shown;
}

TRulesSaved SaveProgramRules(HKEY store, const std::wstring& user,
                             const std::vector<TProgramRule>& rules) {
    TRulesSaved saved;
    const ULONGLONG stamp = UtcStamp();
    saved.Local = WriteProgramRules(HKEY_LOCAL_MACHINE, user, rules, stamp);
    if (store)
        saved.Store = WriteProgramRules(store, user, rules, stamp);
    return saved;
}

std::wstring ProgramRuleText(const TProgramRule& rule) {
    if (rule.Blocked)
        return L"Not allowed";
    if (rule.SameEveryDay())
        return MinutesText(rule.Minutes[0]) + L" a day";
    std::wstring text;
    for (int first = 0; first < 7;) {
        int last = first;
        while (last + 1 < 7 && rule.Minutes[last + 1] == rule.Minutes[first])
            ++last;
        if (!text.empty())
            text += L", ";
        text += kDayNames[first];
        if (last > first)
            text += (last == first + 1 ? L"," : L"-") + std::wstring(kDayNames[last]);
        text += L" " + std::to_wstring(rule.Minutes[first]) + L" min";
        first = last + 1;
    }
    return text;
}

} // namespace vantrel
