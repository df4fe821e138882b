#pragma once
// The window base: `this` travels in GWLP_USERDATA from WM_NCCREATE on, and one
// HandleMessage forwards to the subclass. No exception ever leaves the window procedure.
#include <windows.h>

namespace vantrel {

class TWindow {
public:
    TWindow() = default;
    virtual ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    HWND Handle() const { return FHandle; }

protected:
    // Registers the class (once per process) with this base's window procedure.
    static bool RegisterWindowClass(const wchar_t* className, UINT style, HCURSOR cursor,
                                    HBRUSH background, HICON icon = nullptr,
                                    HICON smallIcon = nullptr);
    bool CreateHandle(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                      int x, int y, int width, int height, HWND parent, HMENU menu = nullptr);
    void DestroyHandle();

    // Anything not handled goes to DefWindowProcW.
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // Called after the window was destroyed (WM_NCDESTROY); the handle is already cleared.
    virtual void OnHandleDestroyed() {}
    // For a control that draws all of itself in one step (off-screen, then copied): WM_PAINT
    // and WM_PRINTCLIENT are answered by `paint`, WM_ERASEBKGND without erasing, which would
    // only flicker. True when `msg` was one of them, with its answer in `result`.
    template <class TPaint>
    bool HandleOwnPaint(UINT msg, WPARAM wParam, TPaint paint, LRESULT& result);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND FHandle = nullptr;
};

template <class TPaint>
bool TWindow::HandleOwnPaint(UINT msg, WPARAM wParam, TPaint paint, LRESULT& result) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(FHandle, &ps);
        paint(dc);
        EndPaint(FHandle, &ps);
        result = 0;
        return true;
    }
    case WM_PRINTCLIENT:
        paint(reinterpret_cast<HDC>(wParam));
        result = 0;
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    }
    return false;
}

} // namespace vantrel
