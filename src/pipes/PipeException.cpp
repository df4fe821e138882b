#include "pipes/PipeException.h"

#include "win/SystemError.h"

#include <cstdio>

namespace vantrel {

void RaiseSystemError(DWORD code) {
    if (code == 0)
        throw EPipeException("A call to an OS function failed");
    char head[64];
    std::snprintf(head, sizeof(head), "System Error.  Code: %lu.\r\n",
                  static_cast<unsigned long>(code));
    throw EPipeException(head + ToUtf8(SystemErrorText(code)));
}

void RaiseLastSystemError() {
    RaiseSystemError(GetLastError());
}

} // namespace vantrel
