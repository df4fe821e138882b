#include "ui/dialogs/DetailedTimeUsageForm.h"

#include "model/UsageEntry.h"

#include "DialogDriver.h"
#include "controls/TestWindows.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel::testing {
namespace {

using Form = TDetailedTimeUsageForm;
using Steps = TModalSteps;

class DetailedTimeUsageForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetProcessDPIAware(); }
    void SetUp() override { ASSERT_TRUE(Dialog.Create(Owner.Handle())); }

    HWND List() { return Dialog.ListViewUsageDetails(); }
    std::vector<std::wstring> Rows() {
        std::vector<std::wstring> rows;
        const int count = ListView_GetItemCount(List());
        for (int i = 0; i < count; ++i) {
            wchar_t computer[64] = {}, usage[64] = {};
            ListView_GetItemText(List(), i, 0, computer, 64);
            ListView_GetItemText(List(), i, 1, usage, 64);
            rows.push_back(std::wstring(computer) + L"|" + usage);
        }
        return rows;
    }
    std::wstring ColumnCaption(int column) {
        wchar_t text[64] = {};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.pszText = text;
        col.cchTextMax = 64;
        ListView_GetColumn(List(), column, &col);
        return text;
    }
    int Show(std::vector<std::wstring>* list, const std::wstring& user) {
        Dialog.TimeUsageList = list;
        Dialog.UserName = user;
        const int result = Steps::Run(Dialog, {[] { Steps::Key(VK_RETURN); }});
        Dialog.TimeUsageList = nullptr;
        return result;
    }

    testwin::TTestWindow Owner{100, 100, 600, 450};
    TDialog<Form> Dialog;
};

TEST_F(DetailedTimeUsageForm, OneRowPerComputerWithMinutesInTheStoresOrder) {
    wchar_t title[64] = {};
    GetWindowTextW(Dialog.Handle(), title, 64);
    EXPECT_STREQ(title, L"Detailed time usage");
    EXPECT_EQ(ColumnCaption(0), L"Computer");
    EXPECT_EQ(ColumnCaption(1), L"Time usage");
    EXPECT_EQ(ListView_GetColumnWidth(List(), 0), 140);
    EXPECT_EQ(ListView_GetColumnWidth(List(), 1), 140);
    const LONG style = GetWindowLongW(List(), GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_FALSE(style & LVS_EDITLABELS);
    EXPECT_TRUE(ListView_GetExtendedListViewStyle(List()) & LVS_EX_FULLROWSELECT);
    EXPECT_EQ(Dialog.ControlText(IDOK), L"&OK");
    EXPECT_EQ(Dialog.Control(IDCANCEL), nullptr);

    // Entries of 0 or less, and entries that carry no whole number, are left out; a computer
    // whose key holds "=" keeps its minutes, as in the weekly report.
    std::vector<std::wstring> usage = {
        L"STUDY-PC=95", L"KITCHEN-PC=20",    L"ATTIC=0",         L"GARAGE=-5",
        L"CELLAR=abc",  L"NOEQUALS",         L"A=B=7",           L"HALL=",
        L"LOFT=12x",    L"HUGE=99999999999", L"GAMING-RIG=1500", L"LAPTOP=2147483647",
    };
    EXPECT_EQ(Show(&usage, L"emma"), IDOK);
    EXPECT_EQ(Dialog.ControlText(Form::IdLabelTop),
              L"Today's time usage per computer for user emma:");
    EXPECT_EQ(Rows(),
              (std::vector<std::wstring>{L"STUDY-PC| 01:35", L"KITCHEN-PC| 00:20", L"A=B| 00:07",
                                         L"GAMING-RIG| 25:00", L"LAPTOP| 35791394:07"}));
    EXPECT_EQ(usage.size(), 12u); // the list is the caller's and stays as it was

    // The next showing shows only the next user's rows; one without a list changes nothing.
    std::vector<std::wstring> other = {L"HOME=61"};
    EXPECT_EQ(Show(&other, L"Tom & Jerry"), IDOK);
    EXPECT_EQ(Dialog.ControlText(Form::IdLabelTop),
              L"Today's time usage per computer for user Tom & Jerry:");
    EXPECT_TRUE(GetWindowLongW(Dialog.Control(Form::IdLabelTop), GWL_STYLE) & SS_NOPREFIX);
    EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"HOME| 01:01"}));
    EXPECT_EQ(Show(nullptr, L"nobody"), IDOK);
    EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"HOME| 01:01"}));
    EXPECT_EQ(Dialog.ControlText(Form::IdLabelTop),
              L"Today's time usage per computer for user Tom & Jerry:");
}

TEST_F(DetailedTimeUsageForm, EntryMinutesReadsOnlyAWholeNumberAfterTheLastEquals) {
    EXPECT_EQ(ParseUsageEntry(L"PC=95").Minutes, 95);
    EXPECT_EQ(ParseUsageEntry(L"PC=-3").Minutes, -3);
    EXPECT_EQ(ParseUsageEntry(L"PC=2147483647").Minutes, 2147483647);
    EXPECT_EQ(ParseUsageEntry(L"PC=2147483648").Minutes, 0);
    EXPECT_EQ(ParseUsageEntry(L"PC=99999999999999999999999").Minutes, 0);
    EXPECT_EQ(ParseUsageEntry(L"PC=9 5").Minutes, 0);
    EXPECT_EQ(ParseUsageEntry(L"PC").Minutes, 0);
    EXPECT_EQ(ParseUsageEntry(L"=7").Minutes, 7);
}

// The list has the focus first; Tab reaches "&OK" and comes back; Enter and Escape close.
TEST_F(DetailedTimeUsageForm, WorksFromTheKeyboard) {
    std::vector<std::wstring> usage = {L"A=10", L"B=20", L"C=30"};
    Dialog.TimeUsageList = &usage;
    Dialog.UserName = L"emma";
    std::vector<int> focus;
    auto noteFocus = [&] { focus.push_back(GetDlgCtrlID(GetFocus())); };
    int selected = -1;
    int result =
        Steps::Run(Dialog, {
                               noteFocus,
                               [] { Steps::Key(VK_DOWN); },
                               [] { Steps::Key(VK_DOWN); },
                               [&] { selected = ListView_GetNextItem(List(), -1, LVNI_SELECTED); },
                               [] { Steps::Key(VK_TAB); },
                               noteFocus,
                               [] { Steps::Key(VK_TAB); },
                               noteFocus,
                               [] { Steps::Key(VK_RETURN); },
                           });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(focus,
              (std::vector<int>{Form::IdListViewUsageDetails, IDOK, Form::IdListViewUsageDetails}));
    EXPECT_EQ(selected, 1); // the arrows went to the list, not to the dialog

    // Typing finds a computer by the beginning of its name.
    std::vector<std::wstring> computers = {L"STUDY-PC=9", L"KITCHEN=8", L"GARAGE=7", L"KEYS=6"};
    Dialog.TimeUsageList = &computers;
    result =
        Steps::Run(Dialog, {[] {
                                for (wchar_t letter : {L'k', L'e'})
                                    PostMessageW(GetFocus(), WM_CHAR, letter, 1);
                            },
                            [&] { selected = ListView_GetNextItem(List(), -1, LVNI_SELECTED); },
                            [] { Steps::Key(VK_RETURN); }});
    EXPECT_EQ(selected, 3);
    // The list's request: the whole text, or its beginning (partial, substring), from the start
    // row on, and round to row 0 only when asked.
    const struct {
        UINT Flags;
        const wchar_t* Text;
        int Start, Row;
    } finds[] = {{LVFI_STRING, L"keys", 0, 3}, {LVFI_STRING, L"ke", 0, -1},
                 {LVFI_PARTIAL, L"ke", 2, 3},  {0x0004 /* LVFI_SUBSTRING */, L"KI", 0, 1},
                 {LVFI_PARTIAL, L"st", 4, -1}, {LVFI_PARTIAL | LVFI_WRAP, L"st", 4, 0},
                 {LVFI_PARTIAL, L"ga", 3, -1}, {LVFI_PARTIAL | LVFI_WRAP, L"ga", 3, 2}};
    for (const auto& f : finds) {
        NMLVFINDITEMW find{};
        find.hdr.hwndFrom = List();
        find.hdr.code = LVN_ODFINDITEMW;
        find.iStart = f.Start;
        find.lvfi.flags = f.Flags;
        find.lvfi.psz = f.Text;
        EXPECT_EQ(f.Row,
                  SendMessageW(Dialog.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&find)))
            << f.Flags << " " << f.Start;
    }
    Dialog.TimeUsageList = &usage;
    EXPECT_FALSE(IsWindowVisible(Dialog.Handle()));

    result = Steps::Run(Dialog, {[] { Steps::AltKey(L'o'); }});
    EXPECT_NE(result, IDABORT);
    result = Steps::Run(Dialog, {[] { Steps::Key(VK_ESCAPE); }});
    EXPECT_NE(result, IDABORT);
    EXPECT_FALSE(IsWindowVisible(Dialog.Handle()));
    result = Steps::Run(Dialog, {[this] { PostMessageW(Dialog.Handle(), WM_CLOSE, 0, 0); }});
    EXPECT_NE(result, IDABORT);
    EXPECT_FALSE(IsWindowVisible(Dialog.Handle()));
}

TEST_F(DetailedTimeUsageForm, MovingToAScreenOf144DpiScalesLayoutAndColumns) {
    std::vector<std::wstring> usage = {L"STUDY-PC=95"};
    Show(&usage, L"Maximilian.Schneider");
    ExpectSoundLayout(Dialog);
    RECT suggested{10, 20, 700, 600};
    SendMessageW(Dialog.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(Dialog.Dpi(), 144);
    EXPECT_EQ(ListView_GetColumnWidth(List(), 0), 210);
    EXPECT_EQ(ListView_GetColumnWidth(List(), 1), 210);
    RECT list{};
    GetClientRect(List(), &list);
    EXPECT_GE(list.right, 420); // both columns whole
    ExpectSoundLayout(Dialog);
}

} // namespace
} // namespace vantrel::testing
