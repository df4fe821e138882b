#include "ui/MainForm.h"

#include "accounts/Accounts.h"
#include "model/Constants.h"
#include "ui/AboutForm.h"
#include "ui/Presentation.h"
#include "ui/Resources.h"
#include "ui/controls/ALProgressBar.h"
#include "ui/controls/MessageBox.h"

#include <windowsx.h>

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace vantrel {

namespace {

constexpr UINT_PTR kConnectTimer = 1;
constexpr int kListViewId = 1;
constexpr int kStatusBarId = 2;
constexpr int kStatusPanel1Width = 50;
constexpr int kStorageIconLeftFromRight = 36;
constexpr int kStorageIconTop = 2;
constexpr int kStorageIconSize = 16;

constexpr wchar_t kNotAdministratorText[] =
    L"You need Administrator privileges to access the user administration. The program will "
    L"now exit.";
constexpr wchar_t kRemoteReadFailedText[] =
    L"Could not read user administration from the remote registry. This is a normal situation "
    L"if you have\r\nnever saved the user administration before otherwise it might indicate "
    L"connectivity or privilege problems.\r\n\r\nContinuing with the local administration...";
constexpr wchar_t kLocalReadFailedText[] =
    L"Could not read user administration from the local registry. This is a normal situation "
    L"if you have\r\nnever saved the user administration before otherwise it might indicate "
    L"connectivity or privilege problems.";
constexpr wchar_t kRemoteSaveFailedText[] =
    L"Could not save user administration to the remote registry.";
constexpr wchar_t kLocalSaveFailedText[] =
    L"Could not save user administration to the local registry.";
constexpr wchar_t kStatusText[] = L"Time limit + Bonus time - Time usage = Time remaining";
constexpr wchar_t kLocalStoreHint[] = L"User data is stored locally";
constexpr wchar_t kRemoteStoreHint[] = L"User data is stored on a network computer";

constexpr const wchar_t* kColumnCaptions[5] = {L"User", L"Time limit", L"Bonus time", L"Time usage",
                                               L"Time remaining"};
constexpr const wchar_t* kUserCommands[4] = {L"AMEditDailyTimeLimits", L"AMEditDetailedTimeUsage",
                                             L"AMEditIncreaseTodaysLimit",
                                             L"AMEditDecreaseTodaysLimit"};

void AddStorageHint(HWND toolTip, HWND statusBar, HWND icon, const wchar_t* text) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = statusBar;
    tool.uId = reinterpret_cast<UINT_PTR>(icon);
    tool.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void SetStaticIcon(HWND control, int resourceId, int size) {
    HICON icon = LoadProgramIcon(resourceId, size);
    HICON old = reinterpret_cast<HICON>(
        SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0));
    if (old)
        DestroyIcon(old);
    SetWindowPos(control, nullptr, 0, 0, size, size, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

int BarPosition(int remaining, int scale) {
    if (remaining <= 0 || scale <= 0)
        return 0;
    // The default rounding mode rounds halves to the even number, as the bar expects.
    std::fesetround(FE_TONEAREST);
    return static_cast<int>(std::nearbyint(static_cast<double>(remaining) / scale * 100.0));
}

int RowIconFor(int remaining) {
    if (remaining <= 0)
        return kRowIconNoTime;
    if (remaining < 30)
        return kRowIconLittleTime;
    return kRowIconTimeLeft;
}

TMainForm::TMainForm() : FCommandBars(ActionManager, FColorMap) {}

TMainForm::~TMainForm() {
    // The base class would destroy the window after this class's members are gone; the
    // clean-up of FormDestroy needs them.
    DestroyHandle();
    if (FDisabledImages)
        ImageList_Destroy(FDisabledImages);
    if (ImageListMain32b)
        ImageList_Destroy(ImageListMain32b);
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
    int width = Scale(582);
    int height = Scale(302);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int x = work.left + (work.right - work.left - width) / 2;
    int y = work.top + (work.bottom - work.top - height) / 2;
    // WS_EX_APPWINDOW: the task bar shows this window's own button.
    if (!CreateHandle(WS_EX_APPWINDOW, kClassName, kProductName,
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME |
                          WS_CLIPCHILDREN,
                      x, y, width, height, nullptr))
        return false;
    try {
        FormCreate();
    } catch (const std::exception&) {
        DestroyHandle();
        return false;
    }
    return true;
}

void TMainForm::FormCreate() {
    SetWindowTextW(Handle(), kProductName);
    LoadPrefs(Prefs);
    CreateActions();
    CreateControls();
    FUsers = std::make_unique<TQorUsers>();

    FPipeClient = std::make_unique<TPipeClient>();
    FPipeClient->SetPipeName(kPipeName);
    FPipeClient->OnPipeMessage = [this](TPipeClient& sender, HANDLE pipe, TStream& stream) {
        PipeClientPipeMessage(sender, pipe, stream);
    };
    // The service may start after us: the attempts go on from a timer, so the window is
    // usable at once instead of after half a minute of waiting.
    FConnectAttemptsLeft = kStartupConnectAttempts;
    StartupConnectAttempt();
    if (FConnectAttemptsLeft > 0)
        SetTimer(Handle(), kConnectTimer, kStartupConnectInterval, nullptr);

    ApplyDpi(FDpi);
}

void TMainForm::CreateActions() {
    auto add = [this](const wchar_t* name, const wchar_t* category, const wchar_t* caption,
                      int image, WORD key, void (TMainForm::*handler)()) {
        ActionManager.Add(name, category, caption, image, key,
                          [this, handler] { (this->*handler)(); });
    };
    add(L"AMFileExit", L"File", L"Exit", kNoImage, 0, &TMainForm::AMFileExitExecute);
    add(L"AMEditDailyTimeLimits", L"Users", L"Daily time limits...", 3, 0,
        &TMainForm::AMEditDailyTimeLimitsExecute);
    add(L"AMEditDetailedTimeUsage", L"Users", L"Detailed time usage...", 17, 0,
        &TMainForm::AMEditDetailedTimeUsageExecute);
    add(L"AMEditIncreaseTodaysLimit", L"Users", L"Increase bonus time...", 7, 0,
        &TMainForm::AMEditIncreaseTodaysLimitExecute);
    add(L"AMEditDecreaseTodaysLimit", L"Users", L"Decrease bonus time...", 8, 0,
        &TMainForm::AMEditDecreaseTodaysLimitExecute);
    add(L"AMEditRefresh", L"Tools", L"Refresh user data", 5, 0, &TMainForm::AMEditRefreshExecute);
    add(L"AMToolsUsageReport", L"Tools", L"Time usage report...", 9, 0,
        &TMainForm::AMToolsUsageReportExecute);
    add(L"AMToolsPreferences", L"Tools", L"Preferences...", 6, 0,
        &TMainForm::AMToolsPreferencesExecute);
    add(L"AMToolsLog", L"Tools", L"View logfile...", 14, 0, &TMainForm::AMToolsLogExecute);
    add(L"AMHelpHelp", L"Help", L"Help", 15, VK_F1, &TMainForm::AMHelpHelpExecute);
    add(L"AMHelpAbout", L"Help", L"About...", 0, 0, &TMainForm::AMHelpAboutExecute);
    ActionManager.OnEnabledChanged = [this](TAction& action) { FCommandBars.UpdateAction(action); };
}

void TMainForm::CreateControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    std::vector<TCommandMenu> menus = {
        {L"&File", {{L"&Exit", L"AMFileExit"}}},
        {L"&Users",
         {{L"&Daily time limits...", L"AMEditDailyTimeLimits"},
          {L"De&tailed time usage...", L"AMEditDetailedTimeUsage"},
          {},
          {L"&Increase bonus time...", L"AMEditIncreaseTodaysLimit"},
          {L"D&ecrease bonus time...", L"AMEditDecreaseTodaysLimit"}}},
        {L"&Tools",
         {{L"&Refresh user data", L"AMEditRefresh"},
          {L"&Time usage report...", L"AMToolsUsageReport"},
          {},
          {L"&Preferences...", L"AMToolsPreferences"},
          {L"&View logfile...", L"AMToolsLog"}}},
        {L"&Help", {{L"&Help", L"AMHelpHelp"}, {}, {L"&About...", L"AMHelpAbout"}}},
    };
    std::vector<TCommandItem> toolBar = {
        {nullptr, L"AMEditDailyTimeLimits"},
        {nullptr, L"AMEditDetailedTimeUsage"},
        {},
        {nullptr, L"AMEditIncreaseTodaysLimit"},
        {nullptr, L"AMEditDecreaseTodaysLimit"},
        {},
        {nullptr, L"AMEditRefresh"},
        {nullptr, L"AMToolsUsageReport"},
    };
    // PopupMenuEditUserLimits, PopupMenuEditUsageDetails, PopupMenuSeparator1,
    // PopupMenuIncreaseTodaysLimit, PopupMenuDecreaseTodaysLimit.
    std::vector<TCommandItem> popup = {
        {nullptr, L"AMEditDailyTimeLimits"},     {nullptr, L"AMEditDetailedTimeUsage"},   {},
        {nullptr, L"AMEditIncreaseTodaysLimit"}, {nullptr, L"AMEditDecreaseTodaysLimit"},
    };
    FCommandBars.Create(Handle(), menus, toolBar, popup);
    ActionMainMenuBar = FCommandBars.MainMenuBar();
    ActionToolBar = FCommandBars.ToolBar();
    PopupActionMenuMain = FCommandBars.PopupMenu();

    ListViewUsers = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | LVS_REPORT |
            LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
        0, 0, 0, 0, Handle(), reinterpret_cast<HMENU>(INT_PTR{kListViewId}), instance, nullptr);
    SendMessageW(ListViewUsers, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                 LVS_EX_FULLROWSELECT);
    for (int i = 0; i < 5; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(kColumnCaptions[i]);
        column.cx = Scale(kUserColumnWidths[i]);
        column.iSubItem = i;
        FSettingColumns = true;
        SendMessageW(ListViewUsers, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        FSettingColumns = false;
    }
    SetWindowSubclass(ListViewUsers, ListViewSubclass, 1, reinterpret_cast<DWORD_PTR>(this));

    StatusBar = CreateWindowExW(
        0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | SBARS_SIZEGRIP, 0, 0, 0,
        0, Handle(), reinterpret_cast<HMENU>(INT_PTR{kStatusBarId}), instance, nullptr);
    // The storage pictures live on the status bar itself, over its second panel.
    ImageLocalRegistry =
        CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | SS_ICON | SS_NOTIFY | SS_REALSIZECONTROL,
                        0, 0, 0, 0, StatusBar, nullptr, instance, nullptr);
    ImageRemoteRegistry =
        CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | SS_ICON | SS_NOTIFY | SS_REALSIZECONTROL,
                        0, 0, 0, 0, StatusBar, nullptr, instance, nullptr);
    StatusBarHints =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr, instance, nullptr);
    AddStorageHint(StatusBarHints, StatusBar, ImageLocalRegistry, kLocalStoreHint);
    AddStorageHint(StatusBarHints, StatusBar, ImageRemoteRegistry, kRemoteStoreHint);
}

void TMainForm::ApplyDpi(int dpi) {
    FDpi = dpi;
    FFont = CreateSystemFont(dpi);
    HIMAGELIST images = CreateImageListMain32b(Scale(16));
    HIMAGELIST disabled = CreateDisabledImageList(images);
    SendMessageW(ListViewUsers, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    FCommandBars.SetMetrics(dpi, FFont.Get(), images, disabled);
    if (FDisabledImages)
        ImageList_Destroy(FDisabledImages);
    if (ImageListMain32b)
        ImageList_Destroy(ImageListMain32b);
    ImageListMain32b = images;
    FDisabledImages = disabled;

    for (HWND control : {ListViewUsers, StatusBar})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Get()), TRUE);
    FSettingColumns = true;
    for (int i = 0; i < 5; ++i)
        SendMessageW(ListViewUsers, LVM_SETCOLUMNWIDTH, i, Scale(kUserColumnWidths[i]));
    FSettingColumns = false;
    SetStaticIcon(ImageLocalRegistry, IDI_STORE_LOCAL, Scale(kStorageIconSize));
    SetStaticIcon(ImageRemoteRegistry, IDI_STORE_REMOTE, Scale(kStorageIconSize));
    if (FUsers)
        for (int i = 0; i < FUsers->Count(); ++i)
            if (auto& bar = FUsers->Items(i).ProgressBar)
                bar->SetFont(FFont.Get());
    LayoutControls();
    PlaceBars();
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
    int parts[2] = {std::max(0, static_cast<int>(status.right) - panel1), -1};
    SendMessageW(StatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    SendMessageW(StatusBar, SB_SETTEXTW, 1 | SBT_NOBORDERS, reinterpret_cast<LPARAM>(L""));
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
    KillTimer(Handle(), kConnectTimer);
    FConnectAttemptsLeft = 0;
    // The pipe first: its worker must be stopped before anything it could report to goes.
    FPipeClient.reset();
    FUsers.reset();
    RemoveWindowSubclass(ListViewUsers, ListViewSubclass, 1);
    FCommandBars.Destroy();
}

void TMainForm::SetUserCommandsEnabled(bool enabled) {
    for (const wchar_t* name : kUserCommands)
        ActionManager.SetEnabled(Action(name), enabled);
}

TQorUser* TMainForm::SelectedUser() {
    if (!ListViewUsers || !FUsers)
        return nullptr;
    int index = static_cast<int>(
        SendMessageW(ListViewUsers, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (index < 0)
        return nullptr;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageW(ListViewUsers, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    // A row only points into the collection while the collection still holds that record.
    for (int i = 0; i < FUsers->Count(); ++i)
        if (reinterpret_cast<LPARAM>(&FUsers->Items(i)) == item.lParam)
            return &FUsers->Items(i);
    return nullptr;
}

void TMainForm::ListViewUsersSelectItem() {
    SetUserCommandsEnabled(false);
    if (SelectedUser())
        SetUserCommandsEnabled(true);
}

void TMainForm::ListViewUsersDblClick() {
    const wchar_t* name =
        Prefs.DoubleClickIsTimeUsage ? L"AMEditDetailedTimeUsage" : L"AMEditDailyTimeLimits";
    ActionManager.ExecuteHandler(Action(name));
}

void TMainForm::RefreshUserList() {
    if (!FUsers)
        return;
    // The load may replace the records the rows point to; until the rows are rebuilt they
    // show the texts of the last refresh.
    FRowUsers.clear();
    if (!FUsers->LoadAll(Prefs.UseRemoteRegistry, Prefs.RemoteRegistry))
        ShowMessage(Handle(),
                    Prefs.UseRemoteRegistry ? kRemoteReadFailedText : kLocalReadFailedText,
                    TMsgKind::Information);

    int selected = static_cast<int>(
        SendMessageW(ListViewUsers, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    SendMessageW(ListViewUsers, WM_SETREDRAW, FALSE, 0);
    SendMessageW(ListViewUsers, LVM_DELETEALLITEMS, 0, 0);
    FRowTexts.clear();

    int scale = 60;
    for (int i = 0; i < FUsers->Count(); ++i) {
        const TQorUser& user = FUsers->Items(i);
        if (user.QorControl)
            scale = std::max(scale, user.TodaysTimeLimit + user.TodaysBonusTime);
    }

    HWND header = reinterpret_cast<HWND>(SendMessageW(ListViewUsers, LVM_GETHEADER, 0, 0));
    bool newBars = false;
    SendMessageW(ListViewUsers, LVM_SETITEMCOUNT, FUsers->Count(), 0);
    for (int i = 0; i < FUsers->Count(); ++i) {
        TQorUser& user = FUsers->Items(i);
        if (!user.ProgressBar) {
            user.ProgressBar = std::make_unique<TALProgressBar>();
            TALProgressBar& bar = *user.ProgressBar;
            bar.SetVisible(false);
            bar.SetParent(ListViewUsers);
            // Below the header in the z-order, so a row scrolled under it is clipped.
            HWND handle = bar.Handle();
            SetWindowLongPtrW(handle, GWL_STYLE,
                              GetWindowLongPtrW(handle, GWL_STYLE) | WS_CLIPSIBLINGS);
            bar.SetFont(FFont.Get());
            bar.SetShowPosText(false);
            bar.SetBarColor1(kBarColor1);
            bar.SetBarColor2(kBarColor2);
            bar.SetBarColorStyle(cs2Colors);
            newBars = true;
        }
        TALProgressBar& bar = *user.ProgressBar;
        TRowTexts texts;
        texts[0] = user.Username;
        int remaining = 0;
        if (user.QorControl) {
            remaining = user.TimeRemaining();
            texts[1] = FormatMinutes(user.TodaysTimeLimit);
            texts[2] = FormatMinutes(user.TodaysBonusTime);
            texts[3] = FormatMinutes(user.TodaysTimeUsage);
            texts[4] = FormatMinutes(remaining);
            bar.SetPosition(BarPosition(remaining, scale));
            if (!bar.Visible())
                bar.SetVisible(true);
        } else {
            texts[1] = L" -";
            texts[2] = L" -";
            texts[3] = FormatMinutes(user.TodaysTimeUsage);
            texts[4] = L" -";
            if (bar.Visible())
                bar.SetVisible(false);
        }
        FRowTexts.push_back(std::move(texts));
        // The texts are handed out on request (LVN_GETDISPINFO): setting 2,000 sub-item texts
        // one message at a time costs more than loading the users.
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = LPSTR_TEXTCALLBACKW;
        item.lParam = reinterpret_cast<LPARAM>(&user);
        item.iImage = user.QorControl ? RowIconFor(remaining) : kRowIconNotMonitored;
        SendMessageW(ListViewUsers, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        FRowUsers.push_back(&user);
    }
    if (newBars && header)
        SetWindowPos(header, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(ListViewUsers, WM_SETREDRAW, TRUE, 0);
    PlaceBars();
    InvalidateRect(ListViewUsers, nullptr, TRUE);

    int count = static_cast<int>(SendMessageW(ListViewUsers, LVM_GETITEMCOUNT, 0, 0));
    if (selected >= 0 && selected < count) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(ListViewUsers, LVM_SETITEMSTATE, selected, reinterpret_cast<LPARAM>(&state));
    }
    // Removing the rows does not report a lost selection; a list that came back shorter
    // must not leave the user commands enabled with nothing selected.
    ListViewUsersSelectItem();
}

void TMainForm::PlaceBars() {
    if (!ListViewUsers || FRowUsers.empty())
        return;
    int before = 0;
    for (int i = 0; i < 4; ++i)
        before += static_cast<int>(SendMessageW(ListViewUsers, LVM_GETCOLUMNWIDTH, i, 0));
    int last = static_cast<int>(SendMessageW(ListViewUsers, LVM_GETCOLUMNWIDTH, 4, 0));
    // Report rows all have the height of the first, so one rectangle places every bar.
    RECT first{};
    first.left = LVIR_BOUNDS;
    if (!SendMessageW(ListViewUsers, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first)))
        return;
    int rowHeight = first.bottom - first.top;
    int left = first.left + before + Scale(kBarLeftOffset);
    int width = last - Scale(kBarRightInset);
    int height = rowHeight - 2 * Scale(kBarVerticalInset);
    for (size_t row = 0; row < FRowUsers.size(); ++row) {
        TQorUser* user = FRowUsers[row];
        if (!user->QorControl || !user->ProgressBar)
            continue;
        int top = first.top + static_cast<int>(row) * rowHeight + Scale(kBarVerticalInset);
        TALProgressBar& bar = *user->ProgressBar;
        if (bar.Left() != left || bar.Top() != top || bar.Width() != width ||
            bar.Height() != height)
            bar.SetBounds(left, top, width, height);
    }
    FBarOrigin = POINT{first.left, first.top};
}

void TMainForm::UpdateStatusBar() {
    bool remote = Prefs.UseRemoteRegistry;
    ShowWindow(ImageLocalRegistry, remote ? SW_HIDE : SW_SHOWNA);
    ShowWindow(ImageRemoteRegistry, remote ? SW_SHOWNA : SW_HIDE);
    SendMessageW(StatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(kStatusText));
}

void TMainForm::CommitUsers(TQorUser* changedUser) {
    if (!FUsers)
        return;
    bool saved = changedUser ? SaveUser(*changedUser, Prefs.UseRemoteRegistry, Prefs.RemoteRegistry)
                             : FUsers->SaveAll(Prefs.UseRemoteRegistry, Prefs.RemoteRegistry);
    if (!saved)
        ShowMessage(Handle(),
                    Prefs.UseRemoteRegistry ? kRemoteSaveFailedText : kLocalSaveFailedText,
                    TMsgKind::Warning);
    SendServiceMessage(kServiceMessage);
    RefreshUserList();
}

void TMainForm::SendServiceMessage(const std::string& text) {
    if (!FPipeClient)
        return;
    try {
        if (!FPipeClient->IsConnected() && !FPipeClient->Connect(0, true))
            return;
        FPipeClient->Write(text.data(), static_cast<uint32_t>(text.size()));
    } catch (const std::exception&) {
        // An unreachable service is never reported; the next change tries again.
    }
}

void TMainForm::StartupConnectAttempt() {
    bool connected = FPipeClient && FPipeClient->IsConnected();
    if (!connected && FPipeClient && FConnectAttemptsLeft > 0) {
        --FConnectAttemptsLeft;
        try {
            connected = FPipeClient->Connect(0, true);
        } catch (const std::exception&) {
            connected = false;
        }
    }
    if (connected || FConnectAttemptsLeft <= 0) {
        FConnectAttemptsLeft = 0;
        if (Handle())
            KillTimer(Handle(), kConnectTimer);
    }
}

void TMainForm::PipeClientPipeMessage(TPipeClient&, HANDLE, TStream& stream) {
    if (stream.Size() == 0)
        return;
    std::string text;
    text.resize(static_cast<size_t>(stream.Size()));
    stream.SetPosition(0);
    uint32_t read = stream.Read(text.data(), static_cast<uint32_t>(text.size()));
    text.resize(read);
    ServiceMessageReceived(text);
}

void TMainForm::ServiceMessageReceived(const std::string&) {
    // The service has nothing to tell this program; whatever it sends is read and dropped.
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
        int index = static_cast<int>(
            SendMessageW(ListViewUsers, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        if (index >= 0) {
            RECT rect{};
            rect.left = LVIR_LABEL;
            SendMessageW(ListViewUsers, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
            point = POINT{rect.left + Scale(8), rect.bottom};
        }
        ClientToScreen(ListViewUsers, &point);
    }
    FCommandBars.ShowPopupMenu(point);
}

bool TMainForm::HandleNotify(NMHDR& header, LRESULT& result) {
    if (header.hwndFrom == ListViewUsers) {
        if (header.code == LVN_ITEMCHANGED) {
            auto& change = reinterpret_cast<NMLISTVIEW&>(header);
            if ((change.uChanged & LVIF_STATE) &&
                ((change.uOldState ^ change.uNewState) & LVIS_SELECTED))
                ListViewUsersSelectItem();
            result = 0;
            return true;
        }
        if (header.code == LVN_GETDISPINFOW) {
            auto& info = reinterpret_cast<NMLVDISPINFOW&>(header);
            size_t row = static_cast<size_t>(info.item.iItem);
            int column = info.item.iSubItem;
            if ((info.item.mask & LVIF_TEXT) && row < FRowTexts.size() && column >= 0 &&
                column < 5 && info.item.pszText && info.item.cchTextMax > 0)
                lstrcpynW(info.item.pszText, FRowTexts[row][column].c_str(), info.item.cchTextMax);
            result = 0;
            return true;
        }
        if (header.code == NM_DBLCLK) {
            ListViewUsersDblClick();
            result = 0;
            return true;
        }
    }
    return false;
}

LRESULT CALLBACK TMainForm::ListViewSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TMainForm*>(data);
    if (msg == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        HWND columns = reinterpret_cast<HWND>(SendMessageW(hwnd, LVM_GETHEADER, 0, 0));
        if (header->hwndFrom == columns) {
            // The columns have fixed widths: no dragging, no double-click autosize.
            switch (header->code) {
            case HDN_BEGINTRACKW:
            case HDN_BEGINTRACKA:
                return TRUE;
            case HDN_DIVIDERDBLCLICKW:
            case HDN_DIVIDERDBLCLICKA:
                return 0;
            case HDN_ITEMCHANGINGW:
            case HDN_ITEMCHANGINGA: {
                auto* change = reinterpret_cast<NMHEADERW*>(lParam);
                if (!self->FSettingColumns && change->pitem && (change->pitem->mask & HDI_WIDTH))
                    return TRUE;
                break;
            }
            default:
                break;
            }
        }
    }
    LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_VSCROLL:
    case WM_HSCROLL:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
    case WM_KEYDOWN:
    case LVM_SCROLL:
    case LVM_ENSUREVISIBLE: {
        // The list scrolls its rows but not its child windows: the bars follow here.
        RECT first{};
        first.left = LVIR_BOUNDS;
        if (SendMessageW(hwnd, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first)) &&
            (first.left != self->FBarOrigin.x || first.top != self->FBarOrigin.y))
            self->PlaceBars();
        break;
    }
    case WM_SIZE:
        self->PlaceBars();
        break;
    default:
        break;
    }
    return result;
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
    case WM_NOTIFY:
        if (HandleNotify(*reinterpret_cast<NMHDR*>(lParam), result))
            return result;
        break;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == ListViewUsers) {
            ShowPopupMenu(lParam);
            return 0;
        }
        break;
    case WM_HELP:
        // F1 while a menu is open arrives here rather than as a shortcut.
        ActionManager.Execute(Action(L"AMHelpHelp"));
        return TRUE;
    case WM_TIMER:
        if (wParam == kConnectTimer) {
            StartupConnectAttempt();
            return 0;
        }
        break;
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

void TMainForm::AMFileExitExecute() {
    PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

// The four user commands take the user of the selected row when they run; their dialogs
// are not part of the program yet, so with a user they have nothing further to do.
void TMainForm::AMEditDailyTimeLimitsExecute() {
    if (!SelectedUser())
        return;
}

void TMainForm::AMEditDetailedTimeUsageExecute() {
    if (!SelectedUser())
        return;
}

void TMainForm::AMEditIncreaseTodaysLimitExecute() {
    if (!SelectedUser())
        return;
}

void TMainForm::AMEditDecreaseTodaysLimitExecute() {
    if (!SelectedUser())
        return;
}

void TMainForm::AMEditRefreshExecute() {
    RefreshUserList();
}

void TMainForm::AMToolsUsageReportExecute() {}

void TMainForm::AMToolsPreferencesExecute() {}

void TMainForm::AMToolsLogExecute() {}

void TMainForm::AMHelpHelpExecute() {}

void TMainForm::AMHelpAboutExecute() {
    if (AboutForm)
        AboutForm->ShowModal();
}

} // namespace vantrel
