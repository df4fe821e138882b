#include "win/ObjectOwner.h"

#include "win/SystemError.h"

#include <aclapi.h>
#include <sddl.h>

namespace vantrel {

namespace {

std::wstring AccountOf(PSID sid) {
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return domain[0] ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return L"an unknown account";
    std::wstring result = text;
    LocalFree(text);
    return result;
}

} // namespace

bool OwnedByAdministrators(HANDLE object, std::wstring* owner) {
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD rc = GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &sid,
                                     nullptr, nullptr, nullptr, &descriptor);
    if (rc != ERROR_SUCCESS) {
        if (owner)
            *owner = L"an owner that cannot be read (error " + std::to_wstring(rc) + L": " +
                     SystemErrorText(rc) + L")";
        return false;
    }
    const bool trusted = sid && (IsWellKnownSid(sid, WinLocalSystemSid) ||
                                 IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
    if (owner)
        *owner = sid ? AccountOf(sid) : L"no account";
    LocalFree(descriptor);
    return trusted;
}

} // namespace vantrel
