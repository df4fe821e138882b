#pragma once
// The system's own text for an error code.
#include <windows.h>

#include <string>

namespace vantrel {

// FormatMessageW's text for `code`, without the trailing line break; empty when it has none.
std::wstring SystemErrorText(DWORD code);
// UTF-8 of a wide text, for the few places that carry narrow text (exception messages).
std::string ToUtf8(const std::wstring& text);

} // namespace vantrel
