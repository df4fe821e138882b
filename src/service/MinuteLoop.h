#pragma once
// The service's work: once a minute, count the minutes that passed for every monitored user with
// an active session on this computer, then warn, tell and log off as the user's settings and the
// preferences say. It is written against the user it limits: a block belongs to the user and the
// day and outlives any session, a network store that goes away leaves its last reading here, and
// days and hours are those of the time zone recorded for them (model/Clock.h).
#include "model/AskMessage.h"
#include "model/Prefs.h"
#include "model/QorUser.h"
#include "model/Registry.h"
#include "model/ServiceNews.h"
#include "model/TimeRequest.h"
#include "model/UserStore.h"
#include "model/UserFigures.h"
#include "service/LocalCopy.h"
#include "service/ProgramLimits.h"
#include "service/ProgramWatch.h"
#include "service/ServiceLog.h"
#include "service/Sessions.h"
#include "service/UseMeter.h"

#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vantrel {

class TMinuteLoop {
public:
    // Warnings fall at these minutes left, each once as the minutes run down.
    static constexpr int kWarnAt[3] = {10, 5, 1};
    // The log-offs begin this long after the first message; while a session stays (log-offs
    // are not forced, or fail), the message repeats after kRepeatMs.
    static constexpr ULONGLONG kLogoffMs = 60000;
    static constexpr ULONGLONG kRepeatMs = 600000;
    // How long a minute waits for the network store's registry before it counts on this
    // computer with the settings last read.
    static constexpr DWORD kStoreDeadlineMs = 3000;
    // How often this computer's copy of the users without a session here is brought up to date.
    static constexpr ULONGLONG kCopyEveryMs = 600000;

    // Records the computer's time zone for days and hours when none is recorded yet. A minute
    // of use is `minuteMs` of the monotonic clock (shorter in demonstrations).
    TMinuteLoop(TSessionHost& host, TServiceLog& log, std::wstring thisComputer,
                ULONGLONG minuteMs = 60000);
    TMinuteLoop(const TMinuteLoop&) = delete;
    TMinuteLoop& operator=(const TMinuteLoop&) = delete;

    // Reads the preferences again; empty message texts get their defaults.
    void ReadPreferences();
    // The minutes that passed since the last tick (at least 1; the caller caps them): reads the
    // preferences and every logged-on user's settings and usage, charges each user the minutes
    // the sessions were in use (service/UseMeter.h), then enforces.
    void Tick(int minutes = 1);
    // A look at the sessions between minutes: at times drawn by chance and whenever the system
    // reports a change of a session. It reads no store and writes nothing a user can read; a
    // user whose grace ran out since the last minute is logged off now, not a minute later.
    // It also looks at the programs running in the monitored users' sessions: each is charged
    // at the next minute, and one whose rule leaves it no time is ended at once.
    void Look();
    // Reads everything again and enforces at once, without counting a minute (at start).
    void Check();
    // The administration program saved a change: logs it, then Check.
    void SettingsChanged();
    // A message of the way in for requests (service/AskServer.h) from the user the system
    // named: asks, withdraws or enters a code (service/Requests.cpp), writes the request to the
    // store the computer uses and the user's figures at once. Only a user with a session and a
    // limit here may ask.
    TAskAnswer HandleAsk(const std::wstring& user, const TAskMessage& message);

    const TQorPrefs& Prefs() const { return FPrefs; }
    // A user's record as last read and counted; null for a user never seen in a session.
    const TQorUser* User(const std::wstring& name) const;
    bool StoreUnreachable() const { return FStoreDown; }
    // The users told to stop whose sessions were still there after the grace at their last
    // minute with a session: a log-off Windows refused, or one asked for that has not ended.
    std::vector<TUnfinishedLogoff> UnfinishedLogoffs() const;

private:
    // A user told to stop, for the day the block began.
    struct TBlock {
        bool On = false;
        int Day = 0;
        // Began in an earlier process of the service: its message was shown, its grace is over.
        bool Continued = false;
        // Monotonic times of the first message (the log-offs wait for it) and of the last.
        ULONGLONG MessageAt = 0;
        // The sessions have been logged off at least once since the grace ran out.
        bool LogoffBegun = false;
        ULONGLONG ShownAt = 0;
        // Listed sessions that were told, were logged off, or whose failed log-off was logged.
        std::set<DWORD> Told;
        std::set<DWORD> LoggedOff;
        std::set<DWORD> FailureLogged;
        // After the grace: 0 no session stays, 1 one logged off before is still listed, 2 a
        // log-off failed.
        int Unfinished = 0;
    };
    struct TUserState {
        std::unique_ptr<TQorUser> User;
        // Read since the user's sessions were seen again; while the network store cannot be
        // reached, the settings last read stay.
        bool Read = false;
        bool ReadFailed = false;
        // The record holds settings once read whole (from the store or this computer's copy),
        // which a key read in part later does not replace.
        bool Whole = false;
        // The network store lacks the user's settings, or part of them (logged once).
        bool StoreLacking = false;
        // The value of FPendingLook when a change pending on this computer was last looked for.
        unsigned PendingLooked = 0;
        // Minutes of the other computers on OthersDay, and this computer's as the store holds
        // them on StoredDay, as last read.
        std::map<std::wstring, int, TNameLess> Others;
        int OthersDay = 0;
        int Stored = 0;
        int StoredDay = 0;
        // The day this computer's registry was last asked for minutes counted without the store.
        int LocalCheckedDay = 0;
        // Warnings given (bit i for kWarnAt[i]) on WarnDay.
        unsigned Warned = 0;
        int WarnDay = 0;
        TBlock Block;
        // The record of a block begun today (service/BlockRecord.h) was looked at when the user
        // was first seen; Recorded while one may be there.
        bool BlockChecked = false;
        bool BlockRecorded = false;
        bool WriteFailed = false;
        // The last write to the network store failed while it could be reached.
        bool RemoteWriteFailed = false;
        // Who may read the user's figures, looked up again at every logon (the account may
        // have been made anew), and whether the key has had its access list since.
        std::wstring FiguresReader;
        bool FiguresSecured = false;
        // What the user's key holds from the last writing, while Written is set.
        TUserFigures FiguresWritten;
        bool FiguresFailed = false;
        // The last warning shown, and its number.
        std::wstring Warning;
        DWORD WarningSerial = 0;
        // The user's request and rules as last read; Known once read.
        TTimeRequest Request;
        TRequestRules Rules;
        bool RequestKnown = false;
        // The user's programs (service/ProgramLimits.h); the value of FPendingLook when this
        // computer's copy of the rules was last read; the ruled programs running at the count.
        TUserPrograms Programs;
        unsigned ProgramsLooked = 0;
        std::vector<TProgramLeft> ProgramsLeft;
    };
    using TRunningByUser = std::map<std::wstring, std::vector<TRunningProgram>, TNameLess>;

    void Run(int minutes);
    bool OpenStore(TRegRoot& root);
    void WatchZone();
    void ReadUser(TUserState& state, HKEY root, bool fromNetwork, int weekday, int day);
    void NotePending(const std::wstring& name, TPendingResult result);
    // The year of a day of the year of the minute under way.
    int YearOfDay(int day);
    void Count(TUserState& state, HKEY root, bool fromNetwork, int weekday, int day, int minutes);
    void KeepCopy(const TQorUser& user, const std::map<std::wstring, int>& computers, int weekday,
                  int day);
    void CopyUsersWithoutSession(HKEY root, const std::set<std::wstring, TNameLess>& withSession,
                                 int weekday, int day);
    void Enforce(TUserState& state, const std::vector<TSessionInfo>& sessions,
                 const SYSTEMTIME& now, ULONGLONG mono);
    void EndBlock(TUserState& state);
    void LogOff(TUserState& state, const std::vector<TSessionInfo>& sessions);
    void WriteFigures(TUserState& state, const SYSTEMTIME& now);
    // The request of a user with a session, read with the settings; an answer Vantrel gave is
    // logged once.
    void ReadRequest(TUserState& state, HKEY root);
    // `store`: the network store's root while it answers, else null.
    TAskAnswer EnterCode(TUserState& state, TTimeRequest& request, const std::string& code,
                         const FILETIME& utc, const SYSTEMTIME& now, HKEY store, bool& granted,
                         std::wstring& line);
    bool GiveBonus(TUserState& state, int minutes, const SYSTEMTIME& now);
    // The paired phone's key of the network store, copied to this computer's service key when
    // it is newer; one copied from there goes when the store has none.
    void SyncCodeKey(HKEY store);
    void FillRequestFigures(const TUserState& state, TUserFigures& figures,
                            const SYSTEMTIME& now) const;
    void Show(const std::wstring& user, const std::vector<DWORD>& sessions,
              const std::wstring& what, const std::wstring& text);
    // A user first seen at a look (the first logon since the service started) is read from this
    // computer's registry until the first minute reads the store: a program that is not
    // allowed is ended at once, not a minute later.
    void FirstSeen(const std::wstring& name);
    // The programs in the sessions of the users who are, or at the minute may be, monitored.
    TRunningByUser WatchPrograms(const std::vector<TSessionInfo>& listed, bool atMinute);
    // The minute's part of the user's programs: charge, write, read the rules and the other
    // computers' minutes (service/ProgramLimits.h). `store` as Count has it.
    void CountPrograms(TUserState& state, const std::vector<TRunningProgram>& running, HKEY store,
                       bool fromNetwork, const SYSTEMTIME& now, int used);
    // After Enforce: warns of the programs whose time runs out, ends those with none left.
    void EnforcePrograms(TUserState& state, const std::vector<TRunningProgram>& running,
                         const std::vector<TSessionInfo>& sessions, const SYSTEMTIME& now,
                         ULONGLONG mono);
    void EndProgram(TUserState& state, const TRunningProgram& process,
                    const std::vector<TSessionInfo>& sessions, ULONGLONG mono);
    // Warns of the running programs whose time runs out, at the minute and as soon as a look
    // first sees one started with little time left. The user's own time left.
    long long WarnPrograms(TUserState& state, const std::vector<TRunningProgram>& running,
                           const std::vector<TSessionInfo>& sessions, const SYSTEMTIME& now);

    TSessionHost& FHost;
    TServiceLog& FLog;
    std::wstring FThisComputer;
    TQorPrefs FPrefs;
    std::map<std::wstring, TUserState, TNameLess> FUsers;
    TTimedConnect FConnect;
    TLocalCopy FCopy;
    TUseMeter FMeter;
    TProgramWatch FWatch;
    bool FStoreDown = false;
    // The last look at the running programs failed (logged once until one succeeds).
    bool FWatchFailed = false;
    bool FCopyFailed = false;
    // A phone is paired (this computer's service key holds a whole key); its copy failed.
    bool FCodesPaired = false;
    bool FCodeCopyFailed = false;
    // Raised whenever a change saved on this computer may be pending for the store (at start,
    // at a save, when the store answers again, and every ten minutes), and when that was.
    unsigned FPendingLook = 1;
    ULONGLONG FPendingLookAt = 0;
    // The day of the year whose year was last asked, and that year.
    int FYearDay = 0;
    int FYear = 0;
    // When this computer's copy of the users without a session was last brought up to date.
    bool FCopied = false;
    ULONGLONG FCopiedAt = 0;
    // The computer's zone last logged as differing from the recorded one.
    bool FZoneNoted = false;
    DYNAMIC_TIME_ZONE_INFORMATION FNotedZone{};
    bool FZoneRecordFailed = false;
    // The record that cannot be read was logged.
    bool FZoneDamageNoted = false;
    // The number of the last warning shown to anyone. It starts from the time the service
    // started, in seconds, so that a warning after a restart never repeats the number of one
    // a reader saw before.
    DWORD FWarningSerial = 0;
};

} // namespace vantrel
