#include "ui/controls/Shell.h"

#include <shellapi.h>

namespace vantrel {

namespace {
TShellSeam& Seam() {
    static TShellSeam seam;
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

} // namespace vantrel
