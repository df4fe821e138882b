#include "ui/dialogs/AboutForm.h"

#include "model/Constants.h"
#include "ui/Fonts.h"
#include "ui/ProgramIcons.h"
#include "ui/Resources.h"
#include "ui/controls/Shell.h"

namespace vantrel {

namespace {
constexpr int kClientWidth = 300;
constexpr int kClientHeight = 204;
constexpr int kLogoSize = 52;
constexpr COLORREF kLinkColor = RGB(0, 0, 128); // navy
} // namespace

bool TMyAboutForm::Create(HWND owner) {
    if (Handle())
        return true;
    SetDialogFont(CreateSystemFont(WindowDpi(owner)).Get());
    return TModalDialog::Create(owner, std::wstring(L"About ") + kProductName, kClientWidth,
                                kClientHeight);
}

int TMyAboutForm::LogoResource() const {
    return IDI_PROGRAM;
}

int TAboutForm::LogoResource() const {
    return IDI_ABOUT_LOGO;
}

void TMyAboutForm::CreateControls() {
    AddControl(L"STATIC", L"", SS_ICON | SS_REALSIZEIMAGE, 12, 12, kLogoSize, kLogoSize, IdLogo);
    LoadLogo();

    AddControl(L"STATIC", kProductName, SS_LEFT | SS_NOPREFIX, 76, 14, 212, 18, IdProductName);
    AddControl(L"STATIC", std::wstring(L"Version ") + kVersionText, SS_LEFT | SS_NOPREFIX, 76, 36,
               212, 16, IdVersion);
    AddControl(L"STATIC", kAboutNotice, SS_LEFT | SS_NOPREFIX, 76, 54, 212, 16, IdNotice);
    AddSeparator(12, 80, kClientWidth - 24);
    AddControl(L"STATIC", L"Contact information:", SS_LEFT | SS_NOPREFIX, 12, 90, 276, 16,
               IdContactHeading);
    AddControl(L"STATIC", L"Internet:", SS_LEFT | SS_NOPREFIX, 12, 110, 60, 16, IdWebLabel);
    AddControl(L"STATIC", kAboutWebAddress, SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 76, 110, 212, 16,
               IdWebLink);
    AddControl(L"STATIC", L"E-mail:", SS_LEFT | SS_NOPREFIX, 12, 128, 60, 16, IdEmailLabel);
    AddControl(L"STATIC", kAboutEmailAddress, SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 76, 128, 212, 16,
               IdEmailLink);
    AddSeparator(12, 156, kClientWidth - 24);
    AddButton(L"&OK", (kClientWidth - 75) / 2, 168, 75, 25, IDOK, true);
    ApplyFonts();
}

void TMyAboutForm::LoadLogo() {
    SetPictureIcon(Control(IdLogo), LogoResource(), Scale(kLogoSize));
}

void TMyAboutForm::OnDpiChanged() {
    ApplyFonts();
    LoadLogo();
}

void TMyAboutForm::ApplyFonts() {
    // The product name keeps a font of its own: bold 13-pixel Tahoma.
    LOGFONTW bold{};
    bold.lfHeight = -Scale(13);
    bold.lfWeight = FW_BOLD;
    bold.lfCharSet = DEFAULT_CHARSET;
    wcscpy_s(bold.lfFaceName, L"Tahoma");
    FBoldFont.Reset(CreateFontIndirectW(&bold));
    SendMessageW(Control(IdProductName), WM_SETFONT, reinterpret_cast<WPARAM>(FBoldFont.Get()),
                 FALSE);

    FLinkFont = CreateSystemFont(Dpi(), false, true);
    for (int id : {IdWebLink, IdEmailLink})
        SendMessageW(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(FLinkFont.Get()), FALSE);
}

std::wstring TMyAboutForm::WebTarget() const {
    return kAboutWebAddress;
}

std::wstring TMyAboutForm::EmailTarget() const {
    // The subject goes unencoded, blanks included; mail programs accept it that way.
    return std::wstring(L"mailto:") + kAboutEmailAddress + L"?subject=" + kProductName + L" v" +
           kVersionText;
}

void TMyAboutForm::WebLinkClick() {
    ShellOpen(Handle(), WebTarget());
}

void TMyAboutForm::EmailLinkClick() {
    ShellOpen(Handle(), EmailTarget());
}

bool TMyAboutForm::IsLink(HWND control) const {
    return control && (control == Control(IdWebLink) || control == Control(IdEmailLink));
}

bool TMyAboutForm::OnCommand(int id, int code, HWND) {
    if (code != STN_CLICKED)
        return false;
    if (id == IdWebLink) {
        WebLinkClick();
        return true;
    }
    if (id == IdEmailLink) {
        EmailLinkClick();
        return true;
    }
    return false;
}

LRESULT TMyAboutForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_DESTROY:
        ClearPictureIcon(Control(IdLogo));
        break;
    case WM_SETCURSOR:
        if (IsLink(reinterpret_cast<HWND>(wParam))) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC:
        if (IsLink(reinterpret_cast<HWND>(lParam))) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, kLinkColor);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    }
    return TModalDialog::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
