#pragma once
// What the pipe tests share: unique pipe names, a message pump with a guard time, and a raw
// server end of a pipe that the test drives byte for byte.
#include "pipes/PipeClient.h"
#include "pipes/PipeFraming.h"
#include "pipes/PipeStream.h"
#include "pipes/ThreadSync.h"
#include "pipes/WriteQueue.h"
#include "win/Files.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::testing {

using Bytes = std::vector<uint8_t>;

// On the calling thread, the allocation after the next `count` ones raises std::bad_alloc
// (AllocationFailure.cpp).
void FailAllocationAfter(int count);

// Every test runs in its own process, in parallel with others: the process id keeps names apart.
inline std::wstring UniquePipeName(const wchar_t* role) {
    static int counter = 0;
    return std::wstring(L"VantrelTest.") + role + L"." + std::to_wstring(GetCurrentProcessId()) +
           L"." + std::to_wstring(++counter);
}

// For the life of the object, this process's temporary folder (TMP and TEMP) is a new folder of
// its own, so that tests running in parallel do not see each other's temporary files.
class TPrivateTempFolder {
public:
    TPrivateTempFolder() {
        FFolder = TempPath() + UniquePipeName(L"Temp");
        CreateDirectoryW(FFolder.c_str(), nullptr);
        FOldTmp = EnvironmentVariable(L"TMP");
        FOldTemp = EnvironmentVariable(L"TEMP");
        SetEnvironmentVariableW(L"TMP", FFolder.c_str());
        SetEnvironmentVariableW(L"TEMP", FFolder.c_str());
    }
    ~TPrivateTempFolder() {
        SetEnvironmentVariableW(L"TMP", FOldTmp.empty() ? nullptr : FOldTmp.c_str());
        SetEnvironmentVariableW(L"TEMP", FOldTemp.empty() ? nullptr : FOldTemp.c_str());
        RemoveDirectoryW(FFolder.c_str());
    }
    TPrivateTempFolder(const TPrivateTempFolder&) = delete;
    TPrivateTempFolder& operator=(const TPrivateTempFolder&) = delete;

    // The temporary folder as the system reports it, however long.
    static std::wstring TempPath() {
        std::wstring path(MAX_PATH + 1, L'\0');
        DWORD length = GetTempPathW(static_cast<DWORD>(path.size()), path.data());
        if (length > path.size()) {
            path.resize(length);
            length = GetTempPathW(length, path.data());
        }
        path.resize(length < path.size() ? length : 0);
        return path;
    }

private:
    std::wstring FFolder, FOldTmp, FOldTemp;
};

inline int ThreadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            count++;
    CloseHandle(snapshot);
    return count;
}

// Dispatches this thread's messages until `done` or the guard time runs out (which only a
// fault lets happen).
inline bool PumpUntil(const std::function<bool()>& done, DWORD guard = 30000) {
    const ULONGLONG start = GetTickCount64();
    while (!done()) {
        if (GetTickCount64() - start > guard)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        ProcessPendingMessages();
    }
    return true;
}

// Waits, without dispatching anything, until the worker has ended its transfer and waits in its
// last send for this thread.
inline bool WaitUntilEnding(TPipeClient& client) {
    const ULONGLONG start = GetTickCount64();
    while (client.IsConnected()) {
        if (GetTickCount64() - start > 30000)
            return false;
        Sleep(10);
    }
    return true;
}

// What a message handler is given, read whole from the start in pieces of at most 1 MB.
inline Bytes ReadAll(TStream& stream) {
    Bytes bytes(static_cast<size_t>(stream.Size()));
    size_t at = 0;
    while (at < bytes.size()) {
        uint32_t count = stream.Read(
            bytes.data() + at, static_cast<uint32_t>(std::min<size_t>(1 << 20, bytes.size() - at)));
        if (count == 0)
            break;
        at += count;
    }
    bytes.resize(at);
    return bytes;
}

// The sizes of the temporary files that hold multi-part messages in this process's temporary
// folder.
inline std::vector<uint64_t> PartFileSizes() {
    wchar_t folder[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, folder);
    const std::wstring mask = std::wstring(folder) + L"PMM*.tmp";
    std::vector<uint64_t> sizes;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(mask.c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do
            sizes.push_back((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
        while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return sizes;
}

inline Bytes Text(const char* text) {
    return Bytes(text, text + std::strlen(text));
}

inline Bytes Pattern(size_t size, uint32_t seed = 1) {
    Bytes b(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        b[i] = static_cast<uint8_t>(x >> 24);
    }
    return b;
}

inline Bytes Control(uint32_t tag) {
    const TPipeControlBlock block = ControlBlock(tag);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&block);
    return Bytes(bytes, bytes + sizeof(block));
}

// The server end of a message-mode pipe in this process. A reader thread collects every
// message the client writes; writes run on their own thread because a message longer than the
// pipe's buffer is only complete when the client has read it.
class TRawServer {
public:
    explicit TRawServer(const std::wstring& name) {
        std::wstring path = L"\\\\.\\pipe\\" + name;
        FPipe = CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 65536,
                                 65536, 1000, nullptr);
        FStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~TRawServer() {
        Close();
        CloseHandle(FStop);
    }
    TRawServer(const TRawServer&) = delete;
    TRawServer& operator=(const TRawServer&) = delete;

    bool Valid() const { return FPipe != INVALID_HANDLE_VALUE; }

    // Starts the reader; call after the client has opened its end.
    void StartReading() {
        FReader = std::thread([this] { ReadLoop(); });
    }

    std::vector<Bytes> Messages() {
        std::lock_guard<std::mutex> guard(FLock);
        return FMessages;
    }
    size_t Count() {
        std::lock_guard<std::mutex> guard(FLock);
        return FMessages.size();
    }
    // Whether the reader saw the client close its end.
    bool ClientGone() const { return FClientGone; }

    // Writes the messages, in order, on a thread of their own.
    void WriteAsync(std::vector<Bytes> messages) {
        JoinWriter();
        FWriter = std::thread([this, messages = std::move(messages)] {
            for (const Bytes& message : messages)
                if (!WriteOne(message))
                    break;
        });
    }
    bool WriteOne(const Bytes& message) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD written = 0;
        BOOL ok = WriteFile(FPipe, message.data(), static_cast<DWORD>(message.size()), &written,
                            &overlapped);
        if (!ok && GetLastError() == ERROR_IO_PENDING)
            ok = GetOverlappedResult(FPipe, &overlapped, &written, TRUE);
        CloseHandle(overlapped.hEvent);
        return ok != FALSE;
    }
    void JoinWriter() {
        if (FWriter.joinable())
            FWriter.join();
    }

    // Closes the server's end, as a service that ends would.
    void Close() {
        SetEvent(FStop);
        if (FReader.joinable())
            FReader.join();
        JoinWriter();
        if (FPipe != INVALID_HANDLE_VALUE)
            CloseHandle(FPipe);
        FPipe = INVALID_HANDLE_VALUE;
    }

private:
    void ReadLoop() {
        Bytes buffer(65536);
        Bytes message;
        OVERLAPPED ov{};
        ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        for (;;) {
            ResetEvent(ov.hEvent);
            DWORD n = 0;
            BOOL ok = ReadFile(FPipe, buffer.data(), static_cast<DWORD>(buffer.size()), &n, &ov);
            DWORD error = ok ? 0 : GetLastError();
            if (error == ERROR_IO_PENDING) {
                HANDLE waits[2] = {FStop, ov.hEvent};
                if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
                    CancelIo(FPipe);
                    GetOverlappedResult(FPipe, &ov, &n, TRUE);
                    break;
                }
                ok = GetOverlappedResult(FPipe, &ov, &n, TRUE);
                error = ok ? 0 : GetLastError();
            }
            message.insert(message.end(), buffer.begin(), buffer.begin() + n);
            if (error == ERROR_MORE_DATA)
                continue;
            if (error != 0) {
                FClientGone = error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
                break;
            }
            std::lock_guard<std::mutex> guard(FLock);
            FMessages.push_back(std::move(message));
            message.clear();
        }
        CloseHandle(ov.hEvent);
    }

    HANDLE FPipe = INVALID_HANDLE_VALUE;
    HANDLE FStop = nullptr;
    std::thread FReader;
    std::thread FWriter;
    std::mutex FLock;
    std::vector<Bytes> FMessages;
    std::atomic<bool> FClientGone{false};
};

// The stand-in's executable, as the build placed it (a Unix path under Wine is on drive Z:).
inline std::wstring StandInPath() {
    std::string path = QOR_STANDIN_EXE;
    std::wstring result(path.begin(), path.end());
    if (!result.empty() && result[0] == L'/') {
        for (auto& c : result)
            if (c == L'/')
                c = L'\\';
        result = L"Z:" + result;
    }
    return result;
}

} // namespace vantrel::testing
