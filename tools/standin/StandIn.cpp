// A stand-in for the time-limit service: serves the service's pipe in message mode to any
// number of clients, reads every message, logs one line per message and, for tests, does
// what its control pipe tells it (see README.md).
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kMaxPipeMessage = 65534;
constexpr uint32_t kControlMagic = 0x4347414D; // "MAGC"
constexpr uint32_t kTagStart = 0x424D5453;     // "STMB"
constexpr uint32_t kTagEnd = 0x424D5445;       // "ETMB"
constexpr DWORD kPipeBuffer = 65536;

struct Options {
    std::wstring pipeName = L"QorPipe";
    std::wstring controlName;
    std::wstring logPath;
};

Options gOptions;
HANDLE gStopEvent = nullptr;   // set on "exit"
HANDLE gResumeEvent = nullptr; // set while reading, reset while stalled
HANDLE gStallEvent = nullptr;  // the opposite
std::atomic<bool> gEcho{false};
std::atomic<bool> gStalled{false};

std::mutex gStatsLock;
uint64_t gMessages = 0;
uint64_t gBytes = 0;
uint64_t gPipeMessages = 0;
Bytes gLast;

std::mutex gLogLock;

bool IsControlBlock(const Bytes& m, uint32_t* tag) {
    if (m.size() != 16)
        return false;
    uint32_t w[4];
    std::memcpy(w, m.data(), 16);
    if (w[0] != 16 || w[1] != kControlMagic || w[3] != kControlMagic)
        return false;
    *tag = w[2];
    return true;
}

Bytes ControlBlock(uint32_t tag) {
    uint32_t w[4] = {16, kControlMagic, tag, kControlMagic};
    return Bytes(reinterpret_cast<uint8_t*>(w), reinterpret_cast<uint8_t*>(w) + 16);
}

// Byte i of a generated reply: (i * 7) mod 251, so that no run of bytes repeats early.
Bytes Pattern(uint32_t size) {
    Bytes b(size);
    for (uint32_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>((static_cast<uint64_t>(i) * 7) % 251);
    return b;
}

std::wstring DefaultLogPath() {
    wchar_t folder[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(L"ProgramFiles", folder, MAX_PATH);
    std::wstring base = (n > 0 && n < MAX_PATH) ? folder : L"C:\\Program Files";
    return base + L"\\QOR\\QORevents.log";
}

void CreateFolderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash == 0)
        return;
    std::wstring folder = path.substr(0, slash);
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
        return;
    CreateFolderOf(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
}

void LogMessage(const Bytes& m) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char head[96];
    std::snprintf(head, sizeof(head), "%04u-%02u-%02u %02u:%02u:%02u.%03u  %zu bytes", t.wYear,
                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, m.size());
    std::string line = head;
    bool printable = !m.empty() && m.size() <= 256;
    for (uint8_t c : m)
        printable = printable && c >= 0x20 && c < 0x7F;
    if (printable)
        line += "  " + std::string(m.begin(), m.end());
    line += "\r\n";
    std::lock_guard<std::mutex> guard(gLogLock);
    CreateFolderOf(gOptions.logPath);
    HANDLE file = CreateFileW(gOptions.logPath.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

// One connected client, served by its own thread with overlapped I/O, so that writing a long
// reply never stops it from reading (the client's writer waits for us to read).
class Session {
public:
    explicit Session(HANDLE pipe) : FPipe(pipe) {
        FReadEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        FWriteEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        FQueueEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        FCloseEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Session() {
        CloseHandle(FReadEvent);
        CloseHandle(FWriteEvent);
        CloseHandle(FQueueEvent);
        CloseHandle(FCloseEvent);
    }

    void Send(Bytes message) {
        std::lock_guard<std::mutex> guard(FQueueLock);
        FQueue.push_back(std::move(message));
        if (!FQueueSignalled) {
            SetEvent(FQueueEvent);
            FQueueSignalled = true;
        }
    }
    // A long message goes out as "STMB", parts of at most 65,534 bytes, "ETMB".
    void SendFramed(const Bytes& message) {
        std::lock_guard<std::mutex> guard(FQueueLock);
        if (message.size() <= kMaxPipeMessage) {
            FQueue.push_back(message);
        } else {
            FQueue.push_back(ControlBlock(kTagStart));
            for (size_t at = 0; at < message.size(); at += kMaxPipeMessage) {
                size_t n = std::min<size_t>(kMaxPipeMessage, message.size() - at);
                FQueue.emplace_back(message.begin() + at, message.begin() + at + n);
            }
            FQueue.push_back(ControlBlock(kTagEnd));
        }
        if (!FQueueSignalled) {
            SetEvent(FQueueEvent);
            FQueueSignalled = true;
        }
    }
    void Close() { SetEvent(FCloseEvent); }
    bool Ended() const { return FEnded; }
    bool Reading() const { return FReading; }

    void Run() {
        Bytes buffer(kPipeBuffer);
        Bytes incoming;
        OVERLAPPED readOv{}, writeOv{};
        readOv.hEvent = FReadEvent;
        writeOv.hEvent = FWriteEvent;
        bool readPending = false, writePending = false;
        Bytes writing;
        // Each wait says which handle woke it; nothing else is polled, because under Wine every
        // look at an event is a round trip to the server.
        enum Wake { kStop, kClose, kRead, kResume, kStall, kWrite, kQueue };
        for (;;) {
            if (!readPending && !gStalled) {
                readOv.Internal = readOv.InternalHigh = 0;
                DWORD n = 0;
                if (ReadFile(FPipe, buffer.data(), kPipeBuffer, &n, &readOv) ||
                    GetLastError() == ERROR_MORE_DATA || GetLastError() == ERROR_IO_PENDING)
                    readPending = true;
                else
                    break;
            }
            if (!writePending) {
                std::lock_guard<std::mutex> guard(FQueueLock);
                if (!FQueue.empty()) {
                    writing = std::move(FQueue.front());
                    FQueue.pop_front();
                    writeOv.Internal = writeOv.InternalHigh = 0;
                    DWORD n = 0;
                    if (WriteFile(FPipe, writing.data(), static_cast<DWORD>(writing.size()), &n,
                                  &writeOv) ||
                        GetLastError() == ERROR_IO_PENDING)
                        writePending = true;
                    else
                        break;
                }
                if (FQueue.empty() && FQueueSignalled) {
                    ResetEvent(FQueueEvent);
                    FQueueSignalled = false;
                }
            }
            FReading = readPending;
            HANDLE waits[5];
            Wake meaning[5];
            DWORD count = 0;
            auto add = [&](HANDLE h, Wake w) {
                waits[count] = h;
                meaning[count++] = w;
            };
            add(gStopEvent, kStop);
            add(FCloseEvent, kClose);
            if (readPending) {
                add(FReadEvent, kRead);
                add(gStallEvent, kStall);
            } else {
                add(gResumeEvent, kResume);
            }
            if (writePending)
                add(FWriteEvent, kWrite);
            else
                add(FQueueEvent, kQueue);
            DWORD r = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
            if (r >= WAIT_OBJECT_0 + count)
                break;
            Wake wake = meaning[r - WAIT_OBJECT_0];
            if (wake == kStop || wake == kClose)
                break;
            if (wake == kRead || wake == kStall) {
                // Told to stop reading: take back the read we left outstanding. A message that
                // arrived just before still counts as read.
                if (wake == kStall)
                    CancelIoEx(FPipe, &readOv);
                readPending = false;
                DWORD n = 0;
                if (GetOverlappedResult(FPipe, &readOv, &n, TRUE))
                    Received(buffer, n, incoming, true);
                else if (GetLastError() == ERROR_MORE_DATA)
                    Received(buffer, n, incoming, false);
                else if (wake == kRead)
                    break;
                if (wake == kStall)
                    FReading = false;
            } else if (wake == kWrite) {
                DWORD n = 0;
                if (!GetOverlappedResult(FPipe, &writeOv, &n, TRUE))
                    break;
                writePending = false;
            }
        }
        CancelIo(FPipe);
        DWORD ignored = 0;
        if (readPending)
            GetOverlappedResult(FPipe, &readOv, &ignored, TRUE);
        if (writePending)
            GetOverlappedResult(FPipe, &writeOv, &ignored, TRUE);
        // Closing without DisconnectNamedPipe gives the client a broken pipe, as a service
        // that ends would.
        CloseHandle(FPipe);
        FEnded = true;
    }

private:
    void Received(const Bytes& buffer, DWORD n, Bytes& incoming, bool whole) {
        incoming.insert(incoming.end(), buffer.begin(), buffer.begin() + n);
        if (!whole)
            return;
        Bytes message;
        message.swap(incoming);
        {
            std::lock_guard<std::mutex> guard(gStatsLock);
            gPipeMessages++;
        }
        uint32_t tag = 0;
        if (IsControlBlock(message, &tag)) {
            if (tag == kTagStart) {
                FCollecting = true;
                FMulti.clear();
            } else if (tag == kTagEnd && FCollecting) {
                FCollecting = false;
                Bytes whole;
                whole.swap(FMulti);
                Deliver(whole);
            } else {
                FCollecting = false;
                FMulti.clear();
            }
            return;
        }
        if (FCollecting)
            FMulti.insert(FMulti.end(), message.begin(), message.end());
        else
            Deliver(message);
    }

    void Deliver(const Bytes& message) {
        {
            std::lock_guard<std::mutex> guard(gStatsLock);
            gMessages++;
            gBytes += message.size();
            gLast = message;
        }
        LogMessage(message);
        if (gEcho)
            SendFramed(message);
    }

    HANDLE FPipe;
    HANDLE FReadEvent, FWriteEvent, FQueueEvent, FCloseEvent;
    std::mutex FQueueLock;
    std::deque<Bytes> FQueue;
    bool FQueueSignalled = false;
    bool FCollecting = false;
    Bytes FMulti;
    std::atomic<bool> FEnded{false};
    std::atomic<bool> FReading{true};
};

std::mutex gSessionsLock;
std::vector<std::shared_ptr<Session>> gSessions;
std::vector<std::thread> gThreads;

std::vector<std::shared_ptr<Session>> LiveSessions() {
    std::lock_guard<std::mutex> guard(gSessionsLock);
    std::vector<std::shared_ptr<Session>> live;
    for (auto& s : gSessions)
        if (!s->Ended())
            live.push_back(s);
    return live;
}

HANDLE MakePipe(const std::wstring& name, bool first) {
    std::wstring path = L"\\\\.\\pipe\\" + name;
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (first)
        openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    return CreateNamedPipeW(path.c_str(), openMode,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                            PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 5000, nullptr);
}

// Waits for a client on `pipe`; false when told to exit first.
bool AwaitClient(HANDLE pipe) {
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool connected = false;
    if (ConnectNamedPipe(pipe, &ov)) {
        connected = true;
    } else if (GetLastError() == ERROR_PIPE_CONNECTED) {
        connected = true;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        HANDLE waits[2] = {gStopEvent, ov.hEvent};
        DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        DWORD n = 0;
        if (r == WAIT_OBJECT_0 + 1 && GetOverlappedResult(pipe, &ov, &n, FALSE)) {
            connected = true;
        } else {
            CancelIo(pipe);
            GetOverlappedResult(pipe, &ov, &n, TRUE);
        }
    }
    CloseHandle(ov.hEvent);
    return connected;
}

void ServeData(HANDLE first) {
    HANDLE pipe = first;
    while (pipe != INVALID_HANDLE_VALUE) {
        if (!AwaitClient(pipe)) {
            CloseHandle(pipe);
            return;
        }
        auto session = std::make_shared<Session>(pipe);
        {
            std::lock_guard<std::mutex> guard(gSessionsLock);
            gSessions.push_back(session);
            gThreads.emplace_back([session] { session->Run(); });
        }
        pipe = MakePipe(gOptions.pipeName, false);
    }
}

std::string Reply(const std::string& command) {
    auto word = [&](const char* w) { return command.rfind(w, 0) == 0; };
    auto argument = [&]() {
        size_t space = command.find(' ');
        return space == std::string::npos ? std::string() : command.substr(space + 1);
    };
    if (command == "ping")
        return "ok";
    if (command == "stats") {
        std::lock_guard<std::mutex> guard(gStatsLock);
        char text[160];
        std::snprintf(text, sizeof(text), "clients=%zu messages=%llu bytes=%llu pipemessages=%llu",
                      LiveSessions().size(), static_cast<unsigned long long>(gMessages),
                      static_cast<unsigned long long>(gBytes),
                      static_cast<unsigned long long>(gPipeMessages));
        return text;
    }
    if (command == "last") {
        std::lock_guard<std::mutex> guard(gStatsLock);
        return std::string(gLast.begin(), gLast.end());
    }
    if (command == "reset") {
        std::lock_guard<std::mutex> guard(gStatsLock);
        gMessages = gBytes = gPipeMessages = 0;
        gLast.clear();
        return "ok";
    }
    if (command == "echo on" || command == "echo off") {
        gEcho = command == "echo on";
        return "ok";
    }
    if (command == "stall on") {
        gStalled = true;
        ResetEvent(gResumeEvent);
        SetEvent(gStallEvent);
        // Answer only when no session has a read outstanding any more.
        for (int i = 0; i < 200; ++i) {
            bool reading = false;
            for (auto& s : LiveSessions())
                reading = reading || s->Reading();
            if (!reading)
                break;
            Sleep(10);
        }
        return "ok";
    }
    if (command == "stall off") {
        gStalled = false;
        ResetEvent(gStallEvent);
        SetEvent(gResumeEvent);
        return "ok";
    }
    if (command == "close") {
        for (auto& s : LiveSessions())
            s->Close();
        return "ok";
    }
    if (word("send ") || word("raw ") || word("rawhex ")) {
        Bytes message;
        if (word("rawhex ")) {
            std::string hex = argument();
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                message.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        } else {
            message = Pattern(static_cast<uint32_t>(std::stoul(argument())));
        }
        auto live = LiveSessions();
        if (live.empty())
            return "error: no client";
        for (auto& s : live) {
            if (word("send "))
                s->SendFramed(message);
            else
                s->Send(message);
        }
        return "ok";
    }
    if (command == "exit") {
        SetEvent(gStopEvent);
        return "ok";
    }
    return "error: unknown command";
}

void ServeControl(HANDLE first) {
    HANDLE pipe = first;
    Bytes buffer(65536);
    while (WaitForSingleObject(gStopEvent, 0) != WAIT_OBJECT_0) {
        if (pipe == INVALID_HANDLE_VALUE)
            return;
        if (!AwaitClient(pipe))
            break;
        std::string command;
        for (;;) {
            OVERLAPPED ov{};
            ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            DWORD n = 0;
            BOOL ok = ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &n, &ov);
            DWORD error = ok ? 0 : GetLastError();
            if (error == ERROR_IO_PENDING) {
                ok = GetOverlappedResult(pipe, &ov, &n, TRUE);
                error = ok ? 0 : GetLastError();
            }
            CloseHandle(ov.hEvent);
            command.append(reinterpret_cast<char*>(buffer.data()), n);
            if (error != ERROR_MORE_DATA) {
                if (error != 0)
                    command.clear();
                break;
            }
        }
        while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
            command.pop_back();
        std::string reply;
        try {
            reply = Reply(command);
        } catch (...) {
            reply = "error: bad argument";
        }
        OVERLAPPED ov{};
        ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD n = 0;
        if (!WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &n, &ov) &&
            GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(pipe, &ov, &n, TRUE);
        CloseHandle(ov.hEvent);
        FlushFileBuffers(pipe);
        DisconnectNamedPipe(pipe);
    }
    CloseHandle(pipe);
}

void Usage() {
    std::fwprintf(stderr, L"usage: QorStandIn [--pipe NAME] [--control NAME] [--log PATH]\n");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (i + 1 < argc && arg == L"--pipe")
            gOptions.pipeName = argv[++i];
        else if (i + 1 < argc && arg == L"--control")
            gOptions.controlName = argv[++i];
        else if (i + 1 < argc && arg == L"--log")
            gOptions.logPath = argv[++i];
        else {
            Usage();
            return 2;
        }
    }
    if (gOptions.controlName.empty())
        gOptions.controlName = gOptions.pipeName + L".control";
    if (gOptions.logPath.empty())
        gOptions.logPath = DefaultLogPath();

    // Wine lets a second server create the first instance of a pipe that exists already, so a
    // second stand-in for the same name is refused by a named mutex as well.
    std::wstring guardName = L"Local\\QorStandIn." + gOptions.pipeName;
    HANDLE guard = CreateMutexW(nullptr, FALSE, guardName.c_str());
    if (!guard || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fwprintf(stderr, L"QorStandIn: \\\\.\\pipe\\%ls is served already\n",
                      gOptions.pipeName.c_str());
        return 1;
    }
    gStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    gResumeEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    gStallEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE data = MakePipe(gOptions.pipeName, true);
    HANDLE control = MakePipe(gOptions.controlName, true);
    if (data == INVALID_HANDLE_VALUE || control == INVALID_HANDLE_VALUE) {
        std::fwprintf(stderr, L"QorStandIn: cannot serve \\\\.\\pipe\\%ls (error %lu)\n",
                      gOptions.pipeName.c_str(), GetLastError());
        return 1;
    }
    std::thread dataThread(ServeData, data);
    std::wprintf(L"ready \\\\.\\pipe\\%ls control \\\\.\\pipe\\%ls log %ls\n",
                 gOptions.pipeName.c_str(), gOptions.controlName.c_str(), gOptions.logPath.c_str());
    std::fflush(stdout);
    ServeControl(control);
    SetEvent(gStopEvent);
    dataThread.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(gSessionsLock);
        threads.swap(gThreads);
    }
    for (auto& t : threads)
        t.join();
    return 0;
}
