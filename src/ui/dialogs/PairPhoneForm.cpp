#include "ui/dialogs/PairPhoneForm.h"

#include "model/Clock.h"
#include "model/Registry.h"
#include "ui/Fonts.h"
#include "ui/controls/MessageBox.h"

#include <cwchar>
#include <cwctype>

namespace vantrel {

namespace {

using namespace metrics;

// The code at the left, large enough for 3 pixels a module at 96 DPI for the longest address
// (version 10: 57 modules and 8 of quiet zone).
constexpr int kCodeSide = 216;
constexpr int kRightLeft = kMargin + kCodeSide + kMargin;
constexpr int kRightWidth = 300;
constexpr int kClientWidth = kRightLeft + kRightWidth + kMargin;
constexpr int kFieldWidth = 60;
constexpr int kFieldLeft = kRightLeft + kRightWidth - kFieldWidth;
constexpr int kFieldLabelWidth = kRightWidth - kFieldWidth - kButtonGap;
constexpr int kScanHeight = 4 * kLabelHeight;
constexpr int kKeyTop = kMargin + kScanHeight + kRelatedGap;
constexpr int kMinutesTop = kKeyTop + kEditHeight + kUnrelatedGap;
constexpr int kCodeTop = kMinutesTop + kEditHeight + kUnrelatedGap;
constexpr int kStatusTop = kCodeTop + kEditHeight + kUnrelatedGap;
constexpr int kPairedTop = kMargin + kCodeSide + kUnrelatedGap;
constexpr int kPairedWidth = kClientWidth - 2 * kMargin - kButtonGap - kButtonWidth;
constexpr int kClientHeight = ClientHeightWithButtonRow(kPairedTop + kButtonHeight);
constexpr DWORD kLabelStyle = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kFieldStyle = ES_AUTOHSCROLL | ES_NUMBER | WS_TABSTOP;

constexpr wchar_t kScanText[] =
    L"On your phone, open the authenticator app, add an account and scan this code. An app "
    L"without a camera takes the key instead:";
constexpr wchar_t kNoQrCode[] =
    L"The computer's name is too long for a code to scan: type the key in the app.";
constexpr wchar_t kNotPairedText[] = L"No phone is paired yet.";
constexpr wchar_t kWrongMinutes[] = L"Type a number of minutes from 5 to 240.";
constexpr wchar_t kNoCode[] = L"Type the 6 digits the app shows now.";
constexpr wchar_t kWrongCode[] =
    L"That code is not right, and nothing was kept. Check that the phone's clock is right and "
    L"type the code the app shows now.";
constexpr wchar_t kKeepFailed[] =
    L"Could not keep the key, so nothing was paired. Vantrel must run as an administrator, and "
    L"a network store must be reachable.";
constexpr wchar_t kUnpairQuestion[] =
    L"Unpair the phone? Codes from its app will give no more time on any computer.";
constexpr wchar_t kUnpairFailed[] =
    L"Could not remove the key everywhere. Codes from the paired phone may still give time.";

std::uint64_t UnixSeconds(const FILETIME& utc) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
    constexpr ULONGLONG kTicksTo1970 = 116444736000000000ULL;
    return ticks < kTicksTo1970 ? 0 : (ticks - kTicksTo1970) / 10000000ULL;
}

FILETIME FileTimeNow() {
    const SYSTEMTIME utc = UtcNow();
    FILETIME time{};
    SystemTimeToFileTime(&utc, &time);
    return time;
}

std::wstring ThisComputer() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring(L"Vantrel");
}

std::wstring WithoutBackslashes(const std::wstring& computer) {
    const std::size_t first = computer.find_first_not_of(L'\\');
    return first == std::wstring::npos ? std::wstring() : computer.substr(first);
}

std::wstring LocalText(const FILETIME& utc) {
    SYSTEMTIME time{};
    if (!FileTimeToSystemTime(&utc, &time))
        return std::wstring();
    time = LocalTimeOf(time);
    wchar_t text[40] = {};
    swprintf(text, 40, L"%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
             time.wMinute);
    return text;
}

} // namespace

std::wstring GroupedKeyText(const TSecret& key) {
    const std::string base32 = Base32(key);
    std::wstring text;
    for (std::size_t i = 0; i < base32.size(); ++i) {
        if (i > 0 && i % 4 == 0)
            text += L' ';
        text += static_cast<wchar_t>(base32[i]);
    }
    return text;
}

bool CodeIsRight(const TSecret& key, const std::wstring& code, std::uint64_t unixSeconds) {
    if (code.size() != static_cast<std::size_t>(kCodeDigits))
        return false;
    int typed = 0;
    for (wchar_t c : code) {
        if (c < L'0' || c > L'9')
            return false;
        typed = typed * 10 + (c - L'0');
    }
    for (int step = -1; step <= 1; ++step) {
        const std::uint64_t time = unixSeconds + step * static_cast<std::int64_t>(kCodeStepSeconds);
        if (step < 0 && unixSeconds < kCodeStepSeconds)
            continue;
        const int right = TimeCode(key, time);
        if (right >= 0 && right == typed)
            return true;
    }
    return false;
}

bool TPairPhoneForm::Create(HWND owner) {
    if (Handle())
        return true;
    SetDialogFont(CreateSystemFont(WindowDpi(owner)).Get());
    return TModalDialog::Create(owner, L"Pair a phone", kClientWidth, kClientHeight);
}

void TPairPhoneForm::CreateControls() {
    const int buttonTop = ButtonRowTop(kClientHeight);
    const TControlSpec table[] = {
        {L"STATIC", L"", SS_OWNERDRAW, kMargin, kMargin, kCodeSide, kCodeSide, IdQrCode},
        {L"STATIC", kScanText, kLabelStyle, kRightLeft, kMargin, kRightWidth, kScanHeight,
         IdLabelScan},
        {L"EDIT", L"", ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, kRightLeft, kKeyTop, kRightWidth,
         kEditHeight, IdKeyText, WS_EX_CLIENTEDGE, TControlFont::Bold},
        {L"STATIC", L"&Most minutes one code gives (5 to 240):", SS_LEFT, kRightLeft,
         kMinutesTop + (kEditHeight - kLabelHeight) / 2, kFieldLabelWidth, kLabelHeight,
         IdLabelMinutes},
        {L"EDIT", L"", kFieldStyle, kFieldLeft, kMinutesTop, kFieldWidth, kEditHeight, IdMinutes,
         WS_EX_CLIENTEDGE},
        {L"STATIC", L"C&ode the app shows now:", SS_LEFT, kRightLeft,
         kCodeTop + (kEditHeight - kLabelHeight) / 2, kFieldLabelWidth, kLabelHeight, IdLabelCode},
        {L"EDIT", L"", kFieldStyle, kFieldLeft, kCodeTop, kFieldWidth, kEditHeight, IdCode,
         WS_EX_CLIENTEDGE},
        {L"STATIC", L"", kLabelStyle, kRightLeft, kStatusTop, kRightWidth, 3 * kLabelHeight,
         IdStatus},
        {L"STATIC", L"", kLabelStyle, kMargin, kPairedTop + (kButtonHeight - 2 * kLabelHeight) / 2,
         kPairedWidth, 2 * kLabelHeight, IdPairedText},
        {L"BUTTON", L"&Unpair", BS_PUSHBUTTON | WS_TABSTOP, kClientWidth - kMargin - kButtonWidth,
         kPairedTop, kButtonWidth, kButtonHeight, IdUnpair},
        {L"BUTTON", L"&OK", BS_DEFPUSHBUTTON | WS_TABSTOP, ButtonLeft(kClientWidth, 1), buttonTop,
         kButtonWidth, kButtonHeight, IDOK},
        {L"BUTTON", L"&Cancel", BS_PUSHBUTTON | WS_TABSTOP, ButtonLeft(kClientWidth, 0), buttonTop,
         kButtonWidth, kButtonHeight, IDCANCEL},
    };
    AddControls(table);
    SendMessageW(Control(IdCode), EM_LIMITTEXT, kCodeDigits, 0);
    SendMessageW(Control(IdMinutes), EM_LIMITTEXT, 3, 0);
}

bool TPairPhoneForm::Prepare(bool useRemote, const std::wstring& remoteComputer) {
    FUseRemote = useRemote;
    FRemoteComputer = remoteComputer;
    const std::wstring store = useRemote ? WithoutBackslashes(remoteComputer) : std::wstring();
    FAccount = store.empty() ? ThisComputer() : store;
    TSecret key;
    if (!NewSecret(key))
        return false;
    SetControlText(IdMinutes, L"30");
    SetControlText(IdCode, L"");
    UseKey(key);
    // Paired is what either place holds: a key left in one place still gives time.
    TCodeKey paired;
    FPaired = ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, paired);
    if (!FPaired && useRemote) {
        TRegRoot root;
        FPaired = root.Connect(remoteComputer) == ERROR_SUCCESS &&
                  ReadCodeKey(root.Get(), kStoreCodesKeyPath, paired);
    }
    FPairedAt = FPaired ? paired.PairedAt : FILETIME{};
    if (FPaired)
        SetControlText(IdMinutes, std::to_wstring(paired.MostMinutes));
    ShowPairing();
    return true;
}

void TPairPhoneForm::UseKey(const TSecret& key) {
    FKey = key;
    FAddress = OtpauthAddress(L"Vantrel", FAccount, FKey);
    FCode = QrCodeOf(FAddress);
    SetControlText(IdKeyText, GroupedKeyText(FKey));
    // A name too long for the largest code made here leaves the key to be typed.
    SetControlText(IdStatus, FCode.IsEmpty() ? kNoQrCode : L"");
    InvalidateRect(Control(IdQrCode), nullptr, FALSE);
}

void TPairPhoneForm::ShowPairing() {
    SetControlText(IdPairedText, FPaired ? L"A phone was paired on " + LocalText(FPairedAt) +
                                               L". Pairing again replaces it; Unpair removes it."
                                         : std::wstring(kNotPairedText));
    EnableControl(IdUnpair, FPaired);
}

void TPairPhoneForm::OnShow() {
    FocusOnShow(IdCode);
}

void TPairPhoneForm::SayWhy(const std::wstring& text, int focusId) {
    SetControlText(IdStatus, text);
    SetFocus(Control(focusId));
    SendMessageW(Control(focusId), EM_SETSEL, 0, -1);
}

void TPairPhoneForm::ButtonOKClick() {
    const std::wstring minutesText = ControlText(IdMinutes);
    int minutes = 0;
    for (wchar_t c : minutesText)
        minutes = (c >= L'0' && c <= L'9' && minutes <= kMostMinutes) ? minutes * 10 + (c - L'0')
                                                                      : kMostMinutes + 1;
    if (minutesText.empty() || minutes < kLeastMinutes || minutes > kMostMinutes) {
        SayWhy(kWrongMinutes, IdMinutes);
        return;
    }
    const std::wstring code = ControlText(IdCode);
    if (code.size() != static_cast<std::size_t>(kCodeDigits)) {
        SayWhy(kNoCode, IdCode);
        return;
    }
    const FILETIME now = FileTimeNow();
    if (!CodeIsRight(FKey, code, UnixSeconds(now))) {
        SayWhy(kWrongCode, IdCode);
        return;
    }
    TCodeKey key;
    key.Secret = FKey;
    key.MostMinutes = minutes;
    key.PairedAt = now;
    if (!KeepKey(key)) {
        SetControlText(IdStatus, kKeepFailed);
        ShowMessage(Handle(), kKeepFailed, TMsgKind::Error);
        return;
    }
    if (TellService)
        TellService();
    EndModal(IDOK);
}

bool TPairPhoneForm::KeepKey(const TCodeKey& key) {
    TCodeKey before;
    const bool hadKey = ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, before);
    if (WriteCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, key) != ERROR_SUCCESS) {
        // A key written in part is no key: the one before goes back, or none.
        if (hadKey)
            WriteCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, before);
        else
            RemoveCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath);
        return false;
    }
    if (!FUseRemote)
        return true;
    TRegRoot root;
    if (root.Connect(FRemoteComputer) == ERROR_SUCCESS) {
        TCodeKey storeBefore;
        const bool storeHadKey = ReadCodeKey(root.Get(), kStoreCodesKeyPath, storeBefore);
        if (WriteCodeKey(root.Get(), kStoreCodesKeyPath, key) == ERROR_SUCCESS)
            return true;
        // The store's key as it was is what its computers go on with.
        if (storeHadKey)
            WriteCodeKey(root.Get(), kStoreCodesKeyPath, storeBefore);
        else
            RemoveCodeKey(root.Get(), kStoreCodesKeyPath);
    }
    if (hadKey)
        WriteCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, before);
    else
        RemoveCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath);
    return false;
}

bool TPairPhoneForm::RemoveKeys() {
    // The store first: while it holds the key, the services would take it back.
    if (FUseRemote) {
        TRegRoot root;
        if (root.Connect(FRemoteComputer) != ERROR_SUCCESS ||
            RemoveCodeKey(root.Get(), kStoreCodesKeyPath) != ERROR_SUCCESS)
            return false;
    }
    return RemoveCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath) == ERROR_SUCCESS;
}

void TPairPhoneForm::ButtonUnpairClick() {
    if (!FPaired ||
        ShowMessage(Handle(), kUnpairQuestion, TMsgKind::Confirm, TMsgButtons::YesNo) != IDYES)
        return;
    const bool removed = RemoveKeys();
    if (TellService)
        TellService();
    if (!removed) {
        ShowMessage(Handle(), kUnpairFailed, TMsgKind::Error);
        return;
    }
    FPaired = false;
    ShowPairing();
    SetFocus(Control(IdCode));
}

bool TPairPhoneForm::OnHelp(const HELPINFO&) {
    if (HelpCommand)
        HelpCommand();
    return true;
}

bool TPairPhoneForm::OnCommand(int id, int code, HWND control) {
    if (id == IdUnpair && code == BN_CLICKED && control) {
        ButtonUnpairClick();
        return true;
    }
    return false;
}

LRESULT TPairPhoneForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DRAWITEM && wParam == IdQrCode) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        PaintQrCode(item->hDC, item->rcItem, FCode);
        return TRUE;
    }
    return TModalDialog::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
