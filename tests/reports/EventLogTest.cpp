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
};

TEST_F(EventLog, WithoutProgramFilesThereIsNoPlaceToLook) {
    ASSERT_TRUE(WriteWholeFile(LogPath(), "service started\r\n"));
    for (const wchar_t* value : {static_cast<const wchar_t*>(nullptr), L""}) {
        TEnvironmentVariable unset(L"PROGRAMFILES", value);
        const TEventLog log = FindEventLog();
        EXPECT_EQ(TEventLogState::NoFolder, log.State);
        EXPECT_EQ(L"", log.Path);
    }
}

TEST_F(EventLog, MissingLogIsMissing) {
    EXPECT_EQ(TEventLogState::Missing, FindEventLog().State);
    // A folder of the log's name is no log either.
    ASSERT_TRUE(CreateDirectoryW(LogPath().c_str(), nullptr));
    EXPECT_EQ(TEventLogState::Missing, FindEventLog().State);
}

TEST_F(EventLog, ExistingLogIsFoundAtItsPath) {
    ASSERT_TRUE(WriteWholeFile(LogPath(), "service started\r\n"));
    const TEventLog log = FindEventLog();
    EXPECT_EQ(TEventLogState::Found, log.State);
    EXPECT_EQ(LogPath(), log.Path);
}

} // namespace
} // namespace vantrel
