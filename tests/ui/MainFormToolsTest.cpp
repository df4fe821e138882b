// The main window's report, log and help commands reach their work through the command table,
// with the shell and message boxes decided by the test.
#include "MainFormSupport.h"

#include "model/Prefs.h"
#include "reports/HelpViewer.h"
#include "ui/controls/Shell.h"

#include <shellapi.h>

#include <fstream>
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
        SetShellSeam([this](HWND, const std::wstring& target) {
            Opened.push_back(target);
            return INT_PTR{42};
        });
    }
    void TearDown() override {
        SetShellSeam(nullptr);
        MainFormTest::TearDown();
    }
    bool Run(TMainCommand action) { return Form().ActionManager.Execute(Form().Action(action)); }

    std::vector<std::wstring> Opened;
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
    EXPECT_TRUE(Opened.empty());
}

} // namespace
} // namespace vantrel::testing
