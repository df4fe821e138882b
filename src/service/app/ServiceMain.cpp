// QORsvc.exe: the time-limit service. Without arguments the service manager runs it; with
// --console it runs in a console until Ctrl+C, which is how it runs under Wine and when
// debugging; --install and --uninstall register and remove it with the service manager, and
// --start and --stop start and stop the registered service and wait until it runs or its
// process has ended (the installer uses all four).
#include "service/QorService.h"
#include "service/ServiceState.h"
#include "service/Sessions.h"
#include "win/Handle.h"
#include "win/Lock.h"
#include "win/ScopeExit.h"
#include "win/SystemError.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using namespace vantrel;

constexpr wchar_t kServiceName[] = L"QORsvc";
constexpr wchar_t kDisplayName[] = L"Vantrel time-limit service";
// What the service promises the service manager: it runs within this after its start (it
// reads the store only once it runs), and has stopped within this after a stop request. The
// minute's work in hand ends within the store's deadline, far sooner; should it not, the
// process ends regardless, a little before the promise runs out.
constexpr DWORD kStartWaitMs = 30000;
constexpr DWORD kStopWaitMs = 20000;
constexpr DWORD kStopMarginMs = 2000;

THandle gStopEvent;
// Set once Run has returned and the log may no longer be written from another thread.
THandle gDoneEvent;
TServiceLog* gLog = nullptr;     // under gStatusLock
TQorService* gService = nullptr; // under gStatusLock
TCriticalSection gStatusLock;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
SERVICE_STATUS gStatus{};

bool IsPending(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
}

// Called from the service's threads and from the control handler. A stop under way is never
// undone by a late "running", and nothing follows "stopped"; each report of the same pending
// state is the next check point.
void ReportStatus(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHint = 0) {
    TLockGuard guard(gStatusLock);
    const DWORD current = gStatus.dwCurrentState;
    if (current == SERVICE_STOPPED || (current == SERVICE_STOP_PENDING &&
                                       state != SERVICE_STOPPED && state != SERVICE_STOP_PENDING))
        return;
    gStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    gStatus.dwCheckPoint = !IsPending(state) ? 0 : state == current ? gStatus.dwCheckPoint + 1 : 1;
    gStatus.dwCurrentState = state;
    gStatus.dwWin32ExitCode = exitCode;
    // The service could not run at all; the log says why.
    gStatus.dwServiceSpecificExitCode = exitCode == ERROR_SERVICE_SPECIFIC_ERROR ? 1 : 0;
    gStatus.dwControlsAccepted =
        state == SERVICE_RUNNING
            ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_SESSIONCHANGE
            : 0;
    gStatus.dwWaitHint = IsPending(state) ? waitHint : 0;
    if (gStatusHandle)
        SetServiceStatus(gStatusHandle, &gStatus);
}

// Never waits: the minute's work may be in the middle of a slow store.
DWORD WINAPI ServiceControl(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        ReportStatus(SERVICE_STOP_PENDING, NO_ERROR, kStopWaitMs);
        SetEvent(gStopEvent.Get());
        return NO_ERROR;
    }
    if (control == SERVICE_CONTROL_SESSIONCHANGE) {
        // A lock, an unlock, a logon, a logoff, a connect or a disconnect: the time in use is
        // measured from this moment, not from the next look.
        TLockGuard guard(gStatusLock);
        if (gService)
            gService->SessionChanged();
        return NO_ERROR;
    }
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

// From a stop request until Run returns: a check point every second, and, should the minute's
// work not end in time, "stopped" and the end of the process before the promise runs out.
DWORD WINAPI StopWatch(void*) {
    HANDLE waits[2] = {gDoneEvent.Get(), gStopEvent.Get()};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
        return 0;
    const ULONGLONG deadline = GetTickCount64() + kStopWaitMs - kStopMarginMs;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        const DWORD step = static_cast<DWORD>(deadline - now < 1000 ? deadline - now : 1000);
        if (WaitForSingleObject(gDoneEvent.Get(), step) != WAIT_TIMEOUT)
            return 0;
        ReportStatus(SERVICE_STOP_PENDING, NO_ERROR,
                     static_cast<DWORD>(deadline - now) + kStopMarginMs);
    }
    TLockGuard guard(gStatusLock);
    if (WaitForSingleObject(gDoneEvent.Get(), 0) != WAIT_TIMEOUT)
        return 0;
    if (gLog)
        gLog->WriteFixed(L"Service stopped: the minute's work did not end in time, so its "
                         L"process was ended");
    ReportStatus(SERVICE_STOPPED);
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    gStatusHandle = RegisterServiceCtrlHandlerExW(kServiceName, ServiceControl, nullptr);
    if (!gStatusHandle)
        return;
    ReportStatus(SERVICE_START_PENDING, NO_ERROR, kStartWaitMs);
    gStopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    gDoneEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const THandle watch(gStopEvent && gDoneEvent
                            ? CreateThread(nullptr, 0, StopWatch, nullptr, 0, nullptr)
                            : nullptr);
    if (!watch) {
        ReportStatus(SERVICE_STOPPED, GetLastError());
        return;
    }
    // The service manager must hear that the service stopped, however it stopped; a failure
    // (an exception, or a service that cannot run) makes it start the service again.
    bool ok = false;
    try {
        TWtsSessionHost host;
        TQorService service(host, TServiceOptions{});
        const auto done = ScopeExit([] {
            TLockGuard guard(gStatusLock);
            gLog = nullptr;
            gService = nullptr;
            SetEvent(gDoneEvent.Get());
        });
        {
            TLockGuard guard(gStatusLock);
            gLog = &service.Log();
            gService = &service;
        }
        ok = service.Run(gStopEvent.Get(), [] { ReportStatus(SERVICE_RUNNING); });
    } catch (...) {
        ok = false;
    }
    SetEvent(gDoneEvent.Get());
    WaitForSingleObject(watch.Get(), INFINITE);
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

// The service manager starts the service again after a failure: 10 seconds after the first,
// then a minute after each, counted afresh after a day without one; also when the service
// stops with an error of its own, not only when its process ends unexpectedly. The service is
// registered all the same when they cannot be set (Wine keeps none).
void SetFailureActions(SC_HANDLE service) {
    SC_ACTION actions[3] = {
        {SC_ACTION_RESTART, 10000}, {SC_ACTION_RESTART, 60000}, {SC_ACTION_RESTART, 60000}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = 3;
    failure.lpsaActions = actions;
    SERVICE_FAILURE_ACTIONS_FLAG always{TRUE};
    if (ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) &&
        ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &always))
        return;
    const DWORD error = GetLastError();
    std::fwprintf(stderr,
                  L"QORsvc: the service manager did not take all failure actions (error %lu: "
                  L"%ls); the service may not be started again after a failure\n",
                  error, SystemErrorText(error).c_str());
}

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
        SetFailureActions(service.Handle);
        std::wprintf(L"QORsvc: installed as \"%ls\"\n", kDisplayName);
        return 0;
    }
    if (GetLastError() != ERROR_SERVICE_EXISTS)
        return Fail(L"cannot install the service");
    // Installed before (perhaps from another folder): this program, started automatically, is
    // the service from now on; the account an administrator may have chosen stays. Restarting
    // after a failure needs the right to start it.
    const TServiceHandle existing(
        OpenServiceW(manager.Handle, kServiceName, SERVICE_CHANGE_CONFIG | SERVICE_START));
    if (!existing.Handle)
        return Fail(L"cannot open the installed service");
    if (!ChangeServiceConfigW(existing.Handle, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                              SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr,
                              nullptr, nullptr, kDisplayName))
        return Fail(L"cannot update the installed service");
    SetFailureActions(existing.Handle);
    std::wprintf(L"QORsvc: already installed; now runs %ls\n", command.c_str());
    return 0;
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
    // A service whose stop took longer than its stopper waited (an installer that gave up) may
    // still be stopping: it is started again once it has stopped.
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOP_PENDING)
        WaitForServiceState(service, SERVICE_STOPPED);
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
    const auto running = [&service] {
        std::wprintf(L"QORsvc: running for \\\\.\\pipe\\%ls, log %ls; Ctrl+C stops\n",
                     service.Options().PipeName.c_str(), service.Log().Path().c_str());
        std::fflush(stdout);
    };
    return service.Run(gStopEvent.Get(), running) ? 0 : 1;
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
