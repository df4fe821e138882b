#include "accounts/Accounts.h"

#include "win/Handle.h"

#include <windows.h>
#include <lm.h>

#include <memory>

namespace vantrel {

std::wstring GetWorkstationName() {
    WKSTA_INFO_100* info = nullptr;
    std::wstring name;
    if (NetWkstaGetInfo(nullptr, 100, reinterpret_cast<BYTE**>(&info)) == NERR_Success && info) {
        if (info->wki100_computername)
            name = info->wki100_computername;
    }
    if (info)
        NetApiBufferFree(info);
    return name;
}

void EnumerateAccounts(const std::wstring& server, std::vector<std::wstring>& list) {
    DWORD resume = 0;
    NET_API_STATUS status;
    do {
        USER_INFO_0* buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        status = NetUserEnum(server.empty() ? nullptr : server.c_str(), 0, 0,
                             reinterpret_cast<BYTE**>(&buffer), 256, &read, &total, &resume);
        if (status == NERR_Success || status == ERROR_MORE_DATA) {
            for (DWORD i = 0; buffer && i < read; ++i) {
                if (buffer[i].usri0_name)
                    list.emplace_back(buffer[i].usri0_name);
            }
        }
        if (buffer)
            NetApiBufferFree(buffer);
    } while (status == ERROR_MORE_DATA);
}

void RemoveExcludedAccounts(std::vector<std::wstring>& list) {
    static const wchar_t* const kExcludedPrefixes[] = {
        L"Guest",   L"HelpAssistant", L"TSInternetUser", L"HomeGroupUser", L"SUPPORT_",
        L"ACTUser", L"ASPNET",        L"SQLDebugger",    L"__vmware",      L"SophosS"};
    for (size_t i = list.size(); i-- > 0;) {
        for (const wchar_t* prefix : kExcludedPrefixes) {
            if (list[i].compare(0, wcslen(prefix), prefix) == 0) {
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
}

void ListMonitoredAccounts(const std::wstring& server, std::vector<std::wstring>& list) {
    EnumerateAccounts(server, list);
    RemoveExcludedAccounts(list);
}

namespace {

THandle OpenOwnToken() {
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token))
        return THandle(token);
    if (GetLastError() != ERROR_NO_TOKEN)
        return THandle();
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return THandle(token);
    return THandle();
}

} // namespace

bool IsAdministrator() {
    THandle token = OpenOwnToken();
    if (!token)
        return false;
    // Ask for the size first: a token with many groups needs more than any fixed buffer.
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &size);
    if (size == 0)
        return false;
    std::unique_ptr<BYTE[]> buffer(new BYTE[size]);
    if (!GetTokenInformation(token.Get(), TokenGroups, buffer.get(), size, &size))
        return false;
    token.Close();

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
        return false;
    // Membership alone counts: enabled and deny-only groups alike.
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.get());
    bool found = false;
    for (DWORD i = 0; i < groups->GroupCount && !found; ++i)
        found = EqualSid(groups->Groups[i].Sid, administrators) != FALSE;
    FreeSid(administrators);
    return found;
}

} // namespace vantrel
