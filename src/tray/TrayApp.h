#pragma once
// QORtray's work: a hidden top-level window (it must be one to hear "TaskbarCreated") that reads
// its user's figures whenever the service writes them (and every half minute, for figures that
// turn out of date), keeps the notification icon, its picture and tool tip
// up to date, opens the figures window on a click, and shows the service's new warnings as a
// balloon. It reads only the user's own figures and writes nothing.
#include "model/UserFigures.h"
#include "tray/FiguresWatch.h"
#include "tray/FiguresWindow.h"
#include "tray/NotifyIcon.h"
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

// The message a second start with /show posts to the running one.
UINT TrayShowMessage();

class TTrayApp : public TWindow {
public:
    TTrayApp() = default;
    ~TTrayApp() override;

    // Makes the hidden window and shows what the user's figures say.
    bool Start(const std::wstring& user);
    // Reads the figures and brings the icon, its tip and the open window up to date; with
    // `keepOnFailure`, a reading that fails leaves the figures last read in place.
    void Refresh(bool keepOnFailure = false);
    // Opens the figures window beside `anchor` (a point of the icon), or the screen's corner.
    void ShowFigures(const POINT* anchor = nullptr);
    // For the message loop: the figures window's keyboard handling.
    bool PreTranslate(MSG& msg) { return FWindow.HandleDialogMessage(msg); }

    const TTrayView& View() const { return FView; }
    const TFiguresWindow& Window() const { return FWindow; }
    // Whether the figures key is being watched (a thread waits for its changes).
    bool Watching() const { return FWatch.Running(); }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void UpdateIcon();
    void OnIconEvent(WPARAM wParam, LPARAM lParam);
    void ShowMenu(POINT at);

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
};

} // namespace vantrel
