#include "service/QorService.h"

#include "model/Constants.h"
#include "model/UserStore.h"
#include "pipes/PipeClient.h"
#include "win/Handle.h"

#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace vantrel {
namespace {

using namespace vantrel::testing;

class QorServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        CleanStore();
        SetClockSeam([] { return Time(2026, 6, 10, 3, 12, 0); });
        WritePrefs(false, L"", false, false);
        options.PipeName = UniqueName(L"Service");
        options.LogPath = TempPath(UniqueName(L"Log") + L".log");
        options.MinuteMs = 3600000; // no minute passes during a test
        options.ThisComputer = L"PC-HERE";
        stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    void TearDown() override {
        SetClockSeam(nullptr);
        CleanStore();
        DeleteFileW(options.LogPath.c_str());
    }
    std::string LogText() const { return ReadFileText(options.LogPath); }

    TServiceOptions options;
    THandle stop;
    TFakeSessionHost host;
};

TEST_F(QorServiceTest, TheServiceMessageMakesItReadTheSettingsBeforeItsNextMinute) {
    WritePrefs(false, L"", false, true); // the debug lines show when the user was checked
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 8, 20, 600);
    host.Add(1, L"anna");
    TQorService service(host, options);
    bool ran = false;
    std::thread runner([&] { ran = service.Run(stop.Get()); });

    TPipeClient client;
    client.SetPipeName(options.PipeName);
    EXPECT_TRUE(PumpUntil([&] { return client.Connect(100, true); }));
    // The start-up check comes after the pipe is served: the new hours must not reach it.
    EXPECT_TRUE(PumpUntil([&] { return CountOf(LogText(), "Minute of anna") == 1; }));
    EXPECT_EQ(1, CountOf(LogText(), "Service started on PC-HERE"));
    EXPECT_TRUE(host.Shown().empty());

    // The program saves hours that exclude noon, then tells the service.
    WriteUser(HKEY_LOCAL_MACHINE, L"anna", true, 13, 20, 600);
    ASSERT_TRUE(client.Write(kServiceMessage, 10));
    client.WaitForQueueEmpty();
    EXPECT_TRUE(PumpUntil([&] { return !host.Shown().empty(); }));
    EXPECT_EQ(std::vector<std::wstring>{L"Not now."}, host.ShownTexts());
    EXPECT_EQ(1, CountOf(LogText(), "Settings and preferences read again"));
    EXPECT_EQ(-1, ReadUsage(HKEY_LOCAL_MACHINE, L"anna", L"PC-HERE", 3).first);

    // A second service for the same pipe refuses to start; the first goes on.
    TQorService second(host, options);
    EXPECT_FALSE(second.Run(stop.Get()));
    EXPECT_EQ(1, CountOf(LogText(), "another service serves it already"));

    client.Disconnect();
    SetEvent(stop.Get());
    runner.join();
    EXPECT_TRUE(ran);
    EXPECT_EQ(1, CountOf(LogText(), "Service stopped"));
}

TEST_F(QorServiceTest, TheConsoleServiceCountsTheMinutesOfThisSessionsUser) {
    wchar_t user[257] = {};
    DWORD length = 257;
    ASSERT_TRUE(GetUserNameW(user, &length));
    WriteUser(HKEY_LOCAL_MACHINE, user, true, 0, 24, 600);
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring folder = self;
    folder.resize(folder.find_last_of(L'\\'));
    const std::wstring exe = folder + L"\\..\\src\\service\\QORsvc.exe";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(exe.c_str())) << exe.c_str();

    SetClockSeam(nullptr); // the service runs on the real clock
    std::wstring command = L"\"" + exe + L"\" --console --pipe " + options.PipeName + L" --log \"" +
                           options.LogPath + L"\" --minute 200";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &process));
    const THandle processHandle(process.hProcess), threadHandle(process.hThread);

    // Three short minutes counted, as the program loads them.
    TQorUser seen;
    seen.Username = user;
    const bool counted = PumpUntil([&] {
        LoadUser(seen, false, L"");
        return seen.TodaysTimeUsage >= 3;
    });
    TerminateProcess(processHandle.Get(), 0);
    WaitForSingleObject(processHandle.Get(), 10000);
    EXPECT_TRUE(counted) << LogText();
    EXPECT_EQ(1, CountOf(LogText(), "Service started"));
}

} // namespace
} // namespace vantrel
