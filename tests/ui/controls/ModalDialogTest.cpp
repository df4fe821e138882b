#include "ui/controls/ModalDialog.h"

#include "DialogFixture.h"
#include "ui/controls/MessageBox.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

constexpr int kEditId = 100;
constexpr int kOtherId = 101;

// The owner answers F1, which a dialog without help of its own passes on, as the main window
// does when no help can be shown: with a box.
LRESULT CALLBACK OwnerHelp(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg != WM_HELP)
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    ShowMessage(hwnd, L"The help file could not be opened.", TMsgKind::Warning);
    return TRUE;
}

// A small dialog with an edit box, a push button and OK / Cancel.
class TTestDialog : public testwin::TSteppedDialog {
public:
    int OtherClicks = 0;
    int Shows = 0;
    int FocusOn = 0;

protected:
    void CreateControls() override {
        AddControl(L"EDIT", L"", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 10, 10, 150, 22, kEditId);
        AddButton(L"&Other", 10, 40, 75, 25, kOtherId);
        AddButton(L"&OK", 100, 80, 75, 25, IDOK, true);
        AddButton(L"&Cancel", 180, 80, 75, 25, IDCANCEL);
    }
    void OnShow() override {
        ++Shows;
        if (FocusOn)
            FocusOnShow(FocusOn);
    }
    bool OnCommand(int id, int code, HWND) override {
        if (id == kOtherId && code == BN_CLICKED) {
            ++OtherClicks;
            return true;
        }
        return false;
    }
};

class ModalDialog : public testwin::TDialogTest<TTestDialog, 270, 115> {
protected:
    HWND Focused() {
        HWND focus = GetFocus();
        return focus ? focus : Dialog.Handle();
    }
};

TEST_F(ModalDialog, EnterPressesTheDefaultButtonAndEscapeCancels) {
    Dialog.Post([&] { PressKey(Focused(), VK_RETURN); });
    EXPECT_EQ(Dialog.ShowModal(), IDOK);
    Dialog.Post([&] { PressKey(Focused(), VK_ESCAPE); });
    EXPECT_EQ(Dialog.ShowModal(), IDCANCEL);
    Dialog.Post([&] { SendMessageW(Dialog.Control(IDCANCEL), BM_CLICK, 0, 0); });
    EXPECT_EQ(Dialog.ShowModal(), IDCANCEL);
    Dialog.Post([&] { PostMessageW(Dialog.Handle(), WM_CLOSE, 0, 0); });
    EXPECT_EQ(Dialog.ShowModal(), IDCANCEL);
    EXPECT_TRUE(IsWindow(Dialog.Handle()));
    EXPECT_EQ(Dialog.Shows, 4);
}

TEST_F(ModalDialog, OwnerIsDisabledWhileShownAndTheDialogIsCentredOnIt) {
    bool ownerEnabled = true;
    bool visible = false;
    RECT dialog{}, owner{};
    Dialog.Post([&] {
        ownerEnabled = IsWindowEnabled(Owner.Handle());
        visible = IsWindowVisible(Dialog.Handle());
        GetWindowRect(Dialog.Handle(), &dialog);
        GetWindowRect(Owner.Handle(), &owner);
        Dialog.EndModal(IDOK);
    });
    EXPECT_EQ(Dialog.ShowModal(), IDOK);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(visible);
    EXPECT_TRUE(IsWindowEnabled(Owner.Handle()));
    EXPECT_FALSE(IsWindowVisible(Dialog.Handle()));
    EXPECT_NEAR((dialog.left + dialog.right) / 2, (owner.left + owner.right) / 2, 1);
    EXPECT_NEAR((dialog.top + dialog.bottom) / 2, (owner.top + owner.bottom) / 2, 1);
    RECT client{};
    GetClientRect(Dialog.Handle(), &client);
    EXPECT_EQ(client.right, Dialog.Scale(270));
    EXPECT_EQ(client.bottom, Dialog.Scale(115));
}

TEST_F(ModalDialog, ControlsKeepTheirContentBetweenShowings) {
    const HWND edit = Dialog.Control(kEditId);
    Dialog.Post([&] {
        Dialog.SetControlText(kEditId, L"kept");
        Dialog.EndModal(IDOK);
    });
    Dialog.ShowModal();
    std::wstring seen;
    Dialog.Post([&] {
        seen = Dialog.ControlText(kEditId);
        Dialog.EndModal(IDCANCEL);
    });
    Dialog.ShowModal();
    EXPECT_EQ(seen, L"kept");
    EXPECT_EQ(Dialog.Control(kEditId), edit);
}

TEST_F(ModalDialog, TabMovesTheFocusAndEnterOnAButtonPressesIt) {
    HWND afterTab = nullptr;
    // Keys posted by a step arrive after the steps already queued, so each step queues the next.
    Dialog.Post([&] {
        SetFocus(Dialog.Control(kEditId));
        PressKey(Dialog.Control(kEditId), VK_TAB);
        Dialog.Post([&] {
            afterTab = GetFocus();
            PressKey(Focused(), VK_SPACE);
            Dialog.Post([&] { Dialog.EndModal(IDOK); });
        });
    });
    EXPECT_EQ(Dialog.ShowModal(), IDOK);
    EXPECT_EQ(afterTab, Dialog.Control(kOtherId));
    EXPECT_EQ(Dialog.OtherClicks, 1);
}

TEST_F(ModalDialog, EnterInTheEditAfterVisitingOtherButtonsStillMeansOK) {
    Dialog.Post([&] {
        SetFocus(Dialog.Control(kOtherId));
        Dialog.Post([&] {
            SetFocus(Dialog.Control(IDCANCEL));
            Dialog.Post([&] {
                SetFocus(Dialog.Control(kEditId));
                PressKey(Dialog.Control(kEditId), VK_RETURN);
            });
        });
    });
    EXPECT_EQ(Dialog.ShowModal(), IDOK);
    EXPECT_EQ(Dialog.OtherClicks, 0);
}

TEST_F(ModalDialog, FocusStartsOnTheFirstTabStopOrWhereOnShowAsks) {
    HWND focus = nullptr;
    Dialog.Post([&] {
        focus = GetFocus();
        Dialog.EndModal(IDOK);
    });
    Dialog.ShowModal();
    EXPECT_EQ(focus, Dialog.Control(kEditId));
    Dialog.FocusOn = kOtherId;
    Dialog.Post([&] {
        focus = GetFocus();
        Dialog.EndModal(IDOK);
    });
    Dialog.ShowModal();
    EXPECT_EQ(focus, Dialog.Control(kOtherId));
}

TEST_F(ModalDialog, QuitMessageEndsTheDialogAndReachesTheOuterLoop) {
    Dialog.Post([] { PostQuitMessage(7); });
    EXPECT_EQ(Dialog.ShowModal(), IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(Owner.Handle()));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(ModalDialog, DialogFontReachesItsControlsButNotThoseWithTheirOwn) {
    LOGFONTW lf{};
    lf.lfHeight = -17;
    wcscpy_s(lf.lfFaceName, L"Tahoma");
    TFontHandle font(CreateFontIndirectW(&lf));
    TFontHandle own(CreateFontIndirectW(&lf));
    SendMessageW(Dialog.Control(kOtherId), WM_SETFONT, reinterpret_cast<WPARAM>(own.Get()), 0);
    Dialog.SetDialogFont(font.Get());
    auto heightOf = [](HWND control) {
        LOGFONTW got{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(got),
                   &got);
        return got.lfHeight;
    };
    EXPECT_EQ(heightOf(Dialog.Control(kEditId)), -17);
    EXPECT_EQ(heightOf(Dialog.Control(IDOK)), -17);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(Dialog.Control(kOtherId), WM_GETFONT, 0, 0)),
              own.Get());
}

// A box raised for the owner while the dialog is open, the one F1 passed on to it ends in among
// them, belongs to the dialog.
TEST_F(ModalDialog, BoxesForTheOwnerBelongToTheDialogOpenOverIt) {
    std::vector<HWND> owners;
    SetMessageBoxSeam([&](HWND owner, const std::wstring&, TMsgKind, TMsgButtons) {
        owners.push_back(owner);
        return IDOK;
    });
    SetWindowSubclass(Owner.Handle(), OwnerHelp, 1, 0);
    Dialog.Post([&] {
        HELPINFO info{sizeof(info), HELPINFO_WINDOW, kEditId, Dialog.Control(kEditId), 0, {}};
        SendMessageW(Dialog.Control(kEditId), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        ShowMessage(Owner.Handle(), L"Saved.", TMsgKind::Information);
        Dialog.EndModal(IDOK);
    });
    Dialog.ShowModal();
    ShowMessage(Owner.Handle(), L"Saved.", TMsgKind::Information);
    RemoveWindowSubclass(Owner.Handle(), OwnerHelp, 1);
    SetMessageBoxSeam(nullptr);
    EXPECT_EQ(owners, (std::vector<HWND>{Dialog.Handle(), Dialog.Handle(), Owner.Handle()}));
}

} // namespace
} // namespace vantrel
