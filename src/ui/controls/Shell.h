#pragma once
// Documents are opened through the shell's "open" verb; tests decide what the shell answers.
#include <windows.h>

#include <functional>
#include <string>

namespace vantrel {

// ShellExecuteW(owner, "open", target, no parameters, no folder, SW_SHOWNORMAL), as an integer;
// 32 or less is a failure.
INT_PTR ShellOpen(HWND owner, const std::wstring& target);

using TShellSeam = std::function<INT_PTR(HWND owner, const std::wstring& target)>;
void SetShellSeam(TShellSeam seam);

} // namespace vantrel
