#pragma once
// One row of a dialog's control table: what CreateWindowExW needs, at 96 DPI. A dialog lists
// its controls in a table (their order is the tab order) and creates them in one loop with
// TModalDialog::AddControls; the dialog keeps each control's 96-DPI place, so a change of DPI
// places the controls anew from the table instead of scaling rounded rectangles.
#include <windows.h>

namespace vantrel {

enum class TControlFont {
    Dialog, // the dialog's font
    Bold,   // the dialog's font in bold (headings)
};

struct TControlSpec {
    const wchar_t* ClassName; // L"BUTTON", L"STATIC", WC_COMBOBOXW, a class of our own...
    const wchar_t* Text;
    DWORD Style; // WS_CHILD and WS_VISIBLE are added
    int X;       // client coordinates and size, 96-DPI pixels
    int Y;
    int Width;
    int Height; // for a drop-down list, the height with the list open
    int Id;     // -1 for controls nobody asks for (labels, lines)
    DWORD ExStyle = 0;
    TControlFont Font = TControlFont::Dialog;
};

} // namespace vantrel
