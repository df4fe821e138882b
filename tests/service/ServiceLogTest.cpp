#include "service/ServiceLog.h"

#include "win/Handle.h"

#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using namespace vantrel::testing;

class ServiceLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = TempPath(UniqueName(L"LogFolder"));
        path = folder + L"\\sub\\QORevents.log";
        SetClockSeam([] { return Time(2026, 6, 10, 3, 7, 5, 9); });
    }
    void TearDown() override {
        SetClockSeam(nullptr);
        DeleteFileW(path.c_str());
        DeleteFileW((folder + L"\\sub\\QORevents.old.log").c_str());
        RemoveDirectoryW((folder + L"\\sub").c_str());
        RemoveDirectoryW(folder.c_str());
    }
    std::wstring folder, path;
};

TEST_F(ServiceLogTest, OneLinePerEventWithDateAndTimeInAFolderMadeForIt) {
    TServiceLog log(path);
    ASSERT_TRUE(log.Write(L"Service started"));
    ASSERT_TRUE(log.Write(L"two\r\nlines \u00e9"));
    EXPECT_EQ("2026-06-10 07:05:09  Service started\r\n"
              "2026-06-10 07:05:09  two  lines \xc3\xa9\r\n",
              ReadFileText(path));
    EXPECT_EQ(folder + L"\\sub\\QORevents.old.log", log.OlderPath());
}

TEST_F(ServiceLogTest, RollsOverAtTheLimitKeepingOneOlderFile) {
    TServiceLog log(path, 300);
    // 64 bytes a line with its stamp: the fifth line passes the limit, the sixth rolls over.
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(log.Write(std::wstring(40, L'a') + std::to_wstring(i)));
    EXPECT_EQ(5 * 64u, ReadFileText(path).size());
    ASSERT_TRUE(log.Write(L"first of the new file"));
    EXPECT_EQ(5 * 64u, ReadFileText(log.OlderPath()).size());
    EXPECT_EQ("2026-06-10 07:05:09  first of the new file\r\n", ReadFileText(path));
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(log.Write(std::wstring(40, L'b') + std::to_wstring(i)));
    // The second roll-over replaces the older file: never more than two.
    const std::string older = ReadFileText(log.OlderPath());
    EXPECT_EQ(1, CountOf(older, "first of the new file")) << older;
    EXPECT_EQ(0, CountOf(older, "aaaa")) << older;
    EXPECT_EQ("2026-06-10 07:05:09  " + std::string(40, 'b') + "4\r\n", ReadFileText(path));
}

TEST_F(ServiceLogTest, AFileHeldOpenWithoutShareDeleteDoesNotLetTheLogGrow) {
    TServiceLog log(path, 300);
    for (const bool holdOlder : {true, false}) {
        SCOPED_TRACE(holdOlder ? "older file held" : "current file held");
        DeleteFileW(path.c_str());
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(log.Write(std::wstring(40, L'a') + std::to_wstring(i)));
        // A reader that shares reading and writing but not deleting, as many viewers open.
        const std::wstring held = holdOlder ? log.OlderPath() : path;
        THandle reader(CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader);
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(log.Write(std::wstring(40, L'b') + std::to_wstring(i % 10)));
        const std::string text = ReadFileText(path);
        EXPECT_LT(text.size(), 600u) << text;
        EXPECT_EQ(0, CountOf(text, "aaaa")) << text;
        EXPECT_EQ(1, CountOf(text, std::string(40, 'b') + "9\r\n")) << text;
        EXPECT_LE(1, CountOf(text, "could not be rolled over")) << text;
    }
}

TEST_F(ServiceLogTest, TheDefaultPathIsInTheProgramFilesFolder) {
    wchar_t programFiles[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(programFiles) + L"\\QOR\\QORevents.log", TServiceLog::DefaultPath());
}

} // namespace
} // namespace vantrel
