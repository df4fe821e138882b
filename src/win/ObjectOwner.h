#pragma once
// Who made a kernel object. Any account may create an object under a name (a mutex, a named pipe)
// while its rightful maker is not running, but only SYSTEM and an elevated administrator can make
// SYSTEM or the Administrators its owner: such an owner tells that the object is trustworthy.
#include <windows.h>

#include <string>

namespace vantrel {

// Whether SYSTEM or BUILTIN\Administrators own `object` (a handle with READ_CONTROL access).
// `owner`, when given, receives the owner's name ("DOMAIN\name", the SID's text when it names no
// account), "no account", or why the owner cannot be read.
bool OwnedByAdministrators(HANDLE object, std::wstring* owner = nullptr);

} // namespace vantrel
