#pragma once
// Runs part of a test program again in a child process at another display DPI. Wine reads the
// display DPI from the registry when a process starts, so a window made at 144 DPI can only be
// checked in a process started after the setting was changed.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

namespace vantrel::testing {

// The child finds the DPI it was started for in this variable.
constexpr wchar_t kExpectDpiVariable[] = L"VANTREL_EXPECT_DPI";

// The DPI the parent run asked this run to be at (0 when run directly).
inline int ExpectedDpi() {
    wchar_t value[16] = {};
    if (!GetEnvironmentVariableW(kExpectDpiVariable, value, 16))
        return 0;
    return _wtoi(value);
}

// Runs this program's tests matching `filter` in a new process at `dpi` and returns its exit
// code; the display setting is put back afterwards.
inline DWORD RunTestsAtDpi(int dpi, const std::wstring& filter) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 997;
    DWORD old = 0, size = sizeof(old), type = 0;
    const bool hadOld = RegQueryValueExW(key, L"LogPixels", nullptr, &type,
                                         reinterpret_cast<BYTE*>(&old), &size) == ERROR_SUCCESS &&
                        type == REG_DWORD;
    const DWORD value = static_cast<DWORD>(dpi);
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof(value));
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --gtest_filter=" + filter;
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    SetEnvironmentVariableW(kExpectDpiVariable, std::to_wstring(dpi).c_str());
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    DWORD code = 999;
    if (CreateProcessW(self, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
        if (WaitForSingleObject(pi.hProcess, 100000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        else
            TerminateProcess(pi.hProcess, 998);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    SetEnvironmentVariableW(kExpectDpiVariable, nullptr);
    if (hadOld)
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old),
                       sizeof(old));
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);
    return code;
}

} // namespace vantrel::testing
