#include "service/ServiceState.h"

namespace vantrel {

bool WaitForServiceState(SC_HANDLE service, DWORD wanted) {
    SERVICE_STATUS status{};
    for (int i = 0; i < 300; ++i) {
        if (!QueryServiceStatus(service, &status))
            return false;
        if (status.dwCurrentState == wanted)
            return true;
        if (status.dwCurrentState == SERVICE_STOPPED)
            return false;
        Sleep(100);
    }
    return false;
}

} // namespace vantrel
