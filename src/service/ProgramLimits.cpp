#include "service/ProgramLimits.h"

#include "model/Clock.h"
#include "model/QorUser.h"
#include "service/Sessions.h"
#include "win/SystemError.h"

#include <algorithm>
#include <climits>
#include <set>

namespace vantrel {

namespace {

std::wstring CodeText(LONG code) {
    std::wstring text = L"error " + std::to_wstring(code);
    const std::wstring system = SystemErrorText(static_cast<DWORD>(code));
    if (!system.empty())
        text += L": " + system;
    return text;
}

// The folder of this service's own program, with its final backslash, in lower case. Vantrel's
// programs live there (QORtray.exe runs in every user's session), and only administrators
// write it.
const std::wstring& OwnFolder() {
    static const std::wstring folder = [] {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring text(path, length < MAX_PATH ? length : 0);
        text.erase(text.find_last_of(L'\\') + 1);
        CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
        return text;
    }();
    return folder;
}

// A program of this product, beside the service: not the user's choice either.
bool PartOfVantrel(const std::wstring& path) {
    std::wstring lower = path;
    CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    if (lower.compare(0, 4, L"\\\\?\\") == 0)
        lower.erase(0, 4);
    const std::wstring& folder = OwnFolder();
    return !folder.empty() && lower.size() > folder.size() &&
           lower.compare(0, folder.size(), folder) == 0 &&
           lower.find(L'\\', folder.size()) == std::wstring::npos;
}

bool HasRules(TStoredRules kind) {
    return kind == TStoredRules::Whole || kind == TStoredRules::Damaged;
}

} // namespace

std::wstring ProgramWarningText(const std::wstring& name, int left) {
    return name + L" may be used for " + std::to_wstring(left) +
           (left == 1 ? L" more minute today." : L" more minutes today.");
}

std::wstring ProgramEndedText(const std::wstring& name, bool blocked) {
    return blocked ? name + L" is not allowed on this computer."
                   : name + L" was closed: its time for today is used up.";
}

bool TUserPrograms::See(const TRunningProgram& process) {
    const std::wstring& id = process.Program.Id;
    auto rule = FRules.find(id);
    const bool ruled = rule != FRules.end();
    // Windows' own programs and this product's are not the user's choice: listed only when a
    // rule names them.
    if (!ruled && (process.Program.PartOfWindows || PartOfVantrel(process.Program.Path)))
        return false;
    // Ended at once: a program kept from starting is not charged for trying.
    if (ruled && rule->second.Left <= 0)
        return true;
    // A program listed today, or known under "Other programs", is followed whatever else runs.
    if (ruled || FSeen.size() < kMostSeen || FSeen.count(id) || FHidden.count(id) ||
        ProgramMinutesOf(FToday, id) > 0)
        FSeen.emplace(id, process.Program.Name);
    else
        FSeenOther = true;
    return false;
}

void TUserPrograms::Hide(const std::wstring& id, int minutes) {
    auto known = FHidden.find(id);
    if (known != FHidden.end()) {
        known->second = minutes;
        return;
    }
    if (FHidden.size() >= kMostHidden) {
        // Full: the program with the fewest minutes there is forgotten (its minutes stay under
        // "Other programs"), unless it has as many as this one.
        auto fewest =
            std::min_element(FHidden.begin(), FHidden.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        if (fewest->second >= minutes)
            return;
        FHidden.erase(fewest);
    }
    FHidden.emplace(id, minutes);
}

bool TUserPrograms::NoTimeLeft(const std::wstring& id) const {
    auto rule = FRules.find(id);
    return rule != FRules.end() && rule->second.Left <= 0;
}

const std::wstring& TUserPrograms::NameOf(const TRuleState& state,
                                          const TRunningProgram& process) const {
    return state.Rule.Name.empty() ? process.Program.Name : state.Rule.Name;
}

std::wstring TUserPrograms::Ended(const TRunningProgram& process, ULONGLONG mono) {
    auto rule = FRules.find(process.Program.Id);
    if (rule == FRules.end())
        return std::wstring();
    TRuleState& state = rule->second;
    if (state.Told && mono - state.ToldAt < kTellAgainMs)
        return std::wstring();
    state.Told = true;
    state.ToldAt = mono;
    return ProgramEndedText(NameOf(state, process), state.Rule.Blocked);
}

bool TUserPrograms::EndFailed(const std::wstring& id) {
    auto rule = FRules.find(id);
    if (rule == FRules.end() || rule->second.EndFailed)
        return false;
    rule->second.EndFailed = true;
    return true;
}

void TUserPrograms::ForgetRules() {
    FRules.clear();
    FSeen.clear();
    FSeenOther = false;
    FRulesRead = false;
    FHereKnown = false;
    FOthers.clear();
}

void TUserPrograms::Adopt(const std::vector<TProgramRule>& rules) {
    // Warnings given and ends told stay with a rule that stays.
    std::map<std::wstring, TRuleState> adopted;
    for (const TProgramRule& rule : rules) {
        auto& state = adopted[rule.Id];
        auto before = FRules.find(rule.Id);
        if (before != FRules.end())
            state = before->second;
        state.Rule = rule;
    }
    FRules.swap(adopted);
    FRulesRead = true;
}

void TUserPrograms::ReadRules(const std::wstring& user, const TProgramStores& stores,
                              TServiceLog& log) {
    const bool here = !stores.Network || !stores.Store;
    if (here || stores.LookHere || !FHereKnown) {
        if (here && !stores.LookHere && FHereKnown && stores.Network)
            return; // the store is away and nothing was saved here: the rules last read stay
        std::vector<TProgramRule> rules;
        ULONGLONG at = 0;
        const TStoredRules kind = ReadProgramRules(HKEY_LOCAL_MACHINE, user, rules, &at);
        FHereKnown = true;
        FHere.swap(rules);
        FHereKind = kind;
        FHereAt = at;
    }
    if (here) {
        // This computer's registry is the store, or stands in for the network store that does
        // not answer; a user's key that cannot be read keeps the rules last read.
        if (FHereKind == TStoredRules::NoKey && FRulesRead)
            return;
        if (FHereKind == TStoredRules::Damaged && !FDamageLogged)
            log.Write(L"Cannot read the program rules of " + user +
                      L" whole; the parts missing give no time");
        FDamageLogged = FHereKind == TStoredRules::Damaged;
        Adopt(FHere);
        return;
    }

    std::vector<TProgramRule> stored;
    ULONGLONG storedAt = 0;
    const TStoredRules kind = ReadProgramRules(stores.Store, user, stored, &storedAt);
    if (stores.StoreLacking || kind == TStoredRules::NoKey) {
        // A store without the user's enforceable settings takes no rule away: this computer's
        // copy holds; rules the store alone has are enforced as well, but not copied.
        if (HasRules(FHereKind))
            Adopt(FHere);
        else if (HasRules(kind))
            Adopt(stored);
        else if (!FRulesRead)
            Adopt({});
        return;
    }
    if (kind == TStoredRules::Damaged && !FDamageLogged)
        log.Write(L"Cannot read the program rules of " + user + L" on " + stores.StoreName +
                  L" whole; the parts missing give no time");
    FDamageLogged = kind == TStoredRules::Damaged;
    if (FHereKind == TStoredRules::Whole && FHereAt > storedAt) {
        // Saved here while the store was away: the newer rules go there.
        const LONG rc = WriteProgramRules(stores.Store, user, FHere, FHereAt);
        if (rc == ERROR_SUCCESS)
            log.Write(L"The program rules of " + user +
                      L" saved on this computer while the user store could not be reached are "
                      L"written to the user store on " +
                      stores.StoreName);
        else if (!FRulesWriteFailed)
            log.Write(L"Cannot write the program rules of " + user + L" to the user store on " +
                      stores.StoreName + L" (" + CodeText(rc) + L"); enforcing them");
        FRulesWriteFailed = rc != ERROR_SUCCESS;
        Adopt(FHere);
        return;
    }
    Adopt(stored);
    // Only rules read whole, and newer than the copy's, replace it.
    if (kind == TStoredRules::Whole && (storedAt > FHereAt || FHereKind != TStoredRules::Whole)) {
        const LONG rc = WriteProgramRules(HKEY_LOCAL_MACHINE, user, stored, storedAt);
        if (rc == ERROR_SUCCESS) {
            FHere = stored;
            FHereKind = TStoredRules::Whole;
            FHereAt = storedAt;
        } else if (!FRulesWriteFailed) {
            log.Write(L"Cannot keep the program rules of " + user +
                      L" in this computer's copy of the user store (" + CodeText(rc) + L")");
        }
        FRulesWriteFailed = rc != ERROR_SUCCESS;
    }
}

void TUserPrograms::LoadToday(const std::wstring& user, const std::wstring& thisComputer,
                              const TProgramStores& stores, const SYSTEMTIME& now) {
    // This computer's list as this computer's registry and the store hold it: the larger
    // figure of each program, so that a store that lost some gets them back.
    // A line may have gone to "Other programs" in one of them and not yet in the other: the
    // lines keep the larger figure, and "Other programs" what is left of the larger day, so that
    // no minute is counted twice.
    FToday.clear();
    ReadProgramUsage(HKEY_LOCAL_MACHINE, user, thisComputer, now, FToday);
    TProgramList stored;
    if (stores.Network && stores.Store &&
        ReadProgramUsage(stores.Store, user, thisComputer, now, stored)) {
        const auto total = [](const TProgramList& list) {
            long long sum = 0;
            for (const TProgramMinutes& line : list)
                sum += line.Minutes;
            return sum;
        };
        const long long day = std::max(total(FToday), total(stored));
        TProgramList merged;
        for (const TProgramList* list : {&FToday, &stored}) {
            for (const TProgramMinutes& line : *list) {
                if (line.Id.empty())
                    continue;
                auto it =
                    std::find_if(merged.begin(), merged.end(),
                                 [&line](const TProgramMinutes& m) { return m.Id == line.Id; });
                if (it == merged.end())
                    merged.push_back(line);
                else
                    it->Minutes = std::max(it->Minutes, line.Minutes);
            }
        }
        // Both may list programs the other summed: the list keeps its bound.
        for (;;) {
            auto fewest = merged.end();
            size_t unruled = 0;
            for (auto it = merged.begin(); it != merged.end(); ++it) {
                if (FRules.count(it->Id))
                    continue;
                ++unruled;
                if (fewest == merged.end() || it->Minutes < fewest->Minutes)
                    fewest = it;
            }
            if (unruled <= kMostProgramsListed)
                break;
            merged.erase(fewest);
        }
        const long long named = total(merged);
        if (day > named)
            merged.push_back({std::wstring(), kOtherProgramsName,
                              static_cast<int>(std::min<long long>(day - named, INT_MAX))});
        FChanged = FChanged || merged.size() != FToday.size() || total(merged) != total(FToday);
        FToday.swap(merged);
    }
    FLoaded = true;
    FStoreBehind = stores.Network;
}

void TUserPrograms::ReadOthers(const std::wstring& user, const std::wstring& thisComputer,
                               const TProgramStores& stores, const SYSTEMTIME& now) {
    // Only the ruled programs' minutes matter here, and only a limit needs them.
    const bool limits = std::any_of(FRules.begin(), FRules.end(),
                                    [](const auto& rule) { return !rule.second.Rule.Blocked; });
    if (!limits) {
        FOthers.clear();
        return;
    }
    std::map<std::wstring, TProgramList> lists;
    // A store that does not answer leaves the minutes last read.
    if (!stores.Store || !ReadProgramUsagePerComputer(stores.Store, user, now, lists))
        return;
    FOthers.clear();
    for (const auto& [computer, list] : lists) {
        if (SameName(computer, thisComputer))
            continue;
        for (const TProgramMinutes& line : list) {
            if (FRules.count(line.Id))
                FOthers[line.Id] = SaturatedInt(static_cast<long long>(FOthers[line.Id]) +
                                                std::max(line.Minutes, 0));
        }
    }
}

void TUserPrograms::Minute(const std::wstring& user, const std::wstring& thisComputer,
                           const TProgramStores& stores, const SYSTEMTIME& now, int minutes,
                           TServiceLog& log) {
    const std::wstring date = ProgramDayText(now);
    if (date != FDate) {
        // A new day: every program starts at nothing, and every warning may come again.
        FDate = date;
        FToday.clear();
        FHidden.clear();
        FOthers.clear();
        FLoaded = false;
        for (auto& rule : FRules) {
            rule.second.Warned = 0;
            rule.second.EndFailed = false;
        }
    }
    FWeekday = WeekdayOf(now);
    ReadRules(user, stores, log);
    if (!FLoaded)
        LoadToday(user, thisComputer, stores, now);

    if (minutes > 0) {
        const TProgramRuled ruled = [this](const std::wstring& id) { return FRules.count(id) > 0; };
        // The programs listed first: one that runs on has more minutes than any new one before
        // a new one may take its line. A new one counts what it had under "Other programs".
        std::vector<std::pair<const std::wstring*, const std::wstring*>> order;
        for (const bool listed : {true, false}) {
            for (const auto& [id, name] : FSeen) {
                if ((ProgramMinutesOf(FToday, id) > 0) == listed)
                    order.emplace_back(&id, &name);
            }
        }
        for (const auto& [id, name] : order) {
            auto hidden = FHidden.find(*id);
            const int earlier = hidden == FHidden.end() ? 0 : hidden->second;
            TProgramMinutes given;
            if (AddProgramMinutes(FToday, *id, *name, minutes, ruled, earlier, &given)) {
                if (hidden != FHidden.end())
                    FHidden.erase(hidden);
            } else {
                Hide(*id, SaturatedInt(static_cast<long long>(earlier) + minutes));
            }
            if (!given.Id.empty())
                Hide(given.Id, given.Minutes);
            FChanged = true;
        }
        if (FSeenOther) {
            AddProgramMinutes(FToday, std::wstring(), kOtherProgramsName, minutes, nullptr);
            FChanged = true;
        }
        FSeen.clear();
        FSeenOther = false;
    }
    if (FChanged && stores.Network)
        FStoreBehind = true;
    if (FStoreBehind && stores.Network && stores.Store) {
        // Never under a key the store does not have for the user (as with the usage).
        const LONG rc = WriteProgramUsage(stores.Store, user, thisComputer, now, FToday, false);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && !FStoreWriteFailed)
            log.Write(L"Cannot write the programs used by " + user + L" to the user store on " +
                      stores.StoreName + L" (" + CodeText(rc) +
                      L"); keeping them on this computer");
        FStoreWriteFailed = rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND;
        FStoreBehind = rc != ERROR_SUCCESS;
    }
    if (FChanged) {
        // This computer's registry has them in every case: it is the store, or its copy.
        const LONG rc = WriteProgramUsage(HKEY_LOCAL_MACHINE, user, thisComputer, now, FToday);
        if (rc != ERROR_SUCCESS && !FWriteFailed)
            log.Write(L"Cannot write the programs used by " + user + L" (" + CodeText(rc) + L")");
        FWriteFailed = rc != ERROR_SUCCESS;
        FChanged = rc != ERROR_SUCCESS;
    }
    ReadOthers(user, thisComputer, stores, now);

    for (auto& [id, state] : FRules) {
        if (state.Rule.Blocked) {
            state.Left = 0;
            continue;
        }
        const long long used = static_cast<long long>(ProgramMinutesOf(FToday, id)) +
                               (FOthers.count(id) ? FOthers[id] : 0);
        state.Left = SaturatedInt(std::max(0LL, state.Rule.Limit(FWeekday) - used));
    }
}

std::vector<std::wstring> TUserPrograms::Warnings(const std::vector<TRunningProgram>& running,
                                                  long long userLeft) {
    std::vector<std::wstring> texts;
    std::set<std::wstring> warned;
    for (const TRunningProgram& process : running) {
        auto rule = FRules.find(process.Program.Id);
        if (rule == FRules.end() || !warned.insert(rule->first).second)
            continue;
        TRuleState& state = rule->second;
        bool due = false;
        for (int i = 0; i < 3; ++i) {
            const unsigned bit = 1u << i;
            if (state.Left > kWarnAt[i])
                state.Warned &= ~bit; // more time was given: this warning may come again
            else if (!(state.Warned & bit))
                due = true;
        }
        // A program with no time left is ended, and told so, rather than warned.
        if (!due || state.Left <= 0)
            continue;
        for (int i = 0; i < 3; ++i) {
            if (state.Left <= kWarnAt[i])
                state.Warned |= 1u << i;
        }
        if (state.Left < userLeft)
            texts.push_back(ProgramWarningText(NameOf(state, process), state.Left));
    }
    return texts;
}

std::vector<TProgramLeft> TUserPrograms::Left(const std::vector<TRunningProgram>& running,
                                              long long userLeft) const {
    std::vector<TProgramLeft> left;
    std::set<std::wstring> listed;
    for (const TRunningProgram& process : running) {
        auto rule = FRules.find(process.Program.Id);
        if (rule == FRules.end() || !listed.insert(rule->first).second)
            continue;
        const long long minutes = std::min<long long>(rule->second.Left, std::max(userLeft, 0LL));
        left.push_back({NameOf(rule->second, process), static_cast<int>(minutes)});
    }
    return left;
}

} // namespace vantrel
