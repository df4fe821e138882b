#include "ui/controls/Shell.h"

#include <commdlg.h>
#include <shellapi.h>

namespace vantrel {

namespace {
TShellSeam& Seam() {
    static TShellSeam seam;
    return seam;
}
TChooseFileSeam& ChooseSeam() {
    static TChooseFileSeam seam;
    return seam;
}
} // namespace

void SetShellSeam(TShellSeam seam) {
    Seam() = std::move(seam);
}

INT_PTR ShellOpen(HWND owner, const std::wstring& target) {
    if (Seam())
        return Seam()(owner, target);
    return reinterpret_cast<INT_PTR>(
        ShellExecuteW(owner, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}

void SetChooseFileSeam(TChooseFileSeam seam) {
    ChooseSeam() = std::move(seam);
}

bool ChooseOpenFile(HWND owner, const std::wstring& filterName, const std::wstring& pattern,
                    std::wstring& path) {
    if (ChooseSeam())
        return ChooseSeam()(owner, filterName, pattern, path);
    // The filter is pairs of strings ended by an empty one.
    std::wstring filter = filterName + L'\0' + pattern + L'\0';
    filter += L'\0';
    std::wstring chosen(32768, L'\0');
    OPENFILENAMEW open{};
    open.lStructSize = sizeof(open);
    open.hwndOwner = owner;
    open.lpstrFilter = filter.c_str();
    open.lpstrFile = chosen.data();
    open.nMaxFile = static_cast<DWORD>(chosen.size());
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_DONTADDTORECENT;
    if (!GetOpenFileNameW(&open))
        return false;
    path = chosen.c_str();
    return !path.empty();
}

} // namespace vantrel
