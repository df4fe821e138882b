#pragma once
// What the daily time limits tests share: steps that run one after the other inside whatever
// modal loop is running (the dialog's own), keys as the dialog manager receives them, and a
// look at a dialog's layout as a user would take it in.
#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::testing {

// A message-only window whose posted messages run queued steps. Any message loop of the thread
// dispatches them, so steps posted before ShowModal run inside the dialog's modal loop. Each
// step runs only after everything the step before it posted (keys, and what handling those
// keys posted in turn) has been handled.
class TStepRunner {
public:
    TStepRunner() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VantrelTestSteps";
        RegisterClassW(&wc);
        FHandle = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, this);
    }
    ~TStepRunner() {
        if (FHandle)
            DestroyWindow(FHandle);
    }
    TStepRunner(const TStepRunner&) = delete;
    TStepRunner& operator=(const TStepRunner&) = delete;

    // Queues steps to run in order.
    void Run(std::vector<std::function<void()>> steps) {
        for (auto& step : steps)
            FSteps.push_back(std::move(step));
        if (!FPosted)
            PostNext();
    }
    bool Idle() const { return FSteps.empty() && !FPosted; }

private:
    static constexpr UINT kHop = WM_APP + 40;
    static constexpr UINT kStep = WM_APP + 41;

    void PostNext() {
        FPosted = true;
        PostMessageW(FHandle, kHop, 0, 0);
    }
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<TStepRunner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg == kHop) {
            // One more round through the queue: characters and clicks that the keys of the
            // last step posted come first.
            PostMessageW(hwnd, kStep, 0, 0);
            return 0;
        }
        if (self && msg == kStep) {
            self->FPosted = false;
            if (self->FSteps.empty())
                return 0;
            auto step = std::move(self->FSteps.front());
            self->FSteps.pop_front();
            step();
            if (!self->FSteps.empty() && !self->FPosted)
                self->PostNext();
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    HWND FHandle = nullptr;
    std::deque<std::function<void()>> FSteps;
    bool FPosted = false;
};

// The thread's own key state is what the controls read for Shift.
inline void SetShift(bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

// A key pressed and released on the control with the focus, through the message queue, so
// that the dialog manager sees it as it sees typing.
inline void PressKey(UINT key) {
    HWND target = GetFocus();
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

inline RECT ClientBounds(HWND parent, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// Every shown control lies inside the client area, no two overlap, and every caption fits
// its control in the control's own font.
inline void ExpectSaneLayout(HWND dialog, int dpi) {
    RECT client{};
    GetClientRect(dialog, &client);
    struct TShown {
        HWND Handle;
        RECT Bounds;
        std::string Name;
    };
    std::vector<TShown> shown;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!(GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE))
            continue;
        wchar_t text[256] = {};
        GetWindowTextW(child, text, 256);
        const std::string name = std::to_string(GetDlgCtrlID(child)) + " \"" + Narrow(text) + "\"";
        const RECT r = ClientBounds(dialog, child);
        EXPECT_GE(r.left, client.left) << name;
        EXPECT_GE(r.top, client.top) << name;
        EXPECT_LE(r.right, client.right) << name;
        EXPECT_LE(r.bottom, client.bottom) << name;
        for (const TShown& other : shown) {
            RECT overlap{};
            EXPECT_FALSE(IntersectRect(&overlap, &r, &other.Bounds))
                << name << " overlaps " << other.Name;
        }
        shown.push_back({child, r, name});

        wchar_t className[32] = {};
        GetClassNameW(child, className, 32);
        const bool isStatic = lstrcmpiW(className, L"STATIC") == 0;
        const bool isButton = lstrcmpiW(className, L"BUTTON") == 0;
        if (!(isStatic || isButton) || !text[0])
            continue;
        std::wstring caption = text;
        if (isButton) {
            std::wstring plain;
            for (size_t i = 0; i < caption.size(); ++i) {
                if (caption[i] == L'&' && i + 1 < caption.size())
                    ++i;
                plain += caption[i];
            }
            caption = plain;
        }
        HDC dc = GetDC(child);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
        HGDIOBJ old = SelectObject(dc, font);
        SIZE size{};
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(child, dc);
        const auto style = GetWindowLongPtrW(child, GWL_STYLE);
        const bool checkBox = isButton && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
        // A check box needs room for its box and the gap before its caption.
        const int extra = checkBox ? MulDiv(20, dpi, 96) : (isButton ? 8 : 0);
        EXPECT_LE(size.cx + extra, r.right - r.left) << name << " is cut";
        EXPECT_LE(size.cy, r.bottom - r.top) << name << " is cut";
    }
}

} // namespace vantrel::testing
