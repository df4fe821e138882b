// The program's windows for the help file's pictures: a store with several users (children
// with limits, bonus and usage on this and two other computers, parents without limits),
// the main window with a user selected, then every dialog in turn, then QORtray's icons and
// its figures window.
//
// Run by scripts/shots in a throwaway Wine prefix, whose registry it fills. For each window it
// writes "shot <name> <X window id>" on standard output and waits for a line on standard input
// (the script has taken the picture) before it goes on; "done" ends the run.
#include "accounts/Accounts.h"
#include "model/Clock.h"
#include "model/Constants.h"
#include "model/Prefs.h"
#include "model/ProgramRules.h"
#include "model/ProgramUsage.h"
#include "model/QorUsers.h"
#include "model/TimeRequest.h"
#include "model/UserStore.h"
#include "Shots.h"
#include "ui/Application.h"
#include "ui/dialogs/PairPhoneForm.h"
#include "ui/dialogs/ProgramsForm.h"
#include "ui/dialogs/WeeklyTimeUsageForm.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace vantrel {
namespace {

struct TDemoUsage {
    const wchar_t* Computer; // nullptr: this computer
    int Minutes;
    bool Today; // else the same weekday a week ago
};

struct TDemoUser {
    const wchar_t* Name;
    bool Monitored;
    int WeekdayLimit; // Monday to Thursday
    int WeekendLimit; // Friday to Sunday
    int Bonus;
    bool BonusToday;
    std::vector<TDemoUsage> Usage;
};

const std::vector<TDemoUser>& DemoUsers() {
    static const std::vector<TDemoUser> users = {
        {L"emma",
         true,
         90,
         150,
         30,
         true,
         {{nullptr, 35, true}, {L"KITCHEN-PC", 20, true}, {L"STUDY-LAPTOP", 12, true}}},
        {L"noah", true, 60, 120, 0, true, {{nullptr, 40, true}, {L"STUDY-LAPTOP", 15, true}}},
        {L"olivia", true, 120, 180, -30, true, {{nullptr, 70, true}, {L"KITCHEN-PC", 25, true}}},
        {L"liam", true, 180, 240, 60, false, {{L"KITCHEN-PC", 185, true}}},
        {L"mia", true, 45, 90, 0, true, {{nullptr, 30, false}}},
        {L"anna", false, 0, 0, 0, true, {{nullptr, 95, true}}},
        {L"david", false, 0, 0, 0, true, {{L"STUDY-LAPTOP", 20, true}}},
    };
    return users;
}

// Usage of the days before today, for the weekly chart: a busy week, and a week over the limit.
struct TDemoPastUsage {
    const wchar_t* Name;
    const wchar_t* Computer; // nullptr: this computer
    int DaysAgo;             // 1 to 6
    int Minutes;
};

const std::vector<TDemoPastUsage>& DemoPastUsage() {
    static const std::vector<TDemoPastUsage> usage = {
        {L"emma", nullptr, 1, 50},         {L"emma", L"KITCHEN-PC", 1, 25},
        {L"emma", L"STUDY-LAPTOP", 2, 80}, {L"emma", nullptr, 3, 45},
        {L"emma", L"KITCHEN-PC", 3, 40},   {L"emma", nullptr, 4, 100},
        {L"emma", L"STUDY-LAPTOP", 4, 35}, {L"emma", L"KITCHEN-PC", 5, 60},
        {L"emma", nullptr, 6, 30},         {L"emma", L"STUDY-LAPTOP", 6, 20},
        {L"liam", L"KITCHEN-PC", 1, 290},  {L"liam", L"KITCHEN-PC", 2, 150},
        {L"liam", nullptr, 3, 200},        {L"liam", L"KITCHEN-PC", 4, 310},
        {L"liam", nullptr, 5, 120},        {L"liam", L"KITCHEN-PC", 6, 260},
    };
    return usage;
}

// emma's programs, each day on this computer and on KITCHEN-PC, as the service records them.
struct TDemoProgram {
    const wchar_t* Id;
    const wchar_t* Name;
    int Minutes[7]; // today first, then 1 to 6 days ago
};

const std::vector<TDemoProgram>& DemoPrograms() {
    static const std::vector<TDemoProgram> programs = {
        {L"v:blockcraft.exe|blockcraft|pixel forge ltd|",
         L"BlockCraft",
         {25, 40, 35, 50, 60, 45, 20}},
        {L"v:firefox.exe|firefox|mozilla corporation|", L"Firefox", {20, 15, 30, 25, 35, 20, 15}},
        {L"v:winword.exe|microsoft office 2019|microsoft corporation|",
         L"Microsoft Word",
         {10, 20, 40, 15, 30, 0, 10}},
        {L"v:speedracer.exe|speed racer deluxe|turbo games|",
         L"Speed Racer Deluxe",
         {12, 0, 25, 0, 20, 15, 0}},
        {L"v:paint.exe|kids paint studio|rainbow soft|",
         L"Kids Paint Studio",
         {0, 10, 0, 12, 0, 8, 6}},
        {L"f:c:\\users\\emma\\downloads\\tetrix.exe", L"tetrix.exe", {5, 0, 10, 0, 0, 6, 0}},
        {L"v:calc.exe|calculator|example software|", L"Calculator", {0, 4, 0, 3, 0, 0, 2}},
        {L"", L"Other programs", {4, 6, 3, 5, 2, 4, 3}},
    };
    return programs;
}

bool SeedPrograms(const std::wstring& thisComputer) {
    const SYSTEMTIME now = LocalNow();
    for (int back = 0; back < 7; ++back) {
        const SYSTEMTIME day = DaysBefore(now, back);
        TProgramList here, kitchen;
        for (const TDemoProgram& program : DemoPrograms()) {
            const int minutes = program.Minutes[back];
            // About two thirds here, the rest on the kitchen's computer.
            if (minutes * 2 / 3 > 0)
                here.push_back({program.Id, program.Name, minutes * 2 / 3});
            if (minutes - minutes * 2 / 3 > 0)
                kitchen.push_back({program.Id, program.Name, minutes - minutes * 2 / 3});
        }
        if (WriteProgramUsage(HKEY_LOCAL_MACHINE, L"emma", thisComputer, day, here) !=
                ERROR_SUCCESS ||
            WriteProgramUsage(HKEY_LOCAL_MACHINE, L"emma", L"KITCHEN-PC", day, kitchen) !=
                ERROR_SUCCESS)
            return false;
    }
    TProgramRule game;
    game.Id = DemoPrograms()[0].Id;
    game.Name = DemoPrograms()[0].Name;
    for (int day = 0; day < 7; ++day)
        game.Minutes[day] = day < 4 ? 30 : 60;
    TProgramRule racer;
    racer.Id = DemoPrograms()[3].Id;
    racer.Name = DemoPrograms()[3].Name;
    racer.Blocked = true;
    TProgramRule browser;
    browser.Id = DemoPrograms()[1].Id;
    browser.Name = DemoPrograms()[1].Name;
    for (int& minutes : browser.Minutes)
        minutes = 45;
    return WriteProgramRules(HKEY_LOCAL_MACHINE, L"emma", {game, browser, racer}) == ERROR_SUCCESS;
}

void WriteDword(HKEY key, const std::wstring& name, int value) {
    const DWORD data = static_cast<DWORD>(value);
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                   sizeof(data));
}

// The store as the program and the service would have written it, for today.
bool SeedStore() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
    TQorPrefs prefs;
    if (!SavePrefs(prefs))
        return false;
    const SYSTEMTIME now = LocalNow();
    const int weekday = WeekdayOf(now);
    const int today = DayOfYearOf(now);
    const std::wstring suffix = kDaySuffix[weekday - 1];
    std::wstring thisComputer = GetWorkstationName();
    if (thisComputer.empty())
        thisComputer = L"THIS-PC";
    for (const TDemoUser& demo : DemoUsers()) {
        TQorUser user;
        user.Username = demo.Name;
        user.QorControl = demo.Monitored;
        for (int day = 1; day <= 7; ++day) {
            user.TimeLimit(day) = day <= 4 ? demo.WeekdayLimit : demo.WeekendLimit;
            user.AllowBegin(day) = 7;
            user.AllowEnd(day) = day <= 4 ? 20 : 21;
        }
        user.BonusTime = demo.Bonus;
        user.BonusDayOfYear = demo.BonusToday ? today : (today > 1 ? today - 1 : 365);
        if (!SaveUser(user, false, L""))
            return false;
        for (const TDemoUsage& usage : demo.Usage) {
            const std::wstring path = std::wstring(kUsersKeyPath) + demo.Name + L"\\Computers\\" +
                                      (usage.Computer ? usage.Computer : thisComputer.c_str());
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr) != ERROR_SUCCESS)
                return false;
            WriteDword(key, L"TimeUsage" + suffix, usage.Minutes);
            WriteDword(key, L"DayOfYear" + suffix,
                       usage.Today ? today : (today > 7 ? today - 7 : today + 358));
            RegCloseKey(key);
        }
    }
    for (const TDemoPastUsage& usage : DemoPastUsage()) {
        const std::wstring path = std::wstring(kUsersKeyPath) + usage.Name + L"\\Computers\\" +
                                  (usage.Computer ? usage.Computer : thisComputer.c_str());
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return false;
        // Early in January the days of the year before are left out.
        const int day = today - usage.DaysAgo;
        if (day >= 1) {
            const std::wstring past = kDaySuffix[(weekday - 1 - usage.DaysAgo + 7) % 7];
            WriteDword(key, L"TimeUsage" + past, usage.Minutes);
            WriteDword(key, L"DayOfYear" + past, day);
        }
        RegCloseKey(key);
    }
    if (!SeedPrograms(thisComputer))
        return false;
    // noah asks for more time, as the service writes it, after two wrong codes today.
    TTimeRequest request;
    SYSTEMTIME utc = UtcNow();
    FILETIME asked{};
    SystemTimeToFileTime(&utc, &asked);
    if (AskForTime(request, TRequestRules{}, 30, L"Finishing my school project, nearly done",
                   L"STUDY-LAPTOP", asked, today, now.wYear) != TRequestRefusal::None)
        return false;
    request.WrongCodes = 2;
    return WriteTimeRequest(HKEY_LOCAL_MACHINE, L"noah", request) == ERROR_SUCCESS;
}

class TShotsDemo {
public:
    TApplication App;

    bool Start() {
        std::vector<std::wstring> names;
        for (const TDemoUser& demo : DemoUsers())
            names.push_back(demo.Name);
        SetAccountSourceSeam([names] { return names; });
        if (!App.CreateForms())
            return false;
        if (!App.MainForm.Show(SW_SHOWNORMAL))
            return false;
        SelectUser(L"emma");
        return true;
    }

    void SelectUser(const std::wstring& name) {
        // By the user's name: a row may say more (a request).
        if (App.MainForm.UserList().SelectUser(name))
            SetFocus(App.MainForm.ListViewUsers);
        Settle(100);
    }

    // Handles messages for about `ms` milliseconds, so that every window has painted.
    static void Settle(DWORD ms) {
        const ULONGLONG end = GetTickCount64() + ms;
        while (GetTickCount64() < end) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    PostQuitMessage(static_cast<int>(msg.wParam));
                    return;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }

    // Hands the window to the script and waits until it has taken the picture.
    static bool Shot(const std::wstring& name, HWND window) {
        // No control is shown as hot: the pointer goes out of the way, and the control it
        // was over, if any, hears that it left.
        SetCursorPos(0, 0);
        EnumChildWindows(
            window,
            [](HWND child, LPARAM) -> BOOL {
                SendMessageW(child, WM_MOUSELEAVE, 0, 0);
                return TRUE;
            },
            0);
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Settle(300);
        // Wine keeps the X window of each top-level window in this property.
        const auto xid = reinterpret_cast<UINT_PTR>(GetPropW(window, L"__wine_x11_whole_window"));
        if (!xid) {
            std::fwprintf(stderr, L"%ls: no X window\n", name.c_str());
            return false;
        }
        std::printf("shot %ls 0x%llx\n", name.c_str(), static_cast<unsigned long long>(xid));
        std::fflush(stdout);
        std::string answer;
        return static_cast<bool>(std::getline(std::cin, answer));
    }
};

// The dialogs to photograph, in order: a name (the picture's file name), the user selected
// in the list, and how the demo opens it. The shot is taken while the dialog is shown, then
// the dialog is closed as with its close box.
struct TDialogShot {
    const wchar_t* Name;
    const wchar_t* User;
    std::function<void(TShotsDemo&)> Open;
    // Run on the shown dialog just before its picture (a tab to show), if given.
    std::function<void(TShotsDemo&)> Prepare = nullptr;
};

TShotsDemo* gDemo = nullptr;

// The preferences dialog opens on its first tab; the others are shown before their picture.
TDialogShot PreferencesShot(const wchar_t* name, int page) {
    return {name, L"emma", [](TShotsDemo& d) { d.App.MainForm.AMToolsPreferencesExecute(); },
            [page](TShotsDemo& d) { d.App.PreferencesForm.SetActivePage(page); }};
}

// The pairing dialog over the main window, with a fixed key so that the pictures stay alike.
// Its address goes to pair-phone.txt in VANTREL_SHOTS_DIR, for scripts/shots to have zbarimg
// read the pictures' code back to it.
void OpenPairPhone(TShotsDemo& d) {
    static TDialog<TPairPhoneForm> dialog;
    if (!dialog.Create(d.App.MainForm.Handle()) || !dialog.Prepare(false, std::wstring()))
        return;
    TSecret key;
    for (int i = 0; i < 20; ++i)
        key.push_back(static_cast<unsigned char>(0x3D * i + 0x11));
    dialog.UseKey(key);
    if (const char* folder = std::getenv("VANTREL_SHOTS_DIR"))
        std::ofstream(std::string(folder) + "\\pair-phone.txt", std::ios::binary)
            << dialog.Address();
    dialog.ShowModal();
}

HWND ShownDialogOf(HWND main) {
    struct TSearch {
        HWND Main;
        HWND Found;
    } search{main, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<TSearch*>(data);
            if (window != s->Main && IsWindowVisible(window) &&
                GetWindow(window, GW_OWNER) == s->Main) {
                s->Found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

const std::vector<TDialogShot>& DialogShots() {
    static const std::vector<TDialogShot> shots = {
        {L"daily-limits", L"emma",
         [](TShotsDemo& d) { d.App.MainForm.AMEditDailyTimeLimitsExecute(); }},
        {L"daily-limits-inactive", L"anna",
         [](TShotsDemo& d) { d.App.MainForm.AMEditDailyTimeLimitsExecute(); }},
        PreferencesShot(L"preferences-general", TPreferencesForm::PageGeneral),
        PreferencesShot(L"preferences-network", TPreferencesForm::PageNetwork),
        PreferencesShot(L"preferences-messages", TPreferencesForm::PageMessages),
        PreferencesShot(L"preferences-advanced", TPreferencesForm::PageAdvanced),
        {L"about", L"emma", [](TShotsDemo& d) { d.App.MainForm.AMHelpAboutExecute(); }},
        {L"pair-phone", L"emma", OpenPairPhone},
        {L"bonus-increase", L"emma",
         [](TShotsDemo& d) { d.App.MainForm.AMEditIncreaseTodaysLimitExecute(); }},
        {L"bonus-decrease", L"emma",
         [](TShotsDemo& d) { d.App.MainForm.AMEditDecreaseTodaysLimitExecute(); }},
        {L"detailed-usage", L"emma",
         [](TShotsDemo& d) { d.App.MainForm.AMEditDetailedTimeUsageExecute(); }},
        {L"detailed-usage-none", L"mia",
         [](TShotsDemo& d) { d.App.MainForm.AMEditDetailedTimeUsageExecute(); }},
        {L"weekly-usage", L"emma",
         [](TShotsDemo& d) { d.App.MainForm.AMEditWeeklyTimeUsageExecute(); }},
        {L"weekly-usage-empty", L"mia",
         [](TShotsDemo& d) { d.App.MainForm.AMEditWeeklyTimeUsageExecute(); }},
        {L"weekly-usage-over", L"liam",
         [](TShotsDemo& d) { d.App.MainForm.AMEditWeeklyTimeUsageExecute(); }},
        {L"weekly-usage-programs", L"emma",
         [](TShotsDemo& d) { d.App.MainForm.AMEditWeeklyTimeUsageExecute(); },
         [](TShotsDemo& d) {
             HWND dialog = ShownDialogOf(d.App.MainForm.Handle());
             SendDlgItemMessageW(dialog, TWeeklyTimeUsageForm::IdRadioPrograms, BM_CLICK, 0, 0);
         }},
        {L"programs", L"emma", [](TShotsDemo& d) { d.App.MainForm.AMEditProgramsExecute(); },
         [](TShotsDemo& d) {
             // The game's rule, a limit per weekday, shown below the list.
             HWND dialog = ShownDialogOf(d.App.MainForm.Handle());
             HWND list = GetDlgItem(dialog, TProgramsForm::IdListPrograms);
             SetFocus(list);
             ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED,
                                   LVIS_SELECTED | LVIS_FOCUSED);
         }},
        {L"answer-request", L"noah",
         [](TShotsDemo& d) { d.App.MainForm.AMEditAnswerRequestExecute(); }},
    };
    return shots;
}

// Takes the picture of the dialog that the opener shows, from inside its modal loop.
struct TPendingShot {
    HWND Main = nullptr;
    const TDialogShot* Shot = nullptr;
    const wchar_t* Name = nullptr;
    bool Taken = false;
    bool Ok = false;
};
TPendingShot gPending;

void CALLBACK ShotTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = ShownDialogOf(gPending.Main);
    if (!dialog || gPending.Taken)
        return;
    KillTimer(nullptr, id);
    gPending.Taken = true;
    if (gPending.Shot && gPending.Shot->Prepare && gDemo)
        gPending.Shot->Prepare(*gDemo);
    gPending.Ok = TShotsDemo::Shot(gPending.Name, dialog);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

int Run() {
    if (!SeedStore()) {
        std::fprintf(stderr, "could not write the demo store\n");
        return 1;
    }
    TShotsDemo demo;
    if (!demo.Start()) {
        std::fprintf(stderr, "could not start the program's windows\n");
        return 1;
    }
    gDemo = &demo;
    TShotsDemo::Settle(500);
    int failures = TShotsDemo::Shot(L"main", demo.App.MainForm.Handle()) ? 0 : 1;
    for (const TDialogShot& shot : DialogShots()) {
        demo.SelectUser(shot.User);
        gPending = TPendingShot{demo.App.MainForm.Handle(), &shot, shot.Name, false, false};
        const UINT_PTR timer = SetTimer(nullptr, 0, 200, ShotTimer);
        shot.Open(demo);
        KillTimer(nullptr, timer);
        if (!gPending.Taken || !gPending.Ok) {
            std::fwprintf(stderr, L"%ls: no picture taken\n", shot.Name);
            ++failures;
        }
    }
    if (!TakeTrayShots()) {
        std::fprintf(stderr, "QORtray: not every picture was taken\n");
        ++failures;
    }
    std::printf("done\n");
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}

} // namespace

bool TakeShot(const std::wstring& name, HWND window) {
    return TShotsDemo::Shot(name, window);
}

void SettleWindows(DWORD ms) {
    TShotsDemo::Settle(ms);
}

} // namespace vantrel

int wmain() {
    return vantrel::Run();
}
