#pragma once
// The key of the parent's authenticator app and what it may give, kept where no standard user
// can read it: under the service's own key of every computer, and with a network store also in
// the store, so that each computer's service takes it from there (the service reaches the store
// only under an administrator's account). Both keys have the protected access list
// D:P(A;;KA;;;SY)(A;;KA;;;BA): SYSTEM and the Administrators alone, whoever made the key above.
#include "model/OneTimeCode.h"

#include <windows.h>

namespace vantrel {

inline constexpr wchar_t kServiceCodesKeyPath[] =
    L"SYSTEM\\CurrentControlSet\\Services\\QORsvc\\Codes";
inline constexpr wchar_t kStoreCodesKeyPath[] = L"System\\QOR\\Codes";

struct TCodeKey {
    TSecret Secret;
    // The most a code gives when no request is waiting, and the most it grants of one.
    int MostMinutes = 30;
    FILETIME PairedAt{}; // UTC; a newer pairing replaces an older one
};

// Makes the key at `path` under `root` with the protected list (also over an existing key
// whose list was changed) and writes the values, "PairedAt" last.
LONG WriteCodeKey(HKEY root, const wchar_t* path, const TCodeKey& key);
// False when there is no key, or it is not whole (a secret of 10 to 64 bytes, minutes of 1 to
// 1440, the time it was paired).
bool ReadCodeKey(HKEY root, const wchar_t* path, TCodeKey& key);
// Unpairs: the key goes. ERROR_SUCCESS also when there was none.
LONG RemoveCodeKey(HKEY root, const wchar_t* path);
// Whether the key at `path` grants nothing to anyone but SYSTEM and the Administrators, and
// takes nothing from the key above it.
bool CodeKeyIsPrivate(HKEY root, const wchar_t* path);

} // namespace vantrel
