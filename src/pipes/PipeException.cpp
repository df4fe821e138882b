#include "pipes/PipeException.h"

#include <cstdio>

namespace vantrel {

std::string SystemErrorText(DWORD code) {
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result;
    if (length && text)
        result.assign(text, length);
    if (text)
        LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
}

void RaiseSystemError(DWORD code) {
    if (code == 0)
        throw EPipeException("A call to an OS function failed");
    char head[64];
    std::snprintf(head, sizeof(head), "System Error.  Code: %lu.\r\n",
                  static_cast<unsigned long>(code));
    throw EPipeException(head + SystemErrorText(code));
}

void RaiseLastSystemError() {
    RaiseSystemError(GetLastError());
}

} // namespace vantrel
