#pragma once
// How the service's pipe servers make their pipe's instances: message mode, overlapped, for
// local clients only, with the security each server gives its pipe.
#include "win/Handle.h"

#include <windows.h>

#include <string>

namespace vantrel {

// What a server's instances differ in.
struct TPipeShape {
    DWORD Instances;
    DWORD Buffer; // each way
    DWORD TimeoutMs;
};

// An instance of \\.\pipe\`pipeName`; the first one fails where the name is taken already.
// `error` is the system's code (ERROR_SUCCESS when made).
THandle NewPipeInstance(const std::wstring& pipeName, const TPipeShape& shape,
                        PSECURITY_DESCRIPTOR security, bool first, DWORD& error);
// The first instance, with `security` (made by `newSecurity(true)`). Run from a console without
// elevation the account may not give the pipe to the Administrators: then `security` is made
// again by `newSecurity(false)`, which leaves the account the owner, and the instance with it.
THandle NewFirstPipeInstance(const std::wstring& pipeName, const TPipeShape& shape,
                             PSECURITY_DESCRIPTOR& security,
                             PSECURITY_DESCRIPTOR (*newSecurity)(bool administratorsOwn),
                             DWORD& error);

} // namespace vantrel
