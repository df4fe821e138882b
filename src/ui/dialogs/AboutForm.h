#pragma once
// The About dialog: logo, bold product name, version, notice, and two links (web, e-mail) that
// open through the shell. TMyAboutForm is the base form with a plain picture; TAboutForm shows
// the product's logo.
#include "ui/controls/ModalDialog.h"

#include <string>

namespace vantrel {

inline constexpr wchar_t kAboutNotice[] = L"Copyright (c) 2026 Vantrel developers";
inline constexpr wchar_t kAboutWebAddress[] = L"https://www.vantrel.example";
inline constexpr wchar_t kAboutEmailAddress[] = L"support@vantrel.example";

class TMyAboutForm : public TModalDialog {
public:
    // Control ids, for tests and later dialogs.
    enum : int {
        IdLogo = 1001,
        IdProductName,
        IdVersion,
        IdNotice,
        IdContactHeading,
        IdWebLabel,
        IdWebLink,
        IdEmailLabel,
        IdEmailLink,
    };

    TMyAboutForm() = default;

    // Creates the hidden dialog (FormCreate: texts and fonts filled in).
    bool Create(HWND owner);

    // The texts the link clicks hand to the shell's "open" verb.
    std::wstring WebTarget() const;
    std::wstring EmailTarget() const;
    // What a click on each link does.
    void WebLinkClick();
    void EmailLinkClick();

protected:
    void CreateControls() override;
    void OnCancel() override { EndModal(IDOK); }
    bool OnCommand(int id, int code, HWND control) override;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnDpiChanged() override;
    // The picture at the top left (resource id of an icon).
    virtual int LogoResource() const;

private:
    void ApplyFonts();
    void LoadLogo();
    bool IsLink(HWND control) const;

    TFontHandle FBoldFont;
    TFontHandle FLinkFont;
};

class TAboutForm : public TMyAboutForm {
protected:
    int LogoResource() const override;
};

} // namespace vantrel
