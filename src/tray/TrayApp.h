#pragma once
// QORtray's work: a hidden top-level window (it must be one to hear "TaskbarCreated") that reads
// its user's figures whenever the service writes them (and every half minute, for figures that
// turn out of date), keeps the notification icon, its picture and tool tip
// up to date, opens the figures window on a click, and shows the service's new warnings as a
// balloon. It reads only the user's own figures and writes nothing; the user's requests for
// more time go to the service's pipe "QorAsk" (tray/AskClient.h), and the parent's answers come
// back through the figures, told once in a balloon. An administrator's tray also tells of the
// requests waiting in the store (tray/RequestNews.h).
#include "model/UserFigures.h"
#include "tray/AskClient.h"
#include "tray/AskTexts.h"
#include "tray/AskWindow.h"
#include "tray/FiguresWatch.h"
#include "tray/FiguresWindow.h"
#include "tray/NotifyIcon.h"
#include "tray/RequestNews.h"
#include "tray/TrayPicture.h"
#include "tray/TrayTexts.h"
#include "ui/controls/Window.h"

#include <memory>
#include <string>

namespace vantrel {

// The class of the hidden window, which a second start looks for.
inline constexpr wchar_t kTrayClassName[] = L"VantrelTrayNotify";
// How often the figures are read besides the readings after each change of their key: what no
// writing announces (figures turning out of date, a new day) shows within this time.
inline constexpr UINT kTrayPollMs = 30000;
inline constexpr UINT_PTR kTrayPollTimer = 1;
inline constexpr UINT_PTR kRequestLookTimer = 2;

// The message a second start with /show posts to the running one.
UINT TrayShowMessage();

class TTrayApp : public TWindow {
public:
    TTrayApp() = default;
    ~TTrayApp() override;

    // Makes the hidden window and shows what the user's figures say; with `parent` (the user
    // is an administrator) it also tells of the requests waiting in the store.
    bool Start(const std::wstring& user, bool parent = false);
    // The pipe the ask window's messages go to (tests serve one of their own).
    void SetAskPipe(const std::wstring& name) { FAskPipe = name; }
    // Reads the figures and brings the icon, its tip and the open window up to date; with
    // `keepOnFailure`, a reading that fails leaves the figures last read in place.
    void Refresh(bool keepOnFailure = false);
    // Opens the figures window beside `anchor` (a point of the icon), or the screen's corner.
    void ShowFigures(const POINT* anchor = nullptr);
    // Opens the ask window with the request as the figures tell it.
    void ShowAsk();
    // The parent's tray: looks at the store and tells each new waiting request once.
    void LookForRequests();
    // For the message loop: the windows' keyboard handling.
    bool PreTranslate(MSG& msg) {
        return FWindow.HandleDialogMessage(msg) || FAsk.HandleDialogMessage(msg);
    }

    const TTrayView& View() const { return FView; }
    const TFiguresWindow& Window() const { return FWindow; }
    TAskWindow& AskWindow() { return FAsk; }
    const TAskView& AskView() const { return FAskView; }
    // Whether the figures key is being watched (a thread waits for its changes).
    bool Watching() const { return FWatch.Running(); }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void UpdateIcon();
    void OnIconEvent(WPARAM wParam, LPARAM lParam);
    void ShowMenu(POINT at);
    void Send(const TAskMessage& message);
    void OnAskDone();
    void OnBalloonClick();
    void TellRequests(const std::vector<TWaitingRequest>& news, size_t waiting);

    std::wstring FUser;
    TTrayView FView;
    std::unique_ptr<TNotifyIcon> FIcon;
    TTrayPainter FPainter;
    // The picture shown, destroyed once another is shown, and what it was drawn for.
    TIconHandle FShownIcon;
    TTrayLook FShownLook;
    std::wstring FShownTip;
    // The service's warning count last seen; a larger one is a new warning.
    bool FSerialKnown = false;
    DWORD FSerial = 0;
    UINT FTaskbarCreated = 0;
    TFiguresWindow FWindow;
    TFiguresWatch FWatch;

    // What the last balloon told, which its click opens: the ask window, or Vantrel at a
    // user's request.
    enum class TBalloon { None, Warning, Answer, Request };
    TBalloon FBalloon = TBalloon::None;
    std::wstring FBalloonUser;
    // The user's request: the figures last read, the minute this program first saw the one
    // waiting (-1 when it was waiting already at the start), and its serial.
    bool FFiguresRead = false;
    TUserFigures FFigures;
    int FAskedAt = -1;
    DWORD FWaitingSerial = 0;
    TAskView FAskView;
    TAskWindow FAsk;
    TAskCall FCall;
    std::wstring FAskPipe = kAskPipeName;
    TAnswerTeller FAnswers;
    // The parent's tray.
    bool FParent = false;
    TRequestWatch FRequests;
    // Requests waiting in the store: an administrator without a limit shows the icon for them.
    size_t FRequestsWaiting = 0;
    TIconHandle FProgramIcon;
};

} // namespace vantrel
