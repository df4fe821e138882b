#pragma once
// What the tests of the dialog base share: a dialog whose steps, posted with Post, run inside its
// modal loop in order, after the keys and clicks posted before them; and a fixture that makes it,
// hidden, over a visible owner.
#include "TestWindows.h"
#include "ui/controls/ModalDialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace vantrel::testwin {

class TSteppedDialog : public TModalDialog {
public:
    void Post(std::function<void()> step) {
        FSteps.push_back(std::move(step));
        PostMessageW(Handle(), kRunStep, 0, 0);
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kRunStep && !FSteps.empty()) {
            auto step = std::move(FSteps.front());
            FSteps.erase(FSteps.begin());
            step();
            return 0;
        }
        return TModalDialog::HandleMessage(msg, wParam, lParam);
    }

private:
    static constexpr UINT kRunStep = WM_APP + 1;
    std::vector<std::function<void()>> FSteps;
};

// `TForm` derives from TSteppedDialog; its client area is clientWidth x clientHeight.
template <class TForm, int clientWidth, int clientHeight>
class TDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Owner.Handle());
        ASSERT_TRUE(Dialog.Create(Owner.Handle(), L"Test dialog", clientWidth, clientHeight));
    }
    static void PressKey(HWND target, UINT key) {
        PostMessageW(target, WM_KEYDOWN, key, 0);
        PostMessageW(target, WM_KEYUP, key, 0xC0000000);
    }

    TTestWindow Owner{150, 120, 640, 480};
    TDialog<TForm> Dialog;
};

} // namespace vantrel::testwin
