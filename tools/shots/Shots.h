#pragma once
// What the screenshot demo's parts share.
#include <windows.h>

#include <string>

namespace vantrel {

// Hands the window to the script and waits until it has taken the picture.
bool TakeShot(const std::wstring& name, HWND window);
// Handles messages for about `ms` milliseconds, so that every window has painted.
void SettleWindows(DWORD ms);
// QORtray's pictures: its icon in every state at 96 and 144 DPI, enlarged, and its window.
bool TakeTrayShots();

} // namespace vantrel
