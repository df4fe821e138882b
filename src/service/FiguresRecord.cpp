#include "service/FiguresRecord.h"

#include "model/Registry.h"

#include <sddl.h>

namespace vantrel {

std::wstring FiguresReader(const std::wstring& user, DWORD& error) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    wchar_t domain[256];
    DWORD domainSize = ARRAYSIZE(domain);
    SID_NAME_USE use = SidTypeUnknown;
    error = ERROR_SUCCESS;
    if (!LookupAccountNameW(nullptr, user.c_str(), sid, &sidSize, domain, &domainSize, &use)) {
        error = GetLastError();
        return L"BU";
    }
    // A group or an alias of the same name is not the one who logged on.
    if (use != SidTypeUser) {
        error = ERROR_NONE_MAPPED;
        return L"BU";
    }
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        error = GetLastError();
        return L"BU";
    }
    std::wstring reader = text;
    LocalFree(text);
    return reader;
}

LONG WriteFiguresRecord(const std::wstring& user, const std::wstring& reader, bool secure,
                        const TUserFigures& figures, const TUserFigures* before) {
    if (user.empty() || user.find(L'\\') != std::wstring::npos)
        return ERROR_INVALID_NAME;
    if (!secure) {
        // The key made and secured at the user's logon: one round trip to open it. A key taken
        // away since (an uninstall) is made again below, with its access list and every value.
        TRegKey key;
        const LONG opened = key.Open(HKEY_LOCAL_MACHINE,
                                     std::wstring(kFiguresKeyPath) + L"\\" + user, KEY_SET_VALUE);
        if (opened == ERROR_SUCCESS)
            return WriteUserFigures(key.Get(), figures, before);
        if (opened != ERROR_FILE_NOT_FOUND)
            return opened;
        secure = true;
    }
    const std::wstring sddl = L"D:P(A;;KA;;;SY)(A;;KA;;;BA)(A;;KR;;;" + reader + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return static_cast<LONG>(GetLastError());
    // The key above takes the security of the service's key; only the user's key has its own.
    TRegKey parent;
    LONG rc = parent.Create(HKEY_LOCAL_MACHINE, kFiguresKeyPath, KEY_CREATE_SUB_KEY);
    HKEY raw = nullptr;
    if (rc == ERROR_SUCCESS) {
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
        rc = RegCreateKeyExW(parent.Get(), user.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_SET_VALUE | (secure ? WRITE_DAC : 0), &attributes, &raw, nullptr);
    }
    TRegKey key(raw);
    // Also for a key just made: Wine 8 gives a new key its default list whatever was asked.
    if (rc == ERROR_SUCCESS && secure)
        rc = RegSetKeySecurity(
            key.Get(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return rc == ERROR_SUCCESS ? WriteUserFigures(key.Get(), figures) : rc;
}

} // namespace vantrel
