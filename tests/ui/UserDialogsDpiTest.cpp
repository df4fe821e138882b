// The bonus time and detailed time usage dialogs made on a 144-DPI display. Wine reads the
// display DPI from the registry when a process starts, so they are checked in a child run of
// this test program started after the setting was changed.
#include "ui/AdjustBonusTimeForm.h"
#include "ui/DetailedTimeUsageForm.h"

#include "DialogDriver.h"
#include "controls/TestWindows.h"
#include "ui/Fonts.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel::testing {
namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kExpectDpiVariable[] = L"VANTREL_DIALOGS_DPI";

int ExpectedDpi() {
    wchar_t value[16] = {};
    if (!GetEnvironmentVariableW(kExpectDpiVariable, value, 16))
        return 0;
    return _wtoi(value);
}

void SetLogPixels(HKEY key, DWORD value) {
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof(value));
}

// Runs this program's tests matching `filter` in a new process at `dpi`; its exit code.
DWORD RunAtDpi(int dpi, const std::wstring& filter) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    DWORD old = 0, size = sizeof(old), type = 0;
    const bool hadOld = RegQueryValueExW(key, L"LogPixels", nullptr, &type,
                                         reinterpret_cast<BYTE*>(&old), &size) == ERROR_SUCCESS &&
                        type == REG_DWORD;
    SetLogPixels(key, static_cast<DWORD>(dpi));

    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --gtest_filter=" + filter;
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    SetEnvironmentVariableW(kExpectDpiVariable, std::to_wstring(dpi).c_str());
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    DWORD code = 999;
    if (CreateProcessW(self, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
        if (WaitForSingleObject(pi.hProcess, 100000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        else
            TerminateProcess(pi.hProcess, 998);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    SetEnvironmentVariableW(kExpectDpiVariable, nullptr);
    if (hadOld)
        SetLogPixels(key, old);
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);
    return code;
}

TEST(UserDialogsDpi, DialogsAreLaidOutAt144Dpi) {
    EXPECT_EQ(0u, RunAtDpi(144, L"UserDialogsAtDpi.*"));
}

class UserDialogsAtDpi : public ::testing::Test {
protected:
    void SetUp() override {
        if (ExpectedDpi() == 0)
            GTEST_SKIP() << "runs in the child process of UserDialogsDpi";
        SetProcessDPIAware();
    }
    static int FontHeight(HWND control) {
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(lf),
                   &lf);
        return lf.lfHeight;
    }
};

TEST_F(UserDialogsAtDpi, BothDialogsTakeTheDisplaysSizes) {
    const int dpi = ExpectedDpi();
    testwin::TTestWindow owner{50, 50, 900, 700};
    TAdjustBonusTimeForm bonus;
    ASSERT_TRUE(bonus.Create(owner.Handle()));
    ASSERT_EQ(bonus.Dpi(), dpi);
    bonus.Prepare(TBonusDirection::Increase, L"Maximilian.Schneider");
    RECT label = ClientRectOf(bonus.Handle(), bonus.Control(TAdjustBonusTimeForm::IdLabelInfo));
    EXPECT_EQ(label.right - label.left, MulDiv(180, dpi, 96));
    RECT picture = ClientRectOf(bonus.Handle(), bonus.Control(TAdjustBonusTimeForm::IdPicture));
    EXPECT_EQ(picture.right - picture.left, MulDiv(32, dpi, 96));
    EXPECT_EQ(FontHeight(bonus.Control(TAdjustBonusTimeForm::IdRb1h)),
              -MulDiv(SystemFontSize(), dpi, 72));
    ExpectSoundLayout(bonus);

    TDetailedTimeUsageForm usage;
    ASSERT_TRUE(usage.Create(owner.Handle()));
    ASSERT_EQ(usage.Dpi(), dpi);
    std::vector<std::wstring> list = {L"STUDY-PC=95", L"GAMING-RIG=1500"};
    usage.TimeUsageList = &list;
    usage.UserName = L"Maximilian.Schneider";
    // Shown once, so that the texts are in.
    PostMessageW(usage.Handle(), WM_COMMAND, IDOK, 0);
    usage.ShowModal();
    usage.TimeUsageList = nullptr;
    EXPECT_EQ(ListView_GetColumnWidth(usage.ListViewUsageDetails(), 0), MulDiv(140, dpi, 96));
    EXPECT_EQ(ListView_GetColumnWidth(usage.ListViewUsageDetails(), 1), MulDiv(140, dpi, 96));
    EXPECT_EQ(FontHeight(usage.ListViewUsageDetails()), -MulDiv(SystemFontSize(), dpi, 72));
    ExpectSoundLayout(usage);
}

} // namespace
} // namespace vantrel::testing
