#pragma once
// What the main window's tests share: a store in the real registry that each test fills, the
// seams for today's date, the account list and message boxes, and helpers that read the
// real window's controls.
#include "model/Clock.h"
#include "model/Constants.h"
#include "model/QorUsers.h"
#include "model/Registry.h"
#include "ui/Application.h"
#include "ui/controls/ALProgressBar.h"
#include "ui/controls/MessageBox.h"

#include "../../tools/standin/StandInControl.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

// Not a command: the line between two groups in the tests' lists of a surface's items.
inline constexpr TMainCommand kSeparator = static_cast<TMainCommand>(-1);

// A command's name in failure messages.
inline std::ostream& operator<<(std::ostream& out, TMainCommand command) {
#define VANTREL_COMMAND_NAME(name, ...)                                                            \
    if (command == TMainCommand::name)                                                             \
        return out << #name;
    VANTREL_MAIN_COMMANDS(VANTREL_COMMAND_NAME)
#undef VANTREL_COMMAND_NAME
    return out << "separator";
}

} // namespace vantrel

namespace vantrel::testing {

// Monday, 7 December 2026: weekday 1, day of the year 341.
inline SYSTEMTIME TestToday() {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = 7;
    t.wDayOfWeek = 1;
    t.wHour = 10;
    return t;
}
inline constexpr int kTestDayOfYear = 341;

struct TShownMessage {
    std::wstring Text;
    TMsgKind Kind;
    HWND Owner = nullptr;
};

inline void WriteDword(HKEY key, const wchar_t* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

inline std::wstring UserKey(const std::wstring& name) {
    return std::wstring(kUsersKeyPath) + name;
}

// A user as the store holds it: the same limit every day, a bonus for a day of the year.
inline void SeedUser(const std::wstring& name, bool qorControl, int limit, int bonus = 0,
                     int bonusDay = kTestDayOfYear) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, UserKey(name).c_str(), 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    WriteDword(key, L"QorControl", qorControl ? 1 : 0);
    for (const wchar_t* day : kDaySuffix)
        WriteDword(key, (std::wstring(L"AllowBegin") + day).c_str(), 7);
    for (const wchar_t* day : kDaySuffix)
        WriteDword(key, (std::wstring(L"AllowEnd") + day).c_str(), 20);
    for (const wchar_t* day : kDaySuffix)
        WriteDword(key, (std::wstring(L"TimeLimit") + day).c_str(), static_cast<DWORD>(limit));
    WriteDword(key, L"BonusTime", static_cast<DWORD>(bonus));
    WriteDword(key, L"BonusDayOfYear", static_cast<DWORD>(bonusDay));
    RegCloseKey(key);
}

// Today's usage of a user on one computer, as the service records it.
inline void SeedUsage(const std::wstring& name, const std::wstring& computer, int minutes,
                      int dayOfYear = kTestDayOfYear) {
    HKEY key = nullptr;
    std::wstring path = UserKey(name) + L"\\Computers\\" + computer;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    WriteDword(key, L"TimeUsageMon", static_cast<DWORD>(minutes));
    WriteDword(key, L"DayOfYearMon", static_cast<DWORD>(dayOfYear));
    RegCloseKey(key);
}

inline void SeedPrefs(bool doubleClickIsTimeUsage, bool useRemote = false,
                      const std::wstring& remoteComputer = L"") {
    TQorPrefs prefs;
    prefs.DoubleClickIsTimeUsage = doubleClickIsTimeUsage;
    prefs.UseRemoteRegistry = useRemote;
    prefs.RemoteRegistry = remoteComputer;
    ASSERT_TRUE(SavePrefs(prefs));
}

inline bool ReadStoredDword(const std::wstring& path, const wchar_t* name, DWORD& value) {
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS;
}

// The stand-in service program, built beside the tests.
inline std::wstring StandInPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder = folder.substr(0, folder.find_last_of(L"\\/"));
    folder = folder.substr(0, folder.find_last_of(L"\\/"));
    return folder + L"\\tools\\standin\\QorStandIn.exe";
}

inline std::wstring TempLogPath() {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"vantrel_ui_standin.log";
}

class MainFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetProcessDPIAware(); }

    void SetUp() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
        SetClockSeam([] { return TestToday(); });
        SetAccountSourceSeam([this] { return Accounts; });
        SetMessageBoxSeam([this](HWND owner, const std::wstring& text, TMsgKind kind, TMsgButtons) {
            Messages.push_back({text, kind, owner});
            return IDOK;
        });
    }

    void TearDown() override {
        App.reset();
        StandIn.Stop();
        SetMessageBoxSeam(nullptr);
        SetAccountSourceSeam(nullptr);
        SetClockSeam(nullptr);
        SetRemoteRegistrySeam(nullptr);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
    }

    // The program's own start-up: every window in its order, then the first showing.
    void Start() {
        App = std::make_unique<TApplication>();
        ASSERT_TRUE(App->CreateForms());
        ASSERT_TRUE(Form().Show(SW_SHOWNORMAL));
        Pump();
    }

    bool StartStandIn(const std::wstring& options = L"") {
        return StandIn.Start(StandInPath(), kPipeName, TempLogPath(), options);
    }
    // The messages the stand-in has received since it started; -1 when it did not say.
    int StandInMessages() {
        const std::string stats = StandIn.Command("stats");
        const size_t at = stats.find("messages=");
        return at == std::string::npos ? -1 : std::atoi(stats.c_str() + at + 9);
    }

    TMainForm& Form() { return App->MainForm; }
    HWND List() { return Form().ListViewUsers; }

    void Pump() { App->ProcessMessages(); }

    // Pumps until `done` holds; false when it did not within the limit (a failure, not a
    // measurement).
    template <typename F> bool PumpUntil(F done, DWORD limit = 15000) {
        ULONGLONG start = GetTickCount64();
        while (!done()) {
            if (GetTickCount64() - start > limit)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            Pump();
        }
        return true;
    }

    int RowCount() { return static_cast<int>(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0)); }

    std::wstring Cell(int row, int column) {
        wchar_t text[256] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 256;
        SendMessageW(List(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }

    int RowIcon(int row) {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        SendMessageW(List(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    }

    TQorUser* RowUser(int row) {
        const TUserRow* data = Form().UserList().Row(row);
        return data ? data->User : nullptr;
    }

    // The bar of `row` as the list placed it; the test fails when the row has none.
    struct TBarView {
        TBarPlace Place;
        int Position() const { return Place.Position; }
        int Left() const { return Place.Bounds.left; }
        int Top() const { return Place.Bounds.top; }
        int Width() const { return Place.Bounds.right - Place.Bounds.left; }
        int Height() const { return Place.Bounds.bottom - Place.Bounds.top; }
    };
    TBarView Bar(int row) {
        const TBarPlace* place = Form().UserList().BarOfRow(row);
        EXPECT_NE(nullptr, place) << "no bar shows row " << row;
        return TBarView{place ? *place : TBarPlace{}};
    }
    // The colour on screen at a point of the list.
    COLORREF ListPixel(int x, int y) {
        HDC dc = GetDC(List());
        COLORREF pixel = GetPixel(dc, x, y);
        ReleaseDC(List(), dc);
        return pixel;
    }
    static bool NearColor(COLORREF a, COLORREF b) {
        return std::abs(GetRValue(a) - GetRValue(b)) <= 16 &&
               std::abs(GetGValue(a) - GetGValue(b)) <= 16 &&
               std::abs(GetBValue(a) - GetBValue(b)) <= 16;
    }
    // A column's width: the given one, or wider when its caption needs more in the list's font
    // (text width and six pixels of margin on either side).
    int ExpectedColumnWidth(int column, int width96) {
        static const wchar_t* captions[5] = {L"User", L"Time limit", L"Bonus time", L"Time usage",
                                             L"Time remaining"};
        int text = static_cast<int>(SendMessageW(List(), LVM_GETSTRINGWIDTHW, 0,
                                                 reinterpret_cast<LPARAM>(captions[column])));
        return std::max(Form().Scale(width96), text + 2 * Form().Scale(6));
    }

    // Every row on screen whose user is monitored shows a bar inside its "Time remaining"
    // cell, after the text, and its fill can be seen there; other rows show none.
    void ExpectBarsInTheirRows(const char* where) {
        SCOPED_TRACE(where);
        TUserList& list = Form().UserList();
        RECT client{};
        GetClientRect(List(), &client);
        RECT header{};
        GetWindowRect(list.View().Header(), &header);
        MapWindowPoints(nullptr, List(), reinterpret_cast<POINT*>(&header), 2);
        int width = static_cast<int>(SendMessageW(List(), LVM_GETCOLUMNWIDTH, 4, 0));
        for (int row = 0; row < RowCount(); ++row) {
            RECT cell{};
            cell.top = kRemainingColumn;
            cell.left = LVIR_BOUNDS;
            ASSERT_TRUE(
                SendMessageW(List(), LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell)));
            bool onScreen = cell.bottom > header.bottom && cell.top < client.bottom;
            const TBarPlace* bar = list.BarOfRow(row);
            // A point at the start of where the fill would be, wholly on screen.
            POINT probe{cell.left + Form().Scale(54) + 2, (cell.top + cell.bottom) / 2};
            bool probeVisible = onScreen && cell.top >= header.bottom &&
                                cell.bottom <= client.bottom && probe.x < client.right;
            if (!onScreen || !list.Row(row)->Monitored) {
                EXPECT_EQ(nullptr, bar) << "row " << row;
                if (probeVisible) {
                    EXPECT_FALSE(NearColor(kBarColor1, ListPixel(probe.x, probe.y)))
                        << "a bar shows in row " << row;
                }
                continue;
            }
            ASSERT_NE(nullptr, bar) << "row " << row;
            EXPECT_EQ(cell.left + Form().Scale(54), bar->Bounds.left) << "row " << row;
            EXPECT_EQ(cell.left + Form().Scale(54) + width - Form().Scale(64), bar->Bounds.right)
                << "row " << row;
            EXPECT_EQ(cell.top + Form().Scale(4), bar->Bounds.top) << "row " << row;
            EXPECT_EQ(cell.bottom - Form().Scale(4), bar->Bounds.bottom) << "row " << row;
            EXPECT_EQ(list.Row(row)->BarPosition, bar->Position) << "row " << row;
            // What the administrator sees there: the start of the bar's fill, sky blue.
            if (bar->Position >= 10 && probeVisible) {
                EXPECT_TRUE(NearColor(kBarColor1, ListPixel(probe.x, probe.y)))
                    << "no bar seen in row " << row;
            }
            // Where the fill ends: inside the one-pixel border the track is the width less two,
            // the fill its share of it rounded, the rest the button face.
            const int track = bar->Bounds.right - bar->Bounds.left - 2;
            const int fill = (track * bar->Position + 50) / 100;
            const int y = (bar->Bounds.top + bar->Bounds.bottom) / 2;
            const bool endVisible = probeVisible && bar->Bounds.right <= client.right;
            if (endVisible && fill >= 2 && track - fill >= 3) {
                EXPECT_FALSE(
                    NearColor(GetSysColor(COLOR_BTNFACE), ListPixel(bar->Bounds.left + fill, y)))
                    << "the fill of row " << row << " ends too early";
                EXPECT_TRUE(NearColor(GetSysColor(COLOR_BTNFACE),
                                      ListPixel(bar->Bounds.left + fill + 2, y)))
                    << "the fill of row " << row << " goes on too far";
            }
        }
    }

    // Lets the list draw what is pending, as it does between two inputs.
    void Draw() {
        UpdateWindow(List());
        Pump();
    }

    // The bar position the last refresh computed for `row`, on screen or not.
    int BarPositionOf(int row) {
        const TUserRow* data = Form().UserList().Row(row);
        EXPECT_NE(nullptr, data) << row;
        return data ? data->BarPosition : -1;
    }

    RECT RowRect(int row) {
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        SendMessageW(List(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        return rect;
    }

    void SelectRow(int row) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = row >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
        SendMessageW(List(), LVM_SETITEMSTATE, row >= 0 ? row : -1,
                     reinterpret_cast<LPARAM>(&state));
    }

    int SelectedRow() {
        return static_cast<int>(
            SendMessageW(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }

    // The command's state as each of the three surfaces shows it.
    bool MenuEnabled(TMainCommand action) {
        UINT state =
            GetMenuState(Form().ActionMainMenuBar, Form().Action(action).CommandId, MF_BYCOMMAND);
        return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
    }
    bool PopupEnabled(TMainCommand action) {
        UINT state =
            GetMenuState(Form().PopupActionMenuMain, Form().Action(action).CommandId, MF_BYCOMMAND);
        return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
    }
    bool ToolEnabled(TMainCommand action) {
        return SendMessageW(Form().ActionToolBar, TB_ISBUTTONENABLED,
                            Form().Action(action).CommandId, 0) != 0;
    }

    std::vector<std::wstring> Accounts;
    std::vector<TShownMessage> Messages;
    std::unique_ptr<TApplication> App;
    TStandIn StandIn;
};

} // namespace vantrel::testing
