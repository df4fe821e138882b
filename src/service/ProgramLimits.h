#pragma once
// What the service keeps of one user's programs between its minutes: the programs seen running
// in the user's sessions since the last minute, this computer's list of today
// (model/ProgramUsage.h), the rules in force (model/ProgramRules.h) with the minutes each leaves,
// the other computers' minutes of the ruled programs, and the warnings given. The minute loop
// hands it what every look sees and the minutes every minute charges; it answers which processes
// are to end and what the user is told. It shows, ends and logs nothing itself, apart from the
// failures of its own reading and writing.
#include "model/ProgramRules.h"
#include "model/ProgramUsage.h"
#include "model/UserFigures.h"
#include "service/ProgramWatch.h"
#include "service/ServiceLog.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace vantrel {

// "<name> may be used for <n> more minutes today." ("1 more minute").
std::wstring ProgramWarningText(const std::wstring& name, int left);
// What the user is told when a program of theirs was ended.
std::wstring ProgramEndedText(const std::wstring& name, bool blocked);

// Where a minute reads and writes the user's programs.
struct TProgramStores {
    // The store the computer uses (a network computer's registry, or this computer's); null
    // while the network store does not answer.
    HKEY Store = nullptr;
    bool Network = false;
    // For messages: the network computer's name.
    std::wstring StoreName;
    // The network store lacks the user's settings, or part of them: it takes no rules away.
    bool StoreLacking = false;
    // This computer's copy of the rules may have changed since it was last read (a save here).
    bool LookHere = false;
};

class TUserPrograms {
public:
    // Programs kept from one minute to the next besides the ruled ones and those listed today
    // or known under "Other programs"; the minutes of any further program seen go to "Other
    // programs".
    static constexpr size_t kMostSeen = 256;
    // Programs whose minutes of today under "Other programs" are known, so that one that runs
    // long gets its line with them (the ones with the most minutes are kept).
    static constexpr size_t kMostHidden = 256;
    // An ended program's message is shown again only after this long (a game that restarts
    // itself would fill the screen with them).
    static constexpr ULONGLONG kTellAgainMs = 60000;
    // Warnings fall at these minutes left of a program, each once as the minutes run down.
    static constexpr int kWarnAt[3] = {10, 5, 1};

    // A process of the user that a look found: its program is charged at the next minute. True
    // when its rule leaves it no time, so that it is to be ended now (and is not charged).
    bool See(const TRunningProgram& process);
    // Whether the program's rule leaves it no time (as the last minute worked out).
    bool NoTimeLeft(const std::wstring& id) const;
    // A process of the program was ended: the text to show the user, or empty when the
    // program's end was told less than kTellAgainMs ago. `mono`: the monotonic clock.
    std::wstring Ended(const TRunningProgram& process, ULONGLONG mono);
    // A process could not be ended: true the first time today for the program (to be logged).
    bool EndFailed(const std::wstring& id);

    // The minute: reads the rules (keeping this computer's copy in step with a network store),
    // charges `minutes` to every program seen since the last minute, writes this computer's list
    // of today and reads the other computers' minutes of the ruled programs. `now` is the local
    // time days are judged in. With `minutes` 0 nothing is charged and the programs seen stay.
    void Minute(const std::wstring& user, const std::wstring& thisComputer,
                const TProgramStores& stores, const SYSTEMTIME& now, int minutes, TServiceLog& log);
    // The warnings due for the ruled programs among those running, as their minutes run down;
    // none for a program whose time ends no sooner than the user's (`userLeft`), whose own
    // warning tells.
    std::vector<std::wstring> Warnings(const std::vector<TRunningProgram>& running,
                                       long long userLeft);
    // The ruled programs among those running and the minutes they have left, at most the
    // user's.
    std::vector<TProgramLeft> Left(const std::vector<TRunningProgram>& running,
                                   long long userLeft) const;
    // The user is not monitored: no rule holds, and nothing seen is charged.
    void ForgetRules();

    const TProgramList& Today() const { return FToday; }
    size_t SeenCount() const { return FSeen.size(); }
    size_t RuleCount() const { return FRules.size(); }

private:
    struct TRuleState {
        TProgramRule Rule;
        // Minutes left today as the last minute worked them out.
        int Left = 0;
        // Warnings given (bit i for the i-th of the service's warning minutes).
        unsigned Warned = 0;
        bool Told = false;
        ULONGLONG ToldAt = 0;
        bool EndFailed = false;
    };

    void ReadRules(const std::wstring& user, const TProgramStores& stores, TServiceLog& log);
    void Adopt(const std::vector<TProgramRule>& rules);
    void LoadToday(const std::wstring& user, const std::wstring& thisComputer,
                   const TProgramStores& stores, const SYSTEMTIME& now);
    void ReadOthers(const std::wstring& user, const std::wstring& thisComputer,
                    const TProgramStores& stores, const SYSTEMTIME& now);
    const std::wstring& NameOf(const TRuleState& state, const TRunningProgram& process) const;
    void Hide(const std::wstring& id, int minutes);

    std::map<std::wstring, TRuleState> FRules; // by identity
    bool FRulesRead = false;
    // This computer's copy of the rules as last read or written.
    std::vector<TProgramRule> FHere;
    TStoredRules FHereKind = TStoredRules::NoKey;
    ULONGLONG FHereAt = 0;
    bool FHereKnown = false;
    bool FDamageLogged = false;
    bool FRulesWriteFailed = false;

    // Seen since the last minute, by identity; FSeenOther when more were seen than are kept.
    std::map<std::wstring, std::wstring> FSeen;
    bool FSeenOther = false;
    // Today's minutes under "Other programs" of programs without a line, by identity.
    std::map<std::wstring, int> FHidden;

    // Today's list of this computer, of FDate ("YYYY-MM-DD"); FChanged until written here,
    // FStoreBehind until written to the network store.
    std::wstring FDate;
    int FWeekday = 0;
    TProgramList FToday;
    bool FLoaded = false;
    bool FChanged = false;
    bool FStoreBehind = false;
    bool FWriteFailed = false;
    bool FStoreWriteFailed = false;
    // The ruled programs' minutes on the other computers, of FDate.
    std::map<std::wstring, int> FOthers;
};

} // namespace vantrel
