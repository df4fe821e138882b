#include "model/WarningText.h"

#include <cwchar>

namespace vantrel {

std::wstring WarningTextProblem(const std::wstring& text) {
    bool minutesSeen = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%')
            continue;
        if (i + 1 < text.size() && text[i + 1] == L'%') {
            ++i;
            continue;
        }
        // The whole conversion as printf reads it: flags, width, precision, size, then the
        // conversion letter (if the text does not end first).
        size_t end = i + 1;
        while (end < text.size() && std::wcschr(L"-+ #0123456789.*hlLqjztI", text[end]))
            ++end;
        if (end < text.size())
            ++end;
        const std::wstring piece = text.substr(i, end - i);
        if (piece != L"%d" || minutesSeen)
            return piece;
        minutesSeen = true;
        i = end - 1;
    }
    return std::wstring();
}

std::wstring ExpandWarningText(const std::wstring& text, int minutes) {
    if (!WarningTextProblem(text).empty())
        return text;
    std::wstring result;
    result.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 1 < text.size()) {
            // Only "%%" and "%d" are left once the check has passed.
            result += text[i + 1] == L'%' ? std::wstring(1, L'%') : std::to_wstring(minutes);
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

} // namespace vantrel
