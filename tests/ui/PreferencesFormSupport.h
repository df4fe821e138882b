#pragma once
// What the preferences dialog's tests share: the dialog over a plain owner window, steps that
// run inside its modal loop, message boxes answered through their seam, and network computers
// that are keys of this computer's registry.
#include "model/Constants.h"
#include "model/Prefs.h"
#include "model/Registry.h"
#include "ui/dialogs/PreferencesForm.h"
#include "ui/controls/MessageBox.h"

#include "controls/TestWindows.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace vantrel::testing {

// Where the stand-in network computers keep their HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kNetworkRoots[] = L"Software\\VantrelTestNetwork";

inline std::wstring NetworkRoot(const std::wstring& computer) {
    return std::wstring(kNetworkRoots) + L"\\" + computer;
}

struct TAskedMessage {
    std::wstring Text;
    TMsgKind Kind;
    TMsgButtons Buttons;
    HCURSOR Cursor; // the cursor while the box was up
};

inline std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

class PreferencesFormTest : public ::testing::Test {
protected:
    static constexpr UINT kRunStep = WM_APP + 17;
    static constexpr UINT_PTR kPollTimer = 7;

    static void SetUpTestSuite() { SetProcessDPIAware(); }

    void SetUp() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kNetworkRoots);
        SetMessageBoxSeam(
            [this](HWND, const std::wstring& text, TMsgKind kind, TMsgButtons buttons) {
                Messages.push_back({text, kind, buttons, GetCursor()});
                if (buttons == TMsgButtons::OK)
                    return IDOK;
                if (Answers.empty()) {
                    ADD_FAILURE() << "unanswered question: " << Narrow(text);
                    return IDNO;
                }
                const int answer = Answers.front();
                Answers.pop_front();
                return answer;
            });
        SetRemoteRegistrySeam([this](const std::wstring& computer, HKEY* root) -> LONG {
            Connections.push_back(computer);
            if (!Reachable.count(computer))
                return ERROR_BAD_NETPATH;
            return RegCreateKeyExW(HKEY_LOCAL_MACHINE, NetworkRoot(computer).c_str(), 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, root, nullptr);
        });
        ASSERT_TRUE(
            SetWindowSubclass(Owner.Handle(), OwnerProc, 1, reinterpret_cast<DWORD_PTR>(this)));
        Form.Bind(Prefs, Changed);
        ASSERT_TRUE(Form.Create(Owner.Handle()));
    }

    void TearDown() override {
        KillTimer(Owner.Handle(), kPollTimer);
        RemoveWindowSubclass(Owner.Handle(), OwnerProc, 1);
        SetMessageBoxSeam(nullptr);
        SetRemoteRegistrySeam(nullptr);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kNetworkRoots);
        EXPECT_TRUE(Answers.empty()) << "questions that never came";
    }

    // Runs `step` inside the dialog's modal loop, after the steps posted before it.
    void Then(std::function<void()> step) {
        Steps.push_back(std::move(step));
        PostMessageW(Owner.Handle(), kRunStep, 0, 0);
    }
    // Runs `step` once `done` holds, polling on a timer, which comes after input: for keys
    // pressed through SendInput. Fails (and ends the dialog) when it does not within 5 s.
    void ThenWhen(std::function<bool()> done, std::function<void()> step) {
        Waiting = std::move(done);
        WaitingStep = std::move(step);
        WaitTicks = 0;
        SetTimer(Owner.Handle(), kPollTimer, 10, nullptr);
    }
    // The administrator presses keys: modifiers down, the key, modifiers up.
    void Press(std::vector<WORD> modifiers, WORD key) {
        std::vector<INPUT> keys;
        auto add = [&](WORD vk, bool up) {
            INPUT in{};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = vk;
            in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            keys.push_back(in);
        };
        for (WORD m : modifiers)
            add(m, false);
        add(key, false);
        add(key, true);
        for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m)
            add(*m, true);
        ASSERT_EQ(SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT)),
                  keys.size());
    }
    // Shows the dialog; `steps` runs inside it and must end it.
    int Show(std::function<void()> steps) {
        Then(std::move(steps));
        return Form.ShowModal();
    }

    void Click(int id) { SendMessageW(Form.Control(id), BM_CLICK, 0, 0); }
    // Types text at the end of a field, as the keyboard would (one change notification).
    void Type(int id, const std::wstring& text) {
        HWND edit = Form.Control(id);
        const int end = GetWindowTextLengthW(edit);
        SendMessageW(edit, EM_SETSEL, end, end);
        SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void Replace(int id, const std::wstring& text) {
        HWND edit = Form.Control(id);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
    }
    bool ApplyEnabled() { return Form.IsControlEnabled(TPreferencesForm::ButtonApply); }
    int SelectedTab() {
        return static_cast<int>(
            SendMessageW(Form.Control(TPreferencesForm::PageControl), TCM_GETCURSEL, 0, 0));
    }
    std::vector<std::wstring> MessageTexts() const {
        std::vector<std::wstring> texts;
        for (const TAskedMessage& m : Messages)
            texts.push_back(m.Text);
        return texts;
    }

    testwin::TTestWindow Owner{150, 100, 700, 500};
    TQorPrefs Prefs;
    bool Changed = false;
    TDialog<TPreferencesForm> Form;
    std::vector<TAskedMessage> Messages;
    std::deque<int> Answers;
    std::set<std::wstring> Reachable;
    std::vector<std::wstring> Connections;

private:
    static LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR data) {
        auto* self = reinterpret_cast<PreferencesFormTest*>(data);
        if (msg == kRunStep && !self->Steps.empty()) {
            auto step = std::move(self->Steps.front());
            self->Steps.pop_front();
            step();
            return 0;
        }
        if (msg == WM_TIMER && wParam == kPollTimer) {
            if (self->Waiting && !self->Waiting() && ++self->WaitTicks < 500)
                return 0;
            KillTimer(hwnd, kPollTimer);
            auto step = std::move(self->WaitingStep);
            const bool timedOut = self->Waiting && !self->Waiting();
            self->Waiting = nullptr;
            if (timedOut) {
                ADD_FAILURE() << "the keys had no effect";
                self->Form.EndModal(IDCANCEL);
                return 0;
            }
            if (step)
                step();
            return 0;
        }
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }

    std::deque<std::function<void()>> Steps;
    std::function<bool()> Waiting;
    std::function<void()> WaitingStep;
    int WaitTicks = 0;
};

} // namespace vantrel::testing
