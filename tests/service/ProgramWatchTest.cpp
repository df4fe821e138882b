// The processes the service sees as a user's programs: real processes of the test programs,
// copied and renamed; only their owners are named by the test (under Wine every process runs as
// one user).
#include "service/ProgramWatch.h"

#include "TestPrograms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace vantrel::testing {
namespace {

std::wstring Lower(std::wstring text) {
    for (auto& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

class ProgramWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &Session));
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_NE(0u, GetTempPathW(MAX_PATH + 1, temp));
        Folder = std::wstring(temp) + L"vantrel-programs-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(Folder.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
        // Every process the test does not name belongs to the system.
        SetProcessOwnerSeam([this](DWORD pid) {
            std::lock_guard<std::mutex> guard(Lock);
            ++Asked[pid];
            const auto found = Owners.find(pid);
            if (found != Owners.end())
                return found->second;
            THandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
            wchar_t path[MAX_PATH + 1] = {};
            DWORD size = MAX_PATH + 1;
            if (!process || !QueryFullProcessImageNameW(process.Get(), 0, path, &size))
                return std::wstring();
            const auto byFile = OwnersByFile.find(Lower(path));
            return byFile == OwnersByFile.end() ? std::wstring() : byFile->second;
        });
    }
    void TearDown() override {
        SetProcessOwnerSeam(nullptr);
        Started.clear(); // ends them, before their files go
        for (const std::wstring& file : Files)
            DeleteFileW(file.c_str());
        for (const wchar_t* folder : {L"\\elsewhere", L"\\keeper"})
            RemoveDirectoryW((Folder + folder).c_str());
        RemoveDirectoryW(Folder.c_str());
    }

    // A copy of `exe` at `name` under the test's folder.
    std::wstring CopyTo(const std::wstring& exe, const std::wstring& name) {
        const std::wstring path = Folder + L"\\" + name;
        CreateDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
        EXPECT_TRUE(CopyFileW(exe.c_str(), path.c_str(), FALSE)) << path;
        Files.push_back(path);
        return path;
    }
    // Starts `exe` as `owner`'s process; its pid.
    DWORD Start(const std::wstring& exe, const std::wstring& owner,
                const std::wstring& arguments = L"/seconds 60") {
        auto program = std::make_unique<TStartedProgram>();
        EXPECT_TRUE(program->Start(exe, arguments)) << exe;
        const DWORD pid = program->Pid;
        Name(pid, owner);
        Started.push_back(std::move(program));
        return pid;
    }
    void Name(DWORD pid, const std::wstring& owner) {
        std::lock_guard<std::mutex> guard(Lock);
        Owners[pid] = owner;
    }
    int TimesAsked(DWORD pid) {
        std::lock_guard<std::mutex> guard(Lock);
        return Asked[pid];
    }
    // The processes of the look by pid.
    static std::map<DWORD, TRunningProgram> ByPid(const std::vector<TRunningProgram>& seen) {
        std::map<DWORD, TRunningProgram> result;
        for (const TRunningProgram& process : seen)
            result[process.Pid] = process;
        return result;
    }

    DWORD Session = 0;
    std::wstring Folder;
    std::vector<std::wstring> Files;
    std::vector<std::unique_ptr<TStartedProgram>> Started;
    std::mutex Lock;
    std::map<DWORD, std::wstring> Owners;
    // Owners of processes the test did not start itself, by their program file.
    std::map<std::wstring, std::wstring> OwnersByFile;
    std::map<DWORD, int> Asked;
};

// A renamed or copied game is the game; a program without version information is its file.
TEST_F(ProgramWatchTest, ProgramsAreKnownByWhatACopyKeepsAndPlainFilesByTheirPath) {
    const std::wstring renamed = CopyTo(TestGameExe(), L"homework.exe");
    const std::wstring elsewhere = CopyTo(TestGameExe(), L"elsewhere\\MoonLander.exe");
    const std::wstring plainCopy = CopyTo(TestPlainExe(), L"elsewhere\\PlainWaiter.exe");
    const DWORD game = Start(TestGameExe(), L"kid");
    struct {
        DWORD pid;
        std::wstring path;
        bool versioned;
    } cases[] = {
        {game, TestGameExe(), true},
        {Start(renamed, L"KID"), renamed, true}, // account names in any letter case
        {Start(elsewhere, L"kid"), elsewhere, true},
        {Start(TestPlainExe(), L"kid"), TestPlainExe(), false},
        {Start(plainCopy, L"kid"), plainCopy, false},
    };
    TProgramWatch watch;
    const auto seen = ByPid(watch.Look({{Session, L"kid"}}));
    ASSERT_EQ(std::size(cases), seen.size()) << "the test's own and the system's are not the kid's";
    const TProgramInfo& original = seen.at(game).Program;
    EXPECT_EQ(L"Moon Lander", original.Name);
    EXPECT_EQ(0u, original.Id.rfind(L"v:", 0)) << original.Id;
    std::set<std::wstring> plainIds;
    for (const auto& c : cases) {
        ASSERT_EQ(1u, seen.count(c.pid)) << c.path;
        const TRunningProgram& process = seen.at(c.pid);
        EXPECT_EQ(Session, process.Session);
        EXPECT_EQ(L"kid", process.User);
        EXPECT_EQ(Lower(c.path), Lower(process.Program.Path));
        EXPECT_FALSE(process.Program.PartOfWindows);
        if (c.versioned) {
            EXPECT_EQ(original.Id, process.Program.Id) << c.path;
            EXPECT_EQ(original.Name, process.Program.Name) << c.path;
        } else {
            EXPECT_EQ(L"f:" + Lower(c.path), process.Program.Id);
            plainIds.insert(process.Program.Id);
        }
    }
    EXPECT_EQ(2u, plainIds.size());
}

// A process counts for a user only in that user's sessions and only as that user's own.
TEST_F(ProgramWatchTest, OnlyTheUsersOwnProcessesInTheUsersSessionsCount) {
    const DWORD kid = Start(TestGameExe(), L"kid");
    const DWORD sibling = Start(TestGameExe(), L"sibling");
    const DWORD system = Start(TestPlainExe(), L"");
    struct {
        std::vector<TSessionInfo> sessions;
        std::set<DWORD> expected;
    } cases[] = {
        {{{Session, L"kid"}}, {kid}},
        {{{Session, L"sibling"}}, {sibling}},
        {{{Session + 1, L"kid"}}, {}}, // the kid's session elsewhere
        {{{Session, L"kid"}, {Session + 1, L"kid"}}, {kid}},
        {{{Session + 1, L"sibling"}, {Session, L"kid"}}, {kid}},
        {{}, {}},
    };
    TProgramWatch watch;
    for (const auto& c : cases) {
        std::set<DWORD> pids;
        for (const TRunningProgram& process : watch.Look(c.sessions)) {
            EXPECT_TRUE(process.Pid != system);
            pids.insert(process.Pid);
        }
        EXPECT_EQ(c.expected, pids) << c.sessions.size() << L" sessions";
    }
}

// Without the seam the process's token names its owner: the test's own account, an account of
// this computer.
TEST_F(ProgramWatchTest, TheSystemNamesTheOwnerOfAProcess) {
    SetProcessOwnerSeam(nullptr);
    wchar_t user[257] = {};
    DWORD length = 257;
    ASSERT_TRUE(GetUserNameW(user, &length));
    const DWORD pid = Start(TestGameExe(), L"");
    TProgramWatch watch;
    const auto mine = ByPid(watch.Look({{Session, user}}));
    ASSERT_EQ(1u, mine.count(pid));
    EXPECT_EQ(user, mine.at(pid).User);
    EXPECT_EQ(0u, ByPid(watch.Look({{Session, std::wstring(user) + L"2"}})).count(pid));
}

// A look after the first asks nothing of a process it has seen: a file renamed away while its
// program runs changes nothing, and a program whose file is gone from its place before the
// first look is still known as itself, by the image it runs.
TEST_F(ProgramWatchTest, WhatIsLearntIsKeptWhileTheProcessLives) {
    const std::wstring kept = CopyTo(TestGameExe(), L"kept.exe");
    const std::wstring gone = CopyTo(TestGameExe(), L"gone.exe");
    const DWORD keptPid = Start(kept, L"kid");
    TProgramWatch watch;
    auto seen = ByPid(watch.Look({{Session, L"kid"}}));
    ASSERT_EQ(1u, seen.count(keptPid));
    const std::wstring gameId = seen.at(keptPid).Program.Id;
    ASSERT_EQ(0u, gameId.rfind(L"v:", 0)) << gameId;

    const DWORD gonePid = Start(gone, L"kid");
    Files.push_back(kept + L".away");
    Files.push_back(gone + L".away");
    if (!MoveFileW(kept.c_str(), (kept + L".away").c_str()) ||
        !MoveFileW(gone.c_str(), (gone + L".away").c_str()))
        GTEST_SKIP() << "the system keeps the file of a running program in its place";
    for (int look = 0; look < 3; ++look) {
        seen = ByPid(watch.Look({{Session, L"kid"}}));
        ASSERT_EQ(2u, seen.size());
        EXPECT_EQ(gameId, seen.at(keptPid).Program.Id);
        EXPECT_EQ(gameId, seen.at(gonePid).Program.Id);
        EXPECT_EQ(Lower(gone), Lower(seen.at(gonePid).Program.Path));
    }
    EXPECT_EQ(1, TimesAsked(keptPid));
    EXPECT_EQ(1, TimesAsked(gonePid));
}

// A running program's file renamed away and another put in its place before the first look: the
// process is still known by the program it runs, never by the file now at its path.
TEST_F(ProgramWatchTest, AProgramIsKnownByWhatItRunsWhateverFileNowLiesAtItsPath) {
    TProgramInfo game;
    ASSERT_TRUE(ReadProgramInfo(TestGameExe(), game));
    const std::wstring plainPath = Folder + L"\\swapped1.exe";
    struct {
        std::wstring Running, Replacement, Id, Name;
    } cases[] = {
        {TestGameExe(), TestPlainExe(), game.Id, game.Name},
        {TestPlainExe(), TestGameExe(), L"f:" + Lower(plainPath), L"swapped1.exe"},
    };
    std::vector<DWORD> pids;
    for (const auto& c : cases) {
        const std::wstring path =
            CopyTo(c.Running, L"swapped" + std::to_wstring(pids.size()) + L".exe");
        pids.push_back(Start(path, L"kid"));
        Files.push_back(path + L".away");
        if (!MoveFileW(path.c_str(), (path + L".away").c_str()))
            GTEST_SKIP() << "the system keeps the file of a running program in its place";
        ASSERT_TRUE(CopyFileW(c.Replacement.c_str(), path.c_str(), FALSE));
    }
    TProgramWatch watch;
    const auto seen = ByPid(watch.Look({{Session, L"kid"}}));
    for (size_t i = 0; i < pids.size(); ++i) {
        ASSERT_EQ(1u, seen.count(pids[i]));
        EXPECT_EQ(cases[i].Id, seen.at(pids[i]).Program.Id);
        EXPECT_EQ(cases[i].Name, seen.at(pids[i]).Program.Name);
    }
}

// End ends the process seen, and only that one: a record of an earlier process that had the
// same pid ends nothing.
// A program run from another computer is never read from there: the look would wait for it.
TEST(ProgramWatchPaths, FilesOnTheNetworkAreToldApart) {
    const struct {
        const wchar_t* Path;
        bool Network;
    } cases[] = {
        {L"\\\\kid-pc\\share\\game.exe", true},
        {L"\\\\localhost@8080\\DavWWWRoot\\game.exe", true},
        {L"\\\\?\\UNC\\kid-pc\\share\\game.exe", true},
        {L"C:\\Games\\game.exe", false},
        {L"\\\\?\\C:\\Games\\game.exe", false},
        {L"game.exe", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Network, OnNetworkPath(c.Path)) << c.Path;
}

TEST_F(ProgramWatchTest, EndEndsTheProcessSeenAndNoLaterOneWithItsPid) {
    const DWORD target = Start(TestGameExe(), L"kid");
    const DWORD bystander = Start(TestGameExe(), L"kid");
    const DWORD finished = Start(TestPlainExe(), L"kid");
    TProgramWatch watch;
    const auto seen = ByPid(watch.Look({{Session, L"kid"}}));
    ASSERT_EQ(3u, seen.size());
    Started[2]->Stop();

    TRunningProgram stale = seen.at(bystander);
    stale.Created -= 10'000'000; // the process that had its pid a second earlier
    EXPECT_TRUE(watch.End(stale));
    EXPECT_TRUE(watch.End(seen.at(finished)));
    EXPECT_FALSE(Started[1]->WaitEnded(300));
    EXPECT_TRUE(watch.End(seen.at(target)));
    EXPECT_TRUE(Started[0]->WaitEnded(5000));
    EXPECT_TRUE(watch.End(seen.at(target))); // gone already
    EXPECT_FALSE(Started[1]->WaitEnded(0));
}

// A keeper that starts its game again when it ends: ending its copy brings a new one, and
// ending every process of the program at each look leaves none within a few looks.
TEST_F(ProgramWatchTest, AProgramThatRestartsItselfIsEndedWithinAFewLooks) {
    // The keeper's copies are the kid's too: all processes of a file of the test's own.
    const std::wstring game = CopyTo(TestGameExe(), L"keeper\\MoonLander.exe");
    OwnersByFile[Lower(game)] = L"kid";
    const DWORD keeper = Start(game, L"kid", L"/restart /seconds 20");
    TProgramWatch watch;
    const std::vector<TSessionInfo> sessions = {{Session, L"kid"}};
    const auto copies = [&] {
        std::set<std::pair<DWORD, ULONGLONG>> found;
        for (const TRunningProgram& process : watch.Look(sessions))
            if (process.Pid != keeper)
                found.insert({process.Pid, process.Created});
        return found;
    };
    std::set<std::pair<DWORD, ULONGLONG>> first;
    for (int i = 0; i < 100 && first.empty(); ++i, Sleep(100))
        first = copies();
    ASSERT_EQ(1u, first.size());
    TRunningProgram copy;
    copy.Pid = first.begin()->first;
    copy.Created = first.begin()->second;
    ASSERT_TRUE(watch.End(copy));
    std::set<std::pair<DWORD, ULONGLONG>> next;
    for (int i = 0; i < 100 && (next.empty() || next == first); ++i, Sleep(100))
        next = copies();
    ASSERT_EQ(1u, next.size());
    EXPECT_NE(first, next);

    std::vector<TRunningProgram> seen = watch.Look(sessions);
    for (int look = 0; look < 3 && !seen.empty(); ++look) {
        for (const TRunningProgram& process : seen)
            EXPECT_TRUE(watch.End(process)) << process.Pid;
        Sleep(500);
        seen = watch.Look(sessions);
    }
    EXPECT_TRUE(seen.empty());
}

} // namespace
} // namespace vantrel::testing
