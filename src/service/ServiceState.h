#pragma once
// Waiting for the service manager to report a state of the service: the service program's
// --start, --stop and --uninstall wait this way, and so do the tests of them.
#include <windows.h>

namespace vantrel {

// Waits up to 30 seconds for the service to report `wanted`; false when it stops instead, or
// when its state cannot be asked.
bool WaitForServiceState(SC_HANDLE service, DWORD wanted);

} // namespace vantrel
