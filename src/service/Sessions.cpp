#include "service/Sessions.h"

#include "model/Constants.h"
#include "win/Handle.h"

#include <ntsecapi.h>
#include <sddl.h>
#include <versionhelpers.h>

namespace vantrel {

namespace {

std::wstring SessionText(DWORD session, WTS_INFO_CLASS what) {
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    std::wstring name;
    if (WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, what, &buffer, &bytes)) {
        if (buffer)
            name = buffer;
        WTSFreeMemory(buffer);
    }
    return name;
}

// The account this process runs under, in its own session.
bool OwnSession(TSessionInfo& info) {
    wchar_t name[257] = {};
    DWORD length = 257;
    if (!GetUserNameW(name, &length) || !ProcessIdToSessionId(GetCurrentProcessId(), &info.Id))
        return false;
    info.Username = name;
    return !info.Username.empty();
}

std::wstring ThisComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &length) ? std::wstring(name, length) : std::wstring();
}

} // namespace

int CompareNames(const std::wstring& a, const std::wstring& b) {
    const int order = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                           static_cast<int>(b.size()), TRUE);
    if (order == 0) // cannot happen for two strings; ordered as they are, to stay a strict order
        return a.compare(b);
    return order - CSTR_EQUAL;
}

namespace {

// Work or school accounts: Azure AD's identifier authority 12, sub-authority 1.
constexpr wchar_t kAzureAdSidPrefix[] = L"S-1-12-1-";
// The domain names Windows gives a session of a Microsoft or of a work or school account.
constexpr const wchar_t* kCloudDomains[] = {L"MicrosoftAccount", L"AzureAD"};

bool StartsWithName(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

// Whether `sid` is an account of the domain `domainSid`: the domain's identifier and one
// relative identifier after it.
bool IsAccountOfDomain(const std::wstring& sid, const std::wstring& domainSid) {
    if (domainSid.empty() || !StartsWithName(sid, domainSid + L"-"))
        return false;
    const std::wstring rid = sid.substr(domainSid.size() + 1);
    return !rid.empty() && rid.find_first_not_of(L"0123456789") == std::wstring::npos;
}

} // namespace

bool IsThisComputersAccount(const TListedSession& session, const std::wstring& computer,
                            const std::wstring& computerSid) {
    if (!session.Sid.empty()) {
        if (StartsWithName(session.Sid, kAzureAdSidPrefix))
            return true;
        if (!computerSid.empty())
            return IsAccountOfDomain(session.Sid, computerSid);
    }
    if (session.Domain.empty() || SameName(session.Domain, computer))
        return true;
    for (const wchar_t* domain : kCloudDomains)
        if (SameName(session.Domain, domain))
            return true;
    return false;
}

namespace {

// WTSINFOEXW of the SDK (WTSSessionInfoEx, level 1), which mingw-w64's headers lack; only the
// session's flags are read.
constexpr int kSessionInfoEx = 25;
constexpr LONG kSessionStateLock = 0;
constexpr LONG kSessionStateUnlock = 1;
struct TSessionInfoExLevel1 {
    ULONG SessionId;
    WTS_CONNECTSTATE_CLASS SessionState;
    LONG SessionFlags;
    WCHAR WinStationName[WINSTATIONNAME_LENGTH + 1];
    WCHAR UserName[USERNAME_LENGTH + 1];
    WCHAR DomainName[DOMAIN_LENGTH + 1];
    LARGE_INTEGER LogonTime, ConnectTime, DisconnectTime, LastInputTime, CurrentTime;
    DWORD IncomingBytes, OutgoingBytes, IncomingFrames, OutgoingFrames;
    DWORD IncomingCompressedBytes, OutgoingCompressedBytes;
};
struct TSessionInfoEx {
    DWORD Level;
    union {
        TSessionInfoExLevel1 Level1;
    } Data;
};

// Whether the system says the session's screen is locked. A session the system says nothing of
// (Wine answers no such query) counts as in use.
bool IsLocked(DWORD session) {
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session,
                                     static_cast<WTS_INFO_CLASS>(kSessionInfoEx), &buffer, &bytes))
        return false;
    bool locked = false;
    if (buffer && bytes >= sizeof(TSessionInfoEx)) {
        const auto* info = reinterpret_cast<const TSessionInfoEx*>(buffer);
        LONG flags = info->Level == 1 ? info->Data.Level1.SessionFlags : -1;
        // Windows 7 and Server 2008 R2 report the two states the wrong way round.
        if (!IsWindows8OrGreater() && (flags == kSessionStateLock || flags == kSessionStateUnlock))
            flags = flags == kSessionStateLock ? kSessionStateUnlock : kSessionStateLock;
        locked = flags == kSessionStateLock;
    }
    WTSFreeMemory(buffer);
    return locked;
}

// The security identifier of the user of a session, from the session's token. Only a service
// running as SYSTEM may ask for the token; otherwise the answer is empty.
std::wstring SessionSid(DWORD session) {
    HANDLE raw = nullptr;
    if (!WTSQueryUserToken(session, &raw))
        return std::wstring();
    THandle token(raw);
    DWORD bytes = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &bytes);
    if (bytes < sizeof(TOKEN_USER))
        return std::wstring();
    std::vector<BYTE> buffer(bytes);
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), bytes, &bytes))
        return std::wstring();
    return SidText(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

} // namespace

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text))
        return std::wstring();
    std::wstring result = text;
    LocalFree(text);
    return result;
}

std::wstring AccountDomainSid() {
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = nullptr;
    if (LsaOpenPolicy(nullptr, &attributes, POLICY_VIEW_LOCAL_INFORMATION, &policy) != 0)
        return std::wstring();
    std::wstring sid;
    PVOID info = nullptr;
    if (LsaQueryInformationPolicy(policy, PolicyAccountDomainInformation, &info) == 0 && info) {
        sid = SidText(static_cast<POLICY_ACCOUNT_DOMAIN_INFO*>(info)->DomainSid);
        LsaFreeMemory(info);
    }
    LsaClose(policy);
    return sid;
}

std::vector<TSessionInfo> UserSessions(const std::vector<TListedSession>& listed,
                                       const std::wstring& computer,
                                       const std::wstring& computerSid, const TSessionInfo* own) {
    std::vector<TSessionInfo> list;
    if (listed.empty()) {
        if (own)
            list.push_back(*own);
        return list;
    }
    for (const TListedSession& session : listed) {
        // The users are this computer's accounts: a domain account of the same name is someone
        // else. A session without a user is the logon screen or the services' session.
        if ((session.State != WTSActive && session.State != WTSDisconnected) ||
            session.Username.empty() || !IsThisComputersAccount(session, computer, computerSid))
            continue;
        list.push_back({session.Id, session.Username, session.State == WTSActive, session.Locked});
    }
    return list;
}

std::vector<TSessionInfo> TWtsSessionHost::Sessions() {
    std::vector<TListedSession> listed;
    PWTS_SESSION_INFOW sessions = nullptr;
    DWORD count = 0;
    if (WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        for (DWORD i = 0; i < count; ++i) {
            TListedSession session;
            session.Id = sessions[i].SessionId;
            session.State = sessions[i].State;
            // Names are asked only of sessions that can be a user's.
            if (session.State == WTSActive || session.State == WTSDisconnected) {
                session.Username = SessionText(session.Id, WTSUserName);
                session.Domain = SessionText(session.Id, WTSDomainName);
                if (!session.Username.empty())
                    session.Sid = SessionSid(session.Id);
                session.Locked = session.State == WTSActive && IsLocked(session.Id);
            }
            listed.push_back(session);
        }
        WTSFreeMemory(sessions);
    }
    // Wine lists no sessions at all; its one user is the account this process runs as. As a
    // Windows service that account is SYSTEM, which is never a monitored user.
    TSessionInfo own;
    const bool hasOwn = listed.empty() && OwnSession(own);
    if (FComputerSid.empty() && !listed.empty())
        FComputerSid = AccountDomainSid();
    return UserSessions(listed, ThisComputerName(), FComputerSid, hasOwn ? &own : nullptr);
}

bool TWtsSessionHost::ShowMessage(DWORD session, const std::wstring& text) {
    std::wstring title = kProductName;
    std::wstring message = text;
    DWORD response = 0;
    // Not waiting keeps the minute loop running while the box is open.
    return WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, session, title.data(),
                           static_cast<DWORD>(title.size() * sizeof(wchar_t)), message.data(),
                           static_cast<DWORD>(message.size() * sizeof(wchar_t)),
                           MB_OK | MB_ICONWARNING | MB_SETFOREGROUND, 0, &response, FALSE) != FALSE;
}

bool TWtsSessionHost::Logoff(DWORD session) {
    return WTSLogoffSession(WTS_CURRENT_SERVER_HANDLE, session, FALSE) != FALSE;
}

} // namespace vantrel
