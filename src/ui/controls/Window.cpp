#include "ui/controls/Window.h"

#include "win/WindowClass.h"

namespace vantrel {

TWindow::~TWindow() {
    DestroyHandle();
}

bool TWindow::RegisterWindowClass(const wchar_t* className, UINT style, HCURSOR cursor,
                                  HBRUSH background, HICON icon, HICON smallIcon) {
    WNDCLASSEXW wc{};
    wc.style = style;
    wc.lpfnWndProc = WindowProc;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.hIconSm = smallIcon;
    wc.lpszClassName = className;
    return RegisterWindowClassOnce(wc);
}

bool TWindow::CreateHandle(DWORD exStyle, const wchar_t* className, const wchar_t* title,
                           DWORD style, int x, int y, int width, int height, HWND parent,
                           HMENU menu) {
    CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu,
                    GetModuleHandleW(nullptr), this);
    return FHandle != nullptr;
}

void TWindow::DestroyHandle() {
    if (FHandle)
        DestroyWindow(FHandle);
}

LRESULT TWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(FHandle, msg, wParam, lParam);
}

LRESULT CALLBACK TWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWindow* self = nullptr;
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        self = static_cast<TWindow*>(cs->lpCreateParams);
        self->FHandle = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<TWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    LRESULT result = 0;
    try {
        result = self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
        result = DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->FHandle = nullptr;
        self->OnHandleDestroyed();
    }
    return result;
}

} // namespace vantrel
