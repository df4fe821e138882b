#pragma once
// A plain visible top-level window for the control tests to own dialogs and parent controls.
#include <windows.h>

namespace vantrel::testwin {

class TTestWindow {
public:
    TTestWindow(int x = 100, int y = 100, int width = 400, int height = 300) {
        FHandle =
            CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width,
                            height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~TTestWindow() {
        if (FHandle)
            DestroyWindow(FHandle);
    }
    TTestWindow(const TTestWindow&) = delete;
    TTestWindow& operator=(const TTestWindow&) = delete;
    HWND Handle() const { return FHandle; }

private:
    HWND FHandle = nullptr;
};

// Handles whatever is queued (paints included) without waiting for more.
inline void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace vantrel::testwin
