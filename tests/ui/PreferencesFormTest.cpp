// The preferences dialog on real windows: its tabs and controls, "&Apply", the questions and
// notices, the registry test of a network computer, refused warning texts and the keyboard.
#include "DpiChildRun.h"
#include "PreferencesFormSupport.h"

#include <sddl.h>

namespace vantrel::testing {
namespace {

using P = TPreferencesForm;

TQorPrefs SomePrefs() {
    TQorPrefs prefs;
    prefs.Use24HourClock = true;
    prefs.DoubleClickIsTimeUsage = false;
    prefs.RptTimeUsagePerComputer = true;
    prefs.UseRemoteRegistry = false;
    prefs.RemoteRegistry = L"\\\\ATTIC";
    prefs.MsgNotAllowedText = L"Not now";
    prefs.MsgWarningText = L"%d minutes, 100%% sure";
    prefs.MsgReachedLimitText = L"Bye";
    prefs.UseDebugLogging = true;
    prefs.DoNotForceLogoff = false;
    return prefs;
}

bool SamePrefs(const TQorPrefs& a, const TQorPrefs& b) {
    return a.Use24HourClock == b.Use24HourClock &&
           a.DoubleClickIsTimeUsage == b.DoubleClickIsTimeUsage &&
           a.RptTimeUsagePerComputer == b.RptTimeUsagePerComputer &&
           a.UseRemoteRegistry == b.UseRemoteRegistry && a.RemoteRegistry == b.RemoteRegistry &&
           a.MsgNotAllowedText == b.MsgNotAllowedText && a.MsgWarningText == b.MsgWarningText &&
           a.MsgReachedLimitText == b.MsgReachedLimitText &&
           a.UseDebugLogging == b.UseDebugLogging && a.DoNotForceLogoff == b.DoNotForceLogoff;
}

bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& value) {
    DWORD size = sizeof(value);
    return RegGetValueW(root, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) ==
           ERROR_SUCCESS;
}

// Gives a key of this computer's registry the access list `sddl`; the owner may always.
LONG RestrictKey(const std::wstring& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return static_cast<LONG>(GetLastError());
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &key);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return rc;
}

// Writes what the window shows to a 24-bit BMP file; false if it could not.
bool SaveWindowPicture(HWND window, const std::wstring& file) {
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(height));
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &header, sizeof(header), &written, nullptr) &&
              WriteFile(out, &info, sizeof(info), &written, nullptr) &&
              WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
    CloseHandle(out);
    return ok;
}

std::wstring ThisComputer() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? name : L"";
}

// --- Warning texts the service can show safely ---

TEST(WarningText, OneMinutesPlaceholderAndPercentSignsOnly) {
    EXPECT_EQ(WarningTextProblem(L""), L"");
    EXPECT_EQ(WarningTextProblem(L"Time is almost up."), L"");
    EXPECT_EQ(WarningTextProblem(kDefaultWarningText), L"");
    EXPECT_EQ(WarningTextProblem(L"%d min, 100%% used, %%d is literal"), L"");
    EXPECT_EQ(WarningTextProblem(L"%%%d"), L"");
    EXPECT_EQ(WarningTextProblem(L"%s minutes"), L"%s");
    EXPECT_EQ(WarningTextProblem(L"%d of %d"), L"%d");
    EXPECT_EQ(WarningTextProblem(L"%n"), L"%n");
    EXPECT_EQ(WarningTextProblem(L"%5d left"), L"%5d");
    EXPECT_EQ(WarningTextProblem(L"%ls"), L"%ls");
    EXPECT_EQ(WarningTextProblem(L"100%"), L"%");
    EXPECT_EQ(WarningTextProblem(L"100% sure"), L"% s");
    EXPECT_EQ(WarningTextProblem(L"%x%d"), L"%x");
}

// --- Layout ---

// Every caption fits its control, page controls lie inside the tab control's page area, each
// page shows its picture at its top left: at whatever DPI the test runs.
TEST_F(PreferencesFormTest, TabsControlsAndPicturesInOrder) {
    wchar_t caption[64] = {};
    GetWindowTextW(Form.Handle(), caption, 64);
    EXPECT_STREQ(caption, L"Preferences");
    HWND tabs = Form.Control(P::PageControl);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 4);
    const wchar_t* names[] = {L"General", L"Network", L"Messages", L"Advanced"};
    for (int i = 0; i < 4; ++i) {
        wchar_t text[32] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 32;
        SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, names[i]);
    }
    struct TCaption {
        int Id;
        const wchar_t* Text;
        bool Box;
    };
    const TCaption captions[] = {
        {P::CheckBoxUse24HourClock, L"Display time in 24-hour clock format", true},
        {P::CheckBoxDoubleClickIsTimeUsage, L"Double-click opens Detailed Time Usage", true},
        {P::CheckBoxRptTimeUsagePerComputer,
         L"Include time usage per computer in Time Usage Report", true},
        {P::CheckBoxUseRemoteRegistry,
         L"Use a network computer for storing user data (remote registry)", true},
        {P::LabelNetworkComputer, L"Name of network computer (example: \\\\OFFICE-PC):", false},
        {P::ButtonTest, L"Test", false},
        {P::LabelNotAllowedText, L"Message when the user is not allowed to use the computer:",
         false},
        {P::LabelWarningText,
         L"Message when the time limit has almost ended (%d represents the nr of minutes):", false},
        {P::LabelReachedLimitText, L"Message when the time limit has ended:", false},
        {P::ButtonDefault, L"Default", false},
        {P::CheckBoxUseDebugLogging, L"Enable debug logging", true},
        {P::CheckBoxDoNotForceLogoff, L"Do not logoff users, only show the warning message", true},
        {P::LabelTimeZoneNote, L"Recorded at once: Cancel does not undo it.", false},
        {IDOK, L"&OK", false},
        {IDCANCEL, L"&Cancel", false},
        {P::ButtonApply, L"&Apply", false},
    };
    RECT area{};
    GetWindowRect(tabs, &area);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    HDC dc = GetDC(Form.Handle());
    for (const TCaption& c : captions) {
        EXPECT_EQ(Form.ControlText(c.Id), c.Text) << c.Id;
        HWND control = Form.Control(c.Id);
        RECT r{};
        GetWindowRect(control, &r);
        HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        std::wstring shown = c.Text;
        if (shown[0] == L'&')
            shown.erase(0, 1);
        SIZE extent{};
        GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
        SelectObject(dc, old);
        // A check box needs room for its box and the gap before the text.
        const int room = (r.right - r.left) - (c.Box ? Form.Scale(20) : 0);
        EXPECT_LE(extent.cx, room) << Narrow(c.Text);
        EXPECT_LE(extent.cy, r.bottom - r.top) << Narrow(c.Text);
        if (c.Id != IDOK && c.Id != IDCANCEL && c.Id != P::ButtonApply) {
            EXPECT_GE(r.left, area.left) << c.Id;
            EXPECT_GE(r.top, area.top) << c.Id;
            EXPECT_LE(r.right, area.right) << c.Id;
            EXPECT_LE(r.bottom, area.bottom) << c.Id;
        } else {
            RECT t{};
            GetWindowRect(tabs, &t);
            EXPECT_GT(r.top, t.bottom) << c.Id;
        }
    }
    ReleaseDC(Form.Handle(), dc);
    for (int page = 0; page < P::PageCount; ++page) {
        const int picture = Form.PageGroup(page).Ids().front();
        RECT r{};
        GetWindowRect(Form.Control(picture), &r);
        EXPECT_EQ(r.right - r.left, Form.Scale(32));
        EXPECT_GE(r.top, area.top);
        EXPECT_GE(r.left, area.left);
        HICON icon =
            reinterpret_cast<HICON>(SendMessageW(Form.Control(picture), STM_GETICON, 0, 0));
        ICONINFO info{};
        ASSERT_TRUE(icon && GetIconInfo(icon, &info)) << page;
        BITMAP bm{};
        GetObjectW(info.hbmColor, sizeof(bm), &bm);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        EXPECT_EQ(bm.bmWidth, Form.Scale(32)) << page;
        // Every control of the page lies to the right of, or below, its picture.
        for (int id : Form.PageGroup(page).Ids()) {
            RECT c{};
            GetWindowRect(Form.Control(id), &c);
            if (id != picture) {
                EXPECT_TRUE(c.left >= r.right || c.top >= r.bottom) << id;
            }
        }
    }
}

// The whole dialog again in a process at 144 DPI.
TEST(PreferencesFormDpi, EverythingHoldsAt144Dpi) {
    EXPECT_EQ(0u, RunTestsAtDpi(144, L"PreferencesFormTest.*"));
}

// Each tab as the administrator sees it. With VANTREL_SHOTS set to a folder, the pictures are
// kept there as prefs_<tab>_<dpi>.bmp for a person to look at.
TEST_F(PreferencesFormTest, EachTabIsDrawn) {
    if (ExpectedDpi()) {
        EXPECT_EQ(Form.Dpi(), ExpectedDpi());
    }
    wchar_t folder[MAX_PATH] = {};
    const bool keep = GetEnvironmentVariableW(L"VANTREL_SHOTS", folder, MAX_PATH) > 0;
    if (!keep)
        GetTempPathW(MAX_PATH, folder);
    const wchar_t* names[] = {L"general", L"network", L"messages", L"advanced"};
    Prefs = SomePrefs();
    Prefs.UseRemoteRegistry = true;
    Show([&] {
        for (int page = 0; page < P::PageCount; ++page) {
            Form.SetActivePage(page);
            RedrawWindow(Form.Handle(), nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            const std::wstring file = std::wstring(folder) + L"\\prefs_" + names[page] + L"_" +
                                      std::to_wstring(Form.Dpi()) + L".bmp";
            EXPECT_TRUE(SaveWindowPicture(Form.Handle(), file));
            // The page's picture is on the screen: a pixel of it differs from the face colour.
            RECT r{};
            GetWindowRect(Form.Control(Form.PageGroup(page).Ids().front()), &r);
            HDC screen = GetDC(nullptr);
            bool drawn = false;
            for (int y = r.top; y < r.bottom && !drawn; y += 2)
                for (int x = r.left; x < r.right && !drawn; x += 2)
                    drawn = GetPixel(screen, x, y) != GetSysColor(COLOR_BTNFACE);
            // The page's controls stand on the colour of the page, not in grey bands: the
            // right end of the control after the picture (past its text) and an empty spot of
            // the page low at the left.
            RECT control{}, tabs{};
            GetWindowRect(Form.Control(Form.PageGroup(page).Ids()[1]), &control);
            GetWindowRect(Form.Control(P::PageControl), &tabs);
            const COLORREF behind = GetPixel(screen, control.right - 3, control.bottom - 3);
            const COLORREF empty =
                GetPixel(screen, tabs.left + Form.Scale(20), tabs.bottom - Form.Scale(20));
            EXPECT_EQ(behind, empty) << page;
            ReleaseDC(nullptr, screen);
            EXPECT_TRUE(drawn) << page;
            if (!keep)
                DeleteFileW(file.c_str());
        }
        Form.EndModal(IDCANCEL);
    });
}

// Moving to a screen of another DPI: places from the table, pictures drawn anew at that size.
TEST_F(PreferencesFormTest, MovingToAScreenOfAnotherDpiScalesControlsAndPictures) {
    const int dpi = Form.Dpi() * 3 / 2;
    RECT suggested{10, 20, 900, 700};
    SendMessageW(Form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(Form.Dpi(), dpi);
    POINT origin{0, 0};
    ClientToScreen(Form.Handle(), &origin);
    for (int id : {int(P::EditWarningText), int(P::ButtonTest), int(P::PageControl), IDOK}) {
        const RECT design = Form.DesignBounds(id);
        RECT r{};
        GetWindowRect(Form.Control(id), &r);
        EXPECT_EQ(r.left - origin.x, MulDiv(design.left, dpi, 96)) << id;
        EXPECT_EQ(r.top - origin.y, MulDiv(design.top, dpi, 96)) << id;
        EXPECT_EQ(r.right - r.left, MulDiv(design.right - design.left, dpi, 96)) << id;
    }
    for (int page = 0; page < P::PageCount; ++page) {
        HICON icon = reinterpret_cast<HICON>(
            SendMessageW(Form.Control(Form.PageGroup(page).Ids().front()), STM_GETICON, 0, 0));
        ICONINFO info{};
        ASSERT_TRUE(icon && GetIconInfo(icon, &info)) << page;
        BITMAP bm{};
        GetObjectW(info.hbmColor, sizeof(bm), &bm);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        EXPECT_EQ(bm.bmWidth, MulDiv(32, dpi, 96)) << page;
    }
}

TEST_F(PreferencesFormTest, OnlyTheActiveTabsControlsAreShown) {
    for (int page = 0; page < P::PageCount; ++page) {
        Form.SetActivePage(page);
        EXPECT_EQ(SelectedTab(), page);
        for (int other = 0; other < P::PageCount; ++other)
            for (int id : Form.PageGroup(other).Ids())
                EXPECT_EQ(Form.IsControlShown(id), other == page) << page << " " << id;
    }
    // A click on a tab, as the tab control reports it.
    int shown = -1;
    Show([&] {
        HWND tabs = Form.Control(P::PageControl);
        SendMessageW(tabs, TCM_SETCURSEL, 2, 0);
        NMHDR header{tabs, static_cast<UINT_PTR>(P::PageControl), static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(Form.Handle(), WM_NOTIFY, P::PageControl, reinterpret_cast<LPARAM>(&header));
        shown = Form.ActivePage();
        Form.EndModal(IDCANCEL);
    });
    EXPECT_EQ(shown, P::PageMessages);
    EXPECT_TRUE(Form.IsControlShown(P::EditWarningText));
    EXPECT_FALSE(Form.IsControlShown(P::CheckBoxUseRemoteRegistry));
}

// --- Showing and "&Apply" ---

TEST_F(PreferencesFormTest, ShowingLoadsEveryControlAndDisablesApply) {
    Prefs = SomePrefs();
    Prefs.DoNotForceLogoff = true; // loaded without the question
    Show([&] {
        EXPECT_TRUE(Form.IsChecked(P::CheckBoxUse24HourClock));
        EXPECT_FALSE(Form.IsChecked(P::CheckBoxDoubleClickIsTimeUsage));
        EXPECT_TRUE(Form.IsChecked(P::CheckBoxRptTimeUsagePerComputer));
        EXPECT_FALSE(Form.IsChecked(P::CheckBoxUseRemoteRegistry));
        EXPECT_EQ(Form.ControlText(P::EditRemoteRegistry), L"\\\\ATTIC");
        EXPECT_EQ(Form.ControlText(P::EditNotAllowedText), L"Not now");
        EXPECT_EQ(Form.ControlText(P::EditWarningText), L"%d minutes, 100%% sure");
        EXPECT_EQ(Form.ControlText(P::EditReachedLimitText), L"Bye");
        EXPECT_TRUE(Form.IsChecked(P::CheckBoxUseDebugLogging));
        EXPECT_TRUE(Form.IsChecked(P::CheckBoxDoNotForceLogoff));
        EXPECT_FALSE(Form.IsControlEnabled(P::EditRemoteRegistry));
        EXPECT_FALSE(Form.IsControlEnabled(P::ButtonTest));
        EXPECT_FALSE(ApplyEnabled());
        Form.EndModal(IDCANCEL);
    });
    EXPECT_TRUE(Messages.empty());
    EXPECT_FALSE(Changed);

    // The name field and "Test" follow the loaded state of the network box.
    Prefs.UseRemoteRegistry = true;
    Prefs.DoNotForceLogoff = false;
    Show([&] {
        EXPECT_TRUE(Form.IsControlEnabled(P::EditRemoteRegistry));
        EXPECT_TRUE(Form.IsControlEnabled(P::ButtonTest));
        EXPECT_FALSE(Form.IsChecked(P::CheckBoxDoNotForceLogoff));
        EXPECT_FALSE(ApplyEnabled());
        Form.EndModal(IDCANCEL);
    });
    EXPECT_TRUE(Messages.empty());
}

TEST_F(PreferencesFormTest, EveryKindOfChangeEnablesApplyAndApplyThenCancelKeepsTheValues) {
    Prefs = SomePrefs();
    const int boxes[] = {P::CheckBoxUse24HourClock, P::CheckBoxDoubleClickIsTimeUsage,
                         P::CheckBoxRptTimeUsagePerComputer, P::CheckBoxUseRemoteRegistry,
                         P::CheckBoxUseDebugLogging};
    const int fields[] = {P::EditRemoteRegistry, P::EditNotAllowedText, P::EditWarningText,
                          P::EditReachedLimitText};
    int result = Show([&] {
        for (int id : boxes) {
            Form.FormShow();
            ASSERT_FALSE(ApplyEnabled());
            Click(id);
            EXPECT_TRUE(ApplyEnabled()) << id;
        }
        for (int id : fields) {
            Form.FormShow();
            Form.EnableControl(P::EditRemoteRegistry, true);
            Type(id, L"x");
            EXPECT_TRUE(ApplyEnabled()) << id;
        }
        Form.FormShow();
        Answers.push_back(IDYES);
        Click(P::ButtonDefault);
        EXPECT_TRUE(ApplyEnabled());

        // The final edit: every box turned over, texts typed, then Apply.
        Form.FormShow();
        for (int id : boxes)
            Click(id);
        Type(P::EditRemoteRegistry, L"2");
        Type(P::EditNotAllowedText, L" please");
        Type(P::EditReachedLimitText, L"!");
        Click(P::ButtonApply); // with the notice about the administrator account
        EXPECT_EQ(Messages.size(), 2u);
        EXPECT_FALSE(ApplyEnabled());
        EXPECT_TRUE(IsWindowVisible(Form.Handle()));
        Click(P::CheckBoxUse24HourClock); // a change after Apply, then Cancel
        Click(IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(Changed);
    TQorPrefs expected = SomePrefs();
    expected.Use24HourClock = false;
    expected.DoubleClickIsTimeUsage = true;
    expected.RptTimeUsagePerComputer = false;
    expected.UseRemoteRegistry = true;
    expected.UseDebugLogging = false;
    expected.RemoteRegistry = L"\\\\ATTIC2";
    expected.MsgNotAllowedText = L"Not now please";
    expected.MsgReachedLimitText = L"Bye!";
    EXPECT_TRUE(SamePrefs(Prefs, expected));
    // Nothing is written to the registry by the dialog.
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, 0, KEY_READ, &key),
              ERROR_SUCCESS);

    // The next showing starts from the applied values with "&Apply" disabled.
    Show([&] {
        EXPECT_FALSE(Form.IsChecked(P::CheckBoxUse24HourClock));
        EXPECT_EQ(Form.ControlText(P::EditReachedLimitText), L"Bye!");
        EXPECT_FALSE(ApplyEnabled());
        Form.EndModal(IDCANCEL);
    });
}

TEST_F(PreferencesFormTest, CancelStoresNothingAndOKStoresEvenWithoutAChange) {
    Prefs = SomePrefs();
    EXPECT_EQ(Show([&] {
                  Click(P::CheckBoxUse24HourClock);
                  Type(P::EditNotAllowedText, L"?");
                  Click(IDCANCEL);
              }),
              IDCANCEL);
    EXPECT_FALSE(Changed);
    EXPECT_TRUE(SamePrefs(Prefs, SomePrefs()));
    EXPECT_EQ(Show([&] { Click(IDOK); }), IDOK);
    EXPECT_TRUE(Changed);
    EXPECT_TRUE(SamePrefs(Prefs, SomePrefs()));
}

TEST_F(PreferencesFormTest, TheAdministratorAccountNoticeComesOnceWhenTheNetworkIsChosen) {
    Prefs = SomePrefs();
    EXPECT_EQ(Show([&] {
                  Click(P::CheckBoxUseRemoteRegistry);
                  EXPECT_TRUE(Form.IsControlEnabled(P::EditRemoteRegistry));
                  EXPECT_TRUE(Form.IsControlEnabled(P::ButtonTest));
                  Replace(P::EditRemoteRegistry, L"\\\\OFFICE-PC");
                  Click(P::ButtonApply);
                  EXPECT_EQ(Messages.size(), 1u);
                  Click(IDOK);
              }),
              IDOK);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, TMsgKind::Information);
    EXPECT_EQ(Messages[0].Text,
              L"In order to use a remote server for storing user data the QOR service\r\nhas to "
              L"run under an Administrator account (if you've not already done so).\r\nThis is "
              L"fairly easy to do, please consult the built-in Help for more information.");
    EXPECT_TRUE(Prefs.UseRemoteRegistry);
    EXPECT_EQ(Prefs.RemoteRegistry, L"\\\\OFFICE-PC");

    // Unchecking disables the name field and "Test" again, and brings no notice.
    Show([&] {
        Click(P::CheckBoxUseRemoteRegistry);
        EXPECT_FALSE(Form.IsControlEnabled(P::EditRemoteRegistry));
        EXPECT_FALSE(Form.IsControlEnabled(P::ButtonTest));
        Click(IDOK);
    });
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_FALSE(Prefs.UseRemoteRegistry);
}

// --- The questions ---

TEST_F(PreferencesFormTest, DefaultAsksAndOnNoChangesNothing) {
    Prefs = SomePrefs();
    Show([&] {
        Answers.push_back(IDNO);
        Click(P::ButtonDefault);
        EXPECT_EQ(Form.ControlText(P::EditNotAllowedText), L"Not now");
        EXPECT_EQ(Form.ControlText(P::EditWarningText), L"%d minutes, 100%% sure");
        EXPECT_EQ(Form.ControlText(P::EditReachedLimitText), L"Bye");
        EXPECT_FALSE(ApplyEnabled());
        Answers.push_back(IDYES);
        Click(P::ButtonDefault);
        EXPECT_EQ(Form.ControlText(P::EditNotAllowedText), kDefaultNotAllowedText);
        EXPECT_EQ(Form.ControlText(P::EditWarningText), kDefaultWarningText);
        EXPECT_EQ(Form.ControlText(P::EditReachedLimitText), kDefaultReachedLimitText);
        EXPECT_TRUE(ApplyEnabled());
        Click(IDCANCEL);
    });
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0].Text, L"Are you sure you want to revert to the default messages?");
    EXPECT_EQ(Messages[0].Kind, TMsgKind::Confirm);
    EXPECT_EQ(Messages[0].Buttons, TMsgButtons::YesNo);

    // Texts that are the defaults already: Yes changes nothing, so "&Apply" stays off.
    Prefs.MsgNotAllowedText = kDefaultNotAllowedText;
    Prefs.MsgWarningText = kDefaultWarningText;
    Prefs.MsgReachedLimitText = kDefaultReachedLimitText;
    Show([&] {
        Answers.push_back(IDYES);
        Click(P::ButtonDefault);
        EXPECT_FALSE(ApplyEnabled());
        Click(IDCANCEL);
    });
}

TEST_F(PreferencesFormTest, TheLogoffQuestionAnsweredNoLeavesTheBoxOffAndApplyOn) {
    const std::wstring question =
        L"Checking this option implies that users are able to stay on the computer as long as "
        L"they want.\r\nThey only will see a warning message. Are you sure this is what you want?";
    Show([&] {
        Answers.push_back(IDNO);
        Click(P::CheckBoxDoNotForceLogoff);
        EXPECT_FALSE(Form.IsChecked(P::CheckBoxDoNotForceLogoff));
        EXPECT_TRUE(ApplyEnabled());
        Answers.push_back(IDYES);
        Click(P::CheckBoxDoNotForceLogoff);
        EXPECT_TRUE(Form.IsChecked(P::CheckBoxDoNotForceLogoff));
        // Unchecking asks nothing.
        Click(P::CheckBoxDoNotForceLogoff);
        EXPECT_FALSE(Form.IsChecked(P::CheckBoxDoNotForceLogoff));
        Click(IDOK);
    });
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0].Text, question);
    EXPECT_EQ(Messages[0].Kind, TMsgKind::Warning);
    EXPECT_EQ(Messages[0].Buttons, TMsgButtons::YesNo);
    EXPECT_FALSE(Prefs.DoNotForceLogoff);
}

// The real message box, closed with Escape as the administrator would.
TEST_F(PreferencesFormTest, TheLogoffQuestionClosedWithEscapeLeavesTheBoxOff) {
    SetMessageBoxSeam(nullptr);
    static HWND box = nullptr;
    static HWND form = nullptr;
    static int ticks = 0;
    box = nullptr;
    form = Form.Handle();
    ticks = 0;
    // The box runs its own loop; a thread timer reaches into it.
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND found = FindWindowW(L"#32770", L"Warning");
        if (found && GetWindow(found, GW_OWNER) == form && !box) {
            box = found;
            HWND focus = GetFocus();
            PostMessageW(focus ? focus : found, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageW(focus ? focus : found, WM_KEYUP, VK_ESCAPE, 0xC0000000);
        }
        if (++ticks > 500 && !box) {
            box = HWND(1);
            ADD_FAILURE() << "no message box";
        }
    });
    bool checked = true;
    Show([&] {
        Click(P::CheckBoxDoNotForceLogoff);
        checked = Form.IsChecked(P::CheckBoxDoNotForceLogoff);
        Click(IDCANCEL);
    });
    KillTimer(nullptr, timer);
    EXPECT_NE(box, nullptr);
    EXPECT_FALSE(checked);
}

// --- The registry test ---

TEST_F(PreferencesFormTest, RegistryTestWithAnEmptyOrBlankFieldOnlyWarns) {
    Prefs.UseRemoteRegistry = true;
    HCURSOR before = nullptr;
    Show([&] {
        before = SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        for (const wchar_t* name : {L"", L"  "}) {
            Replace(P::EditRemoteRegistry, name);
            Click(P::ButtonTest);
        }
        Click(IDCANCEL);
    });
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0].Text, L"Please specify the name of the network computer.");
    EXPECT_EQ(Messages[0].Kind, TMsgKind::Warning);
    EXPECT_EQ(Messages[0].Cursor, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_TRUE(Connections.empty());
}

TEST_F(PreferencesFormTest, RegistryTestAgainstAnUnreachableComputerWarnsUnderTheWaitCursor) {
    Prefs.UseRemoteRegistry = true;
    Prefs.RemoteRegistry = L"STORED";
    HCURSOR after = nullptr;
    Show([&] {
        Replace(P::EditRemoteRegistry, L"\\\\NOWHERE");
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        Click(P::ButtonTest);
        after = GetCursor();
        Click(IDCANCEL);
    });
    // The typed name, passed as typed, not the stored one.
    ASSERT_EQ(Connections, std::vector<std::wstring>{L"\\\\NOWHERE"});
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, L"Could not establish a connection to the registry on the network "
                                L"computer.\r\nPlease consult the built-in Help for possible "
                                L"solutions.");
    EXPECT_EQ(Messages[0].Kind, TMsgKind::Warning);
    EXPECT_EQ(Messages[0].Cursor, LoadCursorW(nullptr, IDC_WAIT));
    EXPECT_EQ(after, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_FALSE(Changed);
}

TEST_F(PreferencesFormTest, RegistryTestAgainstAReachableComputerCreatesTheKeyWithTheTestValue) {
    Prefs.UseRemoteRegistry = true;
    Reachable.insert(L"OFFICE-PC");
    Show([&] {
        Replace(P::EditRemoteRegistry, L"OFFICE-PC");
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        Click(P::ButtonTest);
        Click(IDCANCEL);
    });
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, TMsgKind::Information);
    EXPECT_EQ(Messages[0].Text,
              L"Successfully accessed the registry on the network computer.\r\nThis implies that "
              L"if the QOR service is being configured to run under this account it can also "
              L"access\r\nthe registry on the network computer. Please consult the built-in Help "
              L"for more information.");
    // Shown after the normal cursor is back.
    EXPECT_EQ(Messages[0].Cursor, LoadCursorW(nullptr, IDC_ARROW));
    DWORD value = 0;
    ASSERT_TRUE(ReadDword(HKEY_LOCAL_MACHINE,
                          NetworkRoot(L"OFFICE-PC") + L"\\" + kPreferencesKeyPath, L"QorTestValue",
                          value));
    EXPECT_EQ(value, 1u);
    // This computer's own preferences are untouched.
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, 0, KEY_READ, &key),
              ERROR_SUCCESS);
}

TEST_F(PreferencesFormTest, RegistryTestThatCannotWriteTheKeyWarns) {
    Prefs.UseRemoteRegistry = true;
    Reachable.insert(L"LOCKED");
    // The network computer's preferences key lets everyone read it and nobody write it.
    const std::wstring path = NetworkRoot(L"LOCKED") + L"\\" + kPreferencesKeyPath;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RestrictKey(path, L"D:P(A;;KR;;;WD)"), ERROR_SUCCESS);
    Show([&] {
        Replace(P::EditRemoteRegistry, L"LOCKED");
        Click(P::ButtonTest);
        Click(IDCANCEL);
    });
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, L"Could not write to the registry on the network computer.\r\n"
                                L"Please consult the built-in Help for possible solutions.");
    EXPECT_EQ(Messages[0].Kind, TMsgKind::Warning);
    EXPECT_EQ(Messages[0].Cursor, LoadCursorW(nullptr, IDC_WAIT));
}

// The platform's own remote-registry call: it reaches this computer by its name, and no other.
TEST_F(PreferencesFormTest, RegistryTestThroughTheRealConnection) {
    SetRemoteRegistrySeam(nullptr);
    Prefs.UseRemoteRegistry = true;
    const std::wstring self = ThisComputer();
    ASSERT_FALSE(self.empty());
    HCURSOR after = nullptr;
    Show([&] {
        Replace(P::EditRemoteRegistry, L"\\\\" + self);
        SetCursor(nullptr);
        Click(P::ButtonTest);
        // Without a cursor before the test, the normal one comes back, not none.
        after = GetCursor();
        Replace(P::EditRemoteRegistry, L"NO-SUCH-COMPUTER-7");
        Click(P::ButtonTest);
        Click(IDCANCEL);
    });
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0].Kind, TMsgKind::Information) << Narrow(Messages[0].Text);
    EXPECT_EQ(Messages[1].Kind, TMsgKind::Warning);
    EXPECT_EQ(after, LoadCursorW(nullptr, IDC_ARROW));
    DWORD value = 0;
    ASSERT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"QorTestValue", value));
    EXPECT_EQ(value, 1u);
}

// --- Warning texts the service cannot show ---

TEST_F(PreferencesFormTest, OKAndApplyRefuseAWarningTextWithAnyOtherConversion) {
    Prefs = SomePrefs();
    const std::wstring bad[] = {L"%s minutes left", L"%d of %d minutes", L"%n", L"Only 5%",
                                L"%5d minutes"};
    for (const std::wstring& text : bad) {
        Messages.clear();
        int page = -1;
        HWND focus = nullptr;
        bool stillOpen = false;
        bool applyOn = false;
        const int result = Show([&] {
            Replace(P::EditWarningText, text);
            Form.SetActivePage(P::PageGeneral);
            Click(IDOK);
            stillOpen = Form.IsModal();
            Click(P::ButtonApply);
            applyOn = ApplyEnabled();
            page = Form.ActivePage();
            focus = GetFocus();
            // Mended: OK now stores.
            Replace(P::EditWarningText, L"%d minutes, 100%%");
            Click(IDOK);
        });
        EXPECT_EQ(result, IDOK);
        EXPECT_TRUE(stillOpen) << Narrow(text);
        EXPECT_TRUE(applyOn) << Narrow(text);
        EXPECT_EQ(page, P::PageMessages);
        EXPECT_EQ(focus, Form.Control(P::EditWarningText));
        ASSERT_EQ(Messages.size(), 2u) << Narrow(text);
        EXPECT_EQ(Messages[0].Kind, TMsgKind::Warning);
        EXPECT_NE(Messages[0].Text.find(L"almost ended"), std::wstring::npos);
        EXPECT_EQ(Prefs.MsgWarningText, L"%d minutes, 100%%");
    }
    // The piece at fault is named.
    Messages.clear();
    Changed = false;
    Prefs = SomePrefs();
    Show([&] {
        Replace(P::EditWarningText, L"%d minutes for %s");
        Click(IDOK);
        Click(IDCANCEL);
    });
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].Text.find(L"\"%s\""), std::wstring::npos) << Narrow(Messages[0].Text);
    EXPECT_FALSE(Changed);
    EXPECT_TRUE(SamePrefs(Prefs, SomePrefs()));
}

TEST_F(PreferencesFormTest, OKAndApplyRefuseANetworkStoreWithoutAName) {
    for (const std::wstring name : {L"", L" \t "}) {
        Messages.clear();
        Prefs = SomePrefs();
        int page = -1;
        HWND focus = nullptr;
        LRESULT selection = -1;
        Show([&] {
            Click(P::CheckBoxUseRemoteRegistry);
            Replace(P::EditRemoteRegistry, name);
            Form.SetActivePage(P::PageGeneral);
            Click(P::ButtonApply);
            Click(IDOK);
            page = Form.ActivePage();
            focus = GetFocus();
            selection = SendMessageW(focus, EM_GETSEL, 0, 0);
            Click(IDCANCEL);
        });
        EXPECT_EQ(MessageTexts(), std::vector<std::wstring>(
                                      2, L"Please specify the name of the network computer."));
        EXPECT_EQ(page, P::PageNetwork);
        EXPECT_EQ(focus, Form.Control(P::EditRemoteRegistry));
        EXPECT_EQ(selection, MAKELRESULT(0, name.size()));
        EXPECT_FALSE(Changed);
        EXPECT_TRUE(SamePrefs(Prefs, SomePrefs()));
    }
}

TEST_F(PreferencesFormTest, TheOtherTwoTextsMayHoldAnyCharacter) {
    const std::wstring odd = L"%s %n %% 100% \x00e9\x4e2d \"quoted\" \\\\path";
    Show([&] {
        Replace(P::EditNotAllowedText, odd);
        Replace(P::EditReachedLimitText, odd);
        Click(IDOK);
    });
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Prefs.MsgNotAllowedText, odd);
    EXPECT_EQ(Prefs.MsgReachedLimitText, odd);
}

// --- Keyboard and help ---

TEST_F(PreferencesFormTest, CtrlTabAndCtrlShiftTabChangeTabs) {
    // Each press waits until the tab changed, then records it and goes on with the next.
    struct TPress {
        std::vector<WORD> Modifiers;
        int Expected;
        bool OnTabs;
    };
    const std::vector<TPress> presses = {
        {{VK_CONTROL}, P::PageNetwork, false},
        {{VK_CONTROL, VK_SHIFT}, P::PageGeneral, false},
        {{VK_CONTROL, VK_SHIFT}, P::PageAdvanced, false},
        // On the tab control itself, the keys change tabs as well.
        {{VK_CONTROL}, P::PageGeneral, true},
    };
    std::vector<int> seen;
    std::vector<HWND> focus;
    std::function<void(size_t)> press = [&](size_t i) {
        if (i == presses.size()) {
            Form.EndModal(IDCANCEL);
            return;
        }
        if (presses[i].OnTabs)
            SetFocus(Form.Control(P::PageControl));
        Press(presses[i].Modifiers, VK_TAB);
        ThenWhen([&, i] { return Form.ActivePage() == presses[i].Expected; },
                 [&, i] {
                     seen.push_back(Form.ActivePage());
                     focus.push_back(GetFocus());
                     press(i + 1);
                 });
    };
    Show([&] {
        SetFocus(Form.Control(P::CheckBoxUse24HourClock));
        press(0);
    });
    EXPECT_EQ(seen,
              (std::vector<int>{P::PageNetwork, P::PageGeneral, P::PageAdvanced, P::PageGeneral}));
    ASSERT_EQ(focus.size(), 4u);
    // The focus moves onto the new tab's first control, or stays on the tab control.
    EXPECT_EQ(focus[0], Form.Control(P::CheckBoxUseRemoteRegistry));
    EXPECT_EQ(focus[2], Form.Control(P::CheckBoxUseDebugLogging));
    EXPECT_EQ(focus[3], Form.Control(P::PageControl));
    EXPECT_EQ(SelectedTab(), P::PageGeneral);
}

TEST_F(PreferencesFormTest, TabOrderRunsDownTheTabThenTheButtonsThenTheTabs) {
    Prefs.UseRemoteRegistry = true;
    Form.SetActivePage(P::PageNetwork);
    std::vector<HWND> order;
    Show([&] {
        HWND start = Form.Control(P::CheckBoxUseRemoteRegistry);
        HWND at = start;
        do {
            order.push_back(at);
            at = GetNextDlgTabItem(Form.Handle(), at, FALSE);
        } while (at && at != start && order.size() < 20);
        Form.EndModal(IDCANCEL);
    });
    std::vector<HWND> expected;
    for (int id : {int(P::CheckBoxUseRemoteRegistry), int(P::EditRemoteRegistry),
                   int(P::ButtonTest), IDOK, IDCANCEL, int(P::PageControl)})
        expected.push_back(Form.Control(id));
    EXPECT_EQ(order, expected); // "&Apply" is disabled
}

TEST_F(PreferencesFormTest, EnterIsOKAndEscapeIsCancel) {
    Prefs = SomePrefs();
    EXPECT_EQ(Show([&] {
                  SetFocus(Form.Control(P::CheckBoxUse24HourClock));
                  Click(P::CheckBoxUse24HourClock);
                  PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
              }),
              IDCANCEL);
    EXPECT_FALSE(Changed);
    EXPECT_TRUE(Prefs.Use24HourClock);
    Form.SetActivePage(P::PageMessages);
    EXPECT_EQ(Show([&] {
                  SetFocus(Form.Control(P::EditNotAllowedText));
                  Type(P::EditNotAllowedText, L"!");
                  PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
              }),
              IDOK);
    EXPECT_TRUE(Changed);
    EXPECT_EQ(Prefs.MsgNotAllowedText, L"Not now!");
}

TEST_F(PreferencesFormTest, AccessKeysPressApplyAndCancel) {
    Prefs = SomePrefs();
    bool applied = false;
    const int result = Show([&] {
        SetFocus(Form.Control(P::CheckBoxUse24HourClock));
        Click(P::CheckBoxUse24HourClock);
        Press({VK_MENU}, 'A');
        ThenWhen([&] { return Changed; },
                 [&] {
                     applied = !ApplyEnabled() && !Prefs.Use24HourClock;
                     Press({VK_MENU}, 'C');
                     ThenWhen([&] { return !Form.IsModal() || Form.ModalResult() != 0; }, nullptr);
                 });
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(applied);
    EXPECT_FALSE(Prefs.Use24HourClock);
}

TEST_F(PreferencesFormTest, F1RunsTheMainWindowsHelpCommand) {
    int helps = 0;
    Form.HelpCommand = [&] { ++helps; };
    Form.SetActivePage(P::PageAdvanced);
    Show([&] {
        SetFocus(Form.Control(P::CheckBoxUseDebugLogging));
        Press({}, VK_F1);
        ThenWhen([&] { return helps > 0; }, [&] { Form.EndModal(IDCANCEL); });
    });
    EXPECT_EQ(helps, 1);
}

} // namespace
} // namespace vantrel::testing
