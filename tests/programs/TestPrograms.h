#pragma once
// The test programs (Waiter.cpp) as the tests and benchmarks start them: where they are, and a
// started process that is ended when its owner goes, so that none outlives the test.
#include "win/Handle.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>

namespace vantrel::testing {

// CMake names the programs by their Unix paths; Wine reaches them through drive Z:.
inline std::wstring WinePathOf(const char* path) {
    std::wstring result(path, path + strlen(path));
    if (!result.empty() && result[0] == L'/') {
        for (auto& c : result)
            if (c == L'/')
                c = L'\\';
        result = L"Z:" + result;
    }
    return result;
}
inline std::wstring TestGameExe() {
    return WinePathOf(QOR_TEST_GAME_EXE);
}
inline std::wstring TestPlainExe() {
    return WinePathOf(QOR_TEST_PLAIN_EXE);
}

class TStartedProgram {
public:
    TStartedProgram() = default;
    TStartedProgram(TStartedProgram&&) = default;
    TStartedProgram& operator=(TStartedProgram&& other) noexcept {
        if (this != &other) {
            Stop();
            Process = std::move(other.Process);
            Pid = std::exchange(other.Pid, 0);
        }
        return *this;
    }
    ~TStartedProgram() { Stop(); }

    // Starts `exe` with `arguments` (e.g. L"/seconds 60"); false when it could not be started.
    bool Start(const std::wstring& exe, const std::wstring& arguments) {
        Stop();
        std::wstring line = L"\"" + exe + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info))
            return false;
        CloseHandle(info.hThread);
        Process.Reset(info.hProcess);
        Pid = info.dwProcessId;
        return true;
    }
    bool Running() const {
        return Process && WaitForSingleObject(Process.Get(), 0) == WAIT_TIMEOUT;
    }
    // Waits up to `ms` for the process to end by itself or be ended; true when it has.
    bool WaitEnded(DWORD ms) const {
        return !Process || WaitForSingleObject(Process.Get(), ms) == WAIT_OBJECT_0;
    }
    void Stop() {
        if (Process && WaitForSingleObject(Process.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(Process.Get(), 1);
            WaitForSingleObject(Process.Get(), 5000);
        }
        Process.Close();
        Pid = 0;
    }

    THandle Process;
    DWORD Pid = 0;
};

} // namespace vantrel::testing
