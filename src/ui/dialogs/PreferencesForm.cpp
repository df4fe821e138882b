#include "ui/dialogs/PreferencesForm.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "model/Registry.h"
#include "ui/Fonts.h"
#include "ui/ProgramIcons.h"
#include "ui/Resources.h"
#include "ui/controls/MessageBox.h"

#include <commctrl.h>

#include <cwctype>

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

// The six boxes and the preference each one shows, with its value in the preferences key (as
// LoadPrefs reads it).
struct TCheckBoxField {
    int Id;
    bool TQorPrefs::*Field;
    const wchar_t* Value;
};
const TCheckBoxField kCheckBoxes[] = {
    {P::CheckBoxUse24HourClock, &TQorPrefs::Use24HourClock, L"Use24HourClock"},
    {P::CheckBoxDoubleClickIsTimeUsage, &TQorPrefs::DoubleClickIsTimeUsage,
     L"DoubleClickIsTimeUsage"},
    {P::CheckBoxRptTimeUsagePerComputer, &TQorPrefs::RptTimeUsagePerComputer,
     L"RptTimeUsagePerComputer"},
    {P::CheckBoxUseRemoteRegistry, &TQorPrefs::UseRemoteRegistry, L"UseRemoteRegistry"},
    {P::CheckBoxUseDebugLogging, &TQorPrefs::UseDebugLogging, L"UseDebugLogging"},
    {P::CheckBoxDoNotForceLogoff, &TQorPrefs::DoNotForceLogoff, L"DoNotForceLogoff"},
};
struct TTextField {
    int Id;
    std::wstring TQorPrefs::*Field;
    const wchar_t* Value;
};
const TTextField kTextFields[] = {
    {P::EditRemoteRegistry, &TQorPrefs::RemoteRegistry, L"RemoteRegistry"},
    {P::EditNotAllowedText, &TQorPrefs::MsgNotAllowedText, L"MsgNotAllowedText"},
    {P::EditWarningText, &TQorPrefs::MsgWarningText, L"MsgWarningText"},
    {P::EditReachedLimitText, &TQorPrefs::MsgReachedLimitText, L"MsgReachedLimitText"},
};

constexpr wchar_t kLogoffQuestion[] =
    L"Checking this option implies that users are able to stay on the computer as long as they "
    L"want.\r\nThey only will see a warning message. Are you sure this is what you want?";
constexpr wchar_t kDefaultQuestion[] = L"Are you sure you want to revert to the default messages?";
constexpr wchar_t kRemoteNotice[] =
    L"In order to use a remote server for storing user data the QOR service\r\nhas to run under "
    L"an Administrator account (if you've not already done so).\r\nThis is fairly easy to do, "
    L"please consult the built-in Help for more information.";
constexpr wchar_t kNoComputerName[] = L"Please specify the name of the network computer.";
constexpr wchar_t kNoConnection[] =
    L"Could not establish a connection to the registry on the network computer.\r\nPlease "
    L"consult the built-in Help for possible solutions.";
constexpr wchar_t kNoWrite[] = L"Could not write to the registry on the network computer.\r\n"
                               L"Please consult the built-in Help for possible solutions.";
constexpr wchar_t kTestSucceeded[] =
    L"Successfully accessed the registry on the network computer.\r\nThis implies that if the QOR "
    L"service is being configured to run under this account it can also access\r\nthe registry on "
    L"the network computer. Please consult the built-in Help for more information.";

constexpr wchar_t kNoZoneRecord[] = L"Could not record the time zone in the local registry.";

constexpr UINT_PTR kKeySubclassId = 1;

bool KeyDown(int key) {
    return (GetKeyState(key) & 0x8000) != 0;
}

// Blanks alone name no computer: the connection would fail, or a stored blank name would leave
// the program and the service on different stores.
bool IsBlank(const std::wstring& text) {
    for (wchar_t c : text)
        if (!iswspace(c))
            return false;
    return true;
}

// The wait cursor of the registry test, until Restore or the end of the scope. The cursor
// stays while the connection blocks the thread, since no message can change it meanwhile.
class TWaitCursor {
public:
    TWaitCursor() : FOld(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~TWaitCursor() { Restore(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
    void Restore() {
        // Without a cursor before, the normal one: never none.
        if (FOn)
            SetCursor(FOld ? FOld : LoadCursorW(nullptr, IDC_ARROW));
        FOn = false;
    }

private:
    HCURSOR FOld;
    bool FOn = true;
};

} // namespace

bool SaveChangedPreferences(const TQorPrefs& shown, const TQorPrefs& edited, TQorPrefs& stored) {
    // A key that lacks a value (none yet, or from an older program) is written whole, from
    // what was read and changed: the service stops its reading at a missing value, and would
    // not see a changed one that comes after it.
    bool whole = true;
    {
        TRegKey read;
        whole =
            read.Open(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, KEY_QUERY_VALUE) == ERROR_SUCCESS;
        const auto has = [&read](const wchar_t* value) {
            return RegQueryValueExW(read.Get(), value, nullptr, nullptr, nullptr, nullptr) ==
                   ERROR_SUCCESS;
        };
        for (const TCheckBoxField& box : kCheckBoxes)
            whole = whole && has(box.Value);
        for (const TTextField& field : kTextFields)
            whole = whole && has(field.Value);
    }
    TRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, KEY_SET_VALUE) != ERROR_SUCCESS)
        return false;
    // Every value due is tried; any failure is the answer.
    bool saved = true;
    for (const TCheckBoxField& box : kCheckBoxes) {
        const bool changed = edited.*box.Field != shown.*box.Field;
        if (changed)
            stored.*box.Field = edited.*box.Field;
        if (changed || !whole)
            saved = key.WriteBool(box.Value, stored.*box.Field) == ERROR_SUCCESS && saved;
    }
    for (const TTextField& field : kTextFields) {
        const bool changed = edited.*field.Field != shown.*field.Field;
        if (changed)
            stored.*field.Field = edited.*field.Field;
        if (changed || !whole)
            saved = key.WriteString(field.Value, stored.*field.Field) == ERROR_SUCCESS && saved;
    }
    CompletePrefs(stored);
    return saved;
}

TPreferencesForm::~TPreferencesForm() {
    DestroyPictures();
}

bool TPreferencesForm::Create(HWND owner) {
    if (Handle())
        return true;
    SetDialogFont(CreateSystemFont(WindowDpi(owner)).Get());
    return TModalDialog::Create(owner, L"Preferences", kClientWidth, kClientHeight);
}

void TPreferencesForm::Bind(TQorPrefs& prefs, bool& preferencesHaveBeenChanged) {
    FPrefs = &prefs;
    FChanged = &preferencesHaveBeenChanged;
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

void TPreferencesForm::SetTextIfDifferent(int id, const std::wstring& text) {
    if (ControlText(id) != text)
        SetControlText(id, text);
}

void TPreferencesForm::FormShow() {
    if (FPrefs) {
        // BM_SETCHECK sends no click: a stored "on" in the log-off box asks nothing.
        for (const TCheckBoxField& box : kCheckBoxes)
            SetChecked(box.Id, (*FPrefs).*box.Field);
        for (const TTextField& field : kTextFields)
            SetControlText(field.Id, (*FPrefs).*field.Field);
    }
    const bool remote = IsChecked(CheckBoxUseRemoteRegistry);
    EnableControl(EditRemoteRegistry, remote);
    EnableControl(ButtonTest, remote);
    EnableControl(ButtonApply, false);
    ShowTimeZone();
}

void TPreferencesForm::ShowTimeZone() {
    const DYNAMIC_TIME_ZONE_INFORMATION computer = SystemZone();
    DYNAMIC_TIME_ZONE_INFORMATION recorded{};
    const bool known = RecordedZone(recorded);
    const bool differs = !known || !SameZone(recorded, computer);
    // A record that cannot be read: the service keeps judging in the zone it last read well.
    DYNAMIC_TIME_ZONE_INFORMATION record{};
    const LONG read = ReadRecordedZone(record);
    const bool damaged = read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND;
    std::wstring text = known     ? ZoneDescription(recorded)
                        : damaged ? L"the record is damaged, so this computer's"
                                  : L"none recorded, so this computer's";
    if (known && damaged)
        text += L" (the record is damaged; the zone last read well counts)";
    if (differs)
        text += (known ? L"; this computer is set to " : L": ") + ZoneDescription(computer);
    SetControlText(TextTimeZone, text);
    EnableControl(ButtonTimeZone, differs || damaged);
}

void TPreferencesForm::ButtonTimeZoneClick() {
    if (RecordZone(SystemZone()) != ERROR_SUCCESS)
        ShowMessage(Handle(), kNoZoneRecord, TMsgKind::Warning);
    ShowTimeZone();
}

void TPreferencesForm::ControlChanged() {
    EnableControl(ButtonApply, true);
}

void TPreferencesForm::CheckBoxUseRemoteRegistryClick() {
    const bool remote = IsChecked(CheckBoxUseRemoteRegistry);
    EnableControl(EditRemoteRegistry, remote);
    EnableControl(ButtonTest, remote);
    ControlChanged();
}

void TPreferencesForm::CheckBoxDoNotForceLogoffClick() {
    if (IsChecked(CheckBoxDoNotForceLogoff) &&
        ShowMessage(Handle(), kLogoffQuestion, TMsgKind::Warning, TMsgButtons::YesNo) != IDYES)
        SetChecked(CheckBoxDoNotForceLogoff, false);
    ControlChanged();
}

void TPreferencesForm::ButtonDefaultClick() {
    if (ShowMessage(Handle(), kDefaultQuestion, TMsgKind::Confirm, TMsgButtons::YesNo) != IDYES)
        return;
    // Only a text that changes notifies, and so enables "&Apply", as typing would.
    SetTextIfDifferent(EditNotAllowedText, kDefaultNotAllowedText);
    SetTextIfDifferent(EditWarningText, kDefaultWarningText);
    SetTextIfDifferent(EditReachedLimitText, kDefaultReachedLimitText);
}

void TPreferencesForm::ButtonTestClick() {
    const std::wstring computer = ControlText(EditRemoteRegistry);
    if (IsBlank(computer)) {
        ShowMessage(Handle(), kNoComputerName, TMsgKind::Warning);
        return;
    }
    TWaitCursor wait;
    {
        TRegRoot root;
        if (root.Connect(computer) != ERROR_SUCCESS) {
            ShowMessage(Handle(), kNoConnection, TMsgKind::Warning);
            return;
        }
        TRegKey key;
        if (key.Create(root.Get(), kPreferencesKeyPath, KEY_SET_VALUE) != ERROR_SUCCESS) {
            ShowMessage(Handle(), kNoWrite, TMsgKind::Warning);
            return;
        }
        // The test is the key; a refused value changes nothing of its result.
        key.WriteBool(L"QorTestValue", true);
        key.Close();
        wait.Restore();
    }
    ShowMessage(Handle(), kTestSucceeded, TMsgKind::Information);
}

void TPreferencesForm::SelectField(int page, int id) {
    SetActivePage(page);
    HWND edit = Control(id);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
}

bool TPreferencesForm::StorePreferences() {
    if (IsChecked(CheckBoxUseRemoteRegistry) && IsBlank(ControlText(EditRemoteRegistry))) {
        ShowMessage(Handle(), kNoComputerName, TMsgKind::Warning);
        SelectField(PageNetwork, EditRemoteRegistry);
        return false;
    }
    const std::wstring warningText = ControlText(EditWarningText);
    const std::wstring problem = WarningTextProblem(warningText);
    if (!problem.empty()) {
        // The service formats this text with the minutes left: any other conversion would
        // read what was never passed, on every computer that shares the store.
        const std::wstring what =
            problem == L"%d" ? std::wstring(L"\"%d\" more than once") : L"\"" + problem + L"\"";
        ShowMessage(Handle(),
                    L"The message when the time limit has almost ended cannot contain " + what +
                        L".\r\nIt may hold \"%d\" once, for the number of minutes, and \"%%\" "
                        L"for a percent sign. Please correct the message.",
                    TMsgKind::Warning);
        SelectField(PageMessages, EditWarningText);
        return false;
    }
    if (!FPrefs || !FChanged)
        return false;
    const bool wasRemote = FPrefs->UseRemoteRegistry;
    *FChanged = true;
    for (const TCheckBoxField& box : kCheckBoxes)
        (*FPrefs).*box.Field = IsChecked(box.Id);
    for (const TTextField& field : kTextFields)
        (*FPrefs).*field.Field = ControlText(field.Id);
    if (FPrefs->UseRemoteRegistry && !wasRemote)
        ShowMessage(Handle(), kRemoteNotice, TMsgKind::Information);
    return true;
}

void TPreferencesForm::ButtonApplyClick() {
    if (StorePreferences())
        EnableControl(ButtonApply, false);
}

void TPreferencesForm::ButtonOKClick() {
    if (StorePreferences())
        EndModal(IDOK);
}

void TPreferencesForm::AMHelpHelpExecute() {
    if (HelpCommand)
        HelpCommand();
}

void TPreferencesForm::ButtonPairPhoneClick() {
    if (!FPairPhone) {
        FPairPhone = std::make_unique<TDialog<TPairPhoneForm>>();
        if (!FPairPhone->Create(Handle())) {
            FPairPhone.reset();
            return;
        }
    }
    // The key goes to the store the service uses now, whatever this dialog shows unsaved.
    TQorPrefs stored;
    LoadPrefs(stored);
    if (!FPairPhone->Prepare(stored.UseRemoteRegistry, stored.RemoteRegistry)) {
        ShowMessage(Handle(), L"The system gave no random key to pair a phone with.",
                    TMsgKind::Error);
        return;
    }
    FPairPhone->TellService = TellService;
    FPairPhone->HelpCommand = HelpCommand;
    FPairPhone->ShowModal();
}

bool TPreferencesForm::OnHelp(const HELPINFO&) {
    AMHelpHelpExecute();
    return true;
}

bool TPreferencesForm::OnCommand(int id, int code, HWND control) {
    if (!control)
        return false;
    if (code == EN_CHANGE) {
        for (const TTextField& field : kTextFields)
            if (field.Id == id) {
                ControlChanged();
                return true;
            }
        return false;
    }
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case CheckBoxUseRemoteRegistry:
        CheckBoxUseRemoteRegistryClick();
        return true;
    case CheckBoxDoNotForceLogoff:
        CheckBoxDoNotForceLogoffClick();
        return true;
    case CheckBoxUse24HourClock:
    case CheckBoxDoubleClickIsTimeUsage:
    case CheckBoxRptTimeUsagePerComputer:
    case CheckBoxUseDebugLogging:
        ControlChanged();
        return true;
    case ButtonDefault:
        ButtonDefaultClick();
        return true;
    case ButtonTest:
        ButtonTestClick();
        return true;
    case ButtonApply:
        ButtonApplyClick();
        return true;
    case ButtonTimeZone:
        ButtonTimeZoneClick();
        return true;
    case ButtonPairPhone:
        ButtonPairPhoneClick();
        return true;
    }
    return false;
}

bool TPreferencesForm::OnNotify(NMHDR* header, LRESULT& result) {
    if (header->idFrom != static_cast<UINT_PTR>(PageControl) || header->code != TCN_SELCHANGE)
        return false;
    SetActivePage(static_cast<int>(SendMessageW(Control(PageControl), TCM_GETCURSEL, 0, 0)));
    result = 0;
    return true;
}

} // namespace vantrel
