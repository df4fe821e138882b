#pragma once
// The interface font, chosen from the Windows version; every window applies it when created.
#include "ui/controls/Gdi.h"

#include <string>

namespace vantrel {

// Version level: 6.1 -> 6, 6.0 -> 5, 5.1 -> 4, 5.0 -> 3, major 4 or lower -> 1, any other -> 0.
int WindowsVersionLevel(DWORD major, DWORD minor);
// The level of the version the platform reports (the real one, not a compatibility shim's).
int WindowsVersionLevel();

// "Segoe UI" at 9 points on levels 5 and 6, else "Tahoma" at 8 points.
std::wstring SystemFontName(int level);
int SystemFontSize(int level);
std::wstring SystemFontName();
int SystemFontSize();

// A font of the given face and point size for a DPI (96 = 100 %); the caller owns it.
TFontHandle CreatePointFont(const std::wstring& face, int points, int dpi, bool bold = false,
                            bool underline = false);
// The system font (name and size above) for a DPI.
TFontHandle CreateSystemFont(int dpi, bool bold = false, bool underline = false);
// The DPI a window is shown at (the system DPI before the window exists).
int WindowDpi(HWND window);

} // namespace vantrel
