#pragma once
// Starts, commands and stops the stand-in service from a test. Header only, so that any test
// program can use it without linking anything of the stand-in's.
#include <windows.h>

#include <string>
#include <vector>

namespace vantrel {

class TStandIn {
public:
    TStandIn() = default;
    ~TStandIn() { Stop(); }
    TStandIn(const TStandIn&) = delete;
    TStandIn& operator=(const TStandIn&) = delete;

    // Starts `exe` serving \\.\pipe\<pipeName> (log: `logPath`, or its default when empty;
    // `options`: more of its command line) and waits until its control pipe answers. False when
    // it did not come up.
    bool Start(const std::wstring& exe, const std::wstring& pipeName,
               const std::wstring& logPath = L"", const std::wstring& options = L"",
               DWORD timeout = 20000) {
        Stop();
        FControlPath = L"\\\\.\\pipe\\" + pipeName + L".control";
        std::wstring line = L"\"" + exe + L"\" --pipe \"" + pipeName + L"\"";
        if (!logPath.empty())
            line += L" --log \"" + logPath + L"\"";
        if (!options.empty())
            line += L" " + options;
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(0);
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                            nullptr, nullptr, &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        FProcess = pi.hProcess;
        const ULONGLONG start = GetTickCount64();
        while (GetTickCount64() - start < timeout) {
            if (WaitForSingleObject(FProcess, 0) == WAIT_OBJECT_0)
                break;
            if (Command("ping") == "ok")
                return true;
            Sleep(20);
        }
        Stop();
        return false;
    }

    // One command, one reply (see tools/standin/README.md); empty when it cannot be reached.
    std::string Command(const std::string& text) const {
        if (FControlPath.empty())
            return {};
        HANDLE pipe = INVALID_HANDLE_VALUE;
        for (int attempt = 0; attempt < 100 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
            pipe = CreateFileW(FControlPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
            if (pipe == INVALID_HANDLE_VALUE) {
                DWORD error = GetLastError();
                if (error != ERROR_PIPE_BUSY)
                    return {};
                WaitNamedPipeW(FControlPath.c_str(), 1000);
            }
        }
        if (pipe == INVALID_HANDLE_VALUE)
            return {};
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
        DWORD n = 0;
        std::string reply;
        if (WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), &n, nullptr)) {
            std::vector<char> chunk(65536);
            for (;;) {
                BOOL ok =
                    ReadFile(pipe, chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr);
                reply.append(chunk.data(), n);
                if (ok || GetLastError() != ERROR_MORE_DATA)
                    break;
            }
        }
        CloseHandle(pipe);
        return reply;
    }

    // Asks it to exit and waits; ends it the hard way if it does not.
    void Stop() {
        if (!FProcess)
            return;
        if (WaitForSingleObject(FProcess, 0) != WAIT_OBJECT_0) {
            Command("exit");
            if (WaitForSingleObject(FProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(FProcess, 1);
        }
        CloseHandle(FProcess);
        FProcess = nullptr;
    }

    HANDLE Process() const { return FProcess; }

private:
    HANDLE FProcess = nullptr;
    std::wstring FControlPath;
};

} // namespace vantrel
