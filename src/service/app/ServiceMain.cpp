// QORsvc.exe: the time-limit service. Without arguments the service manager runs it; with
// --console it runs in a console until Ctrl+C, which is how it runs under Wine and when
// debugging; --install and --uninstall register and remove it with the service manager, and
// --start and --stop start and stop the registered service and wait until it runs or its
// process has ended (the installer uses all four).
#include "service/QorService.h"
#include "service/Sessions.h"
#include "win/Handle.h"
#include "win/SystemError.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using namespace vantrel;

constexpr wchar_t kServiceName[] = L"QORsvc";
constexpr wchar_t kDisplayName[] = L"Vantrel time-limit service";

THandle gStopEvent;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
SERVICE_STATUS gStatus{};

void ReportStatus(DWORD state, DWORD exitCode = NO_ERROR) {
    gStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    gStatus.dwCurrentState = state;
    gStatus.dwWin32ExitCode = exitCode;
    // The pipe could not be served; the log says why.
    gStatus.dwServiceSpecificExitCode = exitCode == ERROR_SERVICE_SPECIFIC_ERROR ? 1 : 0;
    gStatus.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    // Starting reads the store, which may be on a network computer that is slow to answer.
    gStatus.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 30000;
    if (gStatusHandle)
        SetServiceStatus(gStatusHandle, &gStatus);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        ReportStatus(SERVICE_STOP_PENDING);
        SetEvent(gStopEvent.Get());
        return NO_ERROR;
    }
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    gStatusHandle = RegisterServiceCtrlHandlerExW(kServiceName, ServiceControl, nullptr);
    if (!gStatusHandle)
        return;
    ReportStatus(SERVICE_START_PENDING);
    gStopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!gStopEvent) {
        ReportStatus(SERVICE_STOPPED, GetLastError());
        return;
    }
    // The service manager must hear that the service stopped, however it stopped; that it
    // runs only once it serves the pipe (a second service for the pipe never runs).
    bool ok = false;
    try {
        TWtsSessionHost host;
        TQorService service(host, TServiceOptions{});
        ok = service.Run(gStopEvent.Get(), [] { ReportStatus(SERVICE_RUNNING); });
    } catch (...) {
        ok = false;
    }
    ReportStatus(SERVICE_STOPPED, ok ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR);
}

BOOL WINAPI ConsoleControl(DWORD) {
    SetEvent(gStopEvent.Get());
    return TRUE;
}

int Fail(const wchar_t* what) {
    const DWORD error = GetLastError();
    std::fwprintf(stderr, L"QORsvc: %ls (error %lu: %ls)\n", what, error,
                  SystemErrorText(error).c_str());
    return 1;
}

struct TServiceHandle {
    SC_HANDLE Handle;
    explicit TServiceHandle(SC_HANDLE handle) : Handle(handle) {}
    ~TServiceHandle() {
        if (Handle)
            CloseServiceHandle(Handle);
    }
    TServiceHandle(const TServiceHandle&) = delete;
    TServiceHandle& operator=(const TServiceHandle&) = delete;
};

int Install() {
    wchar_t exe[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return Fail(L"cannot find its own file");
    const std::wstring command = L"\"" + std::wstring(exe) + L"\"";
    const TServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager.Handle)
        return Fail(L"cannot open the service manager");
    const TServiceHandle service(
        CreateServiceW(manager.Handle, kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                       command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service.Handle) {
        std::wprintf(L"QORsvc: installed as \"%ls\"\n", kDisplayName);
        return 0;
    }
    if (GetLastError() != ERROR_SERVICE_EXISTS)
        return Fail(L"cannot install the service");
    // Installed before (perhaps from another folder): this program, started automatically, is
    // the service from now on; the account an administrator may have chosen stays.
    const TServiceHandle existing(
        OpenServiceW(manager.Handle, kServiceName, SERVICE_CHANGE_CONFIG));
    if (!existing.Handle)
        return Fail(L"cannot open the installed service");
    if (!ChangeServiceConfigW(existing.Handle, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                              SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr,
                              nullptr, nullptr, kDisplayName))
        return Fail(L"cannot update the installed service");
    std::wprintf(L"QORsvc: already installed; now runs %ls\n", command.c_str());
    return 0;
}

// Waits up to 30 seconds for the service to report `wanted`; false when it stops instead.
bool WaitForServiceState(SC_HANDLE service, DWORD wanted) {
    SERVICE_STATUS status{};
    for (int i = 0; i < 300; ++i) {
        if (!QueryServiceStatus(service, &status))
            return false;
        if (status.dwCurrentState == wanted)
            return true;
        if (status.dwCurrentState == SERVICE_STOPPED)
            return false;
        Sleep(100);
    }
    return false;
}

// Stops the service and waits until its process has ended, so that its files can be replaced
// or removed: the service reports "stopped" before its process is gone. True when it is not
// running (any more).
bool StopAndWait(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof(status), &needed))
        return false;
    if (status.dwCurrentState == SERVICE_STOPPED)
        return true;
    // Without the right to wait for the process, the stopped state has to do.
    const THandle process(
        status.dwProcessId != 0 ? OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId) : nullptr);
    // A service that is still starting takes no stop request yet.
    if (status.dwCurrentState == SERVICE_START_PENDING)
        WaitForServiceState(service, SERVICE_RUNNING);
    SERVICE_STATUS stop{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &stop) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE &&
        GetLastError() != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
        return false;
    if (!WaitForServiceState(service, SERVICE_STOPPED))
        return false;
    return !process || WaitForSingleObject(process.Get(), 30000) == WAIT_OBJECT_0;
}

// The registered service, opened with the access asked for through the service manager. When
// it cannot be opened, Service is null and a message says why; Missing tells that there is none.
struct TRegisteredService {
    TServiceHandle Manager;
    TServiceHandle Service{nullptr};
    bool Missing = false;

    explicit TRegisteredService(DWORD access)
        : Manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)) {
        if (!Manager.Handle) {
            Fail(L"cannot open the service manager");
            return;
        }
        Service.Handle = OpenServiceW(Manager.Handle, kServiceName, access);
        Missing = !Service.Handle && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
        if (Missing)
            std::wprintf(L"QORsvc: not installed\n");
        else if (!Service.Handle)
            Fail(L"cannot open the service");
    }
};

int Start() {
    const TRegisteredService registered(SERVICE_START | SERVICE_QUERY_STATUS);
    const SC_HANDLE service = registered.Service.Handle;
    if (!service)
        return 1;
    if (!StartServiceW(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        return Fail(L"cannot start the service");
    if (!WaitForServiceState(service, SERVICE_RUNNING)) {
        std::fwprintf(stderr, L"QORsvc: the service did not start; its log says why\n");
        return 1;
    }
    std::wprintf(L"QORsvc: running\n");
    return 0;
}

int Stop() {
    const TRegisteredService registered(SERVICE_STOP | SERVICE_QUERY_STATUS);
    const SC_HANDLE service = registered.Service.Handle;
    if (!service)
        return registered.Missing ? 0 : 1;
    if (!StopAndWait(service)) {
        std::fwprintf(stderr, L"QORsvc: the service did not stop in time\n");
        return 1;
    }
    std::wprintf(L"QORsvc: stopped\n");
    return 0;
}

int Uninstall() {
    const TRegisteredService registered(SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    const SC_HANDLE service = registered.Service.Handle;
    if (!service)
        return registered.Missing ? 0 : 1;
    // A service that goes on running would keep its files; it stays registered then.
    if (!StopAndWait(service)) {
        std::fwprintf(stderr, L"QORsvc: the service did not stop in time; it stays installed\n");
        return 1;
    }
    // Marked for deletion already, it goes once the last handle to it is closed.
    if (!DeleteService(service) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return Fail(L"cannot remove the service");
    std::wprintf(L"QORsvc: removed\n");
    return 0;
}

int Console(const TServiceOptions& options) {
    gStopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!gStopEvent)
        return Fail(L"cannot create an event");
    SetConsoleCtrlHandler(ConsoleControl, TRUE);
    TWtsSessionHost host;
    TQorService service(host, options);
    const auto serving = [&service] {
        std::wprintf(L"QORsvc: running on \\\\.\\pipe\\%ls, log %ls; Ctrl+C stops\n",
                     service.Options().PipeName.c_str(), service.Log().Path().c_str());
        std::fflush(stdout);
    };
    return service.Run(gStopEvent.Get(), serving) ? 0 : 1;
}

void Usage() {
    std::fwprintf(stderr, L"usage: QORsvc [--install | --start | --stop | --uninstall |\n"
                          L"               --console [--pipe NAME] [--log PATH] "
                          L"[--minute MILLISECONDS]]\n");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 1) {
        SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kServiceName), ServiceMain},
                                        {nullptr, nullptr}};
        if (StartServiceCtrlDispatcherW(table))
            return 0;
        if (GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            Usage();
            return 2;
        }
        return Fail(L"cannot start as a service");
    }
    const std::wstring command = argv[1];
    if (argc == 2 && command == L"--install")
        return Install();
    if (argc == 2 && command == L"--uninstall")
        return Uninstall();
    if (argc == 2 && command == L"--start")
        return Start();
    if (argc == 2 && command == L"--stop")
        return Stop();
    if (command != L"--console") {
        Usage();
        return 2;
    }
    TServiceOptions options;
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (i + 1 < argc && arg == L"--pipe") {
            options.PipeName = argv[++i];
        } else if (i + 1 < argc && arg == L"--log") {
            options.LogPath = argv[++i];
        } else if (i + 1 < argc && arg == L"--minute") {
            const unsigned long ms = std::wcstoul(argv[++i], nullptr, 10);
            if (ms == 0 || ms > 3600000) {
                Usage();
                return 2;
            }
            options.MinuteMs = static_cast<DWORD>(ms);
        } else {
            Usage();
            return 2;
        }
    }
    return Console(options);
}
