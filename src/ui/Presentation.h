#pragma once
// The program's common look: the interface font chosen from the Windows version, the main icon
// list, and the colour arithmetic of the command bars.
#include "ui/controls/Gdi.h"

#include <commctrl.h>

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

// The main window's icon list: 18 icons `Image1`..`Image18` at index 0..17, 32-bit with alpha
// and a mask, iconSize x iconSize (16 at 96 DPI; 20, 24, 32 and 48 are drawn as well).
// Throws std::runtime_error("Invalid ImageList") if the platform refuses the list.
HIMAGELIST CreateImageListMain32b(int iconSize);
inline constexpr int kMainIconCount = 18;
// Replaces `list` by a 32-bit list of the same icon size with the same images, masked if it
// was, capacity 0 and the given growth step; nullptr is left alone. Throws like above.
void ConvertImageListTo32Bit(HIMAGELIST& list, int growBy);

// Loads one of the program's icon resources at size x size pixels; the caller destroys it.
HICON LoadProgramIcon(int resourceId, int size);

// Each channel round((percent * first + (100 - percent) * second) / 100), halves to even.
// System colour references are resolved first.
COLORREF BlendColors(COLORREF first, COLORREF second, int percent);
// Raises the HLS luminance (0..240 scale) by `step`, at most to 240; hue and saturation kept.
COLORREF LightenColor(COLORREF color, int step);

} // namespace vantrel
