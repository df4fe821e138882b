#pragma once
// The interactive sessions of this computer and the two things the service does to them: show
// a message and log the session off. Tests put their own host in place of the system's.
#include <windows.h>

#include <wtsapi32.h>

#include <string>
#include <vector>

namespace vantrel {

struct TSessionInfo {
    DWORD Id = 0;
    std::wstring Username;
    // Someone works in it. A session switched away from (disconnected) is not counted, but it is
    // logged off with the user's others: its user could come back to it at any time.
    bool Active = true;
    // Its screen is locked: nobody can use it, so it is not counted either; it is still told
    // and logged off with the user's others.
    bool Locked = false;
};

class TSessionHost {
public:
    virtual ~TSessionHost() = default;
    // The sessions with a user logged on, active or disconnected, with each one's account name.
    virtual std::vector<TSessionInfo> Sessions() = 0;
    // Shows the text to the session's user; does not wait for an answer.
    virtual bool ShowMessage(DWORD session, const std::wstring& text) = 0;
    virtual bool Logoff(DWORD session) = 0;
};

// Account and computer names as Windows compares them: ignoring case, so that "ANNA" is the
// user "anna" (whose registry keys she shares) and is blocked with her. Every map and set of
// names in the service orders them so.
int CompareNames(const std::wstring& a, const std::wstring& b);
inline bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareNames(a, b) == 0;
}
struct TNameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return CompareNames(a, b) < 0;
    }
};

// Whether the account of a session, of the domain the system names for it, is an account of
// this computer: the domain is the computer's name, or none is given (as under Wine).
bool IsThisComputersAccount(const std::wstring& domain, const std::wstring& computer);

// One session as the system lists it.
struct TListedSession {
    DWORD Id = 0;
    WTS_CONNECTSTATE_CLASS State = WTSActive;
    std::wstring Username;
    std::wstring Domain;
    bool Locked = false;
};

// The sessions of this computer's accounts in the system's list: active and disconnected ones
// with a user. Only a list without any session at all (as under Wine) has `own`, the session of
// this process, stand in for it; a list of sessions none of which qualifies gives none.
std::vector<TSessionInfo> UserSessions(const std::vector<TListedSession>& listed,
                                       const std::wstring& computer, const TSessionInfo* own);

// The system's session list. Under Wine the list is empty; the user of this process's own
// session is then the one logged on.
class TWtsSessionHost : public TSessionHost {
public:
    std::vector<TSessionInfo> Sessions() override;
    bool ShowMessage(DWORD session, const std::wstring& text) override;
    bool Logoff(DWORD session) override;
};

} // namespace vantrel
