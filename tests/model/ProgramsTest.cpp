#include "ModelTestSupport.h"
#include "model/Clock.h"
#include "model/ProgramInfo.h"
#include "model/ProgramRules.h"
#include "model/ProgramUsage.h"
#include "model/Registry.h"
#include "model/UserFigures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace vantrel {
namespace {

// A program as the build placed it (a Unix path under Wine is on drive Z:).
std::wstring BuiltPath(const std::string& built) {
    std::wstring path(built.begin(), built.end());
    for (auto& c : path)
        c = c == L'/' ? L'\\' : c;
    return path[0] == L'\\' ? L"Z:" + path : path;
}

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring WindowsFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetWindowsDirectoryW(folder, MAX_PATH);
    return folder;
}

// This test's own program has no resources: no version information.
std::wstring ThisProgram() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return self;
}

// Copies of programs in a folder of the test's own, removed with it.
class TCopies {
public:
    TCopies() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        FPath = temp + std::wstring(L"vantrel-programs-") + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(FPath.c_str(), nullptr);
    }
    ~TCopies() {
        for (const std::wstring& file : FFiles)
            DeleteFileW(file.c_str());
        RemoveDirectoryW(FPath.c_str());
    }
    std::wstring Copy(const std::wstring& from, const std::wstring& name) {
        FFiles.push_back(FPath + L"\\" + name);
        EXPECT_TRUE(from.empty() || CopyFileW(from.c_str(), FFiles.back().c_str(), FALSE));
        return FFiles.back();
    }

private:
    std::wstring FPath;
    std::vector<std::wstring> FFiles;
};

const std::wstring kTrayId = L"v:qortray.exe|vantrel|vantrel developers|";

TEST(ProgramInfoTest, IdentityAndNameFromFields) {
    const std::wstring windows = WindowsFolder(), longName(150, L'x');
    const std::wstring deep = L"C:\\Deep\\" + std::wstring(300, L'A') + L"\\Game.EXE";
    const wchar_t* ms = L"Microsoft Corporation";
    struct {
        TProgramFields Fields;
        std::wstring Path, Id, Name;
        bool PartOfWindows;
    } cases[] = {
        {{L"G.exe", L"Game", L"D", L"ACME", L"Signer"},
         L"C:\\g\\run.exe",
         L"v:g.exe|game|acme|",
         L"D",
         false},
        // A description names the program but is no identity.
        {{L"", L"", L"D", L"", L""}, L"C:\\G\\Run.EXE", L"f:c:\\g\\run.exe", L"D", false},
        {{}, L"\\\\?\\C:\\G\\Run.exe", L"f:c:\\g\\run.exe", L"Run.exe", false},
        // Control characters never reach the stored lines.
        {{L"a\tb", L" Two\nlines\t", L"", L"", L""},
         L"C:\\a.exe",
         L"v:a b|two lines||",
         L"Two lines",
         false},
        {{L"", longName, L"", L"", L""},
         L"C:\\a.exe",
         L"v:|" + longName + L"||",
         longName.substr(0, kProgramNameMost),
         false},
        {{L"n.exe", L"", L"", ms, L""},
         windows + L"\\n.exe",
         L"v:n.exe||microsoft corporation|",
         L"n.exe",
         true},
        // The folder's name must match whole; below it, the maker must be Microsoft.
        {{L"n.exe", L"", L"", ms, L""},
         windows + L"2\\n.exe",
         L"v:n.exe||microsoft corporation|",
         L"n.exe",
         false},
        {{L"n.exe", L"", L"", L"Ms", L""}, windows + L"\\n.exe", L"v:n.exe||ms|", L"n.exe", true},
        {{L"n.exe", L"", L"", L"Ms", L""},
         windows + L"\\Temp\\n.exe",
         L"v:n.exe||ms|",
         L"n.exe",
         false},
        {{L"n.exe", L"", L"", ms, L""},
         windows + L"\\Temp\\n.exe",
         L"v:n.exe||microsoft corporation|",
         L"n.exe",
         true},
        // A path of 260 characters is kept; a longer one is cut, with a hash of the whole.
        {{},
         L"C:\\" + std::wstring(253, L'B') + L".exe",
         L"f:c:\\" + std::wstring(253, L'b') + L".exe",
         std::wstring(kProgramNameMost, L'B'),
         false},
        {{}, deep, L"f:" + Lower(deep).substr(0, 240) + L"~c3e84be25a2c0404", L"Game.EXE", false},
    };
    for (const auto& c : cases) {
        const TProgramInfo info = ProgramInfoOf(c.Fields, c.Path);
        EXPECT_EQ(c.Id, info.Id) << c.Path;
        EXPECT_EQ(c.Name, info.Name) << c.Path;
        EXPECT_EQ(c.PartOfWindows, info.PartOfWindows) << c.Path;
    }
}

TEST(ProgramInfoTest, RealFilesKeepTheirIdentityWhenCopied) {
    TCopies copies;
    const std::wstring tray = BuiltPath(QOR_TRAY_EXE);
    const std::wstring winver = WindowsFolder() + L"\\system32\\winver.exe";
    const std::wstring bare = copies.Copy(ThisProgram(), L"Bare.exe");
    struct {
        std::wstring Path, Id, Name;
        bool PartOfWindows;
    } cases[] = {
        {tray, kTrayId, L"Vantrel time left in the notification area", false},
        {copies.Copy(tray, L"homework.exe"), kTrayId, L"Vantrel time left in the notification area",
         false},
#ifdef QOR_SIGNED_TRAY_EXE
        // Signed or not, it is one program: a copy stripped of its signature still matches.
        {BuiltPath(QOR_SIGNED_TRAY_EXE), kTrayId, L"Vantrel time left in the notification area",
         false},
#endif
        // Without version information a program is known by its place.
        {bare, L"f:" + Lower(bare), L"Bare.exe", false},
        // Wine's own programs are part of Windows where Windows keeps them, and only there.
        {winver, L"v:winver.exe|wine|microsoft corporation|", L"Windows Version", true},
        {copies.Copy(winver, L"winver.exe"), L"v:winver.exe|wine|microsoft corporation|",
         L"Windows Version", false},
    };
    for (const auto& c : cases) {
        TProgramInfo info;
        ASSERT_TRUE(ReadProgramInfo(c.Path, info)) << c.Path;
        EXPECT_EQ(c.Id, info.Id) << c.Path;
        EXPECT_EQ(c.Name, info.Name) << c.Path;
        EXPECT_EQ(c.Path, info.Path);
        EXPECT_EQ(c.PartOfWindows, info.PartOfWindows) << c.Path;
    }
    TProgramInfo info;
    EXPECT_FALSE(ReadProgramInfo(copies.Copy(L"", L"missing.exe"), info));
}

// A version block as a crafted program may hold it: whatever sizes it claims, nothing outside it
// is read (it ends where readable memory ends), and a damaged part gives no fields.
TEST(ProgramInfoTest, DamagedVersionBlocksAreReadWithinTheirBytes) {
    const std::wstring tray = BuiltPath(QOR_TRAY_EXE);
    DWORD ignored = 0;
    std::vector<BYTE> whole(GetFileVersionInfoSizeExW(0, tray.c_str(), &ignored));
    ASSERT_TRUE(GetFileVersionInfoExW(0, tray.c_str(), 0, DWORD(whole.size()), whole.data()));
    whole.resize(whole[0] | (whole[1] << 8));
    ASSERT_LE(whole.size(), 4096u);
    BYTE* pages = static_cast<BYTE*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
    DWORD was = 0;
    ASSERT_TRUE(pages && VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &was));
    // Where the block of the key begins (nullptr: the whole block).
    const auto blockOf = [&](const wchar_t* key) -> size_t {
        if (!key)
            return 0;
        const std::wstring text(key);
        const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
        const auto at = std::search(whole.begin(), whole.end(), bytes, bytes + text.size() * 2 + 2);
        return at == whole.end() ? whole.size() : size_t(at - whole.begin()) - 6;
    };
    struct {
        const wchar_t* Key;
        int Length; // the block's new length; -1: kept
        size_t Cut; // the bytes kept; 0: all
        bool Found;
        std::wstring Original, Product;
    } cases[] = {
        {nullptr, -1, 0, true, L"QORtray.exe", L"Vantrel"},
        {nullptr, -1, 5, false, L"", L""},
        {nullptr, -1, 200, false, L"", L""}, // cut short of what it claims
        {nullptr, 0xFFFF, 0, false, L"", L""},
        {nullptr, 7, 0, false, L"", L""}, // its key runs past its end
        {L"StringFileInfo", 0xFFFF, 0, false, L"", L""},
        // A string that claims more than its table: the walk ends there, with what came before.
        {L"OriginalFilename", 0xFFFF, 0, true, L"", L""},
        {L"ProductName", 2, 0, true, L"QORtray.exe", L""},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> block = whole;
        const size_t at = blockOf(c.Key);
        ASSERT_LT(at + 1, block.size()) << c.Key;
        if (c.Length >= 0) {
            block[at] = BYTE(c.Length);
            block[at + 1] = BYTE(c.Length >> 8);
        }
        if (c.Cut)
            block.resize(c.Cut);
        BYTE* end = pages + 4096;
        memcpy(end - block.size(), block.data(), block.size());
        TProgramFields fields;
        fields.Signer = L"kept";
        EXPECT_EQ(c.Found, ParseVersionFields(end - block.size(), block.size(), fields)) << at;
        EXPECT_EQ(c.Original, fields.OriginalFilename) << at;
        EXPECT_EQ(c.Product, fields.ProductName) << at;
        EXPECT_EQ(L"kept", fields.Signer);
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(ProgramInfoTest, CacheReadsAFileOnceUntilItChanges) {
    TCopies copies;
    const std::wstring tray = BuiltPath(QOR_TRAY_EXE);
    const std::wstring a = copies.Copy(tray, L"a.exe"), b = copies.Copy(tray, L"b.exe"),
                       c = copies.Copy(tray, L"c.exe");
    // A file held open without sharing cannot be read: only a kept entry answers then.
    const auto lock = [](const std::wstring& path) {
        return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    TProgramInfoCache cache(2);
    TProgramInfo info;
    ASSERT_TRUE(cache.Get(a, info));
    HANDLE held = lock(a);
    EXPECT_TRUE(cache.Get(Lower(a), info)); // kept, by its path in any case
    EXPECT_EQ(kTrayId, info.Id);
    CloseHandle(held);
    // Changed: read again.
    ASSERT_TRUE(CopyFileW(ThisProgram().c_str(), a.c_str(), FALSE));
    ASSERT_TRUE(cache.Get(a, info));
    EXPECT_EQ(L"f:" + Lower(a), info.Id);
    // At most two: the one used longest ago goes.
    ASSERT_TRUE(cache.Get(b, info) && cache.Get(c, info));
    EXPECT_EQ(2u, cache.Size());
    HANDLE heldA = lock(a), heldC = lock(c);
    EXPECT_FALSE(cache.Get(a, info));
    EXPECT_TRUE(cache.Get(c, info));
    CloseHandle(heldA);
    CloseHandle(heldC);
    ASSERT_TRUE(DeleteFileW(c.c_str()));
    EXPECT_FALSE(cache.Get(c, info));
}

TEST(ProgramRulesTest, LinesReadBackAndDamagedOnesAsLessTime) {
    struct {
        std::wstring Line;
        bool Read, Damaged, Blocked;
        std::vector<int> Minutes;
    } cases[] = {
        {L"v:g\tG\tlimit\t6,6,6,6,6,6,6", true, false, false, {6, 6, 6, 6, 6, 6, 6}},
        {L"f:x\tx\tlimit\t0,30,45,1440,5,120,0", true, false, false, {0, 30, 45, 1440, 5, 120, 0}},
        {L"v:|||s\tChat\tblocked\t", true, false, true, {0, 0, 0, 0, 0, 0, 0}},
        {L"", false, false, false, {}},
        {L"\tGame\tlimit\t1,1,1,1,1,1,1", false, false, false, {}},
        {L"v:a\tA\tlimit\t60,60,x,60,-5,60,2000", true, true, false, {60, 60, 0, 60, 0, 60, 0}},
        {L"v:a\tA\tlimit\t60,60,60", true, true, false, {60, 60, 60, 0, 0, 0, 0}},
        {L"v:a\tA\tlimit", true, true, false, {0, 0, 0, 0, 0, 0, 0}},
        {L"v:a\tA\tunlimited\t60,60,60,60,60,60,60", true, true, false, {0, 0, 0, 0, 0, 0, 0}},
        {L"v:a", true, true, false, {0, 0, 0, 0, 0, 0, 0}},
        {L"V:A\tA\tblocked\t", true, false, true, {0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        TProgramRule rule;
        bool damaged = !c.Damaged;
        ASSERT_EQ(c.Read, ParseProgramRule(c.Line, rule, damaged)) << c.Line;
        if (!c.Read)
            continue;
        EXPECT_EQ(c.Damaged, damaged) << c.Line;
        EXPECT_EQ(c.Blocked, rule.Blocked) << c.Line;
        EXPECT_FALSE(rule.Name.empty());
        for (int day = 1; day <= 7; ++day)
            EXPECT_EQ(c.Minutes[day - 1], rule.Limit(day)) << c.Line << " day " << day;
        if (!c.Damaged) {
            EXPECT_EQ(Lower(c.Line.substr(0, 3)) + c.Line.substr(3), FormatProgramRule(rule));
        }
    }
    TProgramRule rule;
    rule.Id = L"v:a";
    rule.Name = L"A\tB"; // a tab would end the field
    EXPECT_EQ(L"v:a\tA B\tlimit\t0,0,0,0,0,0,0", FormatProgramRule(rule));
}

class ProgramStore : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot);
        ASSERT_EQ(ERROR_SUCCESS, root.Create(HKEY_LOCAL_MACHINE, kRoot, KEY_ALL_ACCESS));
        SetClockSeam(TestWednesday);
    }
    void TearDown() override {
        root.Close();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot);
        SetClockSeam(nullptr);
    }
    TRegKey UserKey(const std::wstring& below = L"") {
        TRegKey key;
        key.Create(root.Get(), L"System\\QOR\\Users\\anna" + below, KEY_ALL_ACCESS);
        return key;
    }
    bool UserExists() {
        TRegKey key;
        return key.Open(root.Get(), L"System\\QOR\\Users\\anna", KEY_READ) == ERROR_SUCCESS;
    }
    static constexpr wchar_t kRoot[] = L"SOFTWARE\\VantrelTest\\Programs";
    TRegKey root;
};

TEST_F(ProgramStore, RulesThroughTheRegistry) {
    std::vector<TProgramRule> rules(1), written(2);
    written[0] = {L"v:game", L"Game", false, {60, 60, 60, 60, 60, 90, 90}};
    written[1] = {L"v:chat", L"Chat", true, {}};
    ULONGLONG changedAt = 7;
    EXPECT_EQ(TStoredRules::NoKey, ReadProgramRules(root.Get(), L"anna", rules, &changedAt));
    EXPECT_TRUE(rules.empty() && changedAt == 0);
    // No key for the user: none is made.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, WriteProgramRules(root.Get(), L"anna", written));
    EXPECT_FALSE(UserExists());

    TRegKey key = UserKey();
    EXPECT_EQ(TStoredRules::None, ReadProgramRules(root.Get(), L"anna", rules));
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramRules(root.Get(), L"anna", written));
    ASSERT_EQ(TStoredRules::Whole, ReadProgramRules(root.Get(), L"anna", rules, &changedAt));
    ASSERT_EQ(2u, rules.size());
    EXPECT_EQ(FormatProgramRule(written[0]), FormatProgramRule(rules[0]));
    EXPECT_EQ(L"Chat", FindProgramRule(rules, L"v:chat")->Name);
    EXPECT_EQ(nullptr, FindProgramRule(rules, L"v:other"));
    FILETIME noon{};
    const SYSTEMTIME wednesday = TestWednesday();
    SystemTimeToFileTime(&wednesday, &noon);
    EXPECT_EQ((static_cast<ULONGLONG>(noon.dwHighDateTime) << 32) | noon.dwLowDateTime, changedAt);

    // An empty list is a list: the user has no rules any more.
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramRules(root.Get(), L"anna", {}, 12345));
    EXPECT_EQ(TStoredRules::Whole, ReadProgramRules(root.Get(), L"anna", rules, &changedAt));
    EXPECT_TRUE(rules.empty() && changedAt == 12345);
    // Refused whole: too many rules, a rule without a program.
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              WriteProgramRules(root.Get(), L"anna",
                                std::vector<TProgramRule>(kMostProgramRules + 1, written[1])));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, WriteProgramRules(root.Get(), L"anna", {TProgramRule{}}));

    // Damaged: two lines of one program give the lesser time of each day; too many are cut.
    key = UserKey(L"\\ProgramRules");
    key.WriteMultiString(L"Rules", {L"v:a\tA\tlimit\t60,60,60,60,60,60,60",
                                    L"v:a\tA\tlimit\t90,30,90,30,90,30,90", L"\tB\tblocked\t"});
    ASSERT_EQ(TStoredRules::Damaged, ReadProgramRules(root.Get(), L"anna", rules));
    ASSERT_EQ(1u, rules.size());
    EXPECT_EQ(60, rules[0].Limit(1));
    EXPECT_EQ(30, rules[0].Limit(2));
    std::vector<std::wstring> lines;
    for (size_t i = 0; i <= kMostProgramRules; ++i)
        lines.push_back(L"v:" + std::to_wstring(i) + L"\tP\tblocked\t");
    key.WriteMultiString(L"Rules", lines);
    EXPECT_EQ(TStoredRules::Damaged, ReadProgramRules(root.Get(), L"anna", rules));
    EXPECT_EQ(kMostProgramRules, rules.size());
    key.WriteString(L"Rules", L"v:a\tA\tblocked\t");
    EXPECT_EQ(TStoredRules::Damaged, ReadProgramRules(root.Get(), L"anna", rules));
}

// A day lists the programs with the most minutes: small programs run before or beside a game
// played for hours never hide it, the ruled one keeps its line, and no minute is made up or lost.
TEST(ProgramUsageTest, ListsKeepTheProgramsWithTheMostMinutes) {
    const TProgramRuled ruled = [](const std::wstring& id) { return id == L"v:ruled"; };
    const std::wstring game = L"v:game.exe|game|maker|";
    const auto dummy = [](int n) {
        return L"f:c:\\users\\kid\\dummy" + std::to_wstring(n) + L".exe";
    };
    struct {
        const char* what;
        int early;   // minutes each of 24 dummies ran before the game
        int besides; // new dummies every minute beside the game
    } cases[] = {
        {"24 one-minute dummies first", 1, 0},
        {"24 two-minute dummies first", 2, 0},
        {"24 new dummies every minute", 0, 24},
        {"both", 1, 24},
    };
    for (const auto& c : cases) {
        TProgramList list;
        AddProgramMinutes(list, L"v:ruled", L"Ruled", 1, ruled);
        int n = 0;
        for (; n < 24; ++n)
            AddProgramMinutes(list, dummy(n), L"Dummy", c.early, ruled);
        // As the service does: what the game had under "Other programs" counts for it.
        int earlier = 0;
        for (int minute = 0; minute < 180; ++minute) {
            earlier = AddProgramMinutes(list, game, L"Game", 1, ruled, earlier) ? 0 : earlier + 1;
            for (int i = 0; i < c.besides; ++i)
                AddProgramMinutes(list, dummy(n++), L"Dummy", 1, ruled);
        }
        EXPECT_EQ(180, ProgramMinutesOf(list, game)) << c.what;
        EXPECT_EQ(1, ProgramMinutesOf(list, L"v:ruled")) << c.what;
        EXPECT_EQ(kMostProgramsListed + 2, list.size()) << c.what;
        long long sum = 0;
        for (const TProgramMinutes& line : list)
            sum += line.Minutes;
        EXPECT_EQ(1 + 24 * c.early + 180 + 180 * c.besides, sum) << c.what;
        EXPECT_EQ(kOtherProgramsName, list.back().Name) << c.what;
    }

    // A new program takes the line of the one with the fewest minutes only with more; the line
    // given up is told, its minutes summed under "Other programs".
    TProgramList list;
    for (size_t i = 0; i < kMostProgramsListed; ++i)
        AddProgramMinutes(list, L"v:" + std::to_wstring(i), L"P", i == 0 ? 1 : 2, ruled);
    TProgramMinutes given;
    EXPECT_FALSE(AddProgramMinutes(list, L"v:late", L"Late", 1, ruled, 0, &given));
    EXPECT_TRUE(given.Id.empty());
    EXPECT_TRUE(AddProgramMinutes(list, L"v:late", L"Late", 1, ruled, 1, &given));
    EXPECT_EQ(L"v:0", given.Id);
    EXPECT_EQ(2, ProgramMinutesOf(list, L"v:late"));
    EXPECT_EQ(1, ProgramMinutesOf(list, L""));
    // A program ruled later brings its minutes from "Other programs" to its line.
    EXPECT_TRUE(AddProgramMinutes(list, L"v:ruled", L"Ruled", 2, ruled, 1));
    EXPECT_EQ(3, ProgramMinutesOf(list, L"v:ruled"));
    EXPECT_EQ(list.end(), std::find_if(list.begin(), list.end(), [](const TProgramMinutes& line) {
                  return line.Id.empty();
              }));
    AddProgramMinutes(list, L"v:1", L"P", INT_MAX, ruled);
    EXPECT_EQ(INT_MAX, ProgramMinutesOf(list, L"v:1"));
    EXPECT_EQ(kMostProgramsListed + 1, list.size());

    TProgramList into{{L"v:a", L"A", 5}, {L"", kOtherProgramsName, 50}};
    SumProgramLists(into, {{L"v:b", L"B", 7}, {L"v:a", L"A there", 3}, {L"", L"x", 1}});
    SumProgramLists(into, {{L"v:c", L"C", 8}});
    std::wstring sum;
    for (const TProgramMinutes& line : into)
        sum += line.Name + L"=" + std::to_wstring(line.Minutes) + L" ";
    EXPECT_EQ(L"A=8 C=8 B=7 Other programs=51 ", sum);
}

TEST_F(ProgramStore, UsageThroughTheRegistry) {
    const SYSTEMTIME today = TestWednesday();
    SYSTEMTIME lastWeek = today;
    lastWeek.wDay = 3;
    const TProgramList list{{L"v:a", L"A\tgame", 5}, {L"", kOtherProgramsName, 9}};
    TProgramList read;
    std::map<std::wstring, TProgramList> lists;
    // Without createUser, a store without the user's key gets nothing.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              WriteProgramUsage(root.Get(), L"anna", L"PC1", today, list, false));
    EXPECT_FALSE(UserExists());
    EXPECT_FALSE(ReadProgramUsagePerComputer(root.Get(), L"anna", today, lists));

    ASSERT_EQ(ERROR_SUCCESS, WriteProgramUsage(root.Get(), L"anna", L"PC1", today, list));
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramUsage(root.Get(), L"anna", L"PC2", lastWeek, list, false));
    ASSERT_TRUE(ReadProgramUsage(root.Get(), L"anna", L"PC1", today, read));
    ASSERT_EQ(2u, read.size());
    EXPECT_EQ(L"A game", read[0].Name);
    EXPECT_EQ(9, ProgramMinutesOf(read, L""));
    // Last week's list on the same weekday is nothing.
    EXPECT_FALSE(ReadProgramUsage(root.Get(), L"anna", L"PC2", today, read));
    ASSERT_TRUE(ReadProgramUsagePerComputer(root.Get(), L"anna", today, lists));
    ASSERT_EQ(1u, lists.size());
    EXPECT_EQ(5, ProgramMinutesOf(lists[L"PC1"], L"v:a"));

    // Damaged lines are skipped; a value without its date is no list.
    TRegKey key = UserKey(L"\\Programs\\PC3");
    key.WriteMultiString(L"ProgramsWed", {ProgramDayText(today), L"x\tv:a\tA", L"3\tv:b",
                                          L"4\tv:c\tC", L"99999999999\tv:d\tD"});
    ASSERT_TRUE(ReadProgramUsage(root.Get(), L"anna", L"PC3", today, read));
    ASSERT_EQ(1u, read.size());
    EXPECT_EQ(4, ProgramMinutesOf(read, L"v:c"));
    key.WriteMultiString(L"ProgramsWed", {L"4\tv:c\tC"});
    EXPECT_FALSE(ReadProgramUsage(root.Get(), L"anna", L"PC3", today, read));
}

TEST(ProgramsLeftTest, FiguresKeepTheProgramsLeftAndNoticeAChange) {
    const std::wstring user = L"programs-test", path = std::wstring(kFiguresKeyPath) + L"\\" + user;
    TRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS));
    TUserFigures written, read;
    written.Written.dwLowDateTime = 1;
    written.Programs = {{L"Game", 20}, {L"Chat\tnow", 0}};
    ASSERT_EQ(ERROR_SUCCESS, WriteUserFigures(key.Get(), written));
    ASSERT_TRUE(ReadUserFigures(user, read));
    EXPECT_EQ((std::vector<TProgramLeft>{{L"Game", 20}, {L"Chat now", 0}}), read.Programs);
    // Written only when the list changed; another name alone is a change.
    for (std::vector<TProgramLeft> next :
         {std::vector<TProgramLeft>{{L"Other", 20}, {L"C", 0}}, std::vector<TProgramLeft>{}}) {
        TUserFigures changed = read;
        changed.Programs = next;
        ASSERT_EQ(ERROR_SUCCESS, WriteUserFigures(key.Get(), changed, &read));
        ASSERT_TRUE(ReadUserFigures(user, read));
        EXPECT_EQ(next, read.Programs);
    }
    // Damaged lines are left out; a missing value is no program, one of another type no reading.
    key.WriteMultiString(L"ProgramsLeft",
                         {L"x\tGame", L"20\tGame", L"5\t", L"1441\tBig", L"\tNo", L"7"});
    ASSERT_TRUE(ReadUserFigures(user, read));
    EXPECT_EQ((std::vector<TProgramLeft>{{L"Game", 20}}), read.Programs);
    RegDeleteValueW(key.Get(), L"ProgramsLeft");
    ASSERT_TRUE(ReadUserFigures(user, read));
    EXPECT_TRUE(read.Programs.empty());
    key.WriteString(L"ProgramsLeft", L"20\tGame");
    EXPECT_FALSE(ReadUserFigures(user, read));
    key.Close();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
}

} // namespace
} // namespace vantrel
