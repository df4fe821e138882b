// The stand-in's data side: sessions on the service's pipe, framing and the message log.
#include "PipeSessions.h"

#include "pipes/PipeFraming.h"
#include "win/Files.h"

#include <sddl.h>

#include <condition_variable>
#include <cstdio>
#include <system_error>
#include <thread>

namespace standin {

Options gOptions;
THandle gStopEvent;
THandle gResumeEvent;
THandle gStallEvent;
std::atomic<bool> gEcho{false};
std::atomic<bool> gStalled{false};
std::atomic<int> gSessionObjects{0};

std::mutex gStatsLock;
uint64_t gMessages = 0;
uint64_t gBytes = 0;
uint64_t gPipeMessages = 0;
uint64_t gFlooded = 0;
Bytes gLast;

namespace {

using vantrel::EnvironmentVariable;
using vantrel::kMaxPipeMessage;
using vantrel::kTagEndMulti;
using vantrel::kTagStartMulti;

constexpr DWORD kPipeBuffer = 65536;

std::mutex gLogLock;

Bytes ControlMessage(uint32_t tag) {
    const vantrel::TPipeControlBlock block = vantrel::ControlBlock(tag);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&block);
    return Bytes(bytes, bytes + sizeof(block));
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

} // namespace

THandle NewEvent(bool signalled) {
    return THandle(CreateEventW(nullptr, TRUE, signalled, nullptr));
}

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

Session::Session(THandle pipe)
    : FPipe(std::move(pipe)), FReadEvent(NewEvent()), FWriteEvent(NewEvent()),
      FQueueEvent(NewEvent()), FCloseEvent(NewEvent()) {
    gSessionObjects++;
}

void Session::Send(Bytes message) {
    std::lock_guard<std::mutex> guard(FQueueLock);
    FQueue.push_back(std::move(message));
    if (!FQueueSignalled) {
        SetEvent(FQueueEvent.Get());
        FQueueSignalled = true;
    }
}

void Session::SendFramed(const Bytes& message) {
    std::lock_guard<std::mutex> guard(FQueueLock);
    if (message.size() <= kMaxPipeMessage) {
        FQueue.push_back(message);
    } else {
        FQueue.push_back(ControlMessage(kTagStartMulti));
        for (size_t at = 0; at < message.size(); at += kMaxPipeMessage) {
            size_t n = std::min<size_t>(kMaxPipeMessage, message.size() - at);
            FQueue.emplace_back(message.begin() + at, message.begin() + at + n);
        }
        FQueue.push_back(ControlMessage(kTagEndMulti));
    }
    if (!FQueueSignalled) {
        SetEvent(FQueueEvent.Get());
        FQueueSignalled = true;
    }
}

void Session::Flood(TFlood mode, uint32_t size) {
    std::lock_guard<std::mutex> guard(FQueueLock);
    if (FMultiOpen && mode != TFlood::Multi) {
        FQueue.push_back(ControlMessage(kTagEndMulti));
        FMultiOpen = false;
    }
    FFlood = mode;
    FFloodSize = size;
    SetEvent(FQueueEvent.Get());
    FQueueSignalled = true;
}

void Session::Run() {
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

const Bytes& Session::NextFloodMessage(Bytes& spare) {
    if (FFlood == TFlood::Multi && !FMultiOpen) {
        FMultiOpen = true;
        spare = ControlMessage(kTagStartMulti);
        return spare;
    }
    uint32_t size = FFlood == TFlood::Short  ? 10
                    : FFlood == TFlood::Huge ? FFloodSize
                                             : kMaxPipeMessage;
    if (FFloodMessage.size() != size)
        FFloodMessage = Pattern(size);
    return FFloodMessage;
}

void Session::Received(const Bytes& buffer, DWORD count, Bytes& incoming, bool whole) {
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
    if (vantrel::IsControlBlock(message.data(), message.size(), tag)) {
        if (tag == kTagStartMulti) {
            FCollecting = true;
            FMulti.clear();
        } else if (tag == kTagEndMulti && FCollecting) {
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

void Session::Deliver(const Bytes& message) {
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

namespace {

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

} // namespace

std::vector<std::shared_ptr<Session>> LiveSessions() {
    std::lock_guard<std::mutex> guard(gSessionsLock);
    std::vector<std::shared_ptr<Session>> live;
    for (auto& session : gSessions)
        if (!session->Ended())
            live.push_back(session);
    return live;
}

void AwaitSessionsEnded() {
    std::unique_lock<std::mutex> lock(gSessionsLock);
    gSessionsEnded.wait(lock, [] { return gSessions.empty(); });
}

namespace {

// The owner of the served pipe: the Administrators, as the service's own pipe has it, or with
// --user-owned this process's account, as any program without administrator rights makes it.
std::wstring DataPipeOwner() {
    if (!gOptions.userOwned)
        return L"O:BA";
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return L"";
    const THandle owned(token);
    BYTE buffer[256] = {};
    DWORD size = 0;
    wchar_t* sid = nullptr;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid))
        return L"";
    std::wstring sddl = L"O:" + std::wstring(sid);
    LocalFree(sid);
    return sddl;
}

} // namespace

THandle MakePipe(const std::wstring& name, bool first) {
    std::wstring path = L"\\\\.\\pipe\\" + name;
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (first)
        openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (name == gOptions.pipeName)
        ConvertStringSecurityDescriptorToSecurityDescriptorW(DataPipeOwner().c_str(),
                                                             SDDL_REVISION_1, &descriptor, nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    auto make = [&](SECURITY_ATTRIBUTES* security) {
        return THandle(CreateNamedPipeW(
            path.c_str(), openMode, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
            PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 5000, security));
    };
    THandle pipe = make(descriptor ? &attributes : nullptr);
    // Without elevation the Administrators cannot be made the owner: the account owns it.
    if (!pipe && descriptor && GetLastError() == ERROR_INVALID_OWNER)
        pipe = make(nullptr);
    if (descriptor)
        LocalFree(descriptor);
    return pipe;
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

} // namespace standin
