#pragma once
// Screen readers and other assistive technology ask a window for its accessible object with
// WM_GETOBJECT. For a control of our own the system makes a plain client object, which names the
// control by its window text and has no value. A control that shows a value without text (an
// hour grid's period) answers WM_GETOBJECT with AccessibleClientObject instead: the system's
// object, with the window text as its name and as its value what the window answers to
// WM_GETACCESSIBLEVALUE. Everything else (role, state, place, focus) stays the system's.
//
// The object may be held after the window is gone; it asks the window at every call and fails
// once the window no longer exists.
#include <windows.h>

namespace vantrel {

// The window's value as text, asked as WM_GETTEXT asks for the window text: wParam is the size
// of the buffer in characters (its terminating zero included), lParam the buffer; the result is
// the number of characters copied, without the zero.
inline constexpr UINT WM_GETACCESSIBLEVALUE = WM_APP + 0x200;

// The answer to WM_GETOBJECT with OBJID_CLIENT (and wParam as received); 0 when no object could
// be made, and the window's procedure then leaves the request to the system. The calling thread
// must have initialised COM, as every thread that shows windows to assistive technology.
LRESULT AccessibleClientObject(HWND window, WPARAM wParam);

// Copies `text` into a WM_GETACCESSIBLEVALUE buffer, cut to its size; returns the length copied.
LRESULT CopyAccessibleValue(const wchar_t* text, WPARAM size, LPARAM buffer);

} // namespace vantrel
