#include "model/UsageEntry.h"

#include <cerrno>
#include <climits>
#include <cwchar>

namespace vantrel {

TUsageEntry ParseUsageEntry(const std::wstring& line) {
    TUsageEntry entry;
    const std::size_t equals = line.rfind(L'=');
    if (equals == std::wstring::npos)
        return entry;
    entry.Computer = line.substr(0, equals);
    const wchar_t* text = line.c_str() + equals + 1;
    if (!*text)
        return entry;
    wchar_t* end = nullptr;
    errno = 0;
    const long long value = std::wcstoll(text, &end, 10);
    if (errno != ERANGE && *end == L'\0' && value >= INT_MIN && value <= INT_MAX)
        entry.Minutes = static_cast<int>(value);
    return entry;
}

} // namespace vantrel
