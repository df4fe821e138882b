#include "model/Constants.h"
#include "pipes/PipeClient.h"
#include "service/ServiceLog.h"
#include "service/ServiceState.h"
#include "win/Handle.h"

#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace vantrel {
namespace {

using namespace vantrel::testing;

std::wstring ServiceExe() {
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring folder = self;
    folder.resize(folder.find_last_of(L'\\'));
    wchar_t full[MAX_PATH + 1] = {};
    GetFullPathNameW((folder + L"\\..\\src\\service\\QORsvc.exe").c_str(), MAX_PATH + 1, full,
                     nullptr);
    return full;
}

// Runs QORsvc.exe with the arguments and gives its exit code; -1 when it did not run.
int RunService(const std::wstring& arguments) {
    std::wstring command = L"\"" + ServiceExe() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
        return -1;
    const THandle processHandle(process.hProcess), threadHandle(process.hThread);
    if (WaitForSingleObject(processHandle.Get(), 60000) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(processHandle.Get(), &code);
    return static_cast<int>(code);
}

struct TServiceHandle {
    SC_HANDLE Handle;
    explicit TServiceHandle(SC_HANDLE handle) : Handle(handle) {}
    ~TServiceHandle() {
        if (Handle)
            CloseServiceHandle(Handle);
    }
};

// The running service's process, to wait for.
THandle ServiceProcess(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof(status), &needed) ||
        status.dwProcessId == 0)
        return THandle();
    return THandle(OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));
}

TEST(ServiceManagerTest, InstallRunsAsAnAutomaticServiceAndUninstallRemovesIt) {
    ASSERT_EQ(0, RunService(L"--install"));
    const TServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_NE(nullptr, manager.Handle);
    const std::wstring log = TServiceLog::DefaultPath();
    {
        const TServiceHandle service(OpenServiceW(manager.Handle, L"QORsvc", SERVICE_ALL_ACCESS));
        ASSERT_NE(nullptr, service.Handle) << GetLastError();
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        ASSERT_TRUE(QueryServiceConfigW(service.Handle, config, 8192, &needed));
        EXPECT_STREQ(L"Vantrel time-limit service", config->lpDisplayName);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config->dwStartType);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config->dwServiceType);
        EXPECT_EQ(L"\"" + ServiceExe() + L"\"", std::wstring(config->lpBinaryPathName));

        // Installing again (an upgrade, or another folder) keeps the one registration and
        // points it at the program that asked, set to start automatically again.
        ASSERT_TRUE(ChangeServiceConfigW(service.Handle, SERVICE_NO_CHANGE, SERVICE_DEMAND_START,
                                         SERVICE_NO_CHANGE, L"C:\\elsewhere\\QORsvc.exe", nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(0, RunService(L"--install"));
        ASSERT_TRUE(QueryServiceConfigW(service.Handle, config, 8192, &needed));
        EXPECT_EQ(L"\"" + ServiceExe() + L"\"", std::wstring(config->lpBinaryPathName));
        EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config->dwStartType);

        // --start returns once it runs: it serves "QorPipe" and reads again on the message.
        const int readAgainBefore = CountOf(ReadFileText(log), "Settings and preferences read");
        ASSERT_EQ(0, RunService(L"--start"));
        SERVICE_STATUS status{};
        ASSERT_TRUE(QueryServiceStatus(service.Handle, &status));
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);
        EXPECT_EQ(0, RunService(L"--start")); // already running
        TPipeClient client;
        client.SetPipeName(kPipeName);
        EXPECT_TRUE(PumpUntil([&] { return client.Connect(100, true); }));
        ASSERT_TRUE(client.Write(kServiceMessage, 10));
        client.WaitForQueueEmpty();
        EXPECT_TRUE(PumpUntil([&] {
            return CountOf(ReadFileText(log), "Settings and preferences read") > readAgainBefore;
        }));
        client.Disconnect();

        ASSERT_TRUE(ControlService(service.Handle, SERVICE_CONTROL_STOP, &status));
        EXPECT_TRUE(WaitForServiceState(service.Handle, SERVICE_STOPPED));
        ASSERT_TRUE(QueryServiceStatus(service.Handle, &status));
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), status.dwWin32ExitCode);
        const std::string after = ReadFileText(log);
        EXPECT_GE(CountOf(after, "Service started"), 1);
        EXPECT_EQ(CountOf(after, "Service started"), CountOf(after, "Service stopped"));

        // --stop returns once the service's process has ended, so its program can be replaced.
        ASSERT_EQ(0, RunService(L"--start"));
        const THandle process = ServiceProcess(service.Handle);
        ASSERT_TRUE(process);
        EXPECT_EQ(0, RunService(L"--stop"));
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process.Get(), 0));
        ASSERT_TRUE(QueryServiceStatus(service.Handle, &status));
        EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
        EXPECT_EQ(0, RunService(L"--stop")); // stopped already

        // Started again, then removed while it runs: it has stopped and its process has ended
        // when --uninstall returns, so an uninstaller can delete its files.
        ASSERT_EQ(0, RunService(L"--start"));
        const THandle again = ServiceProcess(service.Handle);
        ASSERT_TRUE(again);
        EXPECT_EQ(0, RunService(L"--uninstall"));
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(again.Get(), 0));
    }
    const std::string removed = ReadFileText(log);
    EXPECT_EQ(CountOf(removed, "Service started"), CountOf(removed, "Service stopped"));
    EXPECT_EQ(nullptr, OpenServiceW(manager.Handle, L"QORsvc", SERVICE_QUERY_STATUS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
    // Nothing to remove, stop or start any more: removing and stopping are done, starting fails.
    EXPECT_EQ(0, RunService(L"--uninstall"));
    EXPECT_EQ(0, RunService(L"--stop"));
    EXPECT_NE(0, RunService(L"--start"));
    EXPECT_EQ(2, RunService(L"--unknown"));
}

} // namespace
} // namespace vantrel
