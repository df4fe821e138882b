#pragma once
// The pipe layer's one exception type. Misuse raises it with a fixed English text; a failed
// system call during construction raises it with the system's own text.
#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vantrel {

class EPipeException : public std::runtime_error {
public:
    explicit EPipeException(const std::string& message) : std::runtime_error(message) {}
};

// "System Error.  Code: %d.\r\n%s" for a known code, "A call to an OS function failed" for 0.
[[noreturn]] void RaiseSystemError(DWORD code);
[[noreturn]] void RaiseLastSystemError();

} // namespace vantrel
