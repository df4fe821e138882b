#include "ui/MainForm.h"

#include "accounts/Accounts.h"
#include "model/Constants.h"
#include "ui/Fonts.h"
#include "ui/ProgramIcons.h"
#include "ui/Resources.h"
#include "ui/ServiceStatus.h"
#include "ui/controls/MessageBox.h"

#include <windowsx.h>

#include <algorithm>

namespace vantrel {

namespace {

constexpr int kListViewId = 1;
constexpr int kStatusBarId = 2;
constexpr int kStatusPanel1Width = 50;
constexpr int kStorageIconLeftFromRight = 36;
constexpr int kStorageIconTop = 2;
constexpr int kStorageIconSize = 16;

constexpr wchar_t kNotAdministratorText[] =
    L"You need Administrator privileges to access the user administration. The program will "
    L"now exit.";
constexpr wchar_t kStatusText[] = L"Time limit + Bonus time - Time usage = Time remaining";
constexpr wchar_t kLocalStoreHint[] = L"User data is stored locally";
constexpr wchar_t kRemoteStoreHint[] = L"User data is stored on a network computer";

constexpr UINT WM_APP_LIVE_UPDATE = TMainForm::kCatchUpMessage;

void AddStorageHint(HWND toolTip, HWND statusBar, HWND icon, const wchar_t* text) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = statusBar;
    tool.uId = reinterpret_cast<UINT_PTR>(icon);
    tool.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

} // namespace

TMainForm::TMainForm() : FCommandBars(ActionManager, FColorMap) {}

TMainForm::~TMainForm() {
    // The base class would destroy the window after this class's members are gone; the
    // clean-up of FormDestroy needs them.
    DestroyHandle();
}

bool TMainForm::Create() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                              ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    FDpi = WindowDpi(nullptr);
    // The class keeps its icons for the life of the program; load them only once.
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    bool registered = GetClassInfoExW(GetModuleHandleW(nullptr), kClassName, &existing) != 0;
    HICON icon = registered ? nullptr : LoadProgramIcon(IDI_PROGRAM, GetSystemMetrics(SM_CXICON));
    HICON smallIcon =
        registered ? nullptr : LoadProgramIcon(IDI_PROGRAM, GetSystemMetrics(SM_CXSMICON));
    if (!RegisterWindowClass(kClassName, CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW),
                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), icon, smallIcon))
        return false;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int width = std::min(Scale(582), static_cast<int>(work.right - work.left));
    int height = std::min(Scale(302), static_cast<int>(work.bottom - work.top));
    int x = work.left + (work.right - work.left - width) / 2;
    int y = work.top + (work.bottom - work.top - height) / 2;
    // Wider where the status bar needs it to show the formula beside the service's longest
    // state: the fonts, and so the width, come with the DPI and the system's font. Never past
    // the work area, though: on a narrow screen the formula gives way instead.
    auto widen = [&](int wider) {
        wider = std::min(wider, static_cast<int>(work.right - work.left) - width);
        if (wider <= 0)
            return false;
        width += wider;
        x = std::max(static_cast<int>(work.left), x - wider / 2);
        return true;
    };
    constexpr DWORD kStyle =
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN;
    // WS_EX_APPWINDOW: the task bar shows this window's own button.
    constexpr DWORD kExStyle = WS_EX_APPWINDOW;
    // Made that wide at once: a window widened once made lays out every control again, which
    // took 3-12 ms under Wine. The status bar is measured in the font it will have.
    FFont = CreateSystemFont(FDpi);
    RECT frame{};
    AdjustWindowRectForDpi(frame, kStyle, kExStyle, FDpi);
    widen(StatusBarWidthNeeded() + (frame.right - frame.left) - width);
    if (!CreateHandle(kExStyle, kClassName, kProductName, kStyle, x, y, width, height, nullptr))
        return false;
    try {
        FormCreate();
    } catch (const std::exception&) {
        DestroyHandle();
        return false;
    }
    // A frame other than the one foreseen.
    RECT client{};
    GetClientRect(Handle(), &client);
    if (widen(StatusBarWidthNeeded() - client.right))
        SetWindowPos(Handle(), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}
void TMainForm::FormCreate() {
    SetWindowTextW(Handle(), kProductName);
    LoadPrefs(Prefs);
    CreateActions();
    CreateControls();
    FUsers = std::make_unique<TQorUsers>();

    StartServiceLink();
    ApplyDpi(FDpi);
}

void TMainForm::CreateControls() {
    CreateCommandBars();
    ActionMainMenuBar = FCommandBars.MainMenuBar();
    ActionToolBar = FCommandBars.ToolBar();
    PopupActionMenuMain = FCommandBars.PopupMenu();

    FUserList.Create(Handle(), kListViewId, FDpi);
    ListViewUsers = FUserList.Handle();
    FUserList.OnSelectItem = [this] { ListViewUsersSelectItem(); };
    FUserList.OnDblClick = [this] { ListViewUsersDblClick(); };

    HINSTANCE instance = GetModuleHandleW(nullptr);
    StatusBar = CreateWindowExW(
        0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | SBARS_SIZEGRIP, 0, 0, 0,
        0, Handle(), reinterpret_cast<HMENU>(INT_PTR{kStatusBarId}), instance, nullptr);
    // The storage pictures live on the status bar itself, over its second panel.
    ImageLocalRegistry = CreatePictureControl(StatusBar);
    ImageRemoteRegistry = CreatePictureControl(StatusBar);
    StatusBarHints =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr, instance, nullptr);
    AddStorageHint(StatusBarHints, StatusBar, ImageLocalRegistry, kLocalStoreHint);
    AddStorageHint(StatusBarHints, StatusBar, ImageRemoteRegistry, kRemoteStoreHint);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = StatusBar;
    tool.uId = kServiceHintId;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(StatusBarHints, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    // Hints as long as the service's wrap instead of running off the screen.
    SendMessageW(StatusBarHints, TTM_SETMAXTIPWIDTH, 0, 400);
}

void TMainForm::ApplyDpi(int dpi) {
    FDpi = dpi;
    // The old font is deleted only once no control draws with it any more.
    TFontHandle font = CreateSystemFont(dpi);
    // The same holds for the icon lists.
    TImageListHandle images = CreateImageListMain32b(Scale(16));
    TImageListHandle disabled = CreateDisabledImageList(images.Get());
    FCommandBars.SetMetrics(dpi, font.Get(), images.Get(), disabled.Get());
    FUserList.SetMetrics(dpi, font.Get(), images.Get());
    SendMessageW(StatusBar, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    FFont = std::move(font);
    ImageListMain32b = std::move(images);
    FDisabledImages = std::move(disabled);

    SetPictureIcon(ImageLocalRegistry, IDI_STORE_LOCAL, Scale(kStorageIconSize));
    SetPictureIcon(ImageRemoteRegistry, IDI_STORE_REMOTE, Scale(kStorageIconSize));
    LayoutControls();
    LayoutServicePart();
}

void TMainForm::LayoutControls() {
    if (!ListViewUsers || !StatusBar)
        return;
    RECT client{};
    GetClientRect(Handle(), &client);
    int toolBarHeight = FCommandBars.ToolBarHeight();
    SetWindowPos(ActionToolBar, nullptr, 0, 0, client.right, toolBarHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // The status bar places itself at the bottom when told of a size change.
    SendMessageW(StatusBar, WM_SIZE, 0, 0);
    RECT status{};
    GetWindowRect(StatusBar, &status);
    int statusHeight = status.bottom - status.top;
    SetWindowPos(ListViewUsers, nullptr, 0, toolBarHeight, client.right,
                 std::max(0L, client.bottom - toolBarHeight - statusHeight),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    FormResize();
}

void TMainForm::FormResize() {
    RECT status{};
    GetClientRect(StatusBar, &status);
    int panel1 = Scale(kStatusPanel1Width);
    const int storage = std::max(0, static_cast<int>(status.right) - panel1);
    // The service's state is read before the formula, which gives way to it.
    int parts[3] = {std::max(0, storage - FServicePartWidth), storage, -1};
    SendMessageW(StatusBar, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    SendMessageW(StatusBar, SB_SETTEXTW, 2 | SBT_NOBORDERS, reinterpret_cast<LPARAM>(L""));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = StatusBar;
    tool.uId = kServiceHintId;
    SendMessageW(StatusBar, SB_GETRECT, kServicePart, reinterpret_cast<LPARAM>(&tool.rect));
    SendMessageW(StatusBarHints, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    int left = status.right - Scale(kStorageIconLeftFromRight);
    for (HWND icon : {ImageLocalRegistry, ImageRemoteRegistry})
        SetWindowPos(icon, HWND_TOP, left, Scale(kStorageIconTop), 0, 0,
                     SWP_NOSIZE | SWP_NOACTIVATE);
}

bool TMainForm::Show(int cmdShow) {
    if (!FShown) {
        FShown = true;
        FormShow();
        if (!Handle())
            return false;
    }
    ShowWindow(Handle(), cmdShow);
    UpdateWindow(Handle());
    return true;
}

void TMainForm::FormShow() {
    if (!IsAdministrator()) {
        ShowMessage(Handle(), kNotAdministratorText, TMsgKind::Information);
        DestroyHandle();
        return;
    }
    SetUserCommandsEnabled(false);
    RefreshUserList();
    UpdateStatusBar();
}

void TMainForm::FormDestroy() {
    StopServiceLink();
    ClearPictureIcon(ImageLocalRegistry);
    ClearPictureIcon(ImageRemoteRegistry);
    FUserList.Destroy();
    FUsers.reset();
    FCommandBars.Destroy();
}

void TMainForm::UpdateStatusBar() {
    if (!IsOpen())
        return;
    bool remote = Prefs.UseRemoteRegistry;
    ShowWindow(ImageLocalRegistry, remote ? SW_HIDE : SW_SHOWNA);
    ShowWindow(ImageRemoteRegistry, remote ? SW_SHOWNA : SW_HIDE);
    SendMessageW(StatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(kStatusText));
    UpdateRequestStatus();
    UpdateServiceStatus();
}

int TMainForm::StatusTextWidth(const std::wstring& text) const {
    SIZE extent{};
    if (HDC dc = GetDC(StatusBar)) {
        HGDIOBJ old = SelectObject(dc, FFont.Get());
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        SelectObject(dc, old);
        ReleaseDC(StatusBar, dc);
    }
    return extent.cx;
}

int TMainForm::ServicePartWidth(const std::wstring& text) const {
    // The picture, the gaps around it, the pixels Wine draws past the measured text and a few
    // to spare before the edge.
    return StatusTextWidth(text) + Scale(kStorageIconSize) + Scale(20);
}

int TMainForm::StatusBarWidthNeeded() const {
    // Today's times at their widest; a day before today and the names of users not logged off
    // lengthen the text, and the formula gives way then.
    TServiceNews news;
    news.Counted = true;
    news.LastMinute.wHour = news.StoreDownSince.wHour = 23;
    news.LastMinute.wMinute = news.StoreDownSince.wMinute = 58;
    TServiceView view;
    view.News = &news;
    view.Clock24 = Prefs.Use24HourClock;
    view.Today = view.SilentSince = news.LastMinute;
    int service = 0;
    for (TServiceLink link : {TServiceLink::None, TServiceLink::Stranger, TServiceLink::Connected})
        for (TStoreState store : {TStoreState::Local, TStoreState::Unreachable})
            for (bool silent : {false, true}) {
                news.Store = store;
                view.Link = link;
                view.Silent = silent;
                service = std::max(service, ServicePartWidth(ServiceStatusOf(view).Text));
            }
    // The formula with the text's indent, the pixels Wine draws past the measured text and a
    // few to spare before the part's edge; then the storage picture's part.
    return StatusTextWidth(kStatusText) + Scale(16) + service + Scale(kStatusPanel1Width);
}

void TMainForm::LayoutServicePart() {
    if (FServiceIconId != 0)
        FServiceIcon.reset(LoadProgramIcon(FServiceIconId, Scale(kStorageIconSize)));
    SendMessageW(StatusBar, SB_SETICON, kServicePart, reinterpret_cast<LPARAM>(FServiceIcon.get()));
    wchar_t text[256] = {};
    SendMessageW(StatusBar, SB_GETTEXTW, kServicePart, reinterpret_cast<LPARAM>(text));
    FServicePartWidth = ServicePartWidth(text);
    FormResize();
}

bool TMainForm::TranslateAccelerator(MSG& msg) {
    if (!Handle() || !IsWindowEnabled(Handle()))
        return false;
    if (msg.hwnd != Handle() && !IsChild(Handle(), msg.hwnd))
        return false;
    HACCEL table = ActionManager.Accelerators();
    return table && ::TranslateAcceleratorW(Handle(), table, &msg) != 0;
}

void TMainForm::ShowPopupMenu(LPARAM position) {
    POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        // From the keyboard: under the selected row, or at the list's corner.
        point = POINT{Scale(8), Scale(8)};
        int index = FUserList.View().SelectedIndex();
        RECT rect{};
        if (index >= 0 && FUserList.View().ItemRect(index, rect, LVIR_LABEL))
            point = POINT{rect.left + Scale(8), rect.bottom};
        ClientToScreen(ListViewUsers, &point);
    }
    FCommandBars.ShowPopupMenu(point);
}

LRESULT TMainForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (FCommandBars.HandleMessage(msg, wParam, lParam, result))
        return result;
    switch (msg) {
    case WM_SIZE:
        LayoutControls();
        return 0;
    case WM_COMMAND:
        if (ActionManager.ExecuteCommand(LOWORD(wParam)))
            return 0;
        break;
    case WM_NOTIFY: {
        auto& header = *reinterpret_cast<NMHDR*>(lParam);
        if (FUserList.HandleNotify(header, result))
            return result;
        // A click on the service's part when it does not run starts it.
        if (header.hwndFrom == StatusBar && (header.code == NM_CLICK || header.code == NM_DBLCLK) &&
            reinterpret_cast<NMMOUSE&>(header).dwItemSpec == kServicePart && FServiceCanStart) {
            StartService();
            return TRUE;
        }
        break;
    }
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == ListViewUsers) {
            ShowPopupMenu(lParam);
            return 0;
        }
        break;
    case WM_HELP:
        // F1 while a menu is open arrives here rather than as a shortcut.
        ActionManager.Execute(Action(TMainCommand::AMHelpHelp));
        return TRUE;
    case WM_TIMER:
        if (wParam == kConnectTimer) {
            ConnectAttempt();
            return 0;
        }
        if (wParam == kWatchTimer) {
            UpdateServiceStatus();
            return 0;
        }
        break;
    case WM_ENABLE:
        // A dialog or message box has closed: the rows catch up with the service.
        if (wParam)
            PostMessageW(Handle(), WM_APP_LIVE_UPDATE, 0, 0);
        break;
    case WM_ENTERMENULOOP:
        FInMenuLoop = true;
        break;
    case WM_EXITMENULOOP:
        FInMenuLoop = false;
        PostMessageW(Handle(), WM_APP_LIVE_UPDATE, 0, 0);
        break;
    case WM_APP_LIVE_UPDATE:
        if (FLiveUpdatePending)
            LiveUpdate();
        TakePendingAnswer();
        return 0;
    case WM_COPYDATA: {
        // A second start with "/answer <user>": the name is only looked up among the rows.
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        std::wstring user;
        if (!data || data->dwData != kAnswerCopyData || !data->lpData || data->cbData % 2 != 0 ||
            !ReadAccountName(static_cast<const wchar_t*>(data->lpData), data->cbData / 2, user))
            return FALSE;
        return AnswerRequestOf(user) ? TRUE : FALSE;
    }
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
            ShowWindow(Handle(), SW_MINIMIZE);
            return 0;
        case SC_RESTORE:
            ShowWindow(Handle(), SW_RESTORE);
            return 0;
        default:
            break;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_ACTIVE && !IsWindowEnabled(Handle())) {
            // A modal dialog is open: it, not the disabled main window, comes to the front.
            HWND popup = GetLastActivePopup(Handle());
            if (popup && popup != Handle() && IsWindowVisible(popup))
                SetActiveWindow(popup);
            return 0;
        }
        break;
    case WM_SETFOCUS:
        // Activation focuses the frame itself; the list is the one control that takes the
        // keyboard, so arrows and the context-menu key work without a click first.
        if (ListViewUsers)
            SetFocus(ListViewUsers);
        return 0;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        FCommandBars.SettingsChanged();
        if (msg == WM_SYSCOLORCHANGE)
            for (HWND control : {ListViewUsers, ActionToolBar, StatusBar})
                SendMessageW(control, msg, wParam, lParam);
        break;
    case WM_DPICHANGED: {
        ApplyDpi(HIWORD(wParam));
        auto* suggested = reinterpret_cast<RECT*>(lParam);
        SetWindowPos(Handle(), nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_NCPAINT:
    case WM_NCACTIVATE: {
        LRESULT painted = TWindow::HandleMessage(msg, wParam, lParam);
        FCommandBars.PaintMenuBarRest();
        return painted;
    }
    case WM_DESTROY:
        FormDestroy();
        if (QuitOnDestroy)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return TWindow::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
