#include "model/CodeKey.h"

#include "model/Registry.h"

#include <aclapi.h>
#include <sddl.h>

namespace vantrel {

namespace {

constexpr wchar_t kPrivate[] = L"D:P(A;;KA;;;SY)(A;;KA;;;BA)";

bool IsSid(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE known[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(known);
    return CreateWellKnownSid(type, nullptr, known, &size) && EqualSid(sid, known);
}

} // namespace

LONG WriteCodeKey(HKEY root, const wchar_t* path, const TCodeKey& key) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivate, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return static_cast<LONG>(GetLastError());
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    HKEY raw = nullptr;
    LONG rc = RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE | WRITE_DAC, &attributes, &raw, nullptr);
    TRegKey made(raw);
    // Also over a key that was there, and for a new one: Wine gives a new key its default list
    // whatever was asked.
    if (rc == ERROR_SUCCESS)
        rc = RegSetKeySecurity(made.Get(),
                               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                               descriptor);
    LocalFree(descriptor);
    if (rc != ERROR_SUCCESS)
        return rc;
    const FILETIME none{};
    // "PairedAt" is zero while the others are written: a reader never takes half of two keys.
    if ((rc = made.WriteBinary(L"PairedAt", &none, sizeof(none))) != ERROR_SUCCESS ||
        (rc = made.WriteBinary(L"Secret", key.Secret.data(),
                               static_cast<DWORD>(key.Secret.size()))) != ERROR_SUCCESS ||
        (rc = made.WriteInt(L"MostMinutes", key.MostMinutes)) != ERROR_SUCCESS)
        return rc;
    return made.WriteBinary(L"PairedAt", &key.PairedAt, sizeof(key.PairedAt));
}

bool ReadCodeKey(HKEY root, const wchar_t* path, TCodeKey& key) {
    TRegKey open;
    if (open.Open(root, path, KEY_READ) != ERROR_SUCCESS)
        return false;
    TCodeKey read;
    BYTE secret[64];
    DWORD type = 0, size = sizeof(secret);
    if (RegQueryValueExW(open.Get(), L"Secret", nullptr, &type, secret, &size) != ERROR_SUCCESS ||
        type != REG_BINARY || size < 10 || size > sizeof(secret))
        return false;
    read.Secret.assign(secret, secret + size);
    SecureZeroMemory(secret, sizeof(secret));
    if (open.ReadInt(L"MostMinutes", read.MostMinutes) != ERROR_SUCCESS || read.MostMinutes < 1 ||
        read.MostMinutes > 1440 ||
        open.ReadBinary(L"PairedAt", &read.PairedAt, sizeof(read.PairedAt)) != ERROR_SUCCESS ||
        (read.PairedAt.dwLowDateTime == 0 && read.PairedAt.dwHighDateTime == 0))
        return false;
    key = read;
    return true;
}

LONG RemoveCodeKey(HKEY root, const wchar_t* path) {
    const LONG rc = RegDeleteTreeW(root, path);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        return rc;
    const LONG key = RegDeleteKeyW(root, path);
    return key == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : key;
}

bool CodeKeyIsPrivate(HKEY root, const wchar_t* path) {
    TRegKey open;
    if (open.Open(root, path, READ_CONTROL) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    if (GetSecurityInfo(open.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    bool ok = dacl && GetSecurityDescriptorControl(descriptor, &control, &revision) &&
              (control & SE_DACL_PROTECTED);
    for (DWORD i = 0; ok && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
            ok = false;
            break;
        }
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        PSID sid = &reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart;
        ok = IsSid(sid, WinLocalSystemSid) || IsSid(sid, WinBuiltinAdministratorsSid);
    }
    LocalFree(descriptor);
    return ok;
}

} // namespace vantrel
