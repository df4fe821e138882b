// QORtray in the help file's pictures: a table of its icon in each state, as drawn at 96 and at
// 144 DPI, enlarged four times on a light and on a dark taskbar, its figures window over
// figures written as the service would write them for this account, and its ask window in each
// state of a request.
#include "Shots.h"

#include "model/Clock.h"
#include "model/Registry.h"
#include "model/TimeRequest.h"
#include "tray/AskTexts.h"
#include "tray/AskWindow.h"
#include "model/UserFigures.h"
#include "tray/NotifyIcon.h"
#include "tray/TrayApp.h"
#include "tray/TrayPicture.h"
#include "ui/Fonts.h"
#include "ui/controls/Gdi.h"
#include "ui/controls/Window.h"
#include "win/Dpi.h"

#include <lmcons.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vantrel {

namespace {

struct TIconState {
    const wchar_t* Caption;
    TTrayPicture Picture;
    int Share;
    TTrayLevel Level = TTrayLevel::Plenty;
};

const std::vector<TIconState>& IconStates() {
    static const std::vector<TIconState> states = {
        {L"Much time left", TTrayPicture::TimeLeft, 80},
        {L"15 minutes or less left", TTrayPicture::TimeLeft, 20, TTrayLevel::Low},
        {L"5 minutes or less left", TTrayPicture::TimeLeft, 3, TTrayLevel::VeryLow},
        {L"Time used up", TTrayPicture::OverLimit, 0},
        {L"Outside the allowed hours", TTrayPicture::OutsideHours, 60},
        {L"Service not counting", TTrayPicture::Stale, 0},
    };
    return states;
}

constexpr int kZoom = 4;
constexpr int kDpis[] = {96, 144};
constexpr COLORREF kLightTaskbar = RGB(238, 238, 238);
constexpr COLORREF kDarkTaskbar = RGB(32, 32, 32);

class TIconTable : public TWindow {
public:
    bool Create() {
        if (!RegisterWindowClass(L"VantrelShotsTrayIcons", 0, LoadCursorW(nullptr, IDC_ARROW),
                                 reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)))
            return false;
        if (!CreateHandle(0, L"VantrelShotsTrayIcons", L"QORtray icons",
                          WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 40, 40, 100, 100, nullptr))
            return false;
        FDpi = DpiOfWindow(Handle());
        FFont = CreateSystemFont(FDpi);
        FBold = CreateSystemFont(FDpi, true);
        RECT client{0, 0, Column(4), Row(static_cast<int>(IconStates().size()))};
        AdjustWindowRectForDpi(client, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 0, FDpi);
        SetWindowPos(Handle(), nullptr, 0, 0, client.right - client.left,
                     client.bottom - client.top, SWP_NOMOVE | SWP_NOZORDER);
        ShowWindow(Handle(), SW_SHOWNORMAL);
        return true;
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(Handle(), &ps);
            Paint(dc);
            EndPaint(Handle(), &ps);
            return 0;
        }
        return TWindow::HandleMessage(msg, wParam, lParam);
    }

private:
    int Scale(int pixels) const { return ScaleForDpi(pixels, FDpi); }
    int Cell() const { return TrayIconSize(kDpis[1]) * kZoom + Scale(12); }
    int Heading() const { return Scale(40); }
    int Column(int i) const { return Scale(190) + i * Cell(); }
    int Row(int i) const { return Heading() + i * Cell(); }

    void Paint(HDC dc) {
        SetBkMode(dc, TRANSPARENT);
        for (int d = 0; d < 2; ++d) {
            TScopedSelect bold(dc, FBold.Get());
            RECT heading{Column(2 * d), 0, Column(2 * d + 2), Heading()};
            const std::wstring text = std::to_wstring(kDpis[d]) + L" DPI, " +
                                      std::to_wstring(TrayIconSize(kDpis[d])) + L" pixels";
            DrawTextW(dc, text.c_str(), -1, &heading, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        TScopedSelect font(dc, FFont.Get());
        for (size_t r = 0; r < IconStates().size(); ++r) {
            const TIconState& state = IconStates()[r];
            const int top = Row(static_cast<int>(r));
            RECT caption{Scale(8), top, Column(0) - Scale(8), top + Cell()};
            DrawTextW(dc, state.Caption, -1, &caption, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
            for (int d = 0; d < 2; ++d) {
                const int size = TrayIconSize(kDpis[d]);
                TIconHandle icon(
                    FPainter.Draw(TTrayLook{state.Picture, state.Share, size, false, state.Level}));
                for (int b = 0; b < 2; ++b) {
                    const int left = Column(2 * d + b);
                    const RECT cell{left, top, left + Cell() - Scale(4), top + Cell() - Scale(4)};
                    FillSolidRect(dc, cell, b == 0 ? kLightTaskbar : kDarkTaskbar);
                    DrawZoomed(dc, icon.Get(), size, b == 0 ? kLightTaskbar : kDarkTaskbar,
                               cell.left + (cell.right - cell.left - size * kZoom) / 2,
                               cell.top + (cell.bottom - cell.top - size * kZoom) / 2);
                }
            }
        }
    }

    // Each pixel of the icon as a square, as on the background of a taskbar.
    void DrawZoomed(HDC dc, HICON icon, int size, COLORREF background, int x, int y) {
        if (!FCanvas.SetSize(size, size))
            return;
        FillSolidRect(FCanvas.DC(), RECT{0, 0, size, size}, background);
        DrawIconEx(FCanvas.DC(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
        const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, x, y, size * kZoom, size * kZoom, FCanvas.DC(), 0, 0, size, size, SRCCOPY);
        SetStretchBltMode(dc, oldMode);
    }

    int FDpi = 96;
    TFontHandle FFont;
    TFontHandle FBold;
    TTrayPainter FPainter;
    TMemoryPicture FCanvas;
};

std::wstring ThisUser() {
    wchar_t name[UNLEN + 1] = {};
    DWORD size = UNLEN + 1;
    return GetUserNameW(name, &size) ? std::wstring(name) : std::wstring();
}

// Figures as the service writes them for a user with a limit, stamped now.
bool WriteFigures(const std::wstring& user, const TUserFigures& figures) {
    TRegKey key;
    return key.Create(HKEY_LOCAL_MACHINE, std::wstring(kFiguresKeyPath) + L"\\" + user,
                      KEY_SET_VALUE) == ERROR_SUCCESS &&
           WriteUserFigures(key.Get(), figures) == ERROR_SUCCESS;
}

TUserFigures DemoFigures() {
    TUserFigures figures;
    GetSystemTimeAsFileTime(&figures.Written);
    figures.Limited = true;
    figures.Limit = 90;
    figures.Bonus = 30;
    figures.Used = 67;
    figures.Left = 53;
    figures.AllowBegin = 7;
    figures.AllowEnd = 20;
    figures.Until = 19 * 60 + 30;
    figures.Clock24 = true;
    return figures;
}

// The ask window in each state of a request, as the figures tell it.
int TakeAskShots() {
    struct TState {
        const wchar_t* Name;
        TRequestState State;
        int Granted;
        const wchar_t* Reply;
        const wchar_t* Result;
        bool Codes;
        int Locked;
        int Left;
    };
    const TState states[] = {
        {L"tray-ask-none", TRequestState::None, 0, L"", L"", true, 0, 5},
        {L"tray-ask-waiting", TRequestState::Waiting, 0, L"",
         L"Your request was sent. You will see the answer here.", true, 0, 4},
        {L"tray-ask-granted", TRequestState::Granted, 30, L"", L"", false, 0, 4},
        {L"tray-ask-denied", TRequestState::Denied, 0, L"Dinner first, then we will see.", L"",
         false, 0, 3},
        {L"tray-ask-withdrawn", TRequestState::Withdrawn, 0, L"", L"", false, 0, 3},
        {L"tray-ask-expired", TRequestState::Expired, 0, L"", L"", false, 0, 0},
        {L"tray-ask-locked", TRequestState::Waiting, 0, L"",
         L"That code did not work. Check it with your parent and try again.", true, 14, 2},
    };
    int failures = 0;
    TAskWindow window;
    for (const TState& state : states) {
        TUserFigures figures = DemoFigures();
        figures.RequestState = static_cast<int>(state.State);
        figures.RequestMinutes = 30;
        figures.RequestGranted = state.Granted;
        figures.RequestReply = state.Reply;
        figures.RequestsLeft = state.Left;
        figures.RequestMost = 45;
        figures.CodesPaired = state.Codes;
        figures.CodesLocked = state.Locked;
        const TAskView view = AskViewOf(&figures, 19 * 60 + 5);
        window.Hide();
        if (!window.Show(view))
            return failures + 1;
        window.SetReasonText(state.State == TRequestState::None ? L"" : L"to finish my homework");
        window.ShowResult(state.Result);
        SettleWindows(200);
        failures += TakeShot(state.Name, window.Handle()) ? 0 : 1;
    }
    window.Hide();
    return failures;
}

} // namespace

bool TakeTrayShots() {
    int failures = 0;
    {
        TIconTable table;
        if (!table.Create())
            return false;
        SettleWindows(200);
        failures += TakeShot(L"tray-icons", table.Handle()) ? 0 : 1;
    }
    const std::wstring user = ThisUser();
    TUserFigures figures = DemoFigures();
    if (!WriteFigures(user, figures))
        return false;
    // Two games with a limit of their own running, one of them used up.
    figures.Programs = {{L"Minecraft", 20}, {L"Roblox", 0}};
    if (!WriteFigures(user, figures))
        return false;
    TTrayApp app;
    if (!app.Start(user))
        return false;
    app.ShowFigures();
    SettleWindows(200);
    failures += TakeShot(L"tray-window", app.Window().Handle()) ? 0 : 1;
    figures.Programs.clear();

    figures.State = TFiguresState::OverLimit;
    figures.Used = 120;
    figures.Left = 0;
    figures.AgainDays = 1;
    figures.AgainAt = 7 * 60;
    figures.Clock24 = false;
    figures.LogsOff = false;
    if (!WriteFigures(user, figures))
        return false;
    app.Refresh();
    SettleWindows(200);
    failures += TakeShot(L"tray-window-over", app.Window().Handle()) ? 0 : 1;
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kFiguresKeyPath) + L"\\" + user).c_str());
    failures += TakeAskShots();
    return failures == 0;
}

} // namespace vantrel
