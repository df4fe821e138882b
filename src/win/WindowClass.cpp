#include "win/WindowClass.h"

namespace vantrel {

bool RegisterWindowClassOnce(WNDCLASSEXW wc) {
    wc.cbSize = sizeof(wc);
    wc.hInstance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing)) {
        if (existing.lpfnWndProc == wc.lpfnWndProc)
            return true;
        UnregisterClassW(wc.lpszClassName, wc.hInstance);
    }
    return RegisterClassExW(&wc) != 0;
}

} // namespace vantrel
