#pragma once
// Documents are opened through the shell's "open" verb, and files chosen in the shell's file
// dialog; tests decide what the shell answers.
#include <windows.h>

#include <functional>
#include <string>

namespace vantrel {

// ShellExecuteW(owner, "open", target, no parameters, no folder, SW_SHOWNORMAL), as an integer;
// 32 or less is a failure.
INT_PTR ShellOpen(HWND owner, const std::wstring& target);

using TShellSeam = std::function<INT_PTR(HWND owner, const std::wstring& target)>;
void SetShellSeam(TShellSeam seam);

// The shell's dialog for choosing one existing file (GetOpenFileNameW) with one filter, as
// "Programs (*.exe)" and "*.exe"; false when none was chosen.
bool ChooseOpenFile(HWND owner, const std::wstring& filterName, const std::wstring& pattern,
                    std::wstring& path);

using TChooseFileSeam = std::function<bool(HWND owner, const std::wstring& filterName,
                                           const std::wstring& pattern, std::wstring& path)>;
void SetChooseFileSeam(TChooseFileSeam seam);

} // namespace vantrel
