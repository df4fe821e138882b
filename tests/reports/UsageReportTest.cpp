#include "reports/UsageReport.h"

#include "ReportsSupport.h"
#include "model/Clock.h"
#include "model/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <thread>

namespace vantrel {
namespace {

const std::string kSep(79, '-');
const std::string kHeading = "TIME USAGE REPORT - VANTREL 1.0.0 ";
// Sunday 6 December 2026, 17:43: weekday 7, day of the year 340.
const wchar_t kFileName[] = L"QOR_Report_20261206_1743.txt";

SYSTEMTIME At(int year, int month, int day, int dayOfWeek, int hour, int minute) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wDayOfWeek = static_cast<WORD>(dayOfWeek);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    return t;
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

class UsageReport : public ::testing::Test {
protected:
    void SetUp() override {
        Clean();
        Now(At(2026, 12, 6, 0, 17, 43));
        temp = std::make_unique<TEnvironmentVariable>(L"TEMP", folder.Path().c_str());
    }
    void TearDown() override {
        temp.reset();
        SetClockSeam(nullptr);
        Clean();
    }
    static void Clean() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users"); }
    static void Now(SYSTEMTIME now) {
        SetClockSeam([now] { return now; });
    }
    static void Usage(const std::wstring& user, const std::wstring& computer, int weekday, int day,
                      int minutes) {
        static const wchar_t* suffix[] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};
        TRegKey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  key.Create(HKEY_LOCAL_MACHINE,
                             L"System\\QOR\\Users\\" + user + L"\\Computers\\" + computer,
                             KEY_SET_VALUE));
        key.WriteInt((std::wstring(L"DayOfYear") + suffix[weekday - 1]).c_str(), day);
        key.WriteInt((std::wstring(L"TimeUsage") + suffix[weekday - 1]).c_str(), minutes);
    }
    TQorUser& AddUser(const std::wstring& name) {
        TQorUser& user = users.Add();
        user.Username = name;
        return user;
    }
    // alice: 65 and 30 minutes today, 20 on Friday. bob: nothing. carol: last week's Saturday,
    // and 0 and -5 minutes on Monday.
    void WeekOfThreeUsers() {
        AddUser(L"alice");
        AddUser(L"bob");
        AddUser(L"carol");
        Usage(L"alice", L"DESK1", 7, 340, 65);
        Usage(L"alice", L"LAPTOP", 7, 340, 30);
        Usage(L"alice", L"LAPTOP", 5, 338, 20);
        Usage(L"carol", L"LAPTOP", 6, 332, 50);
        Usage(L"carol", L"KITCHEN", 1, 334, 0);
        Usage(L"carol", L"OFFICE", 1, 334, -5);
    }
    std::wstring ReportPath() const { return folder.Path() + L"\\" + kFileName; }
    std::string Report() const { return ReadWholeFile(ReportPath()); }

    TScratchFolder folder{L"vantrel-report-test"};
    std::unique_ptr<TEnvironmentVariable> temp;
    TQorUsers users;
    TQorPrefs prefs;
};

TEST_F(UsageReport, WeekWithPerComputerLinesIsWrittenByteForByte) {
    WeekOfThreeUsers();
    prefs.RptTimeUsagePerComputer = true;
    const TUsageReport result = WriteUsageReport(users, prefs);

    EXPECT_EQ(
        Lines({kSep,
               kHeading,
               kSep,
               "",
               "SUNDAY, DECEMBER 6, 2026",
               "",
               "  USER: alice                  TIME USAGE:  01:35    ",
               "    Computer: DESK1            Time usage:  01:05    ",
               "    Computer: LAPTOP           Time usage:  00:30    ",
               "",
               kSep,
               "",
               "SATURDAY, DECEMBER 5, 2026",
               "",
               kSep,
               "",
               "FRIDAY, DECEMBER 4, 2026",
               "",
               "  USER: alice                  TIME USAGE:  00:20    ",
               "    Computer: LAPTOP           Time usage:  00:20    ",
               "",
               kSep,
               "",
               "THURSDAY, DECEMBER 3, 2026",
               "",
               kSep,
               "",
               "WEDNESDAY, DECEMBER 2, 2026",
               "",
               kSep,
               "",
               "TUESDAY, DECEMBER 1, 2026",
               "",
               kSep,
               "",
               "MONDAY, NOVEMBER 30, 2026",
               "",
               kSep,
               "",
               "TOTAL TIME USAGE THIS WEEK",
               "",
               "  USER: alice                  TIME USAGE:  01:55     AVERAGE PER DAY:  00:16    ",
               "  USER: bob                    TIME USAGE:  00:00     AVERAGE PER DAY:  00:00    ",
               "  USER: carol                  TIME USAGE:  00:00     AVERAGE PER DAY:  00:00    ",
               "",
               kSep}),
        Report());
    EXPECT_EQ(115, users.Items(0).WeekTimeUsage);
    EXPECT_EQ(0, users.Items(1).WeekTimeUsage);
    EXPECT_EQ(0, users.Items(2).WeekTimeUsage);
    EXPECT_EQ(TUsageReportState::Written, result.State);
    EXPECT_EQ(ReportPath(), result.Path);
    EXPECT_EQ(DWORD{ERROR_SUCCESS}, result.Error);
}

TEST_F(UsageReport, WeekWithoutPerComputerLinesHasOneBlankLineAfterEachDaysUsers) {
    WeekOfThreeUsers();
    Usage(L"bob", L"DESK1", 7, 340, 10);
    prefs.RptTimeUsagePerComputer = false;
    WriteUsageReport(users, prefs);

    EXPECT_EQ(
        Lines({kSep,
               kHeading,
               kSep,
               "",
               "SUNDAY, DECEMBER 6, 2026",
               "",
               "  USER: alice                  TIME USAGE:  01:35    ",
               "  USER: bob                    TIME USAGE:  00:10    ",
               "",
               kSep,
               "",
               "SATURDAY, DECEMBER 5, 2026",
               "",
               "",
               kSep,
               "",
               "FRIDAY, DECEMBER 4, 2026",
               "",
               "  USER: alice                  TIME USAGE:  00:20    ",
               "",
               kSep,
               "",
               "THURSDAY, DECEMBER 3, 2026",
               "",
               "",
               kSep,
               "",
               "WEDNESDAY, DECEMBER 2, 2026",
               "",
               "",
               kSep,
               "",
               "TUESDAY, DECEMBER 1, 2026",
               "",
               "",
               kSep,
               "",
               "MONDAY, NOVEMBER 30, 2026",
               "",
               "",
               kSep,
               "",
               "TOTAL TIME USAGE THIS WEEK",
               "",
               "  USER: alice                  TIME USAGE:  01:55     AVERAGE PER DAY:  00:16    ",
               "  USER: bob                    TIME USAGE:  00:10     AVERAGE PER DAY:  00:01    ",
               "  USER: carol                  TIME USAGE:  00:00     AVERAGE PER DAY:  00:00    ",
               "",
               kSep}),
        Report());
}

TEST_F(UsageReport, FirstOfJanuaryHasOnlyTodayAndStillDividesBySeven) {
    // Friday 1 January 2027; Thursday 31 December carries day 365 and lies in the old year.
    Now(At(2027, 1, 1, 5, 8, 5));
    AddUser(L"dana");
    Usage(L"dana", L"DESK1", 5, 1, 95);
    Usage(L"dana", L"DESK1", 4, 365, 40);
    WriteUsageReport(users, prefs);

    EXPECT_EQ(
        Lines({kSep, kHeading, kSep, "", "FRIDAY, JANUARY 1, 2027", "",
               "  USER: dana                   TIME USAGE:  01:35    ", "", kSep, "",
               "TOTAL TIME USAGE THIS WEEK", "",
               "  USER: dana                   TIME USAGE:  01:35     AVERAGE PER DAY:  00:14    ",
               "", kSep}),
        ReadWholeFile(folder.Path() + L"\\QOR_Report_20270101_0805.txt"));
    EXPECT_EQ(95, users.Items(0).WeekTimeUsage);
}

TEST_F(UsageReport, ThirdOfJanuaryGoesBackToTheFirstAndNoFurther) {
    // Sunday 3 January 2027.
    Now(At(2027, 1, 3, 0, 23, 59));
    AddUser(L"dana");
    Usage(L"dana", L"DESK1", 7, 3, 30);
    Usage(L"dana", L"DESK1", 5, 1, 30);
    Usage(L"dana", L"DESK1", 4, 365, 30);
    prefs.RptTimeUsagePerComputer = true;
    WriteUsageReport(users, prefs);

    EXPECT_EQ(
        Lines({kSep,
               kHeading,
               kSep,
               "",
               "SUNDAY, JANUARY 3, 2027",
               "",
               "  USER: dana                   TIME USAGE:  00:30    ",
               "    Computer: DESK1            Time usage:  00:30    ",
               "",
               kSep,
               "",
               "SATURDAY, JANUARY 2, 2027",
               "",
               kSep,
               "",
               "FRIDAY, JANUARY 1, 2027",
               "",
               "  USER: dana                   TIME USAGE:  00:30    ",
               "    Computer: DESK1            Time usage:  00:30    ",
               "",
               kSep,
               "",
               "TOTAL TIME USAGE THIS WEEK",
               "",
               "  USER: dana                   TIME USAGE:  01:00     AVERAGE PER DAY:  00:09    ",
               "",
               kSep}),
        ReadWholeFile(folder.Path() + L"\\QOR_Report_20270103_2359.txt"));
}

TEST_F(UsageReport, LongNamesPushTheRestOfTheirLinesAndAreNeverCut) {
    AddUser(L"maximilian-alexander-k");
    AddUser(L"exactly-twenty-chars");
    Usage(L"maximilian-alexander-k", L"WORKSTATION-0042", 7, 340, 6000);
    Usage(L"exactly-twenty-chars", L"FOURTEEN-CHARS", 7, 340, 1);
    prefs.RptTimeUsagePerComputer = true;
    WriteUsageReport(users, prefs);

    const std::string report = Report();
    for (const char* line : {
             "\r\n  USER: maximilian-alexander-k   TIME USAGE:  100:00   \r\n",
             "\r\n    Computer: WORKSTATION-0042   Time usage:  100:00   \r\n",
             "\r\n  USER: exactly-twenty-chars   TIME USAGE:  00:01    \r\n",
             "\r\n    Computer: FOURTEEN-CHARS   Time usage:  00:01    \r\n",
             "\r\n  USER: maximilian-alexander-k   TIME USAGE:  100:00    AVERAGE PER DAY:  14:17  "
             "  \r\n",
         })
        EXPECT_NE(std::string::npos, report.find(line)) << line;
}

TEST_F(UsageReport, AverageIsRoundedToTheNearestMinute) {
    // 95 / 7 = 13.57, 99 / 7 = 14.14, 102 / 7 = 14.57; a remainder of 4 or more rounds up.
    const int minutes[] = {95, 99, 102, 3, 4};
    for (int i = 0; i < 5; ++i) {
        std::wstring name = L"user" + std::to_wstring(i);
        AddUser(name);
        Usage(name, L"PC", 7, 340, minutes[i]);
    }
    WriteUsageReport(users, prefs);
    const std::string report = Report();
    const char* averages[] = {"00:14", "00:14", "00:15", "00:00", "00:01"};
    for (int i = 0; i < 5; ++i) {
        size_t at = report.find("  USER: user" + std::to_string(i) + " ",
                                report.find("TOTAL TIME USAGE THIS WEEK"));
        ASSERT_NE(std::string::npos, at) << i;
        at = report.find("AVERAGE PER DAY: ", at);
        ASSERT_NE(std::string::npos, at) << i;
        EXPECT_EQ(std::string(" ") + averages[i] + "    \r\n", report.substr(at + 17, 12)) << i;
        EXPECT_EQ(minutes[i], users.Items(i).WeekTimeUsage);
    }
}

TEST_F(UsageReport, DamagedHugeUsageSaturatesInsteadOfWrappingAround) {
    AddUser(L"erin");
    Usage(L"erin", L"PC1", 7, 340, 0x7FFFFFFF);
    Usage(L"erin", L"PC2", 7, 340, 0x7FFFFFFF);
    Usage(L"erin", L"PC1", 6, 339, 0x7FFFFFFF);
    WriteUsageReport(users, prefs);
    EXPECT_EQ(0x7FFFFFFF, users.Items(0).WeekTimeUsage);
    EXPECT_EQ(std::string::npos, Report().find("TIME USAGE: -"));
    EXPECT_NE(std::string::npos, Report().find("TIME USAGE:  35791394:07"));
}

TEST_F(UsageReport, TwoReportsInOneMinuteShareTheFileAndTheSecondReplacesTheFirst) {
    AddUser(L"alice");
    Usage(L"alice", L"DESK1", 7, 340, 65);
    WriteUsageReport(users, prefs);
    ASSERT_NE(std::string::npos, Report().find("TIME USAGE:  01:05"));

    Now(At(2026, 12, 6, 0, 17, 43));
    Usage(L"alice", L"DESK1", 7, 340, 5);
    EXPECT_EQ(TUsageReportState::Written, WriteUsageReport(users, prefs).State);
    const std::string report = Report();
    EXPECT_EQ(std::string::npos, report.find("01:05"));
    EXPECT_NE(std::string::npos, report.find("TIME USAGE:  00:05     AVERAGE PER DAY:  00:01"));
    EXPECT_EQ(std::vector<std::wstring>{kFileName}, folder.Files());
    EXPECT_EQ(5, users.Items(0).WeekTimeUsage);
}

TEST_F(UsageReport, MissingOrEmptyTempWritesNothing) {
    AddUser(L"alice");
    for (const wchar_t* value : {static_cast<const wchar_t*>(nullptr), L""}) {
        users.Items(0).WeekTimeUsage = 77;
        TEnvironmentVariable noTemp(L"TEMP", value);
        const TUsageReport result = WriteUsageReport(users, prefs);
        EXPECT_EQ(TUsageReportState::NoTempFolder, result.State);
        EXPECT_EQ(L"", result.Path);
        EXPECT_EQ(77, users.Items(0).WeekTimeUsage);
    }
    EXPECT_TRUE(folder.Files().empty());
}

TEST_F(UsageReport, TempFolderThatDoesNotExistCannotTakeTheFile) {
    AddUser(L"alice");
    users.Items(0).WeekTimeUsage = 77;
    TEnvironmentVariable missing(L"TEMP", (folder.Path() + L"\\missing").c_str());
    const TUsageReport result = WriteUsageReport(users, prefs);
    EXPECT_EQ(TUsageReportState::NotCreated, result.State);
    EXPECT_EQ(folder.Path() + L"\\missing\\" + kFileName, result.Path);
    EXPECT_EQ(DWORD{ERROR_PATH_NOT_FOUND}, result.Error);
    EXPECT_EQ(77, users.Items(0).WeekTimeUsage);
}

TEST_F(UsageReport, RelativeTempIsMadeAbsolute) {
    AddUser(L"alice");
    wchar_t old[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));
    CreateDirectoryW(L"relative", nullptr);
    TUsageReport result;
    {
        TEnvironmentVariable relative(L"TEMP", L"relative");
        result = WriteUsageReport(users, prefs);
    }
    SetCurrentDirectoryW(old);
    EXPECT_EQ(TUsageReportState::Written, result.State);
    EXPECT_EQ(folder.Path() + L"\\relative\\" + kFileName, result.Path);
    EXPECT_FALSE(ReadWholeFile(result.Path).empty());
}

TEST_F(UsageReport, NamesOfTheAnsiCodePageGiveSingleByteText) {
    ASSERT_EQ(1252u, GetACP()) << "the expected bytes are those of the Western code page";
    AddUser(L"Zo\u00eb");
    Usage(L"Zo\u00eb", L"CAF\u00c9", 7, 340, 30);
    prefs.RptTimeUsagePerComputer = true;
    WriteUsageReport(users, prefs);
    const std::string report = Report();
    EXPECT_EQ(kSep + "\r\n", report.substr(0, 81));
    EXPECT_NE(std::string::npos, report.find("\r\n  USER: Zo\xeb" + std::string(20, ' ') +
                                             "TIME USAGE:  00:30    \r\n"));
    EXPECT_NE(std::string::npos, report.find("\r\n    Computer: CAF\xc9" + std::string(13, ' ') +
                                             "Time usage:  00:30    \r\n"));
}

TEST_F(UsageReport, NamesOutsideTheAnsiCodePageGiveUtf8WithAByteOrderMark) {
    // "Jānis" would come out as "Janis" through a best-fit mapping: no better than '?'.
    for (const std::wstring name : {L"\u5c71\u7530", L"\u0141ukasz", L"J\u0101nis"}) {
        users.Clear();
        AddUser(name);
        Clean();
        Usage(name, L"DESK1", 7, 340, 95);
        WriteUsageReport(users, prefs);
        const std::string report = Report();
        ASSERT_EQ("\xEF\xBB\xBF" + kSep + "\r\n", report.substr(0, 84));
        std::wstring padded = name + std::wstring(20 - name.size(), L' ');
        EXPECT_NE(std::string::npos,
                  report.find(Utf8(L"\r\n  USER: " + padded + L"   TIME USAGE:  01:35    \r\n")));
        EXPECT_NE(std::string::npos,
                  report.find(Utf8(L"\r\n  USER: " + padded +
                                   L"   TIME USAGE:  01:35     AVERAGE PER DAY:  00:14    \r\n")));
    }
}

TEST_F(UsageReport, EncodingChoosesAnsiOnlyWhenEveryCharacterFits) {
    EXPECT_EQ("TIME \xe9t\xe9\r\n", EncodeReportText(L"TIME \u00e9t\u00e9\r\n"));
    EXPECT_EQ("\xEF\xBB\xBF"
              "a\xC4\x81\r\n",
              EncodeReportText(L"a\u0101\r\n"));
    EXPECT_EQ("\xEF\xBB\xBF"
              "\xF0\x9F\x98\x80",
              EncodeReportText(L"\U0001F600"));
    EXPECT_EQ("", EncodeReportText(L""));
    EXPECT_EQ(L"QOR_Report_20260307_0905.txt", UsageReportFileName(At(2026, 3, 7, 6, 9, 5)));
}

TEST_F(UsageReport, MidnightDuringTheReportChangesNeitherItsNameNorItsDays) {
    AddUser(L"alice");
    Usage(L"alice", L"DESK1", 7, 340, 65);
    Usage(L"alice", L"DESK1", 1, 341, 15);
    int calls = 0;
    SetClockSeam(
        [&calls] { return ++calls == 1 ? At(2026, 12, 6, 0, 23, 59) : At(2026, 12, 7, 1, 0, 0); });
    WriteUsageReport(users, prefs);
    const std::string report = ReadWholeFile(folder.Path() + L"\\QOR_Report_20261206_2359.txt");
    EXPECT_EQ(0u, report.find(Lines({kSep, kHeading, kSep, "", "SUNDAY, DECEMBER 6, 2026", "",
                                     "  USER: alice                  TIME USAGE:  01:05    "})));
    EXPECT_EQ(std::string::npos, report.find("DECEMBER 7"));
    EXPECT_EQ(65, users.Items(0).WeekTimeUsage);
}

// The report's "file" is a pipe whose reader goes away without reading: not even the heading
// can be written.
TEST_F(UsageReport, HeadingThatCannotBeWrittenIsAFileThatCannotBeCreated) {
    AddUser(L"alice");
    const std::wstring pipePath = std::wstring(L"\\\\.\\pipe\\") + kFileName;
    HANDLE pipe = CreateNamedPipeW(pipePath.c_str(), PIPE_ACCESS_INBOUND,
                                   PIPE_TYPE_BYTE | PIPE_WAIT, 1, 1, 1, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    std::thread reader([pipe] {
        ConnectNamedPipe(pipe, nullptr);
        CloseHandle(pipe);
    });
    TUsageReport result;
    {
        TEnvironmentVariable toPipe(L"TEMP", L"\\\\.\\pipe");
        result = WriteUsageReport(users, prefs);
    }
    HANDLE poke =
        CreateFileW(pipePath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (poke != INVALID_HANDLE_VALUE)
        CloseHandle(poke);
    reader.join();
    EXPECT_EQ(TUsageReportState::NotCreated, result.State);
    EXPECT_NE(DWORD{ERROR_SUCCESS}, result.Error);
}

// A write that fails after the heading: the report's "file" is a pipe whose reader takes the
// heading and then goes away.
TEST_F(UsageReport, WriteFailureAfterTheHeadingGivesTheFileAndTheReasonAndGoesOn) {
    WeekOfThreeUsers();
    const std::wstring pipePath = std::wstring(L"\\\\.\\pipe\\") + kFileName;
    HANDLE pipe = CreateNamedPipeW(pipePath.c_str(), PIPE_ACCESS_INBOUND,
                                   PIPE_TYPE_BYTE | PIPE_WAIT, 1, 1, 1, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    const size_t headingBytes = UsageReportHeading().size();
    std::string received;
    std::thread reader([&] {
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            return;
        char buffer[256];
        while (received.size() < headingBytes) {
            DWORD got = 0;
            DWORD want =
                static_cast<DWORD>(std::min<size_t>(sizeof buffer, headingBytes - received.size()));
            if (!ReadFile(pipe, buffer, want, &got, nullptr) || got == 0)
                break;
            received.append(buffer, got);
        }
        CloseHandle(pipe);
    });
    TUsageReport result;
    {
        TEnvironmentVariable toPipe(L"TEMP", L"\\\\.\\pipe");
        result = WriteUsageReport(users, prefs);
    }
    // Should the report never have reached the pipe, this lets the reader go instead of hanging.
    HANDLE poke =
        CreateFileW(pipePath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (poke != INVALID_HANDLE_VALUE)
        CloseHandle(poke);
    reader.join();

    EXPECT_EQ(Lines({kSep, kHeading, kSep}), received);
    EXPECT_EQ(TUsageReportState::NotWritten, result.State);
    EXPECT_EQ(pipePath, result.Path);
    EXPECT_NE(DWORD{ERROR_SUCCESS}, result.Error);
    EXPECT_EQ(115, users.Items(0).WeekTimeUsage);
}

} // namespace
} // namespace vantrel
