#include "tray/TrayWindowParts.h"

namespace vantrel {

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HWND MakeControl(HWND parent, const wchar_t* className, DWORD style, int id, DWORD exStyle) {
    return CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

bool FollowScaleChange(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, int& dpi,
                       const std::function<void()>& remake) {
    if (msg == WM_DPICHANGED) {
        dpi = HIWORD(wParam);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        remake();
        return true;
    }
    if (msg == WM_SETTINGCHANGE && wParam == SPI_SETNONCLIENTMETRICS)
        remake();
    return false;
}

} // namespace vantrel
