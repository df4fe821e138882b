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

// One session as the system lists it.
struct TListedSession {
    DWORD Id = 0;
    WTS_CONNECTSTATE_CLASS State = WTSActive;
    std::wstring Username;
    std::wstring Domain;
    // The security identifier of its user ("S-1-5-21-..."), empty when the system would not
    // give the user's token.
    std::wstring Sid;
    bool Locked = false;
};

// Whether the user of a session is an account of this computer, whose time the service counts.
// By the user's security identifier: an account of this computer's own account domain (a local
// account, also one signed in with a Microsoft account) or a work or school account (Azure AD,
// "S-1-12-1-..."), which exists only on the computers it signs in to. An account of some other
// domain that shares a local account's name is someone else, and so are the system's own
// accounts. Without the user's identifier, or the computer's, the domain the system names
// decides: none (as under Wine), the computer's name, or the names Windows gives Microsoft and
// work or school accounts.
bool IsThisComputersAccount(const TListedSession& session, const std::wstring& computer,
                            const std::wstring& computerSid);

// A security identifier as text ("S-1-5-21-..."); empty for none.
std::wstring SidText(PSID sid);

// The security identifier of this computer's account domain, the one its local accounts'
// identifiers begin with; empty when the system does not give it.
std::wstring AccountDomainSid();

// The sessions of this computer's accounts in the system's list: active and disconnected ones
// with a user. Only a list without any session at all (as under Wine) has `own`, the session of
// this process, stand in for it; a list of sessions none of which qualifies gives none.
std::vector<TSessionInfo> UserSessions(const std::vector<TListedSession>& listed,
                                       const std::wstring& computer,
                                       const std::wstring& computerSid, const TSessionInfo* own);

// The system's session list. Under Wine the list is empty; the user of this process's own
// session is then the one logged on.
class TWtsSessionHost : public TSessionHost {
public:
    std::vector<TSessionInfo> Sessions() override;
    bool ShowMessage(DWORD session, const std::wstring& text) override;
    bool Logoff(DWORD session) override;

private:
    // The security identifier of this computer's account domain, asked once it is needed and
    // kept: it changes only with a new installation of Windows.
    std::wstring FComputerSid;
};

} // namespace vantrel
