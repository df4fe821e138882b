// A stand-in for the time-limit service: serves the service's pipe in message mode to any
// number of clients, reads every message, logs one line per message and, for tests, does
// what its control pipe tells it (see README.md).
#include "win/Files.h"
#include "win/Handle.h"

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
#include <system_error>
#include <thread>
#include <vector>

namespace {

using vantrel::EnvironmentVariable;
using vantrel::THandle;
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
THandle gStopEvent;   // set on "exit"
THandle gResumeEvent; // set while reading, reset while stalled
THandle gStallEvent;  // the opposite
std::atomic<bool> gEcho{false};
std::atomic<bool> gStalled{false};
// Session objects that exist, ended or not: each holds a pipe and four events.
std::atomic<int> gSessionObjects{0};

std::mutex gStatsLock;
uint64_t gMessages = 0;
uint64_t gBytes = 0;
uint64_t gPipeMessages = 0;
uint64_t gFlooded = 0;
Bytes gLast;

std::mutex gLogLock;

bool IsControlBlock(const Bytes& message, uint32_t* tag) {
    if (message.size() != 16)
        return false;
    uint32_t words[4];
    std::memcpy(words, message.data(), 16);
    if (words[0] != 16 || words[1] != kControlMagic || words[3] != kControlMagic)
        return false;
    *tag = words[2];
    return true;
}

Bytes ControlBlock(uint32_t tag) {
    uint32_t words[4] = {16, kControlMagic, tag, kControlMagic};
    return Bytes(reinterpret_cast<uint8_t*>(words), reinterpret_cast<uint8_t*>(words) + 16);
}

THandle NewEvent(bool signalled = false) {
    return THandle(CreateEventW(nullptr, TRUE, signalled, nullptr));
}

// Byte i of a generated reply: (i * 7) mod 251, so that no run of bytes repeats early.
Bytes Pattern(uint32_t size) {
    Bytes bytes(size);
    for (uint32_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>((static_cast<uint64_t>(i) * 7) % 251);
    return bytes;
}

std::wstring DefaultLogPath() {
    std::wstring base = EnvironmentVariable(L"ProgramFiles");
    if (base.empty())
        base = L"C:\\Program Files";
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

void LogMessage(const Bytes& message) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char head[96];
    std::snprintf(head, sizeof(head), "%04u-%02u-%02u %02u:%02u:%02u.%03u  %zu bytes", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                  message.size());
    std::string line = head;
    bool printable = !message.empty() && message.size() <= 256;
    for (uint8_t byte : message)
        printable = printable && byte >= 0x20 && byte < 0x7F;
    if (printable)
        line += "  " + std::string(message.begin(), message.end());
    line += "\r\n";
    std::lock_guard<std::mutex> guard(gLogLock);
    CreateFolderOf(gOptions.logPath);
    const THandle file(CreateFileW(gOptions.logPath.c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    DWORD written = 0;
    WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// What a session sends without pause, as fast as its client reads.
enum class TFlood {
    None,
    Short, // 10-byte messages
    Huge,  // single pipe messages of a given size
    Multi, // one multi-part message that never ends: "STMB", then parts
};

// One connected client, served by its own thread with overlapped I/O, so that writing a long
// reply never stops it from reading (the client's writer waits for us to read).
class Session {
public:
    explicit Session(THandle pipe)
        : FPipe(std::move(pipe)), FReadEvent(NewEvent()), FWriteEvent(NewEvent()),
          FQueueEvent(NewEvent()), FCloseEvent(NewEvent()) {
        gSessionObjects++;
    }
    ~Session() { gSessionObjects--; }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Send(Bytes message) {
        std::lock_guard<std::mutex> guard(FQueueLock);
        FQueue.push_back(std::move(message));
        if (!FQueueSignalled) {
            SetEvent(FQueueEvent.Get());
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
            SetEvent(FQueueEvent.Get());
            FQueueSignalled = true;
        }
    }
    // Replaces the flood under way; an endless multi-part message that stops gets its "ETMB".
    void Flood(TFlood mode, uint32_t size) {
        std::lock_guard<std::mutex> guard(FQueueLock);
        if (FMultiOpen && mode != TFlood::Multi) {
            FQueue.push_back(ControlBlock(kTagEnd));
            FMultiOpen = false;
        }
        FFlood = mode;
        FFloodSize = size;
        SetEvent(FQueueEvent.Get());
        FQueueSignalled = true;
    }
    void Close() { SetEvent(FCloseEvent.Get()); }
    bool Ended() const { return FEnded; }
    bool Reading() const { return FReading; }

    void Run() {
        Bytes buffer(kPipeBuffer);
        Bytes incoming;
        OVERLAPPED readOv{}, writeOv{};
        readOv.hEvent = FReadEvent.Get();
        writeOv.hEvent = FWriteEvent.Get();
        bool readPending = false, writePending = false, flooding = false;
        Bytes writing;
        // Each wait says which handle woke it; nothing else is polled, because under Wine every
        // look at an event is a round trip to the server.
        enum Wake { kStop, kClose, kRead, kResume, kStall, kWrite, kQueue };
        for (;;) {
            if (!readPending && !gStalled) {
                readOv.Internal = readOv.InternalHigh = 0;
                DWORD n = 0;
                if (ReadFile(FPipe.Get(), buffer.data(), kPipeBuffer, &n, &readOv) ||
                    GetLastError() == ERROR_MORE_DATA || GetLastError() == ERROR_IO_PENDING)
                    readPending = true;
                else
                    break;
            }
            if (!writePending) {
                std::lock_guard<std::mutex> guard(FQueueLock);
                const Bytes* next = nullptr;
                flooding = false;
                if (!FQueue.empty()) {
                    writing = std::move(FQueue.front());
                    FQueue.pop_front();
                    next = &writing;
                } else if (FFlood != TFlood::None) {
                    next = &NextFloodMessage(writing);
                    flooding = true;
                }
                if (next) {
                    writeOv.Internal = writeOv.InternalHigh = 0;
                    DWORD n = 0;
                    if (WriteFile(FPipe.Get(), next->data(), static_cast<DWORD>(next->size()), &n,
                                  &writeOv) ||
                        GetLastError() == ERROR_IO_PENDING)
                        writePending = true;
                    else
                        break;
                }
                if (FQueue.empty() && FFlood == TFlood::None && FQueueSignalled) {
                    ResetEvent(FQueueEvent.Get());
                    FQueueSignalled = false;
                }
            }
            FReading = readPending;
            HANDLE waits[5];
            Wake meaning[5];
            DWORD count = 0;
            auto add = [&](const THandle& handle, Wake why) {
                waits[count] = handle.Get();
                meaning[count++] = why;
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
            DWORD result = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
            if (result >= WAIT_OBJECT_0 + count)
                break;
            Wake wake = meaning[result - WAIT_OBJECT_0];
            if (wake == kStop || wake == kClose)
                break;
            if (wake == kRead || wake == kStall) {
                // Told to stop reading: take back the read we left outstanding. A message that
                // arrived just before still counts as read.
                if (wake == kStall)
                    CancelIoEx(FPipe.Get(), &readOv);
                readPending = false;
                DWORD n = 0;
                if (GetOverlappedResult(FPipe.Get(), &readOv, &n, TRUE))
                    Received(buffer, n, incoming, true);
                else if (GetLastError() == ERROR_MORE_DATA)
                    Received(buffer, n, incoming, false);
                else if (wake == kRead)
                    break;
                if (wake == kStall)
                    FReading = false;
            } else if (wake == kWrite) {
                DWORD n = 0;
                if (!GetOverlappedResult(FPipe.Get(), &writeOv, &n, TRUE))
                    break;
                writePending = false;
                if (flooding) {
                    std::lock_guard<std::mutex> guard(gStatsLock);
                    gFlooded++;
                }
            }
        }
        CancelIo(FPipe.Get());
        DWORD ignored = 0;
        if (readPending)
            GetOverlappedResult(FPipe.Get(), &readOv, &ignored, TRUE);
        if (writePending)
            GetOverlappedResult(FPipe.Get(), &writeOv, &ignored, TRUE);
        // Closing without DisconnectNamedPipe gives the client a broken pipe, as a service
        // that ends would.
        FPipe.Close();
        FEnded = true;
    }

private:
    // The next message of the flood, under FQueueLock; `spare` holds it when it is not kept.
    const Bytes& NextFloodMessage(Bytes& spare) {
        if (FFlood == TFlood::Multi && !FMultiOpen) {
            FMultiOpen = true;
            spare = ControlBlock(kTagStart);
            return spare;
        }
        uint32_t size = FFlood == TFlood::Short  ? 10
                        : FFlood == TFlood::Huge ? FFloodSize
                                                 : kMaxPipeMessage;
        if (FFloodMessage.size() != size)
            FFloodMessage = Pattern(size);
        return FFloodMessage;
    }

    void Received(const Bytes& buffer, DWORD count, Bytes& incoming, bool whole) {
        incoming.insert(incoming.end(), buffer.begin(), buffer.begin() + count);
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

    THandle FPipe;
    THandle FReadEvent, FWriteEvent, FQueueEvent, FCloseEvent;
    std::mutex FQueueLock;
    std::deque<Bytes> FQueue;
    bool FQueueSignalled = false;
    TFlood FFlood = TFlood::None;
    uint32_t FFloodSize = 0;
    bool FMultiOpen = false;
    Bytes FFloodMessage;
    bool FCollecting = false;
    Bytes FMulti;
    std::atomic<bool> FEnded{false};
    std::atomic<bool> FReading{true};
};

// The sessions under way. Each one leaves the list when it ends, and its object, with its
// pipe and events, goes with the last reference, normally its thread's own.
std::mutex gSessionsLock;
std::condition_variable gSessionsEnded;
std::vector<std::shared_ptr<Session>> gSessions;

void RemoveSession(const Session* ended) {
    std::lock_guard<std::mutex> guard(gSessionsLock);
    for (auto it = gSessions.begin(); it != gSessions.end(); ++it) {
        if (it->get() == ended) {
            gSessions.erase(it);
            break;
        }
    }
    gSessionsEnded.notify_all();
}

std::vector<std::shared_ptr<Session>> LiveSessions() {
    std::lock_guard<std::mutex> guard(gSessionsLock);
    std::vector<std::shared_ptr<Session>> live;
    for (auto& session : gSessions)
        if (!session->Ended())
            live.push_back(session);
    return live;
}

THandle MakePipe(const std::wstring& name, bool first) {
    std::wstring path = L"\\\\.\\pipe\\" + name;
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (first)
        openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    return THandle(CreateNamedPipeW(
        path.c_str(), openMode, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
        PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 5000, nullptr));
}

// Waits for a client on `pipe`; false when told to exit first.
bool AwaitClient(HANDLE pipe) {
    const THandle event = NewEvent();
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    if (ConnectNamedPipe(pipe, &overlapped) || GetLastError() == ERROR_PIPE_CONNECTED)
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    HANDLE waits[2] = {gStopEvent.Get(), event.Get()};
    DWORD result = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    DWORD ignored = 0;
    if (result == WAIT_OBJECT_0 + 1 && GetOverlappedResult(pipe, &overlapped, &ignored, FALSE))
        return true;
    CancelIo(pipe);
    GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
    return false;
}

void ServeData(THandle pipe) {
    while (pipe) {
        if (!AwaitClient(pipe.Get()))
            return;
        auto session = std::make_shared<Session>(std::move(pipe));
        {
            std::lock_guard<std::mutex> guard(gSessionsLock);
            gSessions.push_back(session);
        }
        try {
            std::thread([session] {
                session->Run();
                RemoveSession(session.get());
            }).detach();
        } catch (const std::system_error&) {
            RemoveSession(session.get());
        }
        pipe = MakePipe(gOptions.pipeName, false);
    }
}

std::string Reply(const std::string& command) {
    auto word = [&](const char* prefix) { return command.rfind(prefix, 0) == 0; };
    auto argument = [&]() {
        size_t space = command.find(' ');
        return space == std::string::npos ? std::string() : command.substr(space + 1);
    };
    if (command == "ping")
        return "ok";
    if (command == "stats") {
        std::lock_guard<std::mutex> guard(gStatsLock);
        char text[200];
        std::snprintf(text, sizeof(text),
                      "clients=%zu messages=%llu bytes=%llu pipemessages=%llu flooded=%llu "
                      "sessions=%d",
                      LiveSessions().size(), static_cast<unsigned long long>(gMessages),
                      static_cast<unsigned long long>(gBytes),
                      static_cast<unsigned long long>(gPipeMessages),
                      static_cast<unsigned long long>(gFlooded), gSessionObjects.load());
        return text;
    }
    if (command == "last") {
        std::lock_guard<std::mutex> guard(gStatsLock);
        return std::string(gLast.begin(), gLast.end());
    }
    if (command == "reset") {
        std::lock_guard<std::mutex> guard(gStatsLock);
        gMessages = gBytes = gPipeMessages = gFlooded = 0;
        gLast.clear();
        return "ok";
    }
    if (command == "echo on" || command == "echo off") {
        gEcho = command == "echo on";
        return "ok";
    }
    if (command == "stall on") {
        gStalled = true;
        ResetEvent(gResumeEvent.Get());
        SetEvent(gStallEvent.Get());
        // Answer only when no session has a read outstanding any more.
        for (int i = 0; i < 200; ++i) {
            bool reading = false;
            for (auto& session : LiveSessions())
                reading = reading || session->Reading();
            if (!reading)
                break;
            Sleep(10);
        }
        return "ok";
    }
    if (command == "stall off") {
        gStalled = false;
        ResetEvent(gStallEvent.Get());
        SetEvent(gResumeEvent.Get());
        return "ok";
    }
    if (command == "close") {
        for (auto& session : LiveSessions())
            session->Close();
        return "ok";
    }
    if (word("flood ")) {
        const std::string how = argument();
        TFlood mode = TFlood::None;
        uint32_t size = 0;
        if (how == "short")
            mode = TFlood::Short;
        else if (how == "multi")
            mode = TFlood::Multi;
        else if (how.rfind("huge ", 0) == 0) {
            mode = TFlood::Huge;
            size = static_cast<uint32_t>(std::stoul(how.substr(5)));
        } else if (how != "off")
            return "error: unknown flood";
        auto live = LiveSessions();
        if (live.empty() && mode != TFlood::None)
            return "error: no client";
        for (auto& session : live)
            session->Flood(mode, size);
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
        for (auto& session : live) {
            if (word("send "))
                session->SendFramed(message);
            else
                session->Send(message);
        }
        return "ok";
    }
    if (command == "exit") {
        SetEvent(gStopEvent.Get());
        return "ok";
    }
    return "error: unknown command";
}

// Reads one message from a control client; empty when it could not be read.
std::string ReadCommand(HANDLE pipe) {
    Bytes buffer(65536);
    std::string command;
    const THandle event = NewEvent();
    for (;;) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.Get();
        DWORD count = 0;
        BOOL ok =
            ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &count, &overlapped);
        DWORD error = ok ? 0 : GetLastError();
        if (error == ERROR_IO_PENDING) {
            ok = GetOverlappedResult(pipe, &overlapped, &count, TRUE);
            error = ok ? 0 : GetLastError();
        }
        command.append(reinterpret_cast<char*>(buffer.data()), count);
        if (error != ERROR_MORE_DATA)
            return error == 0 ? command : std::string();
    }
}

void WriteReply(HANDLE pipe, const std::string& reply) {
    const THandle event = NewEvent();
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    DWORD count = 0;
    if (!WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &count, &overlapped) &&
        GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(pipe, &overlapped, &count, TRUE);
    FlushFileBuffers(pipe);
}

void ServeControl(THandle pipe) {
    while (pipe && WaitForSingleObject(gStopEvent.Get(), 0) != WAIT_OBJECT_0) {
        if (!AwaitClient(pipe.Get()))
            break;
        std::string command = ReadCommand(pipe.Get());
        while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
            command.pop_back();
        std::string reply;
        try {
            reply = Reply(command);
        } catch (...) {
            reply = "error: bad argument";
        }
        WriteReply(pipe.Get(), reply);
        DisconnectNamedPipe(pipe.Get());
    }
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
    const THandle guard(CreateMutexW(nullptr, FALSE, guardName.c_str()));
    if (!guard || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fwprintf(stderr, L"QorStandIn: \\\\.\\pipe\\%ls is served already\n",
                      gOptions.pipeName.c_str());
        return 1;
    }
    gStopEvent = NewEvent();
    gResumeEvent = NewEvent(true);
    gStallEvent = NewEvent();
    THandle data = MakePipe(gOptions.pipeName, true);
    THandle control = MakePipe(gOptions.controlName, true);
    if (!data || !control) {
        std::fwprintf(stderr, L"QorStandIn: cannot serve \\\\.\\pipe\\%ls (error %lu)\n",
                      gOptions.pipeName.c_str(), GetLastError());
        return 1;
    }
    std::thread dataThread(ServeData, std::move(data));
    std::wprintf(L"ready \\\\.\\pipe\\%ls control \\\\.\\pipe\\%ls log %ls\n",
                 gOptions.pipeName.c_str(), gOptions.controlName.c_str(), gOptions.logPath.c_str());
    std::fflush(stdout);
    ServeControl(std::move(control));
    SetEvent(gStopEvent.Get());
    dataThread.join();
    // Every session sees the stop event and ends.
    std::unique_lock<std::mutex> lock(gSessionsLock);
    gSessionsEnded.wait(lock, [] { return gSessions.empty(); });
    return 0;
}
