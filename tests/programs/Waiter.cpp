// A program that only waits, for the tests and benchmarks that watch and end processes.
//   /seconds N   ends by itself after N seconds (120 when not given), so that no copy outlives
//                the test that started it
//   /restart     a keeper: starts a copy of itself (without /restart) and starts a new one
//                whenever that copy ends, as a game's launcher may bring its game back; when its
//                own time is up it ends its copy and then itself
// Built twice from this one file: with version information (MoonLander.exe) and without.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

struct TOptions {
    DWORD Seconds = 120;
    bool Restart = false;
};

TOptions ReadOptions() {
    TOptions options;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; args && i < count; ++i) {
        if (_wcsicmp(args[i], L"/seconds") == 0 && i + 1 < count)
            options.Seconds = static_cast<DWORD>(wcstoul(args[++i], nullptr, 10));
        else if (_wcsicmp(args[i], L"/restart") == 0)
            options.Restart = true;
    }
    LocalFree(args);
    return options;
}

HANDLE StartCopy(DWORD seconds) {
    wchar_t self[MAX_PATH + 1] = {};
    if (GetModuleFileNameW(nullptr, self, MAX_PATH + 1) == 0)
        return nullptr;
    std::wstring line = L"\"" + std::wstring(self) + L"\" /seconds " + std::to_wstring(seconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    const TOptions options = ReadOptions();
    const ULONGLONG end = GetTickCount64() + ULONGLONG(options.Seconds) * 1000;
    if (!options.Restart) {
        for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64())
            Sleep(static_cast<DWORD>(end - now < 200 ? end - now : 200));
        return 0;
    }
    HANDLE copy = nullptr;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        if (!copy)
            copy = StartCopy(options.Seconds);
        if (!copy) {
            Sleep(200);
            continue;
        }
        if (WaitForSingleObject(copy, static_cast<DWORD>(end - now)) == WAIT_OBJECT_0) {
            CloseHandle(copy);
            copy = nullptr;
        }
    }
    if (copy) {
        TerminateProcess(copy, 0);
        CloseHandle(copy);
    }
    return 0;
}
