#pragma once
// The shared measures of every dialog, in pixels at 96 DPI (the dialog scales them), so that
// the dialogs built in code line up with one another as dialogs from one template file would.
namespace vantrel::metrics {

// From the client edge to the nearest control, on all four sides.
inline constexpr int kMargin = 12;
// Push buttons ("&OK", "&Cancel", "&Apply", the preset buttons).
inline constexpr int kButtonWidth = 75;
inline constexpr int kButtonHeight = 25;
// Between buttons standing side by side.
inline constexpr int kButtonGap = 8;
// Between a label and the control it names, and between the rows of one group.
inline constexpr int kRelatedGap = 4;
// Between groups of controls, and above the bottom row of buttons.
inline constexpr int kUnrelatedGap = 12;
// One row of one-line controls (check box, edit, drop-down list) from top to top.
inline constexpr int kRowHeight = 24;
// Heights of the one-line controls themselves.
inline constexpr int kLabelHeight = 16;
inline constexpr int kCheckBoxHeight = 17;
inline constexpr int kEditHeight = 21;
// The closed height of a drop-down list; its table height also covers the open list.
inline constexpr int kComboHeight = 21;
// The picture at the top left of the bonus and preferences dialogs.
inline constexpr int kPictureSize = 32;

// Left edge of a button in the bottom row, counted in places from the right (0 = rightmost):
// "&OK" and "&Cancel" stand in places 1 and 0, or 2 and 1 with "&Apply" at their right.
constexpr int ButtonLeft(int clientWidth, int placeFromRight) {
    return clientWidth - kMargin - kButtonWidth - placeFromRight * (kButtonWidth + kButtonGap);
}
// Top edge of the bottom row of buttons.
constexpr int ButtonRowTop(int clientHeight) {
    return clientHeight - kMargin - kButtonHeight;
}
// The client height that puts the bottom row of buttons under content ending at `contentBottom`.
constexpr int ClientHeightWithButtonRow(int contentBottom) {
    return contentBottom + kUnrelatedGap + kButtonHeight + kMargin;
}

} // namespace vantrel::metrics
