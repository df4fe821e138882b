#include "model/Registry.h"
#include "tray/TrayApp.h"
#include "TraySupport.h"

#include <lmcons.h>

#include <functional>
#include <string>
#include <vector>

namespace vantrel {
namespace {

struct TShellCall {
    DWORD Message;
    UINT Flags;
    HICON Icon;
    UINT Callback;
    std::wstring Tip;
    std::wstring Balloon;
};

// The tray of a user whose figures the test writes into the real registry, as the service does.
class TrayFollow : public TrayClockTest {
protected:
    void SetUp() override {
        TrayClockTest::SetUp();
        wchar_t name[UNLEN + 1] = {};
        DWORD size = UNLEN + 1;
        ASSERT_TRUE(GetUserNameW(name, &size));
        User = name;
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, KeyPath().c_str());
        SetNotifyIconSeam([this](DWORD message, const NOTIFYICONDATAW& data) {
            Calls.push_back(
                {message, data.uFlags, data.hIcon, data.uCallbackMessage, data.szTip, data.szInfo});
            return TRUE;
        });
    }
    void TearDown() override {
        App.reset();
        SetNotifyIconSeam(nullptr);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, KeyPath().c_str());
        TrayClockTest::TearDown();
    }
    std::wstring KeyPath() const { return std::wstring(kFiguresKeyPath) + L"\\" + User; }
    void Write(const TUserFigures& figures) {
        TRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, KeyPath(), KEY_SET_VALUE));
        ASSERT_EQ(ERROR_SUCCESS, WriteUserFigures(key.Get(), figures));
    }
    // What the poll timer does.
    void Tick() { SendMessageW(App->Handle(), WM_TIMER, kTrayPollTimer, 0); }
    // Runs the thread's messages (the watch's among them) until `done` or `ms` passed.
    template <typename F> bool PumpUntil(F done, DWORD ms) {
        const DWORD start = GetTickCount();
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            if (done())
                return true;
            if (GetTickCount() - start >= ms)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
    }
    void Start() {
        App = std::make_unique<TTrayApp>();
        ASSERT_TRUE(App->Start(User));
    }

    std::wstring User;
    std::vector<TShellCall> Calls;
    std::unique_ptr<TTrayApp> App;
};

TEST_F(TrayFollow, IconAppearsChangesAndGoesWithTheFigures) {
    TUserFigures figures = TimeLeftFigures();
    figures.WarningSerial = 4; // a warning from before the start is not shown
    figures.Warning = L"Earlier warning";
    Write(figures);
    Start();
    ASSERT_EQ(2u, Calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), Calls[0].Message);
    EXPECT_EQ(L"45 minutes left today (until 20:00)", Calls[0].Tip);
    HICON shown = Calls[0].Icon;

    struct TStep {
        const char* Name;
        std::function<void(TUserFigures&)> Change;
        DWORD Message; // the last call to the shell
        std::wstring Tip;
        std::wstring Balloon;
        bool NewPicture;
    };
    const std::vector<TStep> steps = {
        {"the same again", [](TUserFigures&) {}, NIM_SETVERSION, L"", L"", false},
        {"bonus given",
         [](TUserFigures& f) {
             f.Bonus = 60;
             f.Left = 75;
         },
         NIM_MODIFY, L"1 hour 15 minutes left today (until 20:00)", L"", true},
        {"a warning",
         [](TUserFigures& f) {
             f.Left = 5;
             f.WarningSerial = 5;
             f.Warning = L"You have 5 minutes left.";
         },
         NIM_MODIFY, L"", L"You have 5 minutes left.", true},
        {"time used up",
         [](TUserFigures& f) {
             f.State = TFiguresState::OverLimit;
             f.Left = 0;
             f.AgainDays = 1;
             f.AgainAt = 7 * 60;
         },
         NIM_MODIFY, L"Allowed again tomorrow at 07:00", L"", true},
        {"limit turned off", [](TUserFigures& f) { f.Limited = false; }, NIM_DELETE, L"", L"",
         false},
        {"limit turned on",
         [](TUserFigures& f) {
             f.Limited = true;
             f.State = TFiguresState::TimeLeft;
             f.Left = 20;
         },
         NIM_SETVERSION, L"20 minutes left today (until 20:00)", L"", true},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Name);
        step.Change(figures);
        figures.Written = SecondsAgo(10);
        Write(figures);
        const size_t before = Calls.size();
        Tick();
        if (step.Tip.empty() && step.Balloon.empty() && step.Message != NIM_DELETE) {
            EXPECT_EQ(before, Calls.size());
            continue;
        }
        ASSERT_LT(before, Calls.size());
        const TShellCall& last = Calls.back();
        EXPECT_EQ(step.Message, last.Message);
        if (!step.Balloon.empty()) {
            EXPECT_EQ(step.Balloon, last.Balloon);
            EXPECT_TRUE(last.Flags & NIF_INFO);
        }
        for (size_t i = before; i < Calls.size(); ++i) {
            if (!(Calls[i].Flags & NIF_ICON))
                continue;
            EXPECT_EQ(step.Tip.empty() ? Calls[i].Tip : step.Tip, Calls[i].Tip);
            // A replaced picture is destroyed once the new one is shown.
            ICONINFO info{};
            if (shown) {
                EXPECT_EQ(step.NewPicture, Calls[i].Icon != shown);
            }
            if (shown && Calls[i].Icon != shown) {
                EXPECT_FALSE(GetIconInfo(shown, &info));
            }
            shown = Calls[i].Icon;
        }
        if (last.Message == NIM_DELETE)
            shown = nullptr; // gone with the icon
    }
}

// Without a poll: the service's writing reaches the icon within a second, each time, also for a
// key that was not there when the program started and one made anew.
TEST_F(TrayFollow, TheIconFollowsEachWritingOfTheKeyAtOnce) {
    Start();
    ASSERT_TRUE(App->Watching());
    EXPECT_TRUE(Calls.empty()); // no figures yet, no icon
    // The shell is given the tip with the picture (an add is followed by the version, which
    // carries none).
    const auto tipShown = [this](const std::wstring& tip) {
        return [this, tip] {
            for (auto call = Calls.rbegin(); call != Calls.rend(); ++call)
                if (call->Flags & NIF_TIP)
                    return call->Tip == tip;
            return false;
        };
    };
    TUserFigures figures = TimeLeftFigures();
    // The missing key is looked for again after a pause.
    Write(figures);
    EXPECT_TRUE(
        PumpUntil(tipShown(L"45 minutes left today (until 20:00)"), kFiguresReopenMs + 2000));
    for (int left : {44, 43, 30}) {
        figures.Left = left;
        figures.Written = SecondsAgo(0);
        Write(figures);
        const std::wstring tip = std::to_wstring(left) + L" minutes left today (until 20:00)";
        EXPECT_TRUE(PumpUntil(tipShown(tip), 1000)) << left;
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, KeyPath().c_str());
    figures.Left = 12;
    Write(figures);
    EXPECT_TRUE(PumpUntil(tipShown(L"12 minutes left today (until 20:00)"), 2 * kFiguresReopenMs));
}

TEST_F(TrayFollow, WindowFollowsTheFiguresAndTellsWhenTheServiceStopsCounting) {
    Write(TimeLeftFigures());
    Start();
    // The window opens on the figures as they stand, not as the last reading left them.
    TUserFigures figures = TimeLeftFigures();
    figures.Bonus = 0;
    figures.Left = 15;
    Write(figures);
    // The keyboard's choice of the icon, as the shell reports it after NOTIFYICON_VERSION_4.
    SendMessageW(App->Handle(), Calls.at(0).Callback, 0, MAKELPARAM(NIN_KEYSELECT, 1));
    ASSERT_TRUE(App->Window().Shown());
    std::wstring text = App->Window().Text();
    EXPECT_EQ(0u, text.find(L"15 minutes left today (until 20:00)")) << text;
    EXPECT_NE(text.find(L"Bonus today: None"), std::wstring::npos) << text;

    // While open, it follows each reading.
    figures.Left = 10;
    Write(figures);
    Tick();
    text = App->Window().Text();
    EXPECT_NE(text.find(L"Time left: 10 minutes"), std::wstring::npos) << text;

    // Programs with a limit of their own come after the figures, also for Tab, and go again.
    RECT plain{};
    GetWindowRect(App->Window().Handle(), &plain);
    figures.Programs = {{L"Game", 20}, {L"Chat", 0}};
    Write(figures);
    Tick();
    const std::wstring programs = L"\nChat: not allowed now\nGame: 20 minutes left today";
    text = App->Window().Text();
    EXPECT_EQ(text.size() - programs.size(), text.find(programs)) << text;
    EXPECT_EQ(L"10 minutes left today (until 20:00)" + programs, Calls.back().Tip);
    HWND lastField =
        GetNextDlgTabItem(App->Window().Handle(), GetDlgItem(App->Window().Handle(), IDOK), TRUE);
    wchar_t field[64] = {};
    GetWindowTextW(lastField, field, 64);
    EXPECT_STREQ(L"20 minutes left today", field);
    RECT longer{};
    GetWindowRect(App->Window().Handle(), &longer);
    EXPECT_GT(longer.bottom - longer.top, plain.bottom - plain.top);
    figures.Programs.clear();
    Write(figures);
    Tick();
    EXPECT_EQ(std::wstring::npos, App->Window().Text().find(L"Game")) << text;

    // The service writes nothing more: five minutes on, the figures are out of date. The longer
    // sentence neither grows nor moves the window.
    RECT before{};
    GetWindowRect(App->Window().Handle(), &before);
    Now.wMinute += 5;
    Tick();
    RECT after{};
    GetWindowRect(App->Window().Handle(), &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_EQ(0u, App->Window().Text().find(L"Your time left is not known"));
    EXPECT_EQ(L"Time left unknown: these numbers are out of date", Calls.back().Tip);

    // Escape closes the window.
    MSG escape{};
    escape.hwnd = GetFocus() ? GetFocus() : App->Window().Handle();
    escape.message = WM_KEYDOWN;
    escape.wParam = VK_ESCAPE;
    EXPECT_TRUE(App->PreTranslate(escape));
    EXPECT_FALSE(App->Window().Shown());

    // A new taskbar gets the icon anew; the end takes it away.
    SendMessageW(App->Handle(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), Calls[Calls.size() - 2].Message);
    App.reset();
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), Calls.back().Message);
}

} // namespace
} // namespace vantrel
