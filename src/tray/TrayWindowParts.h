#pragma once
// What the tray's own windows (the figures and the request window) have in common: their
// controls, and how they follow a change of DPI or of the system's fonts.
#include <windows.h>

#include <functional>
#include <string>

namespace vantrel {

// The whole text of a window or control.
std::wstring WindowText(HWND window);
// A visible child control with no text, placed later.
HWND MakeControl(HWND parent, const wchar_t* className, DWORD style, int id = 0, DWORD exStyle = 0);
// For WM_DPICHANGED (takes the new DPI into `dpi`, moves the window to the place Windows
// suggests) and WM_SETTINGCHANGE of the system's fonts: calls `remake` to make the window's
// fonts and layout again. True when the message is answered (0); else it goes on as usual.
bool FollowScaleChange(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, int& dpi,
                       const std::function<void()>& remake);

} // namespace vantrel
