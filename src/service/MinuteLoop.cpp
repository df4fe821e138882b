#include "service/MinuteLoop.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "model/Registry.h"
#include "model/UserStore.h"
#include "model/WarningText.h"
#include "service/UsageRecord.h"
#include "win/SystemError.h"

#include <algorithm>

namespace vantrel {

namespace {

// Seconds since 1601 of a local time; a time the system cannot convert counts as 0.
long long SecondsOf(const SYSTEMTIME& t) {
    FILETIME file{};
    if (!SystemTimeToFileTime(&t, &file))
        return 0;
    ULARGE_INTEGER value;
    value.LowPart = file.dwLowDateTime;
    value.HighPart = file.dwHighDateTime;
    return static_cast<long long>(value.QuadPart / 10000000ULL);
}

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

} // namespace

TMinuteLoop::TMinuteLoop(TSessionHost& host, TServiceLog& log, std::wstring thisComputer)
    : FHost(host), FLog(log), FThisComputer(std::move(thisComputer)) {}

void TMinuteLoop::ReadPreferences() {
    LoadPrefs(FPrefs);
    if (FPrefs.UseRemoteRegistry && FPrefs.RemoteRegistry.empty())
        FPrefs.UseRemoteRegistry = false;
    if (FPrefs.MsgNotAllowedText.empty())
        FPrefs.MsgNotAllowedText = kDefaultNotAllowedText;
    if (FPrefs.MsgWarningText.empty())
        FPrefs.MsgWarningText = kDefaultWarningText;
    if (FPrefs.MsgReachedLimitText.empty())
        FPrefs.MsgReachedLimitText = kDefaultReachedLimitText;
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
    FLog.Write(L"Settings and preferences read again");
    Check();
}

void TMinuteLoop::Run(int minutes) {
    const SYSTEMTIME now = LocalNow();
    const int weekday = WeekdayOf(now);
    const int day = DayOfYearOf(now);
    const long long seconds = SecondsOf(now);

    std::map<std::wstring, std::vector<DWORD>> sessionsOf;
    for (const TSessionInfo& session : FHost.Sessions()) {
        if (!session.Username.empty())
            sessionsOf[session.Username].push_back(session.Id);
    }
    // Whoever has no session now starts afresh when they log on again.
    for (auto& [name, state] : FUsers) {
        if (!sessionsOf.count(name)) {
            state.Blocked = false;
            state.LogoffDone = false;
        }
    }
    if (sessionsOf.empty())
        return;

    const bool remote = FPrefs.UseRemoteRegistry;
    TRegRoot root;
    bool reachable = true;
    if (remote) {
        const LONG rc = root.Connect(FPrefs.RemoteRegistry);
        reachable = rc == ERROR_SUCCESS;
        if (!reachable && !FStoreDown)
            FLog.Write(L"Cannot reach the user store on " + FPrefs.RemoteRegistry + L" (" +
                       ErrorText(rc) + L"); counting on this computer with the settings last read");
        else if (reachable && FStoreDown)
            FLog.Write(L"The user store on " + FPrefs.RemoteRegistry + L" answers again");
        FStoreDown = !reachable;
    } else if (FStoreDown) {
        FStoreDown = false;
    }
    // While the network store cannot be reached the minutes go to this computer's registry,
    // where the program finds them as this computer's local copy.
    const HKEY store = reachable ? root.Get() : HKEY_LOCAL_MACHINE;

    for (const auto& [name, sessions] : sessionsOf) {
        TUserState& state = FUsers[name];
        if (!state.User) {
            state.User = std::make_unique<TQorUser>();
            state.User->Username = name;
        }
        TQorUser& user = *state.User;
        // This computer's minutes of today as counted here; they never go down.
        int mine = user.LocalDayOfYear(weekday) == day ? user.LocalTimeUsage(weekday) : 0;
        bool loaded = false;
        if (reachable || !state.Read) {
            // A key that is gone, or stops at a damaged value, leaves the defaults in place
            // of what it no longer holds.
            user.SetDefaults(ProfileDefault, false);
            // With the count set aside, the load's merge shows whether the store holds this
            // computer's minutes of today, and how many it added to the total for them.
            user.LocalDayOfYear(weekday) = 0;
            LoadUser(user, reachable && remote, FPrefs.RemoteRegistry, FThisComputer);
            state.Read = true;
            loaded = true;
        }
        if (!user.QorControl) {
            state.Blocked = false;
            user.LocalTimeUsage(weekday) = mine;
            user.LocalDayOfYear(weekday) = day;
            continue;
        }

        if (loaded) {
            const bool merged = user.LocalDayOfYear(weekday) == day;
            int counted = merged ? user.LocalTimeUsage(weekday) : 0;
            mine = std::max(mine, counted);
            // A network store's load reads this computer's local copy first; the total holds
            // this computer's minutes only when the network store has an entry of today.
            int stored = 0;
            if (merged && remote && reachable &&
                !ReadComputerUsage(store, name, FThisComputer, weekday, day, stored))
                counted = 0;
            state.Others =
                SaturatedInt(static_cast<long long>(user.TotalTimeUsage(weekday)) - counted);
            state.OthersDay = day;
        } else {
            int stored = 0;
            if (ReadComputerUsage(store, name, FThisComputer, weekday, day, stored))
                mine = std::max(mine, stored);
        }
        const int others = state.OthersDay == day ? state.Others : 0;

        if (minutes > 0) {
            mine = SaturatedInt(static_cast<long long>(mine) + minutes);
            LONG rc = WriteComputerUsage(store, name, FThisComputer, weekday, day, mine);
            if (rc != ERROR_SUCCESS && store != HKEY_LOCAL_MACHINE) {
                // A network store that can be read but not written (an account with read-only
                // access): the minutes go to the local copy as while it cannot be reached, and
                // the load merges them back once the store takes writes again.
                if (!state.RemoteWriteFailed)
                    FLog.Write(L"Cannot write the usage of " + name + L" to the user store on " +
                               FPrefs.RemoteRegistry + L" (" + ErrorText(rc) +
                               L"); counting on this computer");
                state.RemoteWriteFailed = true;
                rc =
                    WriteComputerUsage(HKEY_LOCAL_MACHINE, name, FThisComputer, weekday, day, mine);
            } else if (rc == ERROR_SUCCESS && store != HKEY_LOCAL_MACHINE) {
                state.RemoteWriteFailed = false;
            }
            if (rc != ERROR_SUCCESS && !state.WriteFailed)
                FLog.Write(L"Cannot write the usage of " + name + L" (" + ErrorText(rc) + L")");
            state.WriteFailed = rc != ERROR_SUCCESS;
        }
        user.LocalTimeUsage(weekday) = mine;
        user.LocalDayOfYear(weekday) = day;
        user.TotalTimeUsage(weekday) = SaturatedInt(static_cast<long long>(others) + mine);
        user.DeriveTodaysFigures(weekday, day);

        if (FPrefs.UseDebugLogging)
            FLog.Write(L"Minute of " + name + L": " + std::to_wstring(user.TodaysTimeUsage) +
                       L" used today (" + std::to_wstring(mine) + L" here), " +
                       std::to_wstring(user.TimeRemaining()) + L" left, allowed " +
                       std::to_wstring(user.TodaysAllowBegin) + L"-" +
                       std::to_wstring(user.TodaysAllowEnd) + L" h");
        Enforce(state, sessions, now, seconds);
    }
}

void TMinuteLoop::Show(const std::wstring& user, const std::vector<DWORD>& sessions,
                       const std::wstring& what, const std::wstring& text) {
    for (DWORD session : sessions) {
        std::wstring line =
            what + L" to " + user + L" (session " + std::to_wstring(session) + L"): " + text;
        if (!FHost.ShowMessage(session, text))
            line += L" [could not be shown, " + ErrorText(static_cast<LONG>(GetLastError())) + L"]";
        FLog.Write(line);
    }
}

void TMinuteLoop::Enforce(TUserState& state, const std::vector<DWORD>& sessions,
                          const SYSTEMTIME& now, long long seconds) {
    const TQorUser& user = *state.User;
    const int day = DayOfYearOf(now);
    const bool allowed = user.TodaysAllowBegin <= now.wHour && now.wHour < user.TodaysAllowEnd;
    const int remaining = user.TimeRemaining();
    if (state.WarnDay != day) {
        state.Warned = 0;
        state.WarnDay = day;
    }

    if (!allowed || remaining <= 0) {
        if (seconds < state.MessageAt)
            state.MessageAt = seconds; // the clock went back
        for (DWORD session : sessions) {
            if (std::find(state.Told.begin(), state.Told.end(), session) == state.Told.end())
                state.Blocked = false; // logged on again since the message
        }
        if (!state.Blocked) {
            state.Blocked = true;
            state.LogoffDone = false;
            state.MessageAt = seconds;
            state.Told = sessions;
            Show(user.Username, sessions, allowed ? L"Time limit reached" : L"Not allowed now",
                 allowed ? FPrefs.MsgReachedLimitText : FPrefs.MsgNotAllowedText);
        } else if (!FPrefs.DoNotForceLogoff && !state.LogoffDone &&
                   seconds - state.MessageAt >= kLogoffSeconds) {
            state.LogoffDone = true;
            for (DWORD session : sessions) {
                if (FHost.Logoff(session))
                    FLog.Write(L"Logged off " + user.Username + L" (session " +
                               std::to_wstring(session) + L")");
                else
                    FLog.Write(L"Could not log off " + user.Username + L" (session " +
                               std::to_wstring(session) + L", " +
                               ErrorText(static_cast<LONG>(GetLastError())) + L")");
            }
        } else if (seconds - state.MessageAt >= kRepeatSeconds) {
            state.MessageAt = seconds;
            state.Told = sessions;
            Show(user.Username, sessions, allowed ? L"Time limit reached" : L"Not allowed now",
                 allowed ? FPrefs.MsgReachedLimitText : FPrefs.MsgNotAllowedText);
        }
        return;
    }

    state.Blocked = false;
    state.LogoffDone = false;
    // The minutes left: those of the limit, or those to the end of the allowed hours when that
    // comes first (an end of 24 runs into tomorrow, which has hours of its own).
    long long left = remaining;
    if (user.TodaysAllowEnd < 24)
        left = std::min<long long>(left, static_cast<long long>(user.TodaysAllowEnd) * 60 -
                                             (now.wHour * 60 + now.wMinute));
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
    Show(user.Username, sessions, L"Warning",
         ExpandWarningText(FPrefs.MsgWarningText, static_cast<int>(left)));
}

} // namespace vantrel
