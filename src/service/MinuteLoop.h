#pragma once
// The service's work: once a minute, count a minute for every monitored user with a session on
// this computer, then warn, tell and log off as the user's settings and the preferences say.
#include "model/Prefs.h"
#include "model/QorUser.h"
#include "service/ServiceLog.h"
#include "service/Sessions.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

class TMinuteLoop {
public:
    // Warnings fall at these minutes left, each once as the minutes run down.
    static constexpr int kWarnAt[3] = {10, 5, 1};
    // A log-off follows its message after this many seconds; the message repeats after
    // kRepeatSeconds while the session stays.
    static constexpr long long kLogoffSeconds = 60;
    static constexpr long long kRepeatSeconds = 600;

    TMinuteLoop(TSessionHost& host, TServiceLog& log, std::wstring thisComputer);
    TMinuteLoop(const TMinuteLoop&) = delete;
    TMinuteLoop& operator=(const TMinuteLoop&) = delete;

    // Reads the preferences again; empty message texts get their defaults.
    void ReadPreferences();
    // The minutes that passed since the last tick (at least 1; the caller caps them): reads the
    // preferences and every logged-on user's settings and usage, counts them, then enforces.
    void Tick(int minutes = 1);
    // Reads everything again and enforces at once, without counting a minute (at start).
    void Check();
    // The administration program saved a change: logs it, then Check.
    void SettingsChanged();

    const TQorPrefs& Prefs() const { return FPrefs; }
    // A user's record as last read and counted; null for a user never seen in a session.
    const TQorUser* User(const std::wstring& name) const;
    bool StoreUnreachable() const { return FStoreDown; }

private:
    struct TUserState {
        std::unique_ptr<TQorUser> User;
        bool Read = false;
        // Minutes of the other computers on OthersDay, as last read from the store.
        int Others = 0;
        int OthersDay = 0;
        // Warnings given (bit i for kWarnAt[i]) on WarnDay.
        unsigned Warned = 0;
        int WarnDay = 0;
        // Told to stop: when the message was last shown, and whether the log-off was made.
        bool Blocked = false;
        long long MessageAt = 0;
        bool LogoffDone = false;
        // The sessions told; a session that logs on after them is told afresh.
        std::vector<DWORD> Told;
        bool WriteFailed = false;
        // The last write to the network store failed while it could be reached.
        bool RemoteWriteFailed = false;
    };

    void Run(int minutes);
    void Enforce(TUserState& state, const std::vector<DWORD>& sessions, const SYSTEMTIME& now,
                 long long seconds);
    void Show(const std::wstring& user, const std::vector<DWORD>& sessions,
              const std::wstring& what, const std::wstring& text);

    TSessionHost& FHost;
    TServiceLog& FLog;
    std::wstring FThisComputer;
    TQorPrefs FPrefs;
    std::map<std::wstring, TUserState> FUsers;
    bool FStoreDown = false;
};

} // namespace vantrel
