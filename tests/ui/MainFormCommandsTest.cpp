// The command table and the three surfaces that show it, on the real main window.
#include "MainFormSupport.h"

#include "ui/dialogs/AboutForm.h"

namespace vantrel::testing {
namespace {

using MainFormCommands = MainFormTest;
using C = TMainCommand;

constexpr C kUserCommands[6] = {C::AMEditDailyTimeLimits,     C::AMEditDetailedTimeUsage,
                                C::AMEditWeeklyTimeUsage,     C::AMEditPrograms,
                                C::AMEditIncreaseTodaysLimit, C::AMEditDecreaseTodaysLimit};

std::wstring MenuText(HMENU menu, int index) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, index, text, 128, MF_BYPOSITION);
    return text;
}

TEST_F(MainFormCommands, TableHoldsEveryCommand) {
    Start();
    struct Row {
        C Id;
        const wchar_t* Category;
        const wchar_t* Caption;
        int Image;
        WORD Key;
    };
    const Row rows[] = {
        {C::AMFileExit, L"File", L"Exit", kNoImage, 0},
        {C::AMEditDailyTimeLimits, L"Users", L"Daily time limits...", 3, 0},
        {C::AMEditDetailedTimeUsage, L"Users", L"Detailed time usage...", 17, 0},
        {C::AMEditWeeklyTimeUsage, L"Users", L"Weekly time usage...", 4, VK_F7},
        {C::AMEditPrograms, L"Users", L"Programs...", 18, 0},
        {C::AMEditIncreaseTodaysLimit, L"Users", L"Increase bonus time...", 7, 0},
        {C::AMEditDecreaseTodaysLimit, L"Users", L"Decrease bonus time...", 8, 0},
        {C::AMEditAnswerRequest, L"Users", L"Answer request...", 1, 0},
        {C::AMEditRefresh, L"Tools", L"Refresh user data", 5, 0},
        {C::AMToolsUsageReport, L"Tools", L"Time usage report...", 9, 0},
        {C::AMToolsPreferences, L"Tools", L"Preferences...", 6, 0},
        {C::AMToolsLog, L"Tools", L"View logfile...", 14, 0},
        {C::AMToolsStartService, L"Tools", L"Start time-limit service", kNoImage, 0},
        {C::AMHelpHelp, L"Help", L"Help", 15, VK_F1},
        {C::AMHelpAbout, L"Help", L"About...", 0, 0},
    };
    ASSERT_EQ(std::size(rows), Form().ActionManager.Actions().size());
    for (const Row& row : rows) {
        const TAction& action = Form().Action(row.Id);
        EXPECT_EQ(row.Category, action.Category) << row.Id;
        EXPECT_EQ(row.Caption, action.Caption) << row.Id;
        EXPECT_EQ(row.Image, action.ImageIndex) << row.Id;
        EXPECT_EQ(row.Key, action.ShortCut) << row.Id;
        EXPECT_TRUE(action.OnExecute) << row.Id;
    }
}

TEST_F(MainFormCommands, MenuBarToolBarAndPopupShowTheirCommandsInOrder) {
    Start();
    HMENU bar = Form().ActionMainMenuBar;
    ASSERT_EQ(bar, GetMenu(Form().Handle()));
    ASSERT_EQ(4, GetMenuItemCount(bar));
    const std::vector<std::vector<std::pair<const wchar_t*, C>>> items = {
        {{L"&Exit", C::AMFileExit}},
        {{L"&Daily time limits...", C::AMEditDailyTimeLimits},
         {L"De&tailed time usage...", C::AMEditDetailedTimeUsage},
         {L"&Weekly time usage...", C::AMEditWeeklyTimeUsage},
         {L"&Programs...", C::AMEditPrograms},
         {nullptr, kSeparator},
         {L"&Increase bonus time...", C::AMEditIncreaseTodaysLimit},
         {L"D&ecrease bonus time...", C::AMEditDecreaseTodaysLimit},
         {L"&Answer request...", C::AMEditAnswerRequest}},
        {{L"&Refresh user data", C::AMEditRefresh},
         {L"&Time usage report...", C::AMToolsUsageReport},
         {nullptr, kSeparator},
         {L"&Preferences...", C::AMToolsPreferences},
         {L"&View logfile...", C::AMToolsLog},
         {L"&Start time-limit service", C::AMToolsStartService}},
        {{L"&Help", C::AMHelpHelp}, {nullptr, kSeparator}, {L"&About...", C::AMHelpAbout}},
    };
    const wchar_t* menus[4] = {L"&File", L"&Users", L"&Tools", L"&Help"};
    for (int m = 0; m < 4; ++m) {
        EXPECT_EQ(menus[m], MenuText(bar, m));
        HMENU sub = GetSubMenu(bar, m);
        ASSERT_NE(nullptr, sub);
        ASSERT_EQ(static_cast<int>(items[m].size()), GetMenuItemCount(sub)) << menus[m];
        for (int i = 0; i < GetMenuItemCount(sub); ++i) {
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE | MIIM_ID;
            GetMenuItemInfoW(sub, i, TRUE, &info);
            EXPECT_TRUE(info.fType & MFT_OWNERDRAW);
            if (!items[m][i].first) {
                EXPECT_TRUE(info.fType & MFT_SEPARATOR) << menus[m] << " " << i;
                continue;
            }
            EXPECT_EQ(items[m][i].first, MenuText(sub, i));
            EXPECT_EQ(Form().Action(items[m][i].second).CommandId, info.wID);
        }
    }

    HWND tools = Form().ActionToolBar;
    const C buttons[11] = {C::AMEditDailyTimeLimits,
                           C::AMEditDetailedTimeUsage,
                           C::AMEditWeeklyTimeUsage,
                           C::AMEditPrograms,
                           kSeparator,
                           C::AMEditIncreaseTodaysLimit,
                           C::AMEditDecreaseTodaysLimit,
                           C::AMEditAnswerRequest,
                           kSeparator,
                           C::AMEditRefresh,
                           C::AMToolsUsageReport};
    ASSERT_EQ(11, SendMessageW(tools, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < 11; ++i) {
        TBBUTTON button{};
        SendMessageW(tools, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        if (buttons[i] == kSeparator) {
            EXPECT_TRUE(button.fsStyle & BTNS_SEP) << i;
            continue;
        }
        EXPECT_EQ(static_cast<int>(Form().Action(buttons[i]).CommandId), button.idCommand);
        EXPECT_EQ(Form().Action(buttons[i]).ImageIndex, button.iBitmap);
        // Pictures only.
        EXPECT_EQ(0, SendMessageW(tools, TB_GETBUTTONTEXTW, button.idCommand, 0));
    }
    // No tool tips anywhere on the command surfaces.
    EXPECT_FALSE(GetWindowLongW(tools, GWL_STYLE) & TBSTYLE_TOOLTIPS);
    EXPECT_EQ(0, SendMessageW(tools, TB_GETTOOLTIPS, 0, 0));

    HMENU popup = Form().PopupActionMenuMain;
    ASSERT_EQ(8, GetMenuItemCount(popup));
    const C popupItems[8] = {C::AMEditDailyTimeLimits,
                             C::AMEditDetailedTimeUsage,
                             C::AMEditWeeklyTimeUsage,
                             C::AMEditPrograms,
                             kSeparator,
                             C::AMEditIncreaseTodaysLimit,
                             C::AMEditDecreaseTodaysLimit,
                             C::AMEditAnswerRequest};
    for (int i = 0; i < 8; ++i) {
        if (popupItems[i] == kSeparator) {
            EXPECT_TRUE(GetMenuState(popup, i, MF_BYPOSITION) & MF_SEPARATOR);
            continue;
        }
        EXPECT_EQ(Form().Action(popupItems[i]).Caption, MenuText(popup, i));
        EXPECT_EQ(Form().Action(popupItems[i]).CommandId, GetMenuItemID(popup, i));
    }
}

TEST_F(MainFormCommands, UserCommandsFollowTheSelectionOnEverySurface) {
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", false, 60);
    Start();
    auto expectAll = [&](bool enabled) {
        for (C name : kUserCommands) {
            EXPECT_EQ(enabled, Form().Action(name).Enabled) << name;
            EXPECT_EQ(enabled, MenuEnabled(name)) << name;
            EXPECT_EQ(enabled, ToolEnabled(name)) << name;
            EXPECT_EQ(enabled, PopupEnabled(name)) << name;
        }
        for (C other : {C::AMFileExit, C::AMEditRefresh, C::AMToolsUsageReport,
                        C::AMToolsPreferences, C::AMToolsLog, C::AMHelpHelp, C::AMHelpAbout}) {
            EXPECT_TRUE(MenuEnabled(other)) << other;
        }
        EXPECT_TRUE(ToolEnabled(C::AMEditRefresh));
        EXPECT_TRUE(ToolEnabled(C::AMToolsUsageReport));
    };
    expectAll(false);
    SelectRow(1);
    expectAll(true);
    SelectRow(-1);
    expectAll(false);
    SelectRow(0);
    expectAll(true);

    // A disabled command does not run from its surface.
    int runs = 0;
    Form().Action(C::AMEditIncreaseTodaysLimit).OnExecute = [&] { ++runs; };
    SelectRow(-1);
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(C::AMEditIncreaseTodaysLimit).CommandId,
                 0);
    EXPECT_EQ(0, runs);
    SelectRow(0);
    SendMessageW(Form().Handle(), WM_COMMAND,
                 MAKEWPARAM(Form().Action(C::AMEditIncreaseTodaysLimit).CommandId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Form().ActionToolBar));
    EXPECT_EQ(1, runs);
}

TEST_F(MainFormCommands, ShorterListAfterRefreshLeavesNoCommandEnabled) {
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", true, 60);
    Start();
    SelectRow(1);
    ASSERT_TRUE(MenuEnabled(C::AMEditDailyTimeLimits));
    // The records go away from under the rows; whether the reload builds the collection anew
    // or finds it empty, row 1 does not come back.
    Accounts = {L"alice"};
    Form().Users().Clear();
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(C::AMEditRefresh).CommandId, 0);
    EXPECT_EQ(nullptr, Form().SelectedUser());
    EXPECT_FALSE(MenuEnabled(C::AMEditDailyTimeLimits));
    EXPECT_FALSE(ToolEnabled(C::AMEditDailyTimeLimits));
}

TEST_F(MainFormCommands, DoubleClickRunsTheCommandThePreferenceChooses) {
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", true, 60);
    for (bool timeUsage : {false, true}) {
        SeedPrefs(timeUsage);
        Start();
        std::vector<std::pair<C, TQorUser*>> runs;
        for (C name : kUserCommands)
            Form().Action(name).OnExecute = [&, name] {
                runs.push_back({name, Form().SelectedUser()});
            };
        SelectRow(1);
        RECT row = RowRect(1);
        LPARAM point = MAKELPARAM(row.left + Form().Scale(30), (row.top + row.bottom) / 2);
        SendMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, point);
        SendMessageW(List(), WM_LBUTTONUP, 0, point);
        Pump();
        ASSERT_EQ(1u, runs.size()) << timeUsage;
        EXPECT_EQ(timeUsage ? C::AMEditDetailedTimeUsage : C::AMEditDailyTimeLimits, runs[0].first);
        EXPECT_EQ(RowUser(1), runs[0].second);
        App.reset();
    }
}

TEST_F(MainFormCommands, DoubleClickOnEmptySpaceHasNoUserToWorkOn) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    std::vector<TQorUser*> seen;
    Form().Action(C::AMEditDailyTimeLimits).OnExecute = [&] {
        seen.push_back(Form().SelectedUser());
    };
    RECT client{};
    GetClientRect(List(), &client);
    LPARAM empty = MAKELPARAM(Form().Scale(30), client.bottom - Form().Scale(5));
    SendMessageW(List(), WM_LBUTTONDOWN, MK_LBUTTON, empty);
    SendMessageW(List(), WM_LBUTTONUP, 0, empty);
    SendMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, empty);
    SendMessageW(List(), WM_LBUTTONUP, 0, empty);
    Pump();
    EXPECT_EQ(-1, SelectedRow());
    // The rule runs the handler whatever the enabled state; the handler finds no user.
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(nullptr, seen[0]);
    EXPECT_FALSE(MenuEnabled(C::AMEditDailyTimeLimits));
}

TEST_F(MainFormCommands, F1RunsHelpAndAccessKeysFindTheirItems) {
    Start();
    int help = 0;
    Form().Action(C::AMHelpHelp).OnExecute = [&] { ++help; };
    PostMessageW(List(), WM_KEYDOWN, VK_F1, 1);
    PostMessageW(List(), WM_KEYUP, VK_F1, 0xC0000001);
    Pump();
    EXPECT_EQ(1, help);
    // F1 with a menu open arrives as WM_HELP.
    HELPINFO info{};
    info.cbSize = sizeof(info);
    SendMessageW(Form().Handle(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(2, help);

    HMENU bar = Form().ActionMainMenuBar;
    auto menuChar = [&](wchar_t key, HMENU menu) {
        return SendMessageW(Form().Handle(), WM_MENUCHAR, MAKEWPARAM(key, MF_POPUP),
                            reinterpret_cast<LPARAM>(menu));
    };
    EXPECT_EQ(MAKELRESULT(0, MNC_EXECUTE), menuChar(L'f', bar));
    EXPECT_EQ(MAKELRESULT(1, MNC_EXECUTE), menuChar(L'U', bar));
    EXPECT_EQ(MAKELRESULT(3, MNC_EXECUTE), menuChar(L'h', bar));
    EXPECT_EQ(MAKELRESULT(1, MNC_EXECUTE), menuChar(L't', GetSubMenu(bar, 1)));
    EXPECT_EQ(MAKELRESULT(2, MNC_EXECUTE), menuChar(L'w', GetSubMenu(bar, 1)));
    EXPECT_EQ(MAKELRESULT(3, MNC_EXECUTE), menuChar(L'p', GetSubMenu(bar, 1)));
    EXPECT_EQ(MAKELRESULT(6, MNC_EXECUTE), menuChar(L'e', GetSubMenu(bar, 1)));
    EXPECT_EQ(MAKELRESULT(3, MNC_EXECUTE), menuChar(L'p', GetSubMenu(bar, 2)));
    EXPECT_EQ(MNC_IGNORE, HIWORD(menuChar(L'q', GetSubMenu(bar, 2))));
}

TEST_F(MainFormCommands, MenusAreDrawnByTheProgram) {
    Start();
    HMENU sub = GetSubMenu(Form().ActionMainMenuBar, 1);
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA;
    ASSERT_TRUE(GetMenuItemInfoW(sub, 0, TRUE, &info));
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_MENU;
    measure.itemID = GetMenuItemID(sub, 0);
    measure.itemData = info.dwItemData;
    SendMessageW(Form().Handle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
    EXPECT_GT(static_cast<int>(measure.itemWidth), Form().Scale(16) + Form().Scale(40));
    EXPECT_GE(static_cast<int>(measure.itemHeight), Form().Scale(16) + Form().Scale(6));

    // Drawing a selected item paints the colour map's selection fill and frame.
    int width = static_cast<int>(measure.itemWidth);
    int height = static_cast<int>(measure.itemHeight);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(dc, bitmap);
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_MENU;
    draw.itemID = measure.itemID;
    draw.itemAction = ODA_SELECT;
    draw.itemState = ODS_SELECTED;
    draw.hDC = dc;
    draw.rcItem = RECT{0, 0, width, height};
    draw.itemData = info.dwItemData;
    SendMessageW(Form().Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
    // Before any settings change, the stored grey design values.
    TXPColorMapEx colors;
    EXPECT_EQ(ColorToRGB(colors.BtnFrameColor), GetPixel(dc, 0, height / 2));
    EXPECT_EQ(ColorToRGB(colors.SelectedColor), GetPixel(dc, width - 3, 2));

    // After the platform's settings-changed notification the selection follows the system
    // highlight colour.
    SendMessageW(Form().Handle(), WM_SETTINGCHANGE, 0, 0);
    SendMessageW(Form().Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
    colors.UpdateColors();
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), GetPixel(dc, 0, height / 2));
    EXPECT_EQ(ColorToRGB(colors.SelectedColor), GetPixel(dc, width - 3, 2));
    EXPECT_NE(RGB(0xEA, 0xEA, 0xEA), GetPixel(dc, width - 3, 2));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

TEST_F(MainFormCommands, ExitClosesTheWindowPipeFirst) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    ASSERT_TRUE(Form().PipeClient()->IsConnected());
    ASSERT_TRUE(PumpUntil([&] { return StandIn.Command("stats").find("clients=1") == 0; }));
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(C::AMFileExit).CommandId, 0);
    Pump();
    EXPECT_EQ(nullptr, Form().Handle());
    EXPECT_EQ(nullptr, Form().PipeClient());
    EXPECT_TRUE(PumpUntil([&] { return StandIn.Command("stats").find("clients=0") == 0; }));
}

// As the program starts: the dialogs are made after the main window shows, and a command
// given before that makes them itself.
TEST_F(MainFormCommands, AboutShowsTheAboutDialogModallyAlsoBeforeTheDialogsAreMade) {
    App = std::make_unique<TApplication>();
    ASSERT_TRUE(App->CreateMainForm());
    ASSERT_TRUE(App->ShowMainForm(SW_SHOWNORMAL));
    EXPECT_EQ(nullptr, App->AboutForm.Handle());
    static TApplication* app;
    static bool sawDialog;
    static bool ownerDisabled;
    app = App.get();
    sawDialog = false;
    ownerDisabled = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND dialog = app->AboutForm.Handle();
        if (!dialog || !IsWindowVisible(dialog))
            return;
        wchar_t caption[64] = {};
        GetWindowTextW(dialog, caption, 64);
        sawDialog = std::wstring(caption) == L"About Vantrel";
        ownerDisabled = !IsWindowEnabled(app->MainForm.Handle());
        app->AboutForm.EndModal(IDOK);
    });
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(C::AMHelpAbout).CommandId, 0);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(sawDialog);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(Form().Handle()));
    EXPECT_FALSE(IsWindowVisible(App->AboutForm.Handle()));
    EXPECT_NE(nullptr, App->DetailedTimeUsageForm.Handle());
}

// A command posted to the window while a dialog is open over it does not open a second one.
TEST_F(MainFormCommands, ACommandPostedWhileADialogIsOpenDoesNotRun) {
    Start();
    static TApplication* app;
    static int preferences;
    static bool handledWhileOpen;
    app = App.get();
    preferences = 0;
    handledWhileOpen = false;
    Form().Action(C::AMToolsPreferences).OnExecute = [] { ++preferences; };
    UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND dialog = app->AboutForm.Handle();
        if (handledWhileOpen || !IsWindowVisible(dialog))
            return;
        handledWhileOpen = true;
        PostMessageW(app->MainForm.Handle(), WM_COMMAND,
                     app->MainForm.Action(C::AMToolsPreferences).CommandId, 0);
        // The dialog's own loop dispatches it.
        MSG msg;
        while (PeekMessageW(&msg, app->MainForm.Handle(), WM_COMMAND, WM_COMMAND, PM_REMOVE))
            DispatchMessageW(&msg);
        app->AboutForm.EndModal(IDOK);
    });
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(C::AMHelpAbout).CommandId, 0);
    KillTimer(nullptr, timer);
    ASSERT_TRUE(handledWhileOpen);
    EXPECT_EQ(0, preferences);
    // Once the dialog closed, the same command runs.
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(C::AMToolsPreferences).CommandId, 0);
    EXPECT_EQ(1, preferences);
}

TEST_F(MainFormCommands, TheDialogsAreMadeRightAfterTheMainWindowShows) {
    App = std::make_unique<TApplication>();
    ASSERT_TRUE(App->CreateMainForm());
    ASSERT_TRUE(App->ShowMainForm(SW_SHOWNORMAL));
    Pump();
    EXPECT_NE(nullptr, App->DailyTimeLimitsForm.Handle());
    EXPECT_NE(nullptr, App->DetailedTimeUsageForm.Handle());
}

TEST_F(MainFormCommands, RightClickOnARowShowsThePopupMenuWithTheCommandsEnabled) {
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", true, 60);
    Start();
    static bool shown;
    static bool enabled;
    static TMainForm* form;
    shown = false;
    enabled = false;
    form = &Form();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND menu = FindWindowW(L"#32768", nullptr);
        if (!menu || !IsWindowVisible(menu))
            return;
        shown = true;
        UINT state = GetMenuState(form->PopupActionMenuMain,
                                  form->Action(C::AMEditDailyTimeLimits).CommandId, MF_BYCOMMAND);
        enabled = !(state & (MF_GRAYED | MF_DISABLED));
        EndMenu();
    });
    RECT row = RowRect(1);
    LPARAM point = MAKELPARAM(row.left + Form().Scale(30), (row.top + row.bottom) / 2);
    PostMessageW(List(), WM_RBUTTONDOWN, MK_RBUTTON, point);
    PostMessageW(List(), WM_RBUTTONUP, 0, point);
    EXPECT_TRUE(PumpUntil([] { return shown; }));
    KillTimer(nullptr, timer);
    EXPECT_EQ(1, SelectedRow());
    EXPECT_TRUE(enabled);
}

TEST_F(MainFormCommands, SystemMenuMinimizesAndRestoresTheWindow) {
    Start();
    SendMessageW(Form().Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(Form().Handle()));
    SendMessageW(Form().Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(Form().Handle()));
    EXPECT_TRUE(IsWindowVisible(Form().Handle()));
}

TEST_F(MainFormCommands, KeyboardWorksInTheListAtStartAndAfterADialog) {
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", true, 60);
    Start();
    ASSERT_EQ(Form().Handle(), GetActiveWindow());
    EXPECT_EQ(List(), GetFocus());
    // The arrow key goes to whatever has the focus, as typed keys do.
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_DOWN, 1);
    PostMessageW(GetFocus(), WM_KEYUP, VK_DOWN, 0xC0000001);
    Pump();
    EXPECT_EQ(0, SelectedRow());
    EXPECT_TRUE(MenuEnabled(C::AMEditDailyTimeLimits));

    static TApplication* app;
    app = App.get();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        if (IsWindowVisible(app->AboutForm.Handle()))
            app->AboutForm.EndModal(IDOK);
    });
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(C::AMHelpAbout).CommandId, 0);
    KillTimer(nullptr, timer);
    Pump();
    EXPECT_EQ(Form().Handle(), GetActiveWindow());
    EXPECT_EQ(List(), GetFocus());
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_DOWN, 1);
    PostMessageW(GetFocus(), WM_KEYUP, VK_DOWN, 0xC0000001);
    Pump();
    EXPECT_EQ(1, SelectedRow());
}

TEST_F(MainFormCommands, ActivatingTheWindowWhileADialogIsOpenBringsTheDialogForward) {
    Start();
    static TApplication* app;
    static HWND other;
    static LRESULT answer;
    static HWND activeAfter;
    static bool done;
    app = App.get();
    answer = -1;
    activeAfter = nullptr;
    done = false;
    // Another window of ours takes the activation away from the dialog first.
    other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, other);
    UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND dialog = app->AboutForm.Handle();
        if (done || !IsWindowVisible(dialog))
            return;
        done = true;
        SetActiveWindow(other);
        if (GetActiveWindow() == other) {
            answer = SendMessageW(app->MainForm.Handle(), WM_ACTIVATE, WA_ACTIVE,
                                  reinterpret_cast<LPARAM>(other));
            activeAfter = GetActiveWindow();
        }
        app->AboutForm.EndModal(IDOK);
    });
    SendMessageW(Form().Handle(), WM_COMMAND, Form().Action(C::AMHelpAbout).CommandId, 0);
    KillTimer(nullptr, timer);
    DestroyWindow(other);
    ASSERT_TRUE(done);
    EXPECT_EQ(0, answer);
    EXPECT_EQ(App->AboutForm.Handle(), activeAfter);
}

} // namespace
} // namespace vantrel::testing
