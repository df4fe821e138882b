#include "service/MinuteLoop.h"

#include "model/Clock.h"
#include "model/CodeKey.h"
#include "model/Constants.h"
#include "model/TimeLeft.h"
#include "model/UserStore.h"
#include "model/WarningText.h"
#include "service/BlockRecord.h"
#include "service/FiguresRecord.h"
#include "service/UsageRecord.h"
#include "win/SystemError.h"

#include <algorithm>

namespace vantrel {

namespace {

std::wstring ErrorText(LONG code) {
    // Some calls fail without saying why (Wine's WTSSendMessageW).
    if (code == ERROR_SUCCESS)
        return L"no reason given";
    std::wstring text = L"error " + std::to_wstring(code);
    const std::wstring system = SystemErrorText(static_cast<DWORD>(code));
    if (!system.empty())
        text += L": " + system;
    return text;
}

std::wstring SessionText(const std::wstring& user, DWORD session) {
    return user + L" (session " + std::to_wstring(session);
}

} // namespace

TMinuteLoop::TMinuteLoop(TSessionHost& host, TServiceLog& log, std::wstring thisComputer,
                         ULONGLONG minuteMs)
    : FHost(host), FLog(log), FThisComputer(std::move(thisComputer)), FCopy(FThisComputer),
      FMeter(minuteMs) {
    WatchZone();
    const SYSTEMTIME utc = UtcNow();
    ULARGE_INTEGER units{};
    FILETIME file{};
    if (SystemTimeToFileTime(&utc, &file)) {
        units.LowPart = file.dwLowDateTime;
        units.HighPart = file.dwHighDateTime;
        FWarningSerial = static_cast<DWORD>(units.QuadPart / 10000000 - 11644473600ULL);
    }
}

void TMinuteLoop::ReadPreferences() {
    if (!LoadPrefs(FPrefs))
        CompletePrefs(FPrefs);
}

const TQorUser* TMinuteLoop::User(const std::wstring& name) const {
    auto it = FUsers.find(name);
    return it == FUsers.end() ? nullptr : it->second.User.get();
}

void TMinuteLoop::Tick(int minutes) {
    ReadPreferences();
    Run(std::max(minutes, 1));
}

void TMinuteLoop::Check() {
    ReadPreferences();
    Run(0);
}

void TMinuteLoop::SettingsChanged() {
    ++FPendingLook;
    FLog.Write(L"Settings and preferences read again");
    Check();
}

void TMinuteLoop::WatchZone() {
    const DYNAMIC_TIME_ZONE_INFORMATION system = SystemZone();
    DYNAMIC_TIME_ZONE_INFORMATION recorded{};
    const LONG read = ReadRecordedZone(recorded);
    if (read == ERROR_FILE_NOT_FOUND) {
        // Installed or started for the first time (or an administrator removed the record):
        // the computer's zone as it is now is the one days and hours are judged in. A record
        // that is there but cannot be read is never replaced by the zone a user may have set.
        const LONG rc = RecordZone(system);
        if (rc == ERROR_SUCCESS)
            FLog.Write(L"Days and allowed hours are judged in " + ZoneDescription(system) +
                       L", this computer's time zone");
        else if (!FZoneRecordFailed)
            FLog.Write(L"Cannot record the time zone of days and allowed hours (" + ErrorText(rc) +
                       L"); they follow this computer's time zone");
        FZoneRecordFailed = rc != ERROR_SUCCESS;
        FZoneDamageNoted = false;
        return;
    }
    if (read != ERROR_SUCCESS) {
        const bool known = RecordedZone(recorded); // the one last read well
        if (!FZoneDamageNoted)
            FLog.Write(L"The recorded time zone of days and allowed hours cannot be read (" +
                       ErrorText(read) + L"); they " +
                       (known ? L"stay those of " + ZoneDescription(recorded)
                              : L"follow this computer's time zone, " + ZoneDescription(system)) +
                       L", until an administrator records a zone in Vantrel's preferences");
        FZoneDamageNoted = true;
        if (!known)
            return;
    } else {
        FZoneDamageNoted = false;
    }
    if (SameZone(recorded, system)) {
        FZoneNoted = false;
        return;
    }
    if (FZoneNoted && SameZone(FNotedZone, system))
        return;
    // Any user may change the zone; only an administrator may take the new one (in the
    // program's preferences).
    FZoneNoted = true;
    FNotedZone = system;
    FLog.Write(L"This computer's time zone is now " + ZoneDescription(system) +
               L"; days and allowed hours stay those of " + ZoneDescription(recorded));
}

bool TMinuteLoop::OpenStore(TRegRoot& root) {
    const LONG rc = FConnect.Connect(FPrefs.RemoteRegistry, kStoreDeadlineMs, root);
    const bool reachable = rc == ERROR_SUCCESS;
    if (!reachable && !FStoreDown)
        FLog.Write(L"Cannot reach the user store on " + FPrefs.RemoteRegistry + L" (" +
                   (rc == ERROR_TIMEOUT
                        ? L"no answer within " + std::to_wstring(kStoreDeadlineMs / 1000) + L" s"
                        : ErrorText(rc)) +
                   L"); counting on this computer with the settings last read");
    else if (reachable && FStoreDown)
        FLog.Write(L"The user store on " + FPrefs.RemoteRegistry + L" answers again");
    // A change saved on this computer while the store was away goes there as it answers again,
    // and every ten minutes each user is looked at again, whatever told the service.
    if ((reachable && FStoreDown) || MonotonicMs() - FPendingLookAt >= kCopyEveryMs) {
        ++FPendingLook;
        FPendingLookAt = MonotonicMs();
    }
    FStoreDown = !reachable;
    // The copy of the users without a session is made as soon as the store answers again.
    if (!reachable)
        FCopied = false;
    return reachable;
}

void TMinuteLoop::Run(int minutes) {
    const ULONGLONG mono = MonotonicMs();
    const SYSTEMTIME now = LocalNow();
    const int weekday = WeekdayOf(now);
    const int day = DayOfYearOf(now);
    WatchZone();

    const std::vector<TSessionInfo> listed = FHost.Sessions();
    FMeter.Look(listed, mono, mono - static_cast<ULONGLONG>(minutes) * FMeter.MinuteMs());
    std::map<std::wstring, std::vector<TSessionInfo>, TNameLess> sessionsOf;
    for (const TSessionInfo& session : listed) {
        if (!session.Username.empty())
            sessionsOf[session.Username].push_back(session);
    }
    TRunningByUser running = WatchPrograms(listed, true);
    std::set<std::wstring, TNameLess> withSession;
    for (auto& [name, state] : FUsers) {
        // Whoever logs on again is read afresh: with the store away, from this computer's copy,
        // which the minutes without a session here kept up to date. The block stays.
        if (!sessionsOf.count(name)) {
            state.Read = false;
            state.FiguresReader.clear();
            state.FiguresSecured = false;
        }
    }
    const bool remote = FPrefs.UseRemoteRegistry;
    if (!remote)
        FStoreDown = false;
    const bool copyDue = remote && (!FCopied || mono - FCopiedAt >= kCopyEveryMs);
    if (sessionsOf.empty() && !copyDue)
        return;

    // One connection for the whole minute. While the network store cannot be reached, this
    // computer's registry, the program's local copy, stands in for it.
    TRegRoot root;
    const bool fromNetwork = remote && OpenStore(root);
    const HKEY store = root.Get();
    if (fromNetwork)
        SyncCodeKey(store);
    TCodeKey codeKey;
    FCodesPaired = ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, codeKey);

    for (const auto& [name, sessions] : sessionsOf) {
        withSession.insert(name);
        TUserState& state = FUsers[name];
        if (!state.User) {
            state.User = std::make_unique<TQorUser>();
            state.User->Username = name;
        }
        ReadUser(state, store, fromNetwork, weekday, day);
        ReadRequest(state, store);
        TQorUser& user = *state.User;
        // The minutes a session was really in use: not switched away from, its screen not
        // locked. Taken from an unmonitored user too, so that none are kept for later.
        const int used = minutes > 0 ? FMeter.Charge(name, minutes) : 0;
        if (!user.QorControl) {
            EndBlock(state);
            state.Programs.ForgetRules();
            state.ProgramsLeft.clear();
            Count(state, store, fromNetwork, weekday, day, 0);
            WriteFigures(state, now);
            continue;
        }
        Count(state, store, fromNetwork, weekday, day, used);
        const std::vector<TRunningProgram>& programs = running[name];
        CountPrograms(state, programs, store, fromNetwork, now, used);
        if (FPrefs.UseDebugLogging)
            FLog.Write(L"Minute of " + name + L": " + std::to_wstring(user.TodaysTimeUsage) +
                       L" used today (" + std::to_wstring(user.LocalTimeUsage(weekday)) +
                       L" here), " + std::to_wstring(user.TimeRemaining()) + L" left, allowed " +
                       std::to_wstring(user.TodaysAllowBegin) + L"-" +
                       std::to_wstring(user.TodaysAllowEnd) + L" h");
        Enforce(state, sessions, now, mono);
        EnforcePrograms(state, programs, sessions, now, mono);
        WriteFigures(state, now);
    }
    if (fromNetwork && copyDue) {
        CopyUsersWithoutSession(store, withSession, weekday, day);
        FCopied = true;
        FCopiedAt = mono;
    }
}

int TMinuteLoop::YearOfDay(int day) {
    // Asked of the clock once a day: a minute begun on 31 December may still be at work on
    // 1 January.
    if (day != FYearDay) {
        const SYSTEMTIME now = LocalNow();
        FYear = day > DayOfYearOf(now) ? now.wYear - 1 : now.wYear;
        FYearDay = day;
    }
    return FYear;
}

void TMinuteLoop::Count(TUserState& state, HKEY root, bool fromNetwork, int weekday, int day,
                        int minutes) {
    TQorUser& user = *state.User;
    const std::wstring& name = user.Username;
    // This computer's minutes of today: the larger of its own count and the store's, so a store
    // that lost or lowered the entry gets the larger count back.
    int mine = user.LocalDayOfYear(weekday) == day ? user.LocalTimeUsage(weekday) : 0;
    if (state.StoredDay == day)
        mine = std::max(mine, state.Stored);
    if (minutes > 0) {
        mine = SaturatedInt(static_cast<long long>(mine) + minutes);
        if (fromNetwork) {
            // A store without the user's key gets none from the usage (ReadUser logged it); the
            // minutes go there once the settings are saved there.
            const LONG rc =
                WriteComputerUsage(root, name, FThisComputer, weekday, day, mine, false);
            // A store that can be read but not written (an account with read-only access):
            // this computer's registry has the minutes, and they go back once it takes writes.
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && !state.RemoteWriteFailed)
                FLog.Write(L"Cannot write the usage of " + name + L" to the user store on " +
                           FPrefs.RemoteRegistry + L" (" + ErrorText(rc) +
                           L"); counting on this computer");
            state.RemoteWriteFailed = rc != ERROR_SUCCESS;
        }
        // This computer's registry has them in every case: it is the store, or its copy.
        const LONG rc =
            WriteComputerUsage(HKEY_LOCAL_MACHINE, name, FThisComputer, weekday, day, mine);
        if (rc != ERROR_SUCCESS && !state.WriteFailed)
            FLog.Write(L"Cannot write the usage of " + name + L" (" + ErrorText(rc) + L")");
        state.WriteFailed = rc != ERROR_SUCCESS;
    }
    long long others = 0;
    if (state.OthersDay == day) {
        for (const auto& entry : state.Others)
            others = SaturatedInt(others + entry.second);
    }
    user.LocalTimeUsage(weekday) = mine;
    user.LocalDayOfYear(weekday) = day;
    user.TotalTimeUsage(weekday) = SaturatedInt(others + mine);
    user.DeriveTodaysFigures(weekday, day, YearOfDay(day));
}

void TMinuteLoop::Show(const std::wstring& user, const std::vector<DWORD>& sessions,
                       const std::wstring& what, const std::wstring& text) {
    for (DWORD session : sessions) {
        std::wstring line = what + L" to " + SessionText(user, session) + L"): " + text;
        if (!FHost.ShowMessage(session, text))
            line += L" [could not be shown, " + ErrorText(static_cast<LONG>(GetLastError())) + L"]";
        FLog.Write(line);
    }
}

std::vector<TUnfinishedLogoff> TMinuteLoop::UnfinishedLogoffs() const {
    std::vector<TUnfinishedLogoff> logoffs;
    for (const auto& [name, state] : FUsers) {
        // Read: the user had a session at the last minute.
        if (state.Read && state.User && state.Block.On && state.Block.Unfinished > 0)
            logoffs.push_back({state.User->Username, state.Block.Unfinished == 2});
    }
    return logoffs;
}

void TMinuteLoop::EndBlock(TUserState& state) {
    state.Block = TBlock{};
    if (state.BlockRecorded) {
        const LONG rc = EndRecordedBlock(state.User->Username);
        if (rc != ERROR_SUCCESS)
            FLog.Write(L"Cannot remove the record of the block of " + state.User->Username + L" (" +
                       ErrorText(rc) + L")");
        state.BlockRecorded = rc != ERROR_SUCCESS;
    }
}

void TMinuteLoop::LogOff(TUserState& state, const std::vector<TSessionInfo>& sessions) {
    // After the grace, every session of the user goes, at every minute until none is left: one
    // switched away from, one logged on since, one whose log-off failed before.
    TBlock& block = state.Block;
    const std::wstring& name = state.User->Username;
    block.LogoffBegun = true;
    for (const TSessionInfo& session : sessions) {
        if (FHost.Logoff(session.Id)) {
            if (block.LoggedOff.insert(session.Id).second)
                FLog.Write(L"Logged off " + SessionText(name, session.Id) + L")");
            else // logged off before, and still listed
                block.Unfinished = std::max(block.Unfinished, 1);
            continue;
        }
        const LONG error = static_cast<LONG>(GetLastError());
        block.Unfinished = 2;
        if (block.FailureLogged.insert(session.Id).second)
            FLog.Write(L"Could not log off " + SessionText(name, session.Id) + L", " +
                       ErrorText(error) + L"); trying again every minute");
    }
}

void TMinuteLoop::Look() {
    const ULONGLONG mono = MonotonicMs();
    const std::vector<TSessionInfo> listed = FHost.Sessions();
    FMeter.Look(listed, mono, mono);
    for (const TSessionInfo& session : listed) {
        if (!session.Username.empty() && !FUsers.count(session.Username))
            FirstSeen(session.Username);
    }
    // A program with no time left is ended within a look of starting, one with little left is
    // warned of at once; what runs is charged at the next minute.
    for (auto& [user, programs] : WatchPrograms(listed, false)) {
        auto it = FUsers.find(user);
        if (it == FUsers.end() || !it->second.User)
            continue;
        std::vector<TRunningProgram> running;
        for (const TRunningProgram& process : programs) {
            if (it->second.Programs.See(process))
                EndProgram(it->second, process, listed, mono);
            else
                running.push_back(process);
        }
        if (running.empty())
            continue;
        std::vector<TSessionInfo> sessions;
        for (const TSessionInfo& session : listed) {
            if (SameName(session.Username, user))
                sessions.push_back(session);
        }
        WarnPrograms(it->second, running, sessions, LocalNow());
    }
    if (FPrefs.DoNotForceLogoff)
        return;
    // The minute that showed the message came a little late or the next one comes a little
    // early: the grace ends here, not at the minute after.
    for (auto& [name, state] : FUsers) {
        const TBlock& block = state.Block;
        if (!block.On || block.LogoffBegun || block.Continued || !state.User ||
            !state.User->QorControl || mono - block.MessageAt < kLogoffMs)
            continue;
        std::vector<TSessionInfo> sessions;
        for (const TSessionInfo& session : listed) {
            if (SameName(session.Username, name))
                sessions.push_back(session);
        }
        if (!sessions.empty())
            LogOff(state, sessions);
    }
}

void TMinuteLoop::Enforce(TUserState& state, const std::vector<TSessionInfo>& sessions,
                          const SYSTEMTIME& now, ULONGLONG mono) {
    const TQorUser& user = *state.User;
    const int day = DayOfYearOf(now);
    const int date = BlockDate(now, day);
    const bool allowed = AllowedAt(user, now.wHour);
    const int remaining = user.TimeRemaining();
    const bool blocked = !allowed || remaining <= 0;
    if (state.WarnDay != day) {
        state.Warned = 0;
        state.WarnDay = day;
    }
    TBlock& block = state.Block;
    if (!state.BlockChecked) {
        // A block that an earlier process began today goes on without a new grace: restarting
        // Windows, which any user may do, must not buy another minute or two.
        state.BlockChecked = true;
        int recorded = 0;
        state.BlockRecorded = RecordedBlock(user.Username, recorded);
        if (state.BlockRecorded && recorded == date && blocked && !block.On) {
            block.On = block.Continued = true;
            block.Day = day;
            block.MessageAt = block.ShownAt = mono;
            FLog.Write(L"The block of " + user.Username +
                       L" that began before the service started goes on");
        }
    }
    // A block ends only when the user may use the computer again: more time, the allowed
    // hours, or a new day, which is judged afresh.
    if ((block.On && block.Day != day) || (!blocked && (block.On || state.BlockRecorded)))
        EndBlock(state);

    if (blocked) {
        const bool first = !block.On;
        if (first) {
            block.On = true;
            block.Day = day;
            block.MessageAt = block.ShownAt = mono;
            const LONG rc = RecordBlock(user.Username, date);
            if (rc != ERROR_SUCCESS)
                FLog.Write(L"Cannot record the block of " + user.Username + L" (" + ErrorText(rc) +
                           L"); a restart of the service would give a new grace");
            state.BlockRecorded = true; // whatever was there is to be removed with the block
        }
        // Sessions that ended are forgotten; a session id the system gives out again is told.
        auto listed = [&sessions](DWORD id) {
            return std::any_of(sessions.begin(), sessions.end(),
                               [id](const TSessionInfo& s) { return s.Id == id; });
        };
        for (std::set<DWORD>* marks : {&block.Told, &block.LoggedOff, &block.FailureLogged}) {
            for (auto it = marks->begin(); it != marks->end();)
                it = listed(*it) ? std::next(it) : marks->erase(it);
        }
        const bool repeat = !first && mono - block.ShownAt >= kRepeatMs;
        if (repeat)
            block.ShownAt = mono;
        // Only a session someone works in can show a message.
        std::vector<DWORD> tell;
        for (const TSessionInfo& session : sessions) {
            if (session.Active && (repeat || !block.Told.count(session.Id)))
                tell.push_back(session.Id);
        }
        Show(user.Username, tell, allowed ? L"Time limit reached" : L"Not allowed now",
             allowed ? FPrefs.MsgReachedLimitText : FPrefs.MsgNotAllowedText);
        block.Told.insert(tell.begin(), tell.end());
        block.Unfinished = 0;
        if (first || FPrefs.DoNotForceLogoff ||
            (!block.Continued && mono - block.MessageAt < kLogoffMs))
            return;
        LogOff(state, sessions);
        return;
    }

    const long long left = MinutesToEnd(user, now);
    bool due = false;
    for (int i = 0; i < 3; ++i) {
        const unsigned bit = 1u << i;
        if (left > kWarnAt[i])
            state.Warned &= ~bit; // more time was given: this warning may come again
        else if (!(state.Warned & bit))
            due = true;
    }
    if (!due)
        return;
    for (int i = 0; i < 3; ++i) {
        if (left <= kWarnAt[i])
            state.Warned |= 1u << i;
    }
    std::vector<DWORD> active;
    for (const TSessionInfo& session : sessions) {
        if (session.Active)
            active.push_back(session.Id);
    }
    const std::wstring text = ExpandWarningText(FPrefs.MsgWarningText, static_cast<int>(left));
    Show(user.Username, active, L"Warning", text);
    if (!active.empty()) {
        state.Warning = text;
        state.WarningSerial = ++FWarningSerial;
    }
}

void TMinuteLoop::WriteFigures(TUserState& state, const SYSTEMTIME& now) {
    const std::wstring& name = state.User->Username;
    if (state.FiguresReader.empty()) {
        DWORD error = ERROR_SUCCESS;
        state.FiguresReader = FiguresReader(name, error);
        if (error != ERROR_SUCCESS)
            FLog.Write(L"Cannot look up the account " + name + L" (" +
                       ErrorText(static_cast<LONG>(error)) +
                       L"); every user of this computer may read its figures");
    }
    TUserFigures figures = FiguresOf(*state.User, now, FPrefs);
    const SYSTEMTIME utc = UtcNow();
    SystemTimeToFileTime(&utc, &figures.Written);
    figures.Warning = state.Warning;
    figures.WarningSerial = state.WarningSerial;
    FillRequestFigures(state, figures, now);
    figures.Programs = state.ProgramsLeft;
    // The figures only tell; a failure to write them changes nothing of the counting.
    const bool known = state.FiguresSecured && !state.FiguresFailed &&
                       (state.FiguresWritten.Written.dwLowDateTime != 0 ||
                        state.FiguresWritten.Written.dwHighDateTime != 0);
    const LONG rc = WriteFiguresRecord(name, state.FiguresReader, !state.FiguresSecured, figures,
                                       known ? &state.FiguresWritten : nullptr);
    if (rc != ERROR_SUCCESS && !state.FiguresFailed)
        FLog.Write(L"Cannot write the figures of " + name + L" for the user to read (" +
                   ErrorText(rc) + L")");
    state.FiguresFailed = rc != ERROR_SUCCESS;
    state.FiguresSecured = state.FiguresSecured || rc == ERROR_SUCCESS;
    state.FiguresWritten = rc == ERROR_SUCCESS ? figures : TUserFigures{};
}

} // namespace vantrel
