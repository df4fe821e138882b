#include "service/ServiceLog.h"

#include "win/Handle.h"

#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <memory>
#include <new>
#include <regex>

// Counts the allocations of this thread while gAllocations points at a counter.
thread_local int* gAllocations = nullptr;
void* operator new(std::size_t size) {
    if (gAllocations)
        ++*gAllocations;
    if (void* block = HeapAlloc(GetProcessHeap(), 0, size ? size : 1))
        return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    HeapFree(GetProcessHeap(), 0, block);
}
void operator delete(void* block, std::size_t) noexcept {
    HeapFree(GetProcessHeap(), 0, block);
}

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
    // The last word takes no memory, not even for the recorded zone: its time is UTC, marked so.
    int allocations = 0;
    gAllocations = &allocations;
    const bool written = log.WriteFixed(L"last word");
    gAllocations = nullptr;
    EXPECT_TRUE(written);
    EXPECT_EQ(0, allocations);
    EXPECT_TRUE(std::regex_search(
        ReadFileText(path),
        std::regex("\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d UTC  last word\r\n$")));
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
    // Neither file lets in Everyone, Users or Authenticated Users.
    for (const std::wstring& file : {path, log.OlderPath()}) {
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, &dacl, nullptr, &descriptor));
        ASSERT_NE(nullptr, dacl);
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
            for (const auto kind : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid})
                EXPECT_FALSE(IsWellKnownSid(&ace->SidStart, kind)) << kind;
        }
        LocalFree(descriptor);
    }
}

TEST_F(ServiceLogTest, NoOtherProgramCanSilenceOrEmptyTheLogByHoldingAFile) {
    const struct {
        const char* Case;
        bool Before; // held since before the service opened it (a log from before an upgrade)
        bool Older;
        DWORD Share;
        bool Opens;
        int HeldLines; // of the 20 lines written while it is held, those in the file meanwhile
    } rows[] = {
        {"log, not shared", false, false, 0, false, 1},
        {"log, shared for reading", false, false, FILE_SHARE_READ, false, 1},
        {"log, shared but for deleting", false, false, FILE_SHARE_READ | FILE_SHARE_WRITE, true,
         20},
        {"older file, not shared", false, true, 0, true, 20},
        {"log from before, not shared", true, false, 0, true, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        {
            auto log = std::make_unique<TServiceLog>(path, 300);
            for (int i = 0; i < 6; ++i)
                ASSERT_TRUE(log->Write(std::wstring(40, L'a') + std::to_wstring(i)));
            if (row.Before)
                log.reset();
            THandle reader(CreateFileW(
                row.Older ? (folder + L"\\sub\\QORevents.old.log").c_str() : path.c_str(),
                GENERIC_READ, row.Share, nullptr, OPEN_EXISTING, 0, nullptr));
            EXPECT_EQ(row.Opens, reader.Valid());
            if (row.Before)
                log = std::make_unique<TServiceLog>(path, 300);
            for (int i = 0; i < 20; ++i)
                EXPECT_EQ(!row.Before,
                          log->Write(std::wstring(40, L'b') + std::to_wstring(i % 10)));
            // Held, the log grows past its limit rather than lose a line; else it rolls over.
            const std::string text = ReadFileText(path);
            EXPECT_EQ(row.HeldLines, CountOf(text, std::string(40, 'b'))) << text;
            EXPECT_EQ(row.HeldLines == 20 ? 1 : 0, CountOf(text, "could not be rolled over"))
                << text;
            // Let go, it rolls over at the next line, and writes what it held back.
            reader.Close();
            ASSERT_TRUE(log->Write(L"after"));
            const std::string after = ReadFileText(path);
            EXPECT_EQ(row.Opens && !row.Before, after == "2026-06-10 07:05:09  after\r\n");
            EXPECT_EQ(row.Before  ? 20
                      : row.Opens ? 0
                                  : 1,
                      CountOf(after, std::string(40, 'b')))
                << after;
        }
        DeleteFileW(path.c_str());
        DeleteFileW((folder + L"\\sub\\QORevents.old.log").c_str());
    }
}

TEST_F(ServiceLogTest, TheDefaultPathIsInTheProgramFilesFolder) {
    wchar_t programFiles[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(programFiles) + L"\\QOR\\QORevents.log", TServiceLog::DefaultPath());
}

} // namespace
} // namespace vantrel
