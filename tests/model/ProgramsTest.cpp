#include "ModelTestSupport.h"
#include "model/Clock.h"
#include "model/ProgramInfo.h"
#include "model/ProgramRules.h"
#include "model/ProgramUsage.h"
#include "model/Registry.h"
#include "model/UserFigures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

// A program as the build placed it (a Unix path under Wine is on drive Z:).
std::wstring BuiltPath(const std::string& built) {
    std::wstring path(built.begin(), built.end());
    if (!path.empty() && path[0] == L'/') {
        for (auto& c : path)
            if (c == L'/')
                c = L'\\';
        path = L"Z:" + path;
    }
    return path;
}

std::wstring TrayProgramPath() {
    return BuiltPath(QOR_TRAY_EXE);
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

// A folder of its own in the temporary folder, removed with its files.
class TTempFolder {
public:
    TTempFolder() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        FPath = std::wstring(temp) + L"vantrel-programs-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(FPath.c_str(), nullptr);
    }
    ~TTempFolder() {
        for (const std::wstring& file : FFiles)
            DeleteFileW(file.c_str());
        RemoveDirectoryW(FPath.c_str());
    }
    std::wstring File(const std::wstring& name) {
        FFiles.push_back(FPath + L"\\" + name);
        return FFiles.back();
    }

private:
    std::wstring FPath;
    std::vector<std::wstring> FFiles;
};

TEST(ProgramInfoTest, IdentityAndNameFromFields) {
    const std::wstring windows = WindowsFolder();
    const std::wstring longName(150, L'x');
    struct {
        TProgramFields Fields;
        std::wstring Path, Id, Name;
        bool PartOfWindows;
    } cases[] = {
        {{L"Game.exe", L"Super Game", L"The game", L"ACME Ltd", L"ACME Signing"},
         L"C:\\Games\\run.exe",
         L"v:game.exe|super game|acme ltd|acme signing",
         L"Super Game",
         false},
        // Only a description names the program, but it is no identity.
        {{L"", L"", L"The game", L"", L""},
         L"C:\\Games\\Run.EXE",
         L"f:c:\\games\\run.exe",
         L"The game",
         false},
        {{}, L"\\\\?\\C:\\Games\\Run.exe", L"f:c:\\games\\run.exe", L"Run.exe", false},
        {{L"", L"", L"", L"", L"Signer"}, L"C:\\a.exe", L"v:|||signer", L"a.exe", false},
        // Control characters never reach the stored lines.
        {{L"a\tb.exe", L" Two\nlines\t", L"", L"", L""},
         L"C:\\a.exe",
         L"v:a b.exe|two lines||",
         L"Two lines",
         false},
        {{L"", longName, L"", L"", L""},
         L"C:\\a.exe",
         L"v:|" + longName + L"||",
         longName.substr(0, kProgramNameMost),
         false},
        {{L"notepad.exe", L"Wine", L"", L"Microsoft Corporation", L""},
         windows + L"\\system32\\notepad.exe",
         L"v:notepad.exe|wine|microsoft corporation|",
         L"Wine",
         true},
        // The folder's name must match whole; the maker must be Microsoft.
        {{L"n.exe", L"", L"", L"Microsoft Corporation", L""},
         windows + L"2\\n.exe",
         L"v:n.exe||microsoft corporation|",
         L"n.exe",
         false},
        {{L"n.exe", L"", L"", L"Games Inc", L""},
         windows + L"\\n.exe",
         L"v:n.exe||games inc|",
         L"n.exe",
         false},
    };
    for (const auto& c : cases) {
        const TProgramInfo info = ProgramInfoOf(c.Fields, c.Path);
        EXPECT_EQ(c.Id, info.Id) << c.Path;
        EXPECT_EQ(c.Name, info.Name) << c.Path;
        EXPECT_EQ(c.Path, info.Path);
        EXPECT_EQ(c.PartOfWindows, info.PartOfWindows) << c.Path;
    }
}

TEST(ProgramInfoTest, RealFilesKeepTheirIdentityWhenCopied) {
    TTempFolder folder;
    const std::wstring tray = TrayProgramPath();
    TProgramFields fields;
    ASSERT_TRUE(ReadProgramFields(tray, fields));
    EXPECT_EQ(L"QORtray.exe", fields.OriginalFilename);
    EXPECT_EQ(L"Vantrel", fields.ProductName);
    EXPECT_EQ(L"Vantrel developers", fields.CompanyName);
    EXPECT_EQ(L"", fields.Signer);

    TProgramInfo original, copy;
    ASSERT_TRUE(ReadProgramInfo(tray, original));
    const std::wstring renamed = folder.File(L"homework.exe");
    ASSERT_TRUE(CopyFileW(tray.c_str(), renamed.c_str(), FALSE));
    ASSERT_TRUE(ReadProgramInfo(renamed, copy));
    EXPECT_EQ(L"v:qortray.exe|vantrel|vantrel developers|", original.Id);
    EXPECT_EQ(original.Id, copy.Id);
    EXPECT_EQ(L"Vantrel", copy.Name);
    EXPECT_EQ(renamed, copy.Path);
#ifdef QOR_SIGNED_TRAY_EXE
    // Signed, it is another program: a signer is part of the identity.
    TProgramInfo signedInfo;
    ASSERT_TRUE(ReadProgramInfo(BuiltPath(QOR_SIGNED_TRAY_EXE), signedInfo));
    EXPECT_EQ(L"v:qortray.exe|vantrel|vantrel developers|vantrel test signer", signedInfo.Id);
#endif

    // A program without version information (this test has no resources) is known by its place.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring bare = folder.File(L"Bare.exe");
    ASSERT_TRUE(CopyFileW(self, bare.c_str(), FALSE));
    TProgramInfo plain;
    ASSERT_TRUE(ReadProgramInfo(bare, plain));
    EXPECT_EQ(L"f:" + Lower(bare), plain.Id);
    EXPECT_EQ(L"Bare.exe", plain.Name);

    EXPECT_FALSE(ReadProgramInfo(folder.File(L"missing.exe"), plain));

    // Wine's own programs are part of Windows where Windows keeps them, and only there.
    const std::wstring winver = WindowsFolder() + L"\\system32\\winver.exe";
    const std::wstring winverCopy = folder.File(L"winver.exe");
    ASSERT_TRUE(CopyFileW(winver.c_str(), winverCopy.c_str(), FALSE));
    ASSERT_TRUE(ReadProgramInfo(winver, original));
    ASSERT_TRUE(ReadProgramInfo(winverCopy, copy));
    EXPECT_EQ(L"v:winver.exe|wine|microsoft corporation|", original.Id);
    EXPECT_TRUE(original.PartOfWindows);
    EXPECT_FALSE(copy.PartOfWindows);
    EXPECT_EQ(original.Id, copy.Id);
}

TEST(ProgramInfoTest, CacheReadsAFileOnceUntilItChanges) {
    TTempFolder folder;
    const std::wstring a = folder.File(L"a.exe");
    const std::wstring b = folder.File(L"b.exe");
    const std::wstring c = folder.File(L"c.exe");
    ASSERT_TRUE(CopyFileW(TrayProgramPath().c_str(), a.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(TrayProgramPath().c_str(), b.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(TrayProgramPath().c_str(), c.c_str(), FALSE));
    // A file held open without sharing cannot be read: only a kept entry answers then.
    const auto locked = [](const std::wstring& path) {
        return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    };

    TProgramInfoCache cache(2);
    TProgramInfo info;
    ASSERT_TRUE(cache.Get(a, info));
    HANDLE hold = locked(a);
    ASSERT_NE(INVALID_HANDLE_VALUE, hold);
    EXPECT_TRUE(cache.Get(Lower(a), info)); // kept, by a path in any case
    EXPECT_EQ(L"v:qortray.exe|vantrel|vantrel developers|", info.Id);
    CloseHandle(hold);

    // Changed: read again. This test's own program has no version information.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(CopyFileW(self, a.c_str(), FALSE));
    ASSERT_TRUE(cache.Get(a, info));
    EXPECT_EQ(L"f:" + Lower(a), info.Id);

    // At most two: the one used longest ago goes.
    ASSERT_TRUE(cache.Get(b, info));
    ASSERT_TRUE(cache.Get(c, info));
    EXPECT_EQ(2u, cache.Size());
    HANDLE holdA = locked(a);
    HANDLE holdC = locked(c);
    EXPECT_FALSE(cache.Get(a, info));
    EXPECT_TRUE(cache.Get(c, info));
    CloseHandle(holdA);
    CloseHandle(holdC);
    ASSERT_TRUE(DeleteFileW(c.c_str()));
    EXPECT_FALSE(cache.Get(c, info));
}

TProgramRule Rule(const wchar_t* id, const wchar_t* name, bool blocked, std::vector<int> minutes) {
    TProgramRule rule;
    rule.Id = id;
    rule.Name = name;
    rule.Blocked = blocked;
    for (size_t day = 0; day < 7 && day < minutes.size(); ++day)
        rule.Minutes[day] = minutes[day];
    return rule;
}

bool SameRule(const TProgramRule& a, const TProgramRule& b) {
    return a.Id == b.Id && a.Name == b.Name && a.Blocked == b.Blocked &&
           std::equal(a.Minutes, a.Minutes + 7, b.Minutes);
}

TEST(ProgramRulesTest, LinesReadBackAsWritten) {
    struct {
        TProgramRule Rule;
        std::wstring Line;
    } cases[] = {
        {Rule(L"v:game.exe|game||", L"Game", false, {60, 60, 60, 60, 60, 60, 60}),
         L"v:game.exe|game||\tGame\tlimit\t60,60,60,60,60,60,60"},
        {Rule(L"f:c:\\x.exe", L"x.exe", false, {0, 30, 45, 1440, 5, 120, 0}),
         L"f:c:\\x.exe\tx.exe\tlimit\t0,30,45,1440,5,120,0"},
        {Rule(L"v:|||s", L"Chat", true, {}), L"v:|||s\tChat\tblocked\t"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Line, FormatProgramRule(c.Rule));
        TProgramRule read;
        bool damaged = true;
        ASSERT_TRUE(ParseProgramRule(c.Line, read, damaged)) << c.Line;
        EXPECT_FALSE(damaged) << c.Line;
        EXPECT_TRUE(SameRule(c.Rule, read)) << c.Line;
    }
    // A tab in a name would end its field.
    EXPECT_EQ(L"v:a\tA B\tblocked\t", FormatProgramRule(Rule(L"v:a", L"A\tB", true, {})));
    const TProgramRule weekly = Rule(L"v:a", L"A", false, {10, 20, 30, 40, 50, 60, 70});
    EXPECT_EQ(30, weekly.Limit(3));
    EXPECT_EQ(0, weekly.Limit(8));
    EXPECT_FALSE(weekly.SameEveryDay());
    EXPECT_EQ(0, Rule(L"v:a", L"A", true, {90, 90, 90, 90, 90, 90, 90}).Limit(1));
}

TEST(ProgramRulesTest, DamagedLinesReadAsLessTime) {
    struct {
        std::wstring Line;
        bool Read;
        bool Blocked;
        std::vector<int> Minutes;
    } cases[] = {
        {L"", false, false, {}},
        {L"\tGame\tlimit\t1,1,1,1,1,1,1", false, false, {}},
        {L"v:a\tA\tlimit\t60,60,x,60,-5,60,2000", true, false, {60, 60, 0, 60, 0, 60, 0}},
        {L"v:a\tA\tlimit\t60,60,60", true, false, {60, 60, 60, 0, 0, 0, 0}},
        {L"v:a\tA\tlimit", true, false, {0, 0, 0, 0, 0, 0, 0}},
        {L"v:a\tA\tunlimited\t60,60,60,60,60,60,60", true, false, {0, 0, 0, 0, 0, 0, 0}},
        {L"v:a", true, false, {0, 0, 0, 0, 0, 0, 0}},
        {L"v:a\tA\tlimit\t60,60,60,60,60,60,60,99999", true, false, {60, 60, 60, 60, 60, 60, 60}},
    };
    for (const auto& c : cases) {
        TProgramRule rule;
        bool damaged = false;
        ASSERT_EQ(c.Read, ParseProgramRule(c.Line, rule, damaged)) << c.Line;
        if (!c.Read)
            continue;
        EXPECT_TRUE(damaged) << c.Line;
        EXPECT_FALSE(rule.Name.empty());
        for (int day = 1; day <= 7; ++day)
            EXPECT_EQ(c.Minutes[day - 1], rule.Limit(day)) << c.Line << " day " << day;
    }
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
    TRegKey UserKey(const std::wstring& path = L"") {
        TRegKey key;
        key.Create(root.Get(), L"System\\QOR\\Users\\anna" + path, KEY_ALL_ACCESS);
        return key;
    }
    bool Exists(const std::wstring& path) {
        TRegKey key;
        return key.Open(root.Get(), path, KEY_READ) == ERROR_SUCCESS;
    }
    static constexpr wchar_t kRoot[] = L"SOFTWARE\\VantrelTest\\Programs";
    TRegKey root;
};

TEST_F(ProgramStore, RulesThroughTheRegistry) {
    std::vector<TProgramRule> rules{Rule(L"x", L"x", true, {})};
    ULONGLONG changedAt = 7;
    EXPECT_EQ(TStoredRules::NoKey, ReadProgramRules(root.Get(), L"anna", rules, &changedAt));
    EXPECT_TRUE(rules.empty());
    EXPECT_EQ(0u, changedAt);
    // No key for the user: none is made.
    const std::vector<TProgramRule> written{
        Rule(L"v:game.exe|game||", L"Game", false, {60, 60, 60, 60, 60, 90, 90}),
        Rule(L"v:chat.exe|chat||", L"Chat", true, {})};
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, WriteProgramRules(root.Get(), L"anna", written));
    EXPECT_FALSE(Exists(L"System\\QOR\\Users\\anna"));

    UserKey();
    EXPECT_EQ(TStoredRules::None, ReadProgramRules(root.Get(), L"anna", rules));
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramRules(root.Get(), L"anna", written));
    ASSERT_EQ(TStoredRules::Whole, ReadProgramRules(root.Get(), L"anna", rules, &changedAt));
    ASSERT_EQ(2u, rules.size());
    EXPECT_TRUE(SameRule(written[0], rules[0]));
    EXPECT_TRUE(SameRule(written[1], rules[1]));
    FILETIME noon{};
    const SYSTEMTIME wednesday = TestWednesday();
    SystemTimeToFileTime(&wednesday, &noon);
    EXPECT_EQ((static_cast<ULONGLONG>(noon.dwHighDateTime) << 32) | noon.dwLowDateTime, changedAt);
    EXPECT_NE(nullptr, FindProgramRule(rules, L"v:chat.exe|chat||"));
    EXPECT_EQ(nullptr, FindProgramRule(rules, L"v:other"));

    // An empty list is a list: the user has no rules any more.
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramRules(root.Get(), L"anna", {}, 12345));
    EXPECT_EQ(TStoredRules::Whole, ReadProgramRules(root.Get(), L"anna", rules, &changedAt));
    EXPECT_TRUE(rules.empty());
    EXPECT_EQ(12345u, changedAt);

    // Refused whole: too many rules, a rule without a program.
    std::vector<TProgramRule> many(kMostProgramRules + 1, Rule(L"v:a", L"A", true, {}));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, WriteProgramRules(root.Get(), L"anna", many));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              WriteProgramRules(root.Get(), L"anna", {Rule(L"", L"A", true, {})}));
    EXPECT_EQ(ERROR_INVALID_NAME, WriteProgramRules(root.Get(), L"anna\\x", written));
}

TEST_F(ProgramStore, DamagedRulesAreReadAsLessTime) {
    TRegKey key = UserKey(L"\\ProgramRules");
    std::vector<TProgramRule> rules;
    // Two lines for one program: the lesser time of each holds. A line without a program is
    // dropped.
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

TEST(ProgramUsageTest, AddKeepsTheListBounded) {
    TProgramList list;
    for (size_t i = 0; i < kMostProgramsListed; ++i)
        AddProgramMinutes(list, L"v:" + std::to_wstring(i), L"P", 1, false);
    AddProgramMinutes(list, L"v:late", L"Late", 2, false);
    AddProgramMinutes(list, L"v:late2", L"Late 2", 3, false);
    AddProgramMinutes(list, L"v:ruled", L"Ruled", 4, true);
    AddProgramMinutes(list, L"v:0", L"P", 5, false);
    AddProgramMinutes(list, L"v:nothing", L"Nothing", 0, false);
    AddProgramMinutes(list, L"v:1", L"P", INT_MAX, false);
    AddProgramMinutes(list, L"v:1", L"P", 1, false);

    ASSERT_EQ(kMostProgramsListed + 2, list.size());
    EXPECT_EQ(6, ProgramMinutesOf(list, L"v:0"));
    EXPECT_EQ(INT_MAX, ProgramMinutesOf(list, L"v:1"));
    EXPECT_EQ(4, ProgramMinutesOf(list, L"v:ruled"));
    EXPECT_EQ(0, ProgramMinutesOf(list, L"v:late"));
    EXPECT_EQ(0, ProgramMinutesOf(list, L"v:nothing"));
    EXPECT_EQ(L"", list.back().Id);
    EXPECT_EQ(kOtherProgramsName, list.back().Name);
    EXPECT_EQ(5, list.back().Minutes);
}

TEST(ProgramUsageTest, SumSortsMostFirstAndOtherProgramsLast) {
    TProgramList into{{L"v:a", L"A", 5}, {L"", kOtherProgramsName, 50}};
    SumProgramLists(into, {{L"v:b", L"B", 7}, {L"v:a", L"A elsewhere", 3}, {L"", L"x", 1}});
    SumProgramLists(into, {{L"v:c", L"C", 8}});
    ASSERT_EQ(4u, into.size());
    const wchar_t* ids[] = {L"v:a", L"v:c", L"v:b", L""};
    const int minutes[] = {8, 8, 7, 51};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ids[i], into[i].Id) << i;
        EXPECT_EQ(minutes[i], into[i].Minutes) << i;
    }
    EXPECT_EQ(L"A", into[0].Name);
}

TEST_F(ProgramStore, UsageThroughTheRegistry) {
    const SYSTEMTIME today = TestWednesday();
    SYSTEMTIME lastWeek = today;
    lastWeek.wDay = 3;
    const TProgramList list{
        {L"v:a", L"A\tgame", 5}, {L"f:c:\\b.exe", L"b.exe", 2}, {L"", kOtherProgramsName, 9}};
    TProgramList read{{L"v:stale", L"Stale", 1}};
    std::map<std::wstring, TProgramList> lists;

    // Without createUser, a store without the user's key gets nothing.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              WriteProgramUsage(root.Get(), L"anna", L"PC1", today, list, false));
    EXPECT_FALSE(Exists(L"System\\QOR\\Users\\anna"));
    EXPECT_FALSE(ReadProgramUsagePerComputer(root.Get(), L"anna", today, lists));

    ASSERT_EQ(ERROR_SUCCESS, WriteProgramUsage(root.Get(), L"anna", L"PC1", today, list, true));
    ASSERT_EQ(ERROR_SUCCESS, WriteProgramUsage(root.Get(), L"anna", L"PC2", lastWeek, list, false));
    ASSERT_TRUE(ReadProgramUsage(root.Get(), L"anna", L"PC1", today, read));
    ASSERT_EQ(3u, read.size());
    EXPECT_EQ(L"A game", read[0].Name);
    EXPECT_EQ(2, ProgramMinutesOf(read, L"f:c:\\b.exe"));
    EXPECT_EQ(9, ProgramMinutesOf(read, L""));
    // Last week's list, on the same weekday, reads as nothing.
    read = {{L"v:stale", L"Stale", 1}};
    EXPECT_FALSE(ReadProgramUsage(root.Get(), L"anna", L"PC2", today, read));
    EXPECT_EQ(1u, read.size());
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
    TUserFigures written;
    written.Written.dwLowDateTime = 1;
    written.Programs = {{L"Game", 20}, {L"Chat\tnow", 0}};
    ASSERT_EQ(ERROR_SUCCESS, WriteUserFigures(key.Get(), written));
    TUserFigures read;
    ASSERT_TRUE(ReadUserFigures(user, read));
    const std::vector<TProgramLeft> clean{{L"Game", 20}, {L"Chat now", 0}};
    EXPECT_EQ(clean, read.Programs);

    // Written only when the list changed; a change of a name alone is a change.
    TUserFigures next = read;
    next.Programs[0].Name = L"Other game";
    ASSERT_EQ(ERROR_SUCCESS, WriteUserFigures(key.Get(), next, &read));
    ASSERT_TRUE(ReadUserFigures(user, read));
    EXPECT_EQ(next.Programs, read.Programs);
    next.Programs.clear();
    ASSERT_EQ(ERROR_SUCCESS, WriteUserFigures(key.Get(), next, &read));
    ASSERT_TRUE(ReadUserFigures(user, read));
    EXPECT_TRUE(read.Programs.empty());

    // Damaged lines are left out; a missing value is no program.
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
