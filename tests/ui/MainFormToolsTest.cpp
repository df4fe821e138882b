// The main window's report, log and help commands reach their work through the command table,
// and what each outcome shows, with the shell and message boxes decided by the test.
#include "DialogDriver.h"
#include "MainFormSupport.h"

#include "model/Prefs.h"
#include "ui/dialogs/PreferencesForm.h"
#include "ui/ReportMessages.h"
#include "ui/controls/Shell.h"
#include "win/SystemError.h"

#include <shellapi.h>

#include <fstream>
#include <functional>
#include <iterator>

namespace vantrel::testing {
namespace {

// A folder of the test's own under the system's temporary folder, set as an environment
// variable for the test's length and removed afterwards.
class TTempVariable {
public:
    TTempVariable(const wchar_t* variable, const wchar_t* leaf) : FVariable(variable) {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        FFolder = std::wstring(base) + leaf;
        CreateDirectoryW(FFolder.c_str(), nullptr);
        DWORD size = GetEnvironmentVariableW(variable, nullptr, 0);
        if (size) {
            FOld.resize(size);
            FOld.resize(GetEnvironmentVariableW(variable, &FOld[0], size));
            FHadOld = true;
        }
        SetEnvironmentVariableW(variable, FFolder.c_str());
    }
    ~TTempVariable() {
        SetEnvironmentVariableW(FVariable, FHadOld ? FOld.c_str() : nullptr);
        SHFILEOPSTRUCTW op{};
        std::wstring from = FFolder + L'\0';
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NO_UI;
        SHFileOperationW(&op);
    }
    const std::wstring& Folder() const { return FFolder; }

private:
    const wchar_t* FVariable;
    std::wstring FFolder;
    std::wstring FOld;
    bool FHadOld = false;
};

class MainFormTools : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        SetShellSeam([this](HWND owner, const std::wstring& target) {
            Opened.push_back(target);
            OpenedBy.push_back(owner);
            return ShellResult;
        });
    }
    void TearDown() override {
        SetShellSeam(nullptr);
        MainFormTest::TearDown();
    }
    bool Run(TMainCommand action) { return Form().ActionManager.Execute(Form().Action(action)); }

    std::vector<std::wstring> Opened;
    std::vector<HWND> OpenedBy;
    INT_PTR ShellResult = 42;
};

std::string FileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST_F(MainFormTools, ReportIsWrittenIntoTempWithTheListedUsersAndOpened) {
    TTempVariable temp(L"TEMP", L"vantrel_tools_report");
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", false, 60);
    SeedUsage(L"alice", L"PC1", 95);
    Start();
    ASSERT_TRUE(Run(TMainCommand::AMToolsUsageReport));
    ASSERT_EQ(1u, Opened.size());
    EXPECT_EQ(0u, Opened[0].find(temp.Folder() + L"\\QOR_Report_20261207_1000"));
    const std::string report = FileBytes(Opened[0]);
    EXPECT_NE(std::string::npos, report.find("alice"));
    EXPECT_NE(std::string::npos, report.find("bob"));
    EXPECT_NE(std::string::npos, report.find("01:35"));
    // The report reads the store; it changes neither the store nor the list.
    EXPECT_EQ(L" 01:35", Cell(0, 3));
}

TEST_F(MainFormTools, LogOpensTheServicesLogOrSaysThereIsNone) {
    TTempVariable programFiles(L"PROGRAMFILES", L"vantrel_tools_programs");
    Start();
    ASSERT_TRUE(Run(TMainCommand::AMToolsLog));
    EXPECT_TRUE(Opened.empty());
    ASSERT_EQ(1u, Messages.size());
    EXPECT_EQ(L"Logfile does not exist (yet).", Messages[0].Text);

    const std::wstring folder = programFiles.Folder() + L"\\QOR";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring log = folder + L"\\" + kEventLogFileName;
    std::ofstream(log.c_str()) << "service started\n";
    ASSERT_TRUE(Run(TMainCommand::AMToolsLog));
    ASSERT_EQ(1u, Opened.size());
    EXPECT_EQ(log, Opened[0]);
    EXPECT_EQ(1u, Messages.size());
}

TEST_F(MainFormTools, F1ReachesTheHelpViewerWhichNamesAMissingHelpFile) {
    // The help tests of the reports may have left a copy beside the test programs.
    DeleteFileW(HelpFilePath().c_str());
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(HelpFilePath().c_str()));
    Start();
    ASSERT_NE(nullptr, Form().HelpViewer);
    // No help file lies beside the test program: the viewer says so, once per F1.
    PostMessageW(List(), WM_KEYDOWN, VK_F1, 1);
    PostMessageW(List(), WM_KEYUP, VK_F1, 0xC0000001);
    Pump();
    ASSERT_EQ(1u, Messages.size());
    EXPECT_NE(std::wstring::npos, Messages[0].Text.find(L"QORHelp.chm"));
    EXPECT_EQ(Form().Handle(), Messages[0].Owner);
    EXPECT_TRUE(Opened.empty());

    // F1 in the preferences runs the same command; its box belongs to the dialog.
    TPreferencesForm& dialog = *Form().PreferencesForm;
    HELPINFO info{sizeof(info), HELPINFO_WINDOW, 0, dialog.Handle(), 0, {}};
    TModalSteps::Run(dialog, {[&] {
                         SendMessageW(dialog.Handle(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
                         dialog.EndModal(IDCANCEL);
                     }},
                     [&] { return Run(TMainCommand::AMToolsPreferences) ? 0 : -1; });
    ASSERT_EQ(2u, Messages.size());
    EXPECT_EQ(Messages[0].Text, Messages[1].Text);
    EXPECT_EQ(dialog.Handle(), Messages[1].Owner);
}

// What each outcome shows: the file opened through the shell, or a box, both for the window
// that asked; the shell's 32 or less is a failure.
TEST_F(MainFormTools, EachOutcomeOpensItsFileOrSaysWhyNot) {
    const HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    const std::wstring report = L"C:\\temp\\QOR_Report_20261207_1000.txt";
    const std::wstring log = L"C:\\Program Files\\QOR\\QORevents.log";
    const std::wstring help = L"The help file 'QORHelp.chm' could not ";
    struct TSeen {
        INT_PTR Shell;
        std::wstring Opens; // empty: the shell is not asked
        std::wstring Text;  // empty: no box
        TMsgKind Kind;
    };
    auto expect = [&](const TSeen& seen, const std::function<void()>& show) {
        Messages.clear();
        Opened.clear();
        OpenedBy.clear();
        ShellResult = seen.Shell;
        show();
        EXPECT_EQ(seen.Opens, Opened.empty() ? L"" : Opened[0]);
        EXPECT_EQ(std::vector<HWND>(seen.Opens.empty() ? 0 : 1, owner), OpenedBy);
        ASSERT_EQ(seen.Text.empty() ? 0u : 1u, Messages.size());
        if (!seen.Text.empty()) {
            EXPECT_EQ(seen.Text, Messages[0].Text);
            EXPECT_EQ(seen.Kind, Messages[0].Kind);
            EXPECT_EQ(owner, Messages[0].Owner);
        }
    };
    using S = TUsageReportState;
    const struct {
        TUsageReport Report;
        TSeen Seen;
    } reports[] = {
        {{S::Written, report}, {33, report, L"", {}}},
        {{S::Written, report}, {32, report, L"Cannot open report file.", TMsgKind::Warning}},
        {{S::Written, report},
         {SE_ERR_NOASSOC, report, L"Cannot open report file.", TMsgKind::Warning}},
        {{}, {42, L"", L"Could not find Windows temp folder.", TMsgKind::Error}},
        {{S::NotCreated, report, ERROR_PATH_NOT_FOUND},
         {42, L"", L"Could not create report file in Windows temp folder.", TMsgKind::Error}},
        {{S::NotWritten, report, ERROR_NO_DATA},
         {42, L"",
          L"Could not write the report file '" + report + L"'.\r\n" +
              SystemErrorText(ERROR_NO_DATA),
          TMsgKind::Error}},
    };
    for (const auto& row : reports) {
        SCOPED_TRACE(&row - reports);
        expect(row.Seen, [&] { ShowUsageReport(owner, row.Report); });
    }
    using E = TEventLogState;
    const struct {
        TEventLog Log;
        TSeen Seen;
    } logs[] = {
        {{}, {42, L"", L"", {}}},
        {{E::Missing, log}, {42, L"", L"Logfile does not exist (yet).", TMsgKind::Information}},
        {{E::Found, log}, {42, log, L"", {}}},
        {{E::Found, log}, {SE_ERR_NOASSOC, log, L"Cannot open logfile.", TMsgKind::Warning}},
    };
    for (const auto& row : logs) {
        SCOPED_TRACE(&row - logs);
        expect(row.Seen, [&] { ShowEventLog(owner, row.Log); });
    }
    const struct {
        THelpResult Result;
        TSeen Seen;
    } helps[] = {
        {THelpResult::Shown, {42, L"", L"", {}}},
        {THelpResult::FileMissing, {42, L"", help + L"be found.", TMsgKind::Warning}},
        {THelpResult::NotOpened, {42, L"", help + L"be opened.", TMsgKind::Warning}},
    };
    for (const auto& row : helps) {
        SCOPED_TRACE(&row - helps);
        expect(row.Seen, [&] { ShowHelpResult(owner, row.Result); });
    }
}

} // namespace
} // namespace vantrel::testing
