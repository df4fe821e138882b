#include "reports/EventLog.h"

#include "ReportsSupport.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

class EventLog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateDirectoryW(LogFolder().c_str(), nullptr)); }
    std::wstring LogFolder() const { return folder.Path() + L"\\QOR"; }
    std::wstring LogPath() const { return LogFolder() + L"\\QORevents.log"; }

    TScratchFolder folder{L"vantrel-eventlog-test"};
    TEnvironmentVariable programFiles{L"PROGRAMFILES", folder.Path().c_str()};
    TSeamRecorder seams;
    HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4321));
};

TEST_F(EventLog, WithoutProgramFilesNothingHappensAndNothingIsShown) {
    ASSERT_TRUE(WriteWholeFile(LogPath(), "service started\r\n"));
    for (const wchar_t* value : {static_cast<const wchar_t*>(nullptr), L""}) {
        TEnvironmentVariable unset(L"PROGRAMFILES", value);
        ViewEventLog(owner);
    }
    EXPECT_TRUE(seams.Messages.empty());
    EXPECT_TRUE(seams.ShellCalls.empty());
}

TEST_F(EventLog, MissingLogIsToldAndNotOpened) {
    ViewEventLog(owner);
    // A folder of the log's name is no log either.
    ASSERT_TRUE(CreateDirectoryW(LogPath().c_str(), nullptr));
    ViewEventLog(owner);
    ASSERT_EQ(2u, seams.Messages.size());
    for (const TShownMessage& message : seams.Messages) {
        EXPECT_EQ(L"Logfile does not exist (yet).", message.Text);
        EXPECT_EQ(TMsgKind::Information, message.Kind);
        EXPECT_EQ(owner, message.Owner);
    }
    EXPECT_TRUE(seams.ShellCalls.empty());
}

TEST_F(EventLog, ExistingLogGoesToTheShellAndAFailedOpenWarns) {
    ASSERT_TRUE(WriteWholeFile(LogPath(), "service started\r\n"));
    ViewEventLog(owner);
    EXPECT_TRUE(seams.Messages.empty());
    ASSERT_EQ(1u, seams.ShellCalls.size());
    EXPECT_EQ(LogPath(), seams.ShellCalls[0].Target);
    EXPECT_EQ(owner, seams.ShellCalls[0].Owner);

    seams.ShellResult = SE_ERR_NOASSOC;
    ViewEventLog(owner);
    ASSERT_EQ(1u, seams.Messages.size());
    EXPECT_EQ(L"Cannot open logfile.", seams.Messages[0].Text);
    EXPECT_EQ(TMsgKind::Warning, seams.Messages[0].Kind);
    EXPECT_EQ(2u, seams.ShellCalls.size());
}

} // namespace
} // namespace vantrel
