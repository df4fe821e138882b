// The status bar of the real main window: the formula text and the storage pictures.
#include "MainFormSupport.h"

#include "ui/ServiceStatus.h"

#include <atomic>

namespace vantrel::testing {
namespace {

using MainFormStatus = MainFormTest;

std::wstring PanelText(HWND status, int panel) {
    wchar_t text[256] = {};
    SendMessageW(status, SB_GETTEXTW, panel, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring HintOf(HWND toolTip, HWND owner, HWND icon) {
    wchar_t text[256] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = owner;
    tool.uId = reinterpret_cast<UINT_PTR>(icon);
    tool.lpszText = text;
    SendMessageW(toolTip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    return text;
}

RECT PlaceInParent(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST_F(MainFormStatus, LocalStoreShowsItsPictureAndTheFormula) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    HWND status = Form().StatusBar;
    EXPECT_EQ(L"Time limit + Bonus time - Time usage = Time remaining", PanelText(status, 0));
    EXPECT_TRUE(IsWindowVisible(Form().ImageLocalRegistry));
    EXPECT_FALSE(IsWindowVisible(Form().ImageRemoteRegistry));
    EXPECT_EQ(status, GetParent(Form().ImageLocalRegistry));
    EXPECT_EQ(status, GetParent(Form().ImageRemoteRegistry));
    EXPECT_EQ(L"User data is stored locally",
              HintOf(Form().StatusBarHints, status, Form().ImageLocalRegistry));
    EXPECT_EQ(L"User data is stored on a network computer",
              HintOf(Form().StatusBarHints, status, Form().ImageRemoteRegistry));
    EXPECT_NE(0, SendMessageW(Form().ImageLocalRegistry, STM_GETICON, 0, 0));
    EXPECT_NE(0, SendMessageW(Form().ImageRemoteRegistry, STM_GETICON, 0, 0));
}

TEST_F(MainFormStatus, NetworkStoreShowsTheOtherPicture) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedPrefs(false, true, L"FARAWAY");
    SetRemoteRegistrySeam([](const std::wstring&, HKEY* root) {
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"", 0, KEY_ALL_ACCESS, root);
    });
    Start();
    EXPECT_TRUE(Messages.empty());
    EXPECT_FALSE(IsWindowVisible(Form().ImageLocalRegistry));
    EXPECT_TRUE(IsWindowVisible(Form().ImageRemoteRegistry));
    // Switched back, as the preferences command does after a change.
    Form().Prefs.UseRemoteRegistry = false;
    Form().UpdateStatusBar();
    EXPECT_TRUE(IsWindowVisible(Form().ImageLocalRegistry));
    EXPECT_FALSE(IsWindowVisible(Form().ImageRemoteRegistry));
}

TEST_F(MainFormStatus, ResizingKeepsThePictureAtTheRightEnd) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    for (int width : {582, 800, 450}) {
        SetWindowPos(Form().Handle(), nullptr, 0, 0, Form().Scale(width), Form().Scale(302),
                     SWP_NOMOVE | SWP_NOZORDER);
        RECT status{};
        GetClientRect(Form().StatusBar, &status);
        int parts[3] = {};
        ASSERT_EQ(3,
                  SendMessageW(Form().StatusBar, SB_GETPARTS, 3, reinterpret_cast<LPARAM>(parts)));
        EXPECT_EQ(status.right - Form().Scale(50), parts[1]) << width;
        for (HWND icon : {Form().ImageLocalRegistry, Form().ImageRemoteRegistry}) {
            RECT place = PlaceInParent(icon);
            EXPECT_EQ(status.right - Form().Scale(36), place.left) << width;
            EXPECT_EQ(Form().Scale(2), place.top) << width;
            EXPECT_EQ(Form().Scale(16), place.right - place.left);
        }
    }
}

std::string Hex(const std::string& text) {
    std::string hex;
    char pair[3] = {};
    for (unsigned char c : text) {
        std::snprintf(pair, sizeof(pair), "%02x", c);
        hex += pair;
    }
    return hex;
}

TEST_F(MainFormStatus, ServicePartTellsTheServicesState) {
    struct TCase {
        const char* News; // nullptr: no service
        const wchar_t* Text;
        bool Stranger = false; // its pipe made by a program without administrator rights
        const wchar_t* Remaining = L" 00:00"; // alice's row
        bool Whole = true;                    // the formula beside it shows whole
    } cases[] = {
        {nullptr, L"Time-limit service not running: limits are not enforced"},
        {"41, QORsvc minute; last=2026-12-07 14:03; store=local",
         L"Time-limit service not reached: another program serves its pipe", true},
        {"43, QORsvc running; last=-; store=local", L"Service running"},
        // The 12-hour clock of the preferences; a day before today says which.
        {"41, QORsvc minute; last=2026-12-07 14:03; store=network",
         L"Service running, last minute 2:03 p.m."},
        {"42, QORsvc settings; last=2026-12-07 14:05; store=unreachable; since=2026-12-06 13:58",
         L"Network store not reachable since yesterday 1:58 p.m.: counting on this computer", false,
         L" 00:00", false},
        {"41, QORsvc minute; last=2026-12-07 14:06; store=local; logofffailed=alice",
         L"Time is up, but alice could not be logged off", false, L"Not logged off", false},
        {"41, QORsvc minute; last=2026-12-07 14:07; store=local; logoffpending=alice",
         L"Time is up: logging off alice, not done yet", false, L"Logging off", false},
        {"41, QORsvc minute; last=2026-12-07 14:08; store=local",
         L"Service running, last minute 2:08 p.m."},
    };
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedUsage(L"alice", L"PC1", 60);
    std::vector<std::wstring> hints;
    const TCase* standIn = nullptr; // the row the stand-in runs for
    for (const TCase& c : cases) {
        if (c.News && (!standIn || standIn->Stranger != c.Stranger)) {
            App.reset();
            ASSERT_TRUE(StartStandIn(c.Stranger ? L"--user-owned" : L""));
            standIn = &c;
        }
        if (!App)
            Start();
        if (c.Stranger) {
            // Not even a saved change goes to it.
            Form().CommitUser(Form().Users().Items(0));
            EXPECT_FALSE(Form().PipeClient()->IsConnected());
        } else if (c.News) {
            ASSERT_TRUE(PumpUntil([&] { return Form().PipeClient()->IsConnected(); }));
            ASSERT_EQ("ok", StandIn.Command("rawhex " + Hex(c.News)));
        }
        HWND status = Form().StatusBar;
        EXPECT_TRUE(PumpUntil([&] { return PanelText(status, TMainForm::kServicePart) == c.Text; }))
            << PanelText(status, TMainForm::kServicePart).c_str();
        EXPECT_EQ(c.Remaining, Cell(0, 4)) << c.Text;
        Form().UserList().PlaceBars();
        EXPECT_EQ(c.Remaining == std::wstring(L" 00:00"), Form().UserList().BarOfRow(0) != nullptr)
            << c.Text;
        EXPECT_NE(0, SendMessageW(status, SB_GETICON, TMainForm::kServicePart, 0)) << c.Text;
        const std::wstring hint = HintOf(Form().StatusBarHints, status,
                                         reinterpret_cast<HWND>(TMainForm::kServiceHintId));
        EXPECT_FALSE(hint.empty()) << c.Text;
        hints.push_back(hint);
        // At the window's first size the part shows its whole text, and the formula beside
        // it whole as well.
        for (int panel : {0, TMainForm::kServicePart}) {
            if (!c.Whole)
                break;
            RECT part{};
            SendMessageW(status, SB_GETRECT, panel, reinterpret_cast<LPARAM>(&part));
            const std::wstring text = PanelText(status, panel);
            HDC dc = GetDC(status);
            HGDIOBJ old =
                SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(status, WM_GETFONT, 0, 0)));
            SIZE extent{};
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            SelectObject(dc, old);
            ReleaseDC(status, dc);
            EXPECT_GT(part.right - part.left, extent.cx + Form().Scale(panel == 0 ? 10 : 16))
                << c.Text;
        }
        if (!c.News)
            App.reset();
    }
    EXPECT_NE(hints[0], hints[1]);
    EXPECT_NE(hints[0], hints[3]);
    EXPECT_NE(hints[3], hints[4]);
    EXPECT_NE(hints[3], hints[5]);
}

TEST_F(MainFormStatus, AServiceThatStopsTellingIsNotRespondingAndOneNotRunningCanBeStarted) {
    std::atomic<ULONGLONG> now{1000000};
    SetMonotonicSeam([&] { return now.load(); });
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    HWND status = Form().StatusBar;
    ASSERT_TRUE(PumpUntil([&] { return Form().PipeClient()->IsConnected(); }));
    ASSERT_EQ("ok", StandIn.Command("rawhex " +
                                    Hex("41, QORsvc minute; last=2026-12-07 09:59; store=local")));
    ASSERT_TRUE(PumpUntil([&] {
        return PanelText(status, TMainForm::kServicePart) ==
               L"Service running, last minute 9:59 a.m.";
    }));
    const auto after = [&](ULONGLONG ms) {
        now += ms;
        Form().UpdateServiceStatus();
        return PanelText(status, TMainForm::kServicePart);
    };
    EXPECT_EQ(L"Service running, last minute 9:59 a.m.", after(kServiceSilentMs));
    EXPECT_EQ(L"Service not responding since 9:59 a.m.: limits may not be enforced", after(1));
    EXPECT_FALSE(Form().Action(TMainCommand::AMToolsStartService).Enabled);

    // Gone: the part offers to start it. Under Wine the service manager knows no "QORsvc".
    App.reset();
    StandIn.Stop();
    SetMonotonicSeam(nullptr);
    Messages.clear();
    Start();
    status = Form().StatusBar;
    EXPECT_EQ(L"Time-limit service not running: limits are not enforced",
              PanelText(status, TMainForm::kServicePart));
    EXPECT_TRUE(Form().Action(TMainCommand::AMToolsStartService).Enabled);
    RECT part{};
    SendMessageW(status, SB_GETRECT, TMainForm::kServicePart, reinterpret_cast<LPARAM>(&part));
    const LPARAM at = MAKELPARAM(part.left + 30, (part.top + part.bottom) / 2);
    SendMessageW(status, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(status, WM_LBUTTONUP, 0, at);
    ASSERT_EQ(1u, Messages.size());
    EXPECT_EQ(0u, Messages[0].Text.find(L"The time-limit service could not be started: "))
        << Messages[0].Text.c_str();
    EXPECT_EQ(TMsgKind::Error, Messages[0].Kind);
    // The menu's command does the same.
    EXPECT_TRUE(Form().ActionManager.Execute(Form().Action(TMainCommand::AMToolsStartService)));
    EXPECT_EQ(2u, Messages.size());
}

} // namespace
} // namespace vantrel::testing
