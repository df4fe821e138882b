// Probes of faults found in review: each states the sound behaviour and fails while the fault
// is there. Disabled until the fault is mended (run with --gtest_also_run_disabled_tests).
#include "model/ProgramInfo.h"
#include "model/ProgramUsage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

std::wstring BuiltTray() {
    const std::string built = QOR_TRAY_EXE;
    std::wstring path(built.begin(), built.end());
    for (auto& c : path)
        c = c == L'/' ? L'\\' : c;
    return path[0] == L'\\' ? L"Z:" + path : path;
}

bool WriteWhole(const std::wstring& path, const std::vector<char>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    return ok;
}

// The owner of a file (the child) sets its size and time of last writing as it likes: a file
// read once as a harmless program, then overwritten with the game of the same size and given
// its old time back, must not keep the harmless program's identity.
TEST(ReviewProbes, DISABLED_AFileOverwrittenWithTheSameSizeAndTimeIsReadAgain) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path =
        std::wstring(temp) + L"vantrel-probe-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    const std::wstring tray = BuiltTray();
    WIN32_FILE_ATTRIBUTE_DATA game{};
    ASSERT_TRUE(GetFileAttributesExW(tray.c_str(), GetFileExInfoStandard, &game));
    ASSERT_EQ(0u, game.nFileSizeHigh);
    // A "program" without version information, padded to the game's size.
    ASSERT_TRUE(WriteWhole(path, std::vector<char>(game.nFileSizeLow, 'x')));
    TProgramInfoCache cache;
    TProgramInfo info;
    ASSERT_TRUE(cache.Get(path, info));
    ASSERT_EQ(0u, info.Id.rfind(L"f:", 0)) << info.Id;
    WIN32_FILE_ATTRIBUTE_DATA before{};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &before));
    ASSERT_TRUE(CopyFileW(tray.c_str(), path.c_str(), FALSE));
    HANDLE file =
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &before.ftLastWriteTime));
    CloseHandle(file);
    TProgramInfo direct;
    ASSERT_TRUE(ReadProgramInfo(path, direct));
    ASSERT_EQ(0u, direct.Id.rfind(L"v:", 0)) << direct.Id;
    ASSERT_TRUE(cache.Get(path, info));
    EXPECT_EQ(direct.Id, info.Id) << "the cache still names the file read before";
    DeleteFileW(path.c_str());
}

// The day's list keeps the programs first seen: 24 small programs run once early in the day
// leave the game, played for hours after, without a line of its own ("Other programs").
TEST(ReviewProbes, DISABLED_AGamePlayedForHoursKeepsItsLineAfterManySmallPrograms) {
    TProgramList day;
    for (int i = 0; i < static_cast<int>(kMostProgramsListed); ++i)
        AddProgramMinutes(day, L"f:c:\\users\\kid\\dummy" + std::to_wstring(i) + L".exe", L"dummy",
                          1, false);
    for (int minute = 0; minute < 180; ++minute)
        AddProgramMinutes(day, L"v:game.exe|game|maker|", L"Game", 1, false);
    EXPECT_EQ(180, ProgramMinutesOf(day, L"v:game.exe|game|maker|"));
}

} // namespace
} // namespace vantrel
