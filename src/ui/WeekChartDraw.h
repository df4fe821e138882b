#pragma once
// What both halves of the week chart, its layout and its painting, measure text with.
#include <windows.h>

#include <string>

namespace vantrel {

inline SIZE TextSize(HDC dc, const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

} // namespace vantrel
