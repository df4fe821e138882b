#pragma once
// The main window: the frame with its command bars, the list of users (ui/UserList.h) and the
// status bar. Its methods live in three files: the frame here (MainForm.cpp), the command table
// and its handlers with the commit-and-notify sequence (MainCommands.cpp; the commands are
// declared in MainCommands.h), and the link to the time-limit service (MainService.cpp).
#include "model/Prefs.h"
#include "model/QorUsers.h"
#include "model/ServiceNews.h"
#include "model/TimeRequest.h"
#include "model/UserStore.h"
#include "pipes/PipeClient.h"
#include "ui/ActionManager.h"
#include "ui/CommandBars.h"
#include "ui/MainCommands.h"
#include "ui/UserList.h"
#include "ui/XPColorMap.h"
#include "ui/controls/Gdi.h"
#include "ui/controls/ImageList.h"
#include "ui/controls/Window.h"
#include "win/Dpi.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

namespace vantrel {

class TAboutForm;
class TPreferencesForm;
class TAdjustBonusTimeForm;
class TDetailedTimeUsageForm;
class THelpViewer;
class TDailyTimeLimitsForm;
class TAnswerRequestForm;

class TMainForm : public TWindow {
public:
    static constexpr const wchar_t* kClassName = L"VantrelMainForm";
    static constexpr int kStartupConnectAttempts = 7;
    static constexpr UINT kStartupConnectInterval = 5000;
    static constexpr UINT_PTR kConnectTimer = 1;
    // After the start-up attempts, and whenever the link ends, the service is looked for at
    // this pace (ms) until it is found.
    UINT ReconnectInterval = 30000;
    // Whether the service still tells of its minutes is looked at this often (ms).
    static constexpr UINT_PTR kWatchTimer = 2;
    UINT WatchInterval = 10000;
    // With a network store, the rows read their settings again at the first minute news this
    // long (ms) after the last such reading: another computer's change shows within two
    // minutes.
    static constexpr ULONGLONG kRemoteRereadMs = 90000;

    TMainForm();
    ~TMainForm() override;

    // Creates the window and its controls, hidden (FormCreate).
    bool Create();
    // First showing: FormShow, then the window appears. False when the program must end
    // (no administrator rights); the window then stays hidden.
    bool Show(int cmdShow);

    // Reloads every user from the store that Prefs chooses and rebuilds the list.
    void RefreshUserList();
    // The storage picture that matches Prefs, the formula text and the service's state.
    void UpdateStatusBar();
    // The status bar's part that tells of the time-limit service.
    static constexpr int kServicePart = 1;
    // The tool of the service part in StatusBarHints.
    static constexpr UINT_PTR kServiceHintId = 1;
    // The service's part of the status bar again, from the link and what the service told.
    void UpdateServiceStatus();
    // Reads today's usage of every row again and repaints what changed; while a dialog, a
    // message box or a menu is open, once it has closed.
    void LiveUpdate();
    // Whether a live update waits for a dialog or menu to close.
    bool LiveUpdatePending() const { return FLiveUpdatePending; }
    // The next live update reads everything the rows show again, not only today's usage (the
    // service read the settings again).
    void RereadRowsAtNextUpdate() { FRereadPending = true; }
    // Connected to the service, which has told nothing for longer than kServiceSilentMs.
    bool ServiceSilent() const;
    // Commit-and-notify after a dialog changed `user`: save that user alone, only the
    // `settings` (TUserSettings) the dialog edits (and, with `keysForNewAccounts`, give a key to
    // each account that the store has none for), warn on failure, tell the service, refresh the
    // list.
    void CommitUser(TQorUser& user, unsigned settings = SettingsAll,
                    bool keysForNewAccounts = false);
    // The parts of CommitUser: the save with its warning (true when saved), and the service
    // told and the list refreshed.
    bool SaveUserChange(TQorUser& user, unsigned settings, bool keysForNewAccounts = false);
    void NotifyAndRefresh();
    // Today's bonus of `user` raised or lowered as the bonus commands do: read fresh from the
    // store, changed, clamped and saved. True when saved.
    bool AddBonus(TQorUser& user, int signedAmount);
    // Whether the window and its users still exist. A close request that a box's or dialog's
    // loop dispatched destroys both while a command waits for the answer; the command then
    // stops.
    bool IsOpen() const { return Handle() && FUsers; }
    // Hands text to the time-limit service, connecting first if needed. Never reports.
    void SendServiceMessage(const std::string& text);

    // The user of the selected row, or nullptr.
    TQorUser* SelectedUser();
    // Reads every user's request for more time from the store the computer uses (this
    // computer's registry while a network store does not answer) and shows the open ones on
    // their rows and in the status bar.
    void ReadOpenRequests();
    const std::vector<TOpenRequest>& OpenRequests() const { return FOpenRequests; }
    // The user of the selected row has a request that waits for an answer.
    bool SelectedUserAsks() const;
    // Selects the row of `user` and opens the answer to the user's request: at once when the
    // list is filled and no dialog is open, else as soon as that holds. False for a name no
    // row has (then nothing happens).
    bool AnswerRequestOf(const std::wstring& user);
    // A request to answer that waits for the list or for a dialog to close.
    const std::wstring& PendingAnswer() const { return FPendingAnswer; }
    // WM_COPYDATA's dwData of a second start's "/answer <user>": the user's name in UTF-16.
    static constexpr ULONG_PTR kAnswerCopyData = 0x51724131;
    // Posted to the window: the rows catch up with the service, a pending answer opens.
    static constexpr UINT kCatchUpMessage = WM_APP + 20;
    TQorUsers& Users() { return *FUsers; }
    TPipeClient* PipeClient() { return FPipeClient.get(); }
    TUserList& UserList() { return FUserList; }
    TAction& Action(TMainCommand command) { return ActionManager.At(static_cast<size_t>(command)); }
    int Dpi() const { return FDpi; }
    int Scale(int pixels) const { return ScaleForDpi(pixels, FDpi); }
    // The start-up connection attempts still to come (0 once connected or all tried).
    int ConnectAttemptsLeft() const { return FConnectAttemptsLeft; }
    // The F1 key and the other shortcuts of the command table.
    bool TranslateAccelerator(MSG& msg);
    // The program ends when the main window is destroyed.
    bool QuitOnDestroy = false;
    // The dialogs the commands open; created after the main window, owned by the program.
    TAboutForm* AboutForm = nullptr;
    TPreferencesForm* PreferencesForm = nullptr;
    TAdjustBonusTimeForm* AdjustBonusTimeForm = nullptr;
    TDetailedTimeUsageForm* DetailedTimeUsageForm = nullptr;
    // The help file's viewer, owned by the program; none: the Help command does nothing.
    THelpViewer* HelpViewer = nullptr;
    TDailyTimeLimitsForm* DailyTimeLimitsForm = nullptr;
    TAnswerRequestForm* AnswerRequestForm = nullptr;

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
    TImageListHandle ImageListMain32b;

    // Event handlers.
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormDestroy();
    void ListViewUsersSelectItem();
    void ListViewUsersDblClick();
    void PipeClientPipeMessage(TPipeClient& sender, HANDLE pipe, TStream& stream);

    // Command handlers, one per line of MainCommands.h: AMFileExitExecute and so on.
#define VANTREL_COMMAND_HANDLER(name, ...) void name##Execute();
    VANTREL_MAIN_COMMANDS(VANTREL_COMMAND_HANDLER)
#undef VANTREL_COMMAND_HANDLER

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateActions();
    void CreateCommandBars();
    void CreateControls();
    // Fonts, icon sizes, column widths and bar sizes for a DPI.
    void ApplyDpi(int dpi);
    void LayoutControls();
    void SetUserCommandsEnabled(bool enabled);
    // What the status bar's first part says: the open requests, else the formula.
    void UpdateRequestStatus();
    // Opens the pending answer when the list is filled and no dialog is open.
    void TakePendingAnswer();
    // The pipe client and its first connection attempts; the client goes first at the end.
    void StartServiceLink();
    void StopServiceLink();
    // One attempt of the connect timer; the timer goes on, slower after the start-up attempts,
    // until the service is found.
    void ConnectAttempt();
    void ArmConnectTimer();
    // Connects unless connected, to the service's own pipe only, never waiting long.
    bool ConnectService();
    void ServiceMessageReceived(const std::string& text);
    // Asks the service manager to start the service; a box tells why it could not.
    void StartService();
    void ShowPopupMenu(LPARAM position);
    // The service part's width, tool tip place and picture for its text now.
    void LayoutServicePart();
    // Widths in the status bar's font: a text, the service part for a text, and the status
    // bar that shows the formula beside the widest of the service's states.
    int StatusTextWidth(const std::wstring& text) const;
    int ServicePartWidth(const std::wstring& text) const;
    int StatusBarWidthNeeded() const;
    struct TIconDeleter {
        void operator()(HICON icon) const { DestroyIcon(icon); }
    };

    std::unique_ptr<TQorUsers> FUsers;
    std::vector<TOpenRequest> FOpenRequests;
    std::wstring FPendingAnswer;
    TTimedConnect FRequestConnect;
    std::unique_ptr<TPipeClient> FPipeClient;
    TXPColorMapEx FColorMap;
    TCommandBars FCommandBars;
    TImageListHandle FDisabledImages;
    TUserList FUserList;
    TFontHandle FFont;
    int FDpi = 96;
    int FConnectAttemptsLeft = 0;
    bool FShown = false;
    // What the service told last on the link now; none heard: FServiceHeard false.
    TServiceNews FServiceNews;
    bool FServiceHeard = false;
    // The last attempt found the pipe served by a program that is not the service.
    bool FServiceStranger = false;
    // When the last news came (MonotonicMs) and its local time.
    ULONGLONG FLastNewsAt = 0;
    SYSTEMTIME FLastNewsLocal{};
    bool FRereadPending = false;
    ULONGLONG FRowsReadAt = 0;
    // The service part offers to start the service.
    bool FServiceCanStart = false;
    bool FLiveUpdatePending = false;
    bool FInLiveUpdate = false;
    bool FInMenuLoop = false;
    int FServicePartWidth = 0;
    std::unique_ptr<HICON__, TIconDeleter> FServiceIcon;
    int FServiceIconId = 0;
};

} // namespace vantrel
