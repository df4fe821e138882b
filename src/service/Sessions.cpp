#include "service/Sessions.h"

#include "model/Constants.h"

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

bool IsThisComputersAccount(const std::wstring& domain, const std::wstring& computer) {
    return domain.empty() || SameName(domain, computer);
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

} // namespace

std::vector<TSessionInfo> UserSessions(const std::vector<TListedSession>& listed,
                                       const std::wstring& computer, const TSessionInfo* own) {
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
            session.Username.empty() || !IsThisComputersAccount(session.Domain, computer))
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
    return UserSessions(listed, ThisComputerName(), hasOwn ? &own : nullptr);
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
