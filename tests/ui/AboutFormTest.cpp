#include "ui/dialogs/AboutForm.h"

#include "controls/TestWindows.h"
#include "ui/Fonts.h"
#include "ui/controls/MessageBox.h"
#include "ui/controls/Shell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

class AboutForm : public ::testing::Test {
protected:
    void SetUp() override {
        SetShellSeam([this](HWND owner, const std::wstring& target) {
            ShellCalls.push_back({owner, target});
            return static_cast<INT_PTR>(2); // the shell fails: nothing is shown
        });
        SetMessageBoxSeam([](HWND, const std::wstring& text, TMsgKind, TMsgButtons) {
            ADD_FAILURE() << "unexpected message box: " << std::string(text.begin(), text.end());
            return IDOK;
        });
        ASSERT_TRUE(Form.Create(Owner.Handle()));
    }
    void TearDown() override {
        SetShellSeam(nullptr);
        SetMessageBoxSeam(nullptr);
    }
    RECT Bounds(int id) {
        RECT r{};
        GetWindowRect(Form.Control(id), &r);
        return r;
    }
    LOGFONTW FontOf(int id) {
        LOGFONTW lf{};
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(Form.Control(id), WM_GETFONT, 0, 0));
        GetObjectW(font, sizeof(lf), &lf);
        return lf;
    }
    void Click(int id) {
        HWND link = Form.Control(id);
        SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }

    struct TShellCall {
        HWND Owner;
        std::wstring Target;
    };
    std::vector<TShellCall> ShellCalls;
    testwin::TTestWindow Owner{100, 100, 500, 400};
    TDialog<TAboutForm> Form;
};

TEST_F(AboutForm, ShowsItsElementsInOrder) {
    wchar_t caption[64] = {};
    GetWindowTextW(Form.Handle(), caption, 64);
    EXPECT_STREQ(caption, L"About Vantrel");
    EXPECT_EQ(Form.ControlText(TMyAboutForm::IdProductName), L"Vantrel");
    EXPECT_EQ(Form.ControlText(TMyAboutForm::IdVersion), L"Version 1.0.0");
    EXPECT_EQ(Form.ControlText(TMyAboutForm::IdNotice), kAboutNotice);
    EXPECT_EQ(Form.ControlText(TMyAboutForm::IdContactHeading), L"Contact information:");
    EXPECT_EQ(Form.ControlText(TMyAboutForm::IdWebLabel), L"Internet:");
    EXPECT_EQ(Form.ControlText(TMyAboutForm::IdWebLink), kAboutWebAddress);
    EXPECT_EQ(Form.ControlText(TMyAboutForm::IdEmailLabel), L"E-mail:");
    EXPECT_EQ(Form.ControlText(TMyAboutForm::IdEmailLink), kAboutEmailAddress);
    EXPECT_EQ(Form.ControlText(IDOK), L"&OK");
    // Top to bottom, with each link beside its label.
    const int order[] = {int(TMyAboutForm::IdProductName),
                         TMyAboutForm::IdVersion,
                         TMyAboutForm::IdNotice,
                         TMyAboutForm::IdContactHeading,
                         TMyAboutForm::IdWebLabel,
                         TMyAboutForm::IdEmailLabel,
                         IDOK};
    for (size_t i = 1; i < std::size(order); ++i)
        EXPECT_GT(Bounds(order[i]).top, Bounds(order[i - 1]).top) << "element " << i;
    EXPECT_EQ(Bounds(TMyAboutForm::IdWebLink).top, Bounds(TMyAboutForm::IdWebLabel).top);
    EXPECT_GT(Bounds(TMyAboutForm::IdWebLink).left, Bounds(TMyAboutForm::IdWebLabel).right - 1);
    const RECT logo = Bounds(TMyAboutForm::IdLogo);
    EXPECT_EQ(logo.right - logo.left, Form.Scale(52));
    EXPECT_EQ(logo.bottom - logo.top, Form.Scale(52));
    EXPECT_LT(logo.top, Bounds(TMyAboutForm::IdProductName).top + 1);
}

TEST_F(AboutForm, FontsNameBoldTahomaAndUnderlinedLinks) {
    const LOGFONTW name = FontOf(TMyAboutForm::IdProductName);
    EXPECT_STREQ(name.lfFaceName, L"Tahoma");
    EXPECT_EQ(name.lfHeight, -Form.Scale(13));
    EXPECT_GE(name.lfWeight, FW_BOLD);
    const int height = -MulDiv(SystemFontSize(), Form.Dpi(), 72);
    for (int id : {int(TMyAboutForm::IdVersion), int(TMyAboutForm::IdWebLabel), IDOK}) {
        const LOGFONTW lf = FontOf(id);
        EXPECT_EQ(std::wstring(lf.lfFaceName), SystemFontName()) << id;
        EXPECT_EQ(lf.lfHeight, height) << id;
        EXPECT_FALSE(lf.lfUnderline) << id;
    }
    for (int id : {TMyAboutForm::IdWebLink, TMyAboutForm::IdEmailLink}) {
        const LOGFONTW lf = FontOf(id);
        EXPECT_EQ(std::wstring(lf.lfFaceName), SystemFontName()) << id;
        EXPECT_EQ(lf.lfHeight, height) << id;
        EXPECT_TRUE(lf.lfUnderline) << id;
    }
}

TEST_F(AboutForm, LinksAreNavyWithAHandCursor) {
    HDC dc = GetDC(Form.Handle());
    for (int id : {TMyAboutForm::IdWebLink, TMyAboutForm::IdEmailLink}) {
        SetTextColor(dc, RGB(1, 1, 1));
        SendMessageW(Form.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(Form.Control(id)));
        EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 128));
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        SendMessageW(Form.Control(id), WM_SETCURSOR, reinterpret_cast<WPARAM>(Form.Control(id)),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    }
    SetTextColor(dc, RGB(1, 1, 1));
    SendMessageW(Form.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(Form.Control(TMyAboutForm::IdNotice)));
    EXPECT_NE(GetTextColor(dc), RGB(0, 0, 128));
    ReleaseDC(Form.Handle(), dc);
    // Off the links the default cursor comes back.
    SendMessageW(Form.Control(TMyAboutForm::IdNotice), WM_SETCURSOR,
                 reinterpret_cast<WPARAM>(Form.Control(TMyAboutForm::IdNotice)),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

TEST_F(AboutForm, LinksOpenThroughTheShellWithTheSubjectUnencoded) {
    Click(TMyAboutForm::IdWebLink);
    Click(TMyAboutForm::IdEmailLink);
    ASSERT_EQ(ShellCalls.size(), 2u);
    EXPECT_EQ(ShellCalls[0].Owner, Form.Handle());
    EXPECT_EQ(ShellCalls[0].Target, L"https://www.vantrel.example");
    EXPECT_EQ(ShellCalls[1].Owner, Form.Handle());
    EXPECT_EQ(ShellCalls[1].Target, L"mailto:support@vantrel.example?subject=Vantrel v1.0.0");
    // Clicking a plain label does nothing.
    Click(TMyAboutForm::IdNotice);
    EXPECT_EQ(ShellCalls.size(), 2u);
}

TEST_F(AboutForm, OKAndEscapeBothCloseWithOK) {
    PostMessageW(Form.Control(IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(Form.ShowModal(), IDOK);
    PostMessageW(Form.Control(IDOK), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(Form.ShowModal(), IDOK);
    PostMessageW(Form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(Form.ShowModal(), IDOK);
    EXPECT_EQ(Form.DefaultButton(), IDOK);
}

TEST_F(AboutForm, MovingToAScreenOf144DpiScalesLayoutFontsAndLogo) {
    ASSERT_EQ(Form.Dpi(), 96);
    const RECT webBefore = Bounds(TMyAboutForm::IdWebLink);
    RECT suggested{10, 20, 500, 400};
    SendMessageW(Form.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(Form.Dpi(), 144);
    RECT client{};
    GetClientRect(Form.Handle(), &client);
    EXPECT_EQ(client.right, 450); // 300 at 96 DPI
    RECT web = Bounds(TMyAboutForm::IdWebLink);
    POINT origin{0, 0};
    ClientToScreen(Form.Handle(), &origin);
    EXPECT_EQ(web.right - web.left, MulDiv(webBefore.right - webBefore.left, 144, 96));
    EXPECT_EQ(web.left - origin.x, 114); // 76 at 96 DPI
    EXPECT_EQ(FontOf(TMyAboutForm::IdProductName).lfHeight, -20);
    EXPECT_EQ(FontOf(TMyAboutForm::IdWebLink).lfHeight, -MulDiv(SystemFontSize(), 144, 72));
    EXPECT_TRUE(FontOf(TMyAboutForm::IdWebLink).lfUnderline);
    EXPECT_EQ(FontOf(TMyAboutForm::IdVersion).lfHeight, -MulDiv(SystemFontSize(), 144, 72));
    HICON logo = reinterpret_cast<HICON>(
        SendMessageW(Form.Control(TMyAboutForm::IdLogo), STM_GETICON, 0, 0));
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(logo, &info));
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof(bm), &bm);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_EQ(bm.bmWidth, 78);
}

TEST_F(AboutForm, ShowsTheProductLogoWhereTheBaseShowsTheProgramIcon) {
    auto logoWidth = [](const TMyAboutForm& form) {
        HICON icon = reinterpret_cast<HICON>(
            SendMessageW(form.Control(TMyAboutForm::IdLogo), STM_GETICON, 0, 0));
        ICONINFO info{};
        if (!icon || !GetIconInfo(icon, &info))
            return 0;
        BITMAP bm{};
        GetObjectW(info.hbmColor, sizeof(bm), &bm);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return static_cast<int>(bm.bmWidth);
    };
    EXPECT_EQ(logoWidth(Form), Form.Scale(52));
    TDialog<TMyAboutForm> base;
    ASSERT_TRUE(base.Create(Owner.Handle()));
    EXPECT_EQ(logoWidth(base), base.Scale(52));
    HICON a = reinterpret_cast<HICON>(
        SendMessageW(Form.Control(TMyAboutForm::IdLogo), STM_GETICON, 0, 0));
    HICON b = reinterpret_cast<HICON>(
        SendMessageW(base.Control(TMyAboutForm::IdLogo), STM_GETICON, 0, 0));
    EXPECT_NE(a, b);
}

} // namespace
} // namespace vantrel
