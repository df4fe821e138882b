#pragma once
// Drives a real modal dialog from inside its own message loop: steps run one per tick of a
// thread timer, and a timer message only comes when nothing else is queued, so the keys a
// step posts have been handled before the next step runs. Also a check that a dialog's
// controls lie inside it, apart from one another, with their texts whole.
#include "ui/controls/ModalDialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vantrel::testing {

class TModalSteps {
public:
    using TStep = std::function<void()>;

    // Runs `steps` while `dialog` is shown modally by `show`; returns what `show` returned.
    // A dialog still open after the last step is closed with a failure.
    static int Run(TModalDialog& dialog, std::vector<TStep> steps, std::function<int()> show) {
        TModalSteps runner(dialog, std::move(steps));
        return show();
    }
    static int Run(TModalDialog& dialog, std::vector<TStep> steps) {
        return Run(dialog, std::move(steps), [&dialog] { return dialog.ShowModal(); });
    }

    // A key pressed on the control that has the focus.
    static void Key(UINT key) {
        HWND target = GetFocus();
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    }

    // Alt and a letter on the control that has the focus: the character message the system
    // makes of the keys.
    static void AltKey(wchar_t letter) {
        PostMessageW(GetFocus(), WM_SYSCHAR, letter, 1 | (1 << 29));
    }

private:
    TModalSteps(TModalDialog& dialog, std::vector<TStep> steps)
        : FDialog(dialog), FSteps(std::move(steps)) {
        Current() = this;
        FTimer = SetTimer(nullptr, 0, 10, &TModalSteps::Tick);
    }
    ~TModalSteps() {
        KillTimer(nullptr, FTimer);
        Current() = nullptr;
    }

    static TModalSteps*& Current() {
        static TModalSteps* current = nullptr;
        return current;
    }

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        TModalSteps* self = Current();
        if (!self || self->FBusy || !self->FDialog.IsModal())
            return;
        // Under Xvfb a late focus event of the window activated when the dialog was last
        // hidden can leave no window active; the keys need the dialog active, as a user
        // would make it with a click.
        HWND dialog = self->FDialog.Handle();
        if (GetActiveWindow() != dialog && ++self->FInactive < 20)
            return;
        if (GetActiveWindow() != dialog)
            SetActiveWindow(dialog);
        self->FInactive = 0;
        self->FBusy = true;
        if (self->FNext < self->FSteps.size()) {
            self->FSteps[self->FNext++]();
        } else if (++self->FIdle > 20) {
            ADD_FAILURE() << "the dialog was still open after the last step";
            self->FDialog.EndModal(IDABORT);
        }
        self->FBusy = false;
    }

    TModalDialog& FDialog;
    std::vector<TStep> FSteps;
    std::size_t FNext = 0;
    int FIdle = 0;
    int FInactive = 0;
    bool FBusy = false;
    UINT_PTR FTimer = 0;
};

inline RECT ClientRectOf(HWND parent, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Every visible control inside the client area and clear of the others, and the text of
// each label, button and radio button drawn whole in its own font (wrapping labels within
// their height).
inline void ExpectSoundLayout(const TModalDialog& dialog) {
    RECT client{};
    GetClientRect(dialog.Handle(), &client);
    std::vector<HWND> controls;
    for (HWND c = GetWindow(dialog.Handle(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE)
            controls.push_back(c);
    ASSERT_FALSE(controls.empty());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const RECT r = ClientRectOf(dialog.Handle(), controls[i]);
        const int id = GetDlgCtrlID(controls[i]);
        EXPECT_GE(r.left, client.left) << id;
        EXPECT_GE(r.top, client.top) << id;
        EXPECT_LE(r.right, client.right) << id;
        EXPECT_LE(r.bottom, client.bottom) << id;
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            const RECT o = ClientRectOf(dialog.Handle(), controls[j]);
            RECT overlap{};
            EXPECT_FALSE(IntersectRect(&overlap, &r, &o))
                << "controls " << id << " and " << GetDlgCtrlID(controls[j]) << " overlap";
        }
        wchar_t className[32] = {};
        GetClassNameW(controls[i], className, 32);
        const LONG style = GetWindowLongW(controls[i], GWL_STYLE);
        const bool isStatic = _wcsicmp(className, L"Static") == 0;
        const bool isButton = _wcsicmp(className, L"Button") == 0;
        if (!(isStatic || isButton) || (isStatic && (style & SS_TYPEMASK) != SS_LEFT))
            continue;
        wchar_t text[512] = {};
        GetWindowTextW(controls[i], text, 512);
        if (!text[0])
            continue;
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(controls[i], WM_GETFONT, 0, 0));
        HDC dc = GetDC(controls[i]);
        HGDIOBJ old = SelectObject(dc, font);
        RECT need{0, 0, r.right - r.left, 0};
        UINT flags = DT_CALCRECT | ((style & SS_NOPREFIX) && isStatic ? DT_NOPREFIX : 0);
        if (isStatic)
            flags |= DT_WORDBREAK;
        DrawTextW(dc, text, -1, &need, flags);
        SelectObject(dc, old);
        ReleaseDC(controls[i], dc);
        int room = r.right - r.left;
        if (isButton && (style & BS_TYPEMASK) != BS_PUSHBUTTON &&
            (style & BS_TYPEMASK) != BS_DEFPUSHBUTTON)
            room -= dialog.Scale(16); // the check mark and the gap beside it
        EXPECT_LE(need.right - need.left, room) << "text of " << id << " is cut";
        EXPECT_LE(need.bottom - need.top, r.bottom - r.top) << "text of " << id << " is cut";
    }
}

} // namespace vantrel::testing
