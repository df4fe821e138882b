#pragma once
// Screen readers and other assistive technology ask a window for its accessible object with
// WM_GETOBJECT. For a control of our own the system makes a plain client object, which names the
// control by its window text and has no value. A control that shows a value without text (an
// hour grid's period) answers WM_GETOBJECT through a TAccessibleClient of its own instead: the
// system's object, with as its value what the control's AccessibleValue gives. Everything else
// (name, role, state, place, focus) stays the system's.
//
// Assistive technology may hold the object long after the control is gone, when the window
// handle may already name another window. The object therefore reaches its control only
// through a link that the control cuts when its window is destroyed; from then on every call
// fails with CO_E_OBJNOTCONNECTED.
#include <windows.h>

#include <string>

namespace vantrel {

// What the accessible object asks its control.
class TAccessibleSource {
public:
    // The control's value as text, from its own state.
    virtual std::wstring AccessibleValue() const = 0;

protected:
    ~TAccessibleSource() = default;
};

// The accessible object of one control window, made at the first request and kept until the
// window is destroyed.
class TAccessibleClient {
public:
    TAccessibleClient() = default;
    ~TAccessibleClient() { Disconnect(); }
    TAccessibleClient(const TAccessibleClient&) = delete;
    TAccessibleClient& operator=(const TAccessibleClient&) = delete;

    // The answer to WM_GETOBJECT with OBJID_CLIENT (and wParam as received) for `window`, whose
    // value `source` gives; 0 when no object could be made, and the window's procedure then
    // leaves the request to the system. The calling thread must have initialised COM, as every
    // thread that shows windows to assistive technology.
    LRESULT Answer(HWND window, WPARAM wParam, const TAccessibleSource& source);
    // Cuts the object off its control: at WM_NCDESTROY, before the handle can be reused.
    void Disconnect();

private:
    class TObject;
    TObject* FObject = nullptr;
};

} // namespace vantrel
