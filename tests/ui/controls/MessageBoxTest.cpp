// The real message box, answered from the keyboard: another thread finds the box of this
// thread and sends it a key, as the administrator would.
#include "ui/controls/MessageBox.h"

#include "TestWindows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace vantrel {
namespace {

struct TBoxSearch {
    std::wstring Title;
    HWND Box = nullptr;
};

HWND FindBox(DWORD thread, const std::wstring& title) {
    TBoxSearch search{title};
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<TBoxSearch*>(data);
            wchar_t name[16] = {};
            wchar_t caption[64] = {};
            GetClassNameW(window, name, 16);
            GetWindowTextW(window, caption, 64);
            if (lstrcmpW(name, L"#32770") == 0 && s->Title == caption && IsWindowVisible(window)) {
                s->Box = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Box;
}

// Waits on its own thread for the box titled `title` of the calling thread and presses `key`
// on the box's focused control. Should no box come, the test ends by its time limit.
class TBoxAnswerer {
public:
    TBoxAnswerer(const std::wstring& title, UINT key)
        : FThread([this, title, key, owner = GetCurrentThreadId()] {
              // The box is ready for keys once a control of it has the focus, which the box
              // sets after it was activated.
              HWND target = nullptr;
              for (int i = 0; i < 2000 && !target; ++i) {
                  HWND box = FindBox(owner, title);
                  GUITHREADINFO info{};
                  info.cbSize = sizeof(info);
                  if (box && GetGUIThreadInfo(owner, &info) && info.hwndFocus &&
                      GetAncestor(info.hwndFocus, GA_ROOT) == box) {
                      FBox = box;
                      target = info.hwndFocus;
                  } else {
                      Sleep(5);
                  }
              }
              if (!target)
                  return;
              FFocusedId = GetDlgCtrlID(target);
              // Windows ignores Escape in a box without Cancel; only a procedure of the
              // program's own in front of the box's makes Escape answer No there.
              FSubclassed = GetWindowLongPtrW(FBox, GWLP_WNDPROC) !=
                            static_cast<LONG_PTR>(GetClassLongPtrW(FBox, GCLP_WNDPROC));
              PostMessageW(target, WM_KEYDOWN, key, 1);
              PostMessageW(target, WM_KEYUP, key, 0xC0000001);
          }) {}
    ~TBoxAnswerer() { FThread.join(); }
    HWND Box() const { return FBox; }
    int FocusedId() const { return FFocusedId; }
    bool Subclassed() const { return FSubclassed; }

private:
    std::atomic<HWND> FBox{nullptr};
    std::atomic<int> FFocusedId{0};
    std::atomic<bool> FSubclassed{false};
    std::thread FThread;
};

class RealMessageBox : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxSeam(nullptr);
        ASSERT_TRUE(Owner.Handle());
    }
    testwin::TTestWindow Owner{200, 150, 500, 300};
};

TEST_F(RealMessageBox, QuestionAnswersNoOnEscapeAndYesOnEnter) {
    int answer = -1;
    {
        TBoxAnswerer escape(L"Confirm", VK_ESCAPE);
        answer = ShowMessage(Owner.Handle(), L"Revert?", TMsgKind::Confirm, TMsgButtons::YesNo);
        EXPECT_TRUE(escape.Box());
        EXPECT_TRUE(escape.Subclassed());
    }
    EXPECT_EQ(answer, IDNO);
    {
        TBoxAnswerer enter(L"Warning", VK_RETURN);
        answer =
            ShowMessage(Owner.Handle(), L"Are you sure?", TMsgKind::Warning, TMsgButtons::YesNo);
        EXPECT_TRUE(enter.Box());
        // Yes is the default button and has the focus.
        EXPECT_EQ(enter.FocusedId(), IDYES);
    }
    EXPECT_EQ(answer, IDYES);
    // The box is gone and the owner is usable again.
    EXPECT_FALSE(FindBox(GetCurrentThreadId(), L"Warning"));
    EXPECT_TRUE(IsWindowEnabled(Owner.Handle()));
}

TEST_F(RealMessageBox, BoxWithOnlyOKAnswersOKOnEscape) {
    int answer = -1;
    {
        TBoxAnswerer escape(L"Information", VK_ESCAPE);
        answer = ShowMessage(Owner.Handle(), L"Done.", TMsgKind::Information);
        EXPECT_TRUE(escape.Box());
        // A box with OK needs no help: Escape is its one answer.
        EXPECT_FALSE(escape.Subclassed());
    }
    EXPECT_EQ(answer, IDOK);
}

} // namespace
} // namespace vantrel
