// The real service in its console form on "QorPipe": the minutes it counts reach the list
// without a command, and the rows keep their selection, scroll position, focus and widths.
#include "MainFormSupport.h"

#include "win/Handle.h"

namespace vantrel::testing {
namespace {

using MainFormServiceLive = MainFormTest;

std::wstring ServiceExe() {
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring folder = self;
    folder.resize(folder.find_last_of(L'\\'));
    return folder + L"\\..\\src\\service\\QORsvc.exe";
}

TEST_F(MainFormServiceLive, CountedMinutesReachTheRowsAndTheViewStays) {
    wchar_t user[257] = {};
    DWORD length = 257;
    ASSERT_TRUE(GetUserNameW(user, &length));
    SetClockSeam(nullptr); // the service counts on the real clock
    for (int i = 0; i < 40; ++i) {
        Accounts.push_back(L"user" + std::to_wstring(100 + i));
        SeedUser(Accounts.back(), true, 60);
    }
    Accounts.push_back(user);
    SeedUser(user, true, 600);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, UserKey(user).c_str(), 0, KEY_SET_VALUE, &key));
    for (const wchar_t* day : kDaySuffix) {
        WriteDword(key, (std::wstring(L"AllowBegin") + day).c_str(), 0);
        WriteDword(key, (std::wstring(L"AllowEnd") + day).c_str(), 24);
    }
    RegCloseKey(key);

    const std::wstring exe = ServiceExe();
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(exe.c_str())) << exe.c_str();
    std::wstring command = L"\"" + exe + L"\" --console --pipe " + kPipeName + L" --log \"" +
                           TempLogPath() + L"\" --minute 300";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &process));
    const THandle processHandle(process.hProcess), threadHandle(process.hThread);
    struct TEnd {
        HANDLE Process;
        ~TEnd() {
            TerminateProcess(Process, 0);
            WaitForSingleObject(Process, 10000);
        }
    } end{processHandle.Get()};

    const std::wstring pipe = L"\\\\.\\pipe\\" + std::wstring(kPipeName);
    const ULONGLONG started = GetTickCount64();
    while (!WaitNamedPipeW(pipe.c_str(), 1) && GetTickCount64() - started < 15000)
        Sleep(50);
    Start();
    const int row = RowCount() - 1;
    ASSERT_EQ(user, Cell(row, 0));
    SendMessageW(List(), LVM_ENSUREVISIBLE, row, FALSE);
    SelectRow(row);
    SetFocus(List());
    const int top = static_cast<int>(SendMessageW(List(), LVM_GETTOPINDEX, 0, 0));
    ASSERT_GT(top, 0);
    const TQorUser* record = RowUser(row);
    auto widths = [&] {
        std::vector<LRESULT> all;
        for (int column = 0; column < kUserColumnCount; ++column)
            all.push_back(SendMessageW(List(), LVM_GETCOLUMNWIDTH, column, 0));
        return all;
    };
    const std::vector<LRESULT> before = widths();

    // Two minutes counted after the window showed its figures, with no key pressed.
    const std::wstring shown = Cell(row, 3);
    ASSERT_TRUE(
        PumpUntil([&] { return Cell(row, 3) >= L" 00:02" && Cell(row, 3) != shown; }, 20000))
        << Cell(row, 3).c_str();
    const int used = record->TodaysTimeUsage;
    wchar_t remaining[16] = {};
    swprintf(remaining, 16, L" %02d:%02d", (600 - used) / 60, (600 - used) % 60);
    EXPECT_EQ(remaining, Cell(row, 4));
    EXPECT_EQ(row, SelectedRow());
    EXPECT_EQ(top, SendMessageW(List(), LVM_GETTOPINDEX, 0, 0));
    EXPECT_EQ(List(), GetFocus());
    EXPECT_EQ(before, widths());
    EXPECT_EQ(record, RowUser(row));
    EXPECT_NE(std::wstring::npos,
              [&] {
                  wchar_t text[256] = {};
                  SendMessageW(Form().StatusBar, SB_GETTEXTW, TMainForm::kServicePart,
                               reinterpret_cast<LPARAM>(text));
                  return std::wstring(text);
              }()
                  .find(L"Service running, last minute "));
}

TEST_F(MainFormServiceLive, WhileADialogIsOpenTheRowsCatchUpWhenItCloses) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedUsage(L"alice", L"PC1", 20);
    Start();
    ASSERT_TRUE(PumpUntil([&] { return Form().PipeClient()->IsConnected(); }));
    SeedUsage(L"alice", L"PC1", 21);
    // What a modal dialog or message box does to its owner.
    EnableWindow(Form().Handle(), FALSE);
    const std::string news = "41, QORsvc minute; last=2026-12-07 10:00; store=local";
    std::string hex;
    for (unsigned char c : news) {
        char pair[3] = {};
        std::snprintf(pair, sizeof(pair), "%02x", c);
        hex += pair;
    }
    ASSERT_EQ("ok", StandIn.Command("rawhex " + hex));
    ASSERT_TRUE(PumpUntil([&] { return Form().LiveUpdatePending(); }));
    EXPECT_EQ(L" 00:20", Cell(0, 3));
    EnableWindow(Form().Handle(), TRUE);
    EXPECT_TRUE(PumpUntil([&] { return Cell(0, 3) == L" 00:21"; })) << Cell(0, 3).c_str();
    EXPECT_EQ(L" 00:39", Cell(0, 4));
}

TEST_F(MainFormServiceLive, TheServicesNewReadingOfTheSettingsReachesTheRows) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedUsage(L"alice", L"PC1", 20);
    Start();
    ASSERT_TRUE(PumpUntil([&] { return Form().PipeClient()->IsConnected(); }));
    const TQorUser* record = RowUser(0);
    // Another administrator's Vantrel saved a longer limit and told the service.
    SeedUser(L"alice", true, 90);
    SeedUsage(L"alice", L"PC1", 21);
    const std::string news = "42, QORsvc settings; last=2026-12-07 10:00; store=local";
    std::string hex;
    for (unsigned char c : news) {
        char pair[3] = {};
        std::snprintf(pair, sizeof(pair), "%02x", c);
        hex += pair;
    }
    ASSERT_EQ("ok", StandIn.Command("rawhex " + hex));
    EXPECT_TRUE(PumpUntil([&] { return Cell(0, 1) == L" 01:30"; })) << Cell(0, 1).c_str();
    EXPECT_EQ(L" 00:21", Cell(0, 3));
    EXPECT_EQ(L" 01:09", Cell(0, 4));
    EXPECT_EQ(record, RowUser(0));
}

} // namespace
} // namespace vantrel::testing
