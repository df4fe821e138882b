#pragma once
// The main window: the list of monitored users with today's figures and remaining-time bars,
// the command bars, the status bar, and the service notification after every saved change.
#include "model/Prefs.h"
#include "model/QorUsers.h"
#include "pipes/PipeClient.h"
#include "ui/ActionManager.h"
#include "ui/CommandBars.h"
#include "ui/XPColorMap.h"
#include "ui/controls/Gdi.h"
#include "ui/controls/Window.h"

#include <commctrl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

class TAboutForm;

// Column layout of ListViewUsers at 96 DPI.
inline constexpr int kUserColumnWidths[5] = {140, 100, 100, 100, 100};
// The bar of a row lies in the "Time remaining" column after its text.
inline constexpr int kBarLeftOffset = 54;
inline constexpr int kBarRightInset = 64;
inline constexpr int kBarVerticalInset = 4;
inline constexpr COLORREF kBarColor1 = RGB(166, 202, 240);
inline constexpr COLORREF kBarColor2 = RGB(0, 0, 128);

// Row icons, indexes into ImageListMain32b.
inline constexpr int kRowIconTimeLeft = 10;
inline constexpr int kRowIconLittleTime = 11;
inline constexpr int kRowIconNoTime = 12;
inline constexpr int kRowIconNotMonitored = 13;

// The bar position of r minutes remaining on a scale: r / scale * 100, halves to even.
int BarPosition(int remaining, int scale);
// The row icon for r minutes remaining of a monitored user.
int RowIconFor(int remaining);

class TMainForm : public TWindow {
public:
    static constexpr const wchar_t* kClassName = L"VantrelMainForm";
    static constexpr int kStartupConnectAttempts = 7;
    static constexpr UINT kStartupConnectInterval = 5000;

    TMainForm();
    ~TMainForm() override;

    // Creates the window and its controls, hidden (FormCreate).
    bool Create();
    // First showing: FormShow, then the window appears. False when the program must end
    // (no administrator rights); the window then stays hidden.
    bool Show(int cmdShow);

    // Reloads every user from the store that Prefs chooses and rebuilds the list.
    void RefreshUserList();
    // The storage picture that matches Prefs, and the formula text.
    void UpdateStatusBar();
    // Commit-and-notify after a dialog changed a user: save (the whole collection, or only
    // `changedUser` when given), warn on failure, tell the service, refresh the list.
    void CommitUsers(TQorUser* changedUser);
    // Hands text to the time-limit service, connecting first if needed. Never reports.
    void SendServiceMessage(const std::string& text);

    // The user of the selected row, or nullptr.
    TQorUser* SelectedUser();
    TQorUsers& Users() { return *FUsers; }
    TPipeClient* PipeClient() { return FPipeClient.get(); }
    TAction& Action(const wchar_t* name) { return *ActionManager.Find(name); }
    int Dpi() const { return FDpi; }
    int Scale(int pixels) const { return MulDiv(pixels, FDpi, 96); }
    // The start-up connection attempts still to come (0 once connected or all tried).
    int ConnectAttemptsLeft() const { return FConnectAttemptsLeft; }
    // The F1 key and the other shortcuts of the command table.
    bool TranslateAccelerator(MSG& msg);
    // The program ends when the main window is destroyed.
    bool QuitOnDestroy = false;
    // The dialogs the commands open; created after the main window, owned by the program.
    TAboutForm* AboutForm = nullptr;

    TQorPrefs Prefs;
    bool PreferencesHaveBeenChanged = false;
    TActionManager ActionManager;

    // Controls, under the names the rest of the program knows them by.
    HMENU ActionMainMenuBar = nullptr;
    HWND ActionToolBar = nullptr;
    HMENU PopupActionMenuMain = nullptr;
    HWND ListViewUsers = nullptr;
    HWND StatusBar = nullptr;
    HWND ImageLocalRegistry = nullptr;
    HWND ImageRemoteRegistry = nullptr;
    HWND StatusBarHints = nullptr;
    HIMAGELIST ImageListMain32b = nullptr;

    // Event handlers.
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormDestroy();
    void ListViewUsersSelectItem();
    void ListViewUsersDblClick();
    void PipeClientPipeMessage(TPipeClient& sender, HANDLE pipe, TStream& stream);

    // Command handlers.
    void AMFileExitExecute();
    void AMEditDailyTimeLimitsExecute();
    void AMEditDetailedTimeUsageExecute();
    void AMEditIncreaseTodaysLimitExecute();
    void AMEditDecreaseTodaysLimitExecute();
    void AMEditRefreshExecute();
    void AMToolsUsageReportExecute();
    void AMToolsPreferencesExecute();
    void AMToolsLogExecute();
    void AMHelpHelpExecute();
    void AMHelpAboutExecute();

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateActions();
    void CreateControls();
    // Fonts, icon sizes, column widths and bar sizes for a DPI.
    void ApplyDpi(int dpi);
    void LayoutControls();
    void PlaceBars();
    void SetUserCommandsEnabled(bool enabled);
    void StartupConnectAttempt();
    void ServiceMessageReceived(const std::string& text);
    bool HandleNotify(NMHDR& header, LRESULT& result);
    void ShowPopupMenu(LPARAM position);
    static LRESULT CALLBACK ListViewSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR data);

    std::unique_ptr<TQorUsers> FUsers;
    std::unique_ptr<TPipeClient> FPipeClient;
    TXPColorMapEx FColorMap;
    TCommandBars FCommandBars;
    HIMAGELIST FDisabledImages = nullptr;
    TFontHandle FFont;
    int FDpi = 96;
    int FConnectAttemptsLeft = 0;
    bool FShown = false;
    bool FSettingColumns = false;
    POINT FBarOrigin{};
    // The user of each row, in row order, while the rows show the collection.
    std::vector<TQorUser*> FRowUsers;
    // The five texts of each row, as the last refresh computed them.
    using TRowTexts = std::array<std::wstring, 5>;
    std::vector<TRowTexts> FRowTexts;
};

} // namespace vantrel
