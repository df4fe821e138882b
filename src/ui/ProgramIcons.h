#pragma once
// The program's pictures: the main icon list of the commands and rows, and single icons
// loaded at the size a DPI needs, also into picture (static) controls.
#include "ui/Resources.h"
#include "ui/controls/ImageList.h"

#include <windows.h>

namespace vantrel {

// The pictures of the main icon list that the program shows, by name; each stands at its
// resource id's place after IDI_IMAGE1, so the list and the names cannot drift apart.
enum class TMainImage : int {
    None = kNoImage,
    About = IDI_ABOUT - IDI_IMAGE1,
    DailyLimits = IDI_DAILY_LIMITS - IDI_IMAGE1,
    Refresh = IDI_REFRESH - IDI_IMAGE1,
    Preferences = IDI_PREFERENCES - IDI_IMAGE1,
    BonusMore = IDI_BONUS_MORE - IDI_IMAGE1,
    BonusLess = IDI_BONUS_LESS - IDI_IMAGE1,
    Report = IDI_REPORT - IDI_IMAGE1,
    RowTimeLeft = IDI_ROW_TIME_LEFT - IDI_IMAGE1,
    RowLittleTime = IDI_ROW_LITTLE_TIME - IDI_IMAGE1,
    RowNoTime = IDI_ROW_NO_TIME - IDI_IMAGE1,
    RowNotMonitored = IDI_ROW_NOT_MONITORED - IDI_IMAGE1,
    ViewLog = IDI_VIEW_LOG - IDI_IMAGE1,
    Help = IDI_HELP - IDI_IMAGE1,
    DetailedUsage = IDI_DETAILED_USAGE - IDI_IMAGE1,
    Programs = IDI_PROGRAMS - IDI_IMAGE1,
    WeeklyUsage = IDI_CALENDAR - IDI_IMAGE1,
    AnswerRequest = IDI_USER - IDI_IMAGE1,
};
constexpr int ImageIndex(TMainImage image) {
    return static_cast<int>(image);
}

// Loads one of the program's icon resources at size x size pixels; the caller destroys it.
HICON LoadProgramIcon(int resourceId, int size);

// The main window's icon list: the 19 icons IDI_MAIN_ICON(0..18) at index 0..18, 32-bit with alpha
// and a mask, iconSize x iconSize (16 at 96 DPI; 20, 24, 32, 40 and 48 are drawn as well,
// other sizes are scaled from them).
// Throws std::runtime_error("Invalid ImageList") if the platform refuses the list.
TImageListHandle CreateImageListMain32b(int iconSize);
inline constexpr int kMainIconCount = 19;
// Replaces `list` by a 32-bit list of the same icon size with the same images, masked if it
// was, capacity 0 and the given growth step; no list is left alone. Throws like above.
void ConvertImageListTo32Bit(TImageListHandle& list, int growBy);

// A hidden picture control (SS_ICON) that takes the size of its icon.
HWND CreatePictureControl(HWND parent, int id = 0);
// Shows program icon `resourceId` at size x size pixels in a picture control, which is sized
// to it; the icon shown before is destroyed. A control keeps its last icon until
// ClearPictureIcon.
void SetPictureIcon(HWND control, int resourceId, int size);
void ClearPictureIcon(HWND control);

} // namespace vantrel
