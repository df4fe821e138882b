#include "ui/dialogs/PreferencesForm.h"

#include "ui/Fonts.h"
#include "ui/ProgramIcons.h"
#include "ui/Resources.h"

#include <commctrl.h>

// The dialog's frame: where its controls lie, the tabs that show one page of them at a time,
// the pages' pictures and colour, and Ctrl+Tab from page to page.

namespace vantrel {

namespace {

constexpr int kClientWidth = 560;
constexpr int kPagesLeft = metrics::kMargin;
constexpr int kPagesTop = metrics::kMargin;
constexpr int kPagesWidth = kClientWidth - 2 * metrics::kMargin;
constexpr int kPagesBottom = 242;
constexpr int kClientHeight = metrics::ClientHeightWithButtonRow(kPagesBottom);
// Inside a page: the picture at the top left, the controls to its right.
constexpr int kPictureLeft = 24;
constexpr int kPictureTop = 46;
constexpr int kContentLeft = kPictureLeft + metrics::kPictureSize + metrics::kMargin;
constexpr int kContentRight = kPagesLeft + kPagesWidth - metrics::kMargin;
constexpr int kContentWidth = kContentRight - kContentLeft;
constexpr int kFirstRow = 50;
constexpr int kRow = metrics::kRowHeight;
constexpr int kCheck = metrics::kCheckBoxHeight;
constexpr int kLabel = metrics::kLabelHeight;
constexpr int kEdit = metrics::kEditHeight;
constexpr int kButtonW = metrics::kButtonWidth;
constexpr int kButtonH = metrics::kButtonHeight;
// A label and the field it names, then the gap to the next label.
constexpr int kFieldTop = kLabel + metrics::kRelatedGap;
constexpr int kFieldPitch = kFieldTop + kEdit + metrics::kUnrelatedGap;
constexpr int kNameWidth = kContentWidth - metrics::kButtonGap - kButtonW;
constexpr int kZoneButtonTop =
    kFirstRow + 2 * kRow + metrics::kUnrelatedGap + kFieldTop + 2 * kLabel + metrics::kRelatedGap;
constexpr int kZoneButtonWidth = 2 * kButtonW + metrics::kButtonGap + kButtonW / 2;

constexpr DWORD kCheckStyle = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kLabelStyle = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kEditStyle = ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kPictureStyle = SS_ICON | SS_REALSIZEIMAGE;

using P = TPreferencesForm;

const TControlSpec kControls[] = {
    // General
    {L"STATIC", L"", kPictureStyle, kPictureLeft, kPictureTop, 32, 32, P::ImageGeneral},
    {L"BUTTON", L"Display time in 24-hour clock format", kCheckStyle, kContentLeft, kFirstRow,
     kContentWidth, kCheck, P::CheckBoxUse24HourClock},
    {L"BUTTON", L"Double-click opens Detailed Time Usage", kCheckStyle, kContentLeft,
     kFirstRow + kRow, kContentWidth, kCheck, P::CheckBoxDoubleClickIsTimeUsage},
    {L"BUTTON", L"Include time usage per computer in Time Usage Report", kCheckStyle, kContentLeft,
     kFirstRow + 2 * kRow, kContentWidth, kCheck, P::CheckBoxRptTimeUsagePerComputer},
    {L"BUTTON", L"Pair a phone...", BS_PUSHBUTTON | WS_TABSTOP, kContentLeft,
     kPagesBottom - metrics::kMargin - kButtonH, 2 * kButtonW, kButtonH, P::ButtonPairPhone},
    // Network
    {L"STATIC", L"", kPictureStyle, kPictureLeft, kPictureTop, 32, 32, P::ImageNetwork},
    {L"BUTTON", L"Use a network computer for storing user data (remote registry)", kCheckStyle,
     kContentLeft, kFirstRow, kContentWidth, kCheck, P::CheckBoxUseRemoteRegistry},
    {L"STATIC", L"Name of network computer (example: \\\\OFFICE-PC):", kLabelStyle, kContentLeft,
     kFirstRow + kRow + metrics::kUnrelatedGap, kContentWidth, kLabel, P::LabelNetworkComputer},
    {L"EDIT", L"", kEditStyle, kContentLeft, kFirstRow + kRow + metrics::kUnrelatedGap + kFieldTop,
     kNameWidth, kEdit, P::EditRemoteRegistry, WS_EX_CLIENTEDGE},
    {L"BUTTON", L"Test", BS_PUSHBUTTON | WS_TABSTOP, kContentRight - kButtonW,
     kFirstRow + kRow + metrics::kUnrelatedGap + kFieldTop - (kButtonH - kEdit) / 2, kButtonW,
     kButtonH, P::ButtonTest},
    // Messages
    {L"STATIC", L"", kPictureStyle, kPictureLeft, kPictureTop, 32, 32, P::ImageMessages},
    {L"STATIC", L"Message when the user is not allowed to use the computer:", kLabelStyle,
     kContentLeft, kFirstRow, kContentWidth, kLabel, P::LabelNotAllowedText},
    {L"EDIT", L"", kEditStyle, kContentLeft, kFirstRow + kFieldTop, kContentWidth, kEdit,
     P::EditNotAllowedText, WS_EX_CLIENTEDGE},
    {L"STATIC", L"Message when the time limit has almost ended (%d represents the nr of minutes):",
     kLabelStyle, kContentLeft, kFirstRow + kFieldPitch, kContentWidth, kLabel,
     P::LabelWarningText},
    {L"EDIT", L"", kEditStyle, kContentLeft, kFirstRow + kFieldPitch + kFieldTop, kContentWidth,
     kEdit, P::EditWarningText, WS_EX_CLIENTEDGE},
    {L"STATIC", L"Message when the time limit has ended:", kLabelStyle, kContentLeft,
     kFirstRow + 2 * kFieldPitch, kContentWidth, kLabel, P::LabelReachedLimitText},
    {L"EDIT", L"", kEditStyle, kContentLeft, kFirstRow + 2 * kFieldPitch + kFieldTop, kContentWidth,
     kEdit, P::EditReachedLimitText, WS_EX_CLIENTEDGE},
    {L"BUTTON", L"Default", BS_PUSHBUTTON | WS_TABSTOP, kContentRight - kButtonW,
     kPagesBottom - metrics::kMargin - kButtonH, kButtonW, kButtonH, P::ButtonDefault},
    // Advanced
    {L"STATIC", L"", kPictureStyle, kPictureLeft, kPictureTop, 32, 32, P::ImageAdvanced},
    {L"BUTTON", L"Enable debug logging", kCheckStyle, kContentLeft, kFirstRow, kContentWidth,
     kCheck, P::CheckBoxUseDebugLogging},
    {L"BUTTON", L"Do not logoff users, only show the warning message", kCheckStyle, kContentLeft,
     kFirstRow + kRow, kContentWidth, kCheck, P::CheckBoxDoNotForceLogoff},
    {L"STATIC", L"Days and allowed hours are those of the time zone:", kLabelStyle, kContentLeft,
     kFirstRow + 2 * kRow + metrics::kUnrelatedGap, kContentWidth, kLabel, P::LabelTimeZone},
    {L"STATIC", L"", kLabelStyle, kContentLeft,
     kFirstRow + 2 * kRow + metrics::kUnrelatedGap + kFieldTop, kContentWidth, 2 * kLabel,
     P::TextTimeZone},
    {L"BUTTON", L"Use this computer's time zone", BS_PUSHBUTTON | WS_TABSTOP, kContentLeft,
     kZoneButtonTop, kZoneButtonWidth, kButtonH, P::ButtonTimeZone},
    // The button writes at once, as the registry test does; said beside it.
    {L"STATIC", L"Recorded at once: Cancel does not undo it.", kLabelStyle,
     kContentLeft + kZoneButtonWidth + metrics::kButtonGap,
     kZoneButtonTop + (kButtonH - kLabel) / 2,
     kContentWidth - kZoneButtonWidth - metrics::kButtonGap, kLabel, P::LabelTimeZoneNote},
};

const wchar_t* const kPageCaptions[P::PageCount] = {L"General", L"Network", L"Messages",
                                                    L"Advanced"};
const int kPictureIds[P::PageCount] = {IDI_PREFS_GENERAL, IDI_PREFS_NETWORK, IDI_PREFS_MESSAGES,
                                       IDI_PREFS_ADVANCED};
const int kPictureControls[P::PageCount] = {P::ImageGeneral, P::ImageNetwork, P::ImageMessages,
                                            P::ImageAdvanced};

constexpr UINT_PTR kKeySubclassId = 1;

bool KeyDown(int key) {
    return (GetKeyState(key) & 0x8000) != 0;
}

} // namespace

TPreferencesForm::~TPreferencesForm() {
    DestroyPictures();
}

bool TPreferencesForm::Create(HWND owner) {
    if (Handle())
        return true;
    SetDialogFont(CreateSystemFont(WindowDpi(owner)).Get());
    return TModalDialog::Create(owner, L"Preferences", kClientWidth, kClientHeight);
}

void TPreferencesForm::CreateControls() {
    AddControls(kControls);
    AddOKCancel(1);
    const TControlSpec rest[] = {
        {L"BUTTON", L"&Apply", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED,
         metrics::ButtonLeft(kClientWidth, 0), metrics::ButtonRowTop(kClientHeight), kButtonW,
         kButtonH, ButtonApply},
        {WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP, kPagesLeft, kPagesTop, kPagesWidth,
         kPagesBottom - kPagesTop, PageControl},
    };
    AddControls(rest);

    HWND tabs = Control(PageControl);
    for (int page = 0; page < PageCount; ++page) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(kPageCaptions[page]);
        SendMessageW(tabs, TCM_INSERTITEMW, page, reinterpret_cast<LPARAM>(&item));
    }
    FPages[PageGeneral] = {ImageGeneral, CheckBoxUse24HourClock, CheckBoxDoubleClickIsTimeUsage,
                           CheckBoxRptTimeUsagePerComputer, ButtonPairPhone};
    FPages[PageNetwork] = {ImageNetwork, CheckBoxUseRemoteRegistry, LabelNetworkComputer,
                           EditRemoteRegistry, ButtonTest};
    FPages[PageMessages] = {ImageMessages,        LabelNotAllowedText, EditNotAllowedText,
                            LabelWarningText,     EditWarningText,     LabelReachedLimitText,
                            EditReachedLimitText, ButtonDefault};
    FPages[PageAdvanced] = {
        ImageAdvanced, CheckBoxUseDebugLogging, CheckBoxDoNotForceLogoff, LabelTimeZone,
        TextTimeZone,  ButtonTimeZone,          LabelTimeZoneNote};

    // Ctrl+Tab reaches whichever control has the focus; the dialog manager would take it for
    // a plain Tab.
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SetWindowSubclass(child, KeySubclass, kKeySubclassId, reinterpret_cast<DWORD_PTR>(this));

    LoadPictures();
    TakePageColor();
    SetActivePage(PageGeneral);
}

void TPreferencesForm::TakePageColor() {
    // A themed tab control draws its page lighter than the dialog's face, and the labels and
    // boxes on it would stand out as grey bands. They are given the colour the tab control
    // really paints, whatever the theme, taken from a picture of it.
    HWND tabs = Control(PageControl);
    RECT client{};
    GetClientRect(tabs, &client);
    RECT body = client;
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&body));
    COLORREF color = GetSysColor(COLOR_BTNFACE);
    TScopedGetDC screen(tabs);
    HDC memory = CreateCompatibleDC(screen.Get());
    TBitmapHandle picture(CreateCompatibleBitmap(screen.Get(), client.right, client.bottom));
    if (memory && picture) {
        TScopedSelect select(memory, picture.Get());
        FillRect(memory, &client, GetSysColorBrush(COLOR_BTNFACE));
        SendMessageW(tabs, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                     PRF_CLIENT | PRF_ERASEBKGND);
        const COLORREF seen =
            GetPixel(memory, (body.left + body.right) / 2, (body.top + body.bottom) / 2);
        if (seen != CLR_INVALID)
            color = seen;
    }
    if (memory)
        DeleteDC(memory);
    FPageColor = color;
    FPageBrush.Reset(CreateSolidBrush(color));
}

bool TPreferencesForm::IsOnAPage(HWND control) const {
    const int id = GetDlgCtrlID(control);
    for (const TControlGroup& page : FPages)
        if (page.Contains(id))
            return GetParent(control) == Handle();
    return false;
}

LRESULT TPreferencesForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HWND control = reinterpret_cast<HWND>(lParam);
        wchar_t className[16] = {};
        GetClassNameW(control, className, 16);
        // A disabled or read-only edit asks too; it keeps its own colours.
        if (FPageBrush && IsOnAPage(control) && lstrcmpiW(className, L"Edit") != 0) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, FPageColor);
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<LRESULT>(FPageBrush.Get());
        }
        break;
    }
    case WM_THEMECHANGED:
    case WM_SYSCOLORCHANGE: {
        const LRESULT result = TModalDialog::HandleMessage(msg, wParam, lParam);
        TakePageColor();
        InvalidateRect(Handle(), nullptr, TRUE);
        return result;
    }
    }
    return TModalDialog::HandleMessage(msg, wParam, lParam);
}

void TPreferencesForm::LoadPictures() {
    // The new picture is shown before the old one is destroyed.
    for (int page = 0; page < PageCount; ++page) {
        HICON picture = LoadProgramIcon(kPictureIds[page], Scale(metrics::kPictureSize));
        SendMessageW(Control(kPictureControls[page]), STM_SETICON,
                     reinterpret_cast<WPARAM>(picture), 0);
        if (FPictures[page])
            DestroyIcon(FPictures[page]);
        FPictures[page] = picture;
    }
}

void TPreferencesForm::DestroyPictures() {
    for (HICON& picture : FPictures) {
        if (picture)
            DestroyIcon(picture);
        picture = nullptr;
    }
}

void TPreferencesForm::SetActivePage(int page) {
    if (page < 0 || page >= PageCount)
        return;
    FActivePage = page;
    SendMessageW(Control(PageControl), TCM_SETCURSEL, page, 0);
    // The new page first, so that a focus lost with the old one can land on it.
    ShowGroup(FPages[page], true);
    for (int other = 0; other < PageCount; ++other)
        if (other != page)
            ShowGroup(FPages[other], false);
}

void TPreferencesForm::SelectNextPage(bool forward) {
    HWND tabs = Control(PageControl);
    const bool onTabs = GetFocus() == tabs;
    SetActivePage((FActivePage + (forward ? 1 : PageCount - 1)) % PageCount);
    if (onTabs)
        return;
    // As in a property sheet: the focus goes to the first control of the new page.
    HWND first = nullptr;
    for (int id : FPages[FActivePage].Ids()) {
        HWND control = Control(id);
        if ((GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP) && IsWindowEnabled(control)) {
            first = control;
            break;
        }
    }
    SetFocus(first ? first : tabs);
}

LRESULT CALLBACK TPreferencesForm::KeySubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                               UINT_PTR id, DWORD_PTR data) {
    auto* form = reinterpret_cast<TPreferencesForm*>(data);
    switch (msg) {
    case WM_GETDLGCODE:
        if (lParam) {
            const MSG* key = reinterpret_cast<const MSG*>(lParam);
            if (key->message == WM_KEYDOWN && key->wParam == VK_TAB && KeyDown(VK_CONTROL))
                return DefSubclassProc(hwnd, msg, wParam, lParam) | DLGC_WANTMESSAGE;
        }
        break;
    case WM_KEYDOWN:
        if (wParam == VK_TAB && KeyDown(VK_CONTROL)) {
            form->SelectNextPage(!KeyDown(VK_SHIFT));
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == L'\t' && KeyDown(VK_CONTROL))
            return 0;
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, KeySubclass, id);
        break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

bool TPreferencesForm::OnNotify(NMHDR* header, LRESULT& result) {
    if (header->idFrom != static_cast<UINT_PTR>(PageControl) || header->code != TCN_SELCHANGE)
        return false;
    SetActivePage(static_cast<int>(SendMessageW(Control(PageControl), TCM_GETCURSEL, 0, 0)));
    result = 0;
    return true;
}

} // namespace vantrel
