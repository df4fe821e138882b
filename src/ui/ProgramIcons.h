#pragma once
// The program's pictures: the main icon list of the commands and rows, and single icons
// loaded at the size a DPI needs, also into picture (static) controls.
#include <windows.h>

#include <commctrl.h>

namespace vantrel {

// Loads one of the program's icon resources at size x size pixels; the caller destroys it.
HICON LoadProgramIcon(int resourceId, int size);

// The main window's icon list: the 18 icons IDI_MAIN_ICON(0..17) at index 0..17, 32-bit with alpha
// and a mask, iconSize x iconSize (16 at 96 DPI; 20, 24, 32 and 48 are drawn as well).
// Throws std::runtime_error("Invalid ImageList") if the platform refuses the list.
HIMAGELIST CreateImageListMain32b(int iconSize);
inline constexpr int kMainIconCount = 18;
// Replaces `list` by a 32-bit list of the same icon size with the same images, masked if it
// was, capacity 0 and the given growth step; nullptr is left alone. Throws like above.
void ConvertImageListTo32Bit(HIMAGELIST& list, int growBy);

// A hidden picture control (SS_ICON) that takes the size of its icon.
HWND CreatePictureControl(HWND parent, int id = 0);
// Shows program icon `resourceId` at size x size pixels in a picture control, which is sized
// to it; the icon shown before is destroyed. A control keeps its last icon until
// ClearPictureIcon.
void SetPictureIcon(HWND control, int resourceId, int size);
void ClearPictureIcon(HWND control);

} // namespace vantrel
