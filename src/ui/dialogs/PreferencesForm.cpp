#include "ui/dialogs/PreferencesForm.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "model/Registry.h"
#include "ui/controls/MessageBox.h"

#include <cwctype>

namespace vantrel {

namespace {

using P = TPreferencesForm;

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

void TPreferencesForm::Bind(TQorPrefs& prefs, bool& preferencesHaveBeenChanged) {
    FPrefs = &prefs;
    FChanged = &preferencesHaveBeenChanged;
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

} // namespace vantrel
