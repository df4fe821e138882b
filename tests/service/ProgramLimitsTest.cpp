#include "service/ProgramLimits.h"

#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace vantrel {
namespace {

using namespace vantrel::testing;

// A network store of the tests, a key of this computer's registry.
const wchar_t kStoreRoot[] = L"SOFTWARE\\VantrelSvcTest\\PROGRAMS";

TRunningProgram Process(const std::wstring& id, bool partOfWindows = false) {
    TRunningProgram process;
    process.User = L"anna";
    process.Program.Id = id;
    process.Program.Name = L"Name of " + id;
    process.Program.PartOfWindows = partOfWindows;
    return process;
}

// A child who starts thousands of differently named programs fills no record of the service
// beyond its bounds, and the ruled program is still charged and held to its rule.
TEST(ProgramLimitsTest, TheRecordStaysWithinItsBoundsWhateverTheUserStarts) {
    CleanStore();
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 600);
    TProgramRule game;
    game.Id = L"v:game.exe|game|maker|";
    game.Name = L"Game";
    for (int& minutes : game.Minutes)
        minutes = 3;
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramRules(HKEY_LOCAL_MACHINE, L"anna", {game}));
    const std::wstring logPath = TempPath(UniqueName(L"Log") + L".log");
    auto log = std::make_unique<TServiceLog>(logPath);
    TProgramStores stores;
    stores.Store = HKEY_LOCAL_MACHINE;
    const SYSTEMTIME today = Time(2026, 6, 10, 3, 12, 0);

    TUserPrograms programs;
    programs.Minute(L"anna", L"PC-HERE", stores, today, 0, *log); // the rules, as at a start
    for (int minute = 1; minute <= 3; ++minute) {
        for (int i = 0; i < 2000; ++i)
            programs.See(Process(L"f:c:\\users\\anna\\copy" + std::to_wstring(i) + L".exe"));
        programs.See(Process(L"f:c:\\windows\\explorer.exe", true));
        EXPECT_FALSE(programs.See(Process(game.Id))) << minute;
        EXPECT_LE(programs.SeenCount(), TUserPrograms::kMostSeen + 1);
        programs.Minute(L"anna", L"PC-HERE", stores, today, 1, *log);
        EXPECT_EQ(0u, programs.SeenCount());
    }
    const TProgramList& list = programs.Today();
    EXPECT_LE(list.size(), kMostProgramsListed + 2); // the ruled one and "Other programs"
    EXPECT_EQ(3, ProgramMinutesOf(list, game.Id));
    EXPECT_EQ(3, ProgramMinutesOf(list, L"f:c:\\users\\anna\\copy0.exe"));
    EXPECT_EQ(0, ProgramMinutesOf(list, L"f:c:\\windows\\explorer.exe"));
    EXPECT_GT(ProgramMinutesOf(list, L""), 0);
    EXPECT_TRUE(programs.NoTimeLeft(game.Id));
    // Ended at once when started again, and not charged for it.
    EXPECT_TRUE(programs.See(Process(game.Id)));
    EXPECT_EQ(0u, programs.SeenCount());
    // A program that runs on gets a line from a copy with fewer minutes, with all of its own.
    for (int minute = 1; minute <= 4; ++minute) {
        programs.See(Process(L"v:late"));
        programs.Minute(L"anna", L"PC-HERE", stores, today, 1, *log);
    }
    EXPECT_EQ(3, ProgramMinutesOf(list, game.Id));
    EXPECT_EQ(4, ProgramMinutesOf(list, L"v:late"));
    EXPECT_EQ(kMostProgramsListed + 2, list.size());
    // What the minutes wrote is what this computer's registry holds.
    TProgramList stored;
    ASSERT_TRUE(ReadProgramUsage(HKEY_LOCAL_MACHINE, L"anna", L"PC-HERE", today, stored));
    EXPECT_EQ(list.size(), stored.size());
    EXPECT_EQ(3, ProgramMinutesOf(stored, game.Id));
    log.reset();
    DeleteFileW(logPath.c_str());
    CleanStore();
}

// This computer's day as its registry and a network store that fell behind hold it: a program
// whose line went to "Other programs" in one but not yet in the other is not counted twice.
TEST(ProgramLimitsTest, TheDayReadFromTwoPlacesCountsNoMinuteTwice) {
    CleanStore();
    HKEY office = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStoreRoot, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &office, nullptr));
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 0, 24, 600);
    WriteUser(office, L"anna", true, 0, 24, 600);
    const SYSTEMTIME today = Time(2026, 6, 10, 3, 12, 0);
    ASSERT_EQ(ERROR_SUCCESS,
              WriteProgramUsage(HKEY_LOCAL_MACHINE, L"anna", L"PC-HERE", today,
                                {{L"v:y", L"Y", 60}, {L"", kOtherProgramsName, 50}}));
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramUsage(office, L"anna", L"PC-HERE", today,
                                               {{L"v:x", L"X", 50}, {L"v:y", L"Y", 10}}));
    const std::wstring logPath = TempPath(UniqueName(L"Log") + L".log");
    auto log = std::make_unique<TServiceLog>(logPath);
    TProgramStores stores;
    stores.Store = office;
    stores.Network = true;
    TUserPrograms programs;
    programs.Minute(L"anna", L"PC-HERE", stores, today, 0, *log);
    long long sum = 0;
    for (const TProgramMinutes& line : programs.Today())
        sum += line.Minutes;
    EXPECT_EQ(110, sum);
    EXPECT_EQ(60, ProgramMinutesOf(programs.Today(), L"v:y"));
    EXPECT_EQ(50, ProgramMinutesOf(programs.Today(), L"v:x"));
    log.reset();
    DeleteFileW(logPath.c_str());
    RegCloseKey(office);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kStoreRoot);
    CleanStore();
}

} // namespace
} // namespace vantrel
