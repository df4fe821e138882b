#include "service/PipeServer.h"

#include "pipes/PipeFraming.h"
#include "service/PipeInstance.h"

#include <sddl.h>

#include <system_error>

namespace vantrel {

namespace {

constexpr DWORD kPipeBuffer = 65536;
constexpr TPipeShape kShape{PIPE_UNLIMITED_INSTANCES, kPipeBuffer, 5000};

THandle NewEvent() {
    return THandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

} // namespace

PSECURITY_DESCRIPTOR TPipeServer::NewPipeSecurity(bool administratorsOwn) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // Protected DACL: nothing inherited, generic all for Administrators (BA) and SYSTEM (SY).
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            administratorsOwn ? L"O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)" : L"D:P(A;;GA;;;BA)(A;;GA;;;SY)",
            SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

bool TPipeServer::FindServer(const std::wstring& pipeName, DWORD& processId, DWORD& error) {
    processId = 0;
    error = ERROR_SUCCESS;
    // As a client that tells nothing of itself: whoever serves the name cannot act as this
    // process. Opening takes one of its instances for a moment.
    const THandle probe(CreateFileW((L"\\\\.\\pipe\\" + pipeName).c_str(), FILE_READ_ATTRIBUTES, 0,
                                    nullptr, OPEN_EXISTING,
                                    SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS, nullptr));
    if (!probe) {
        error = GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    ULONG id = 0;
    if (GetNamedPipeServerProcessId(probe.Get(), &id))
        processId = id;
    else
        error = GetLastError();
    return true;
}

TPipeServer::TPipeServer(std::wstring pipeName, TOnMessage onMessage)
    : FPipeName(std::move(pipeName)), FOnMessage(std::move(onMessage)) {}

TPipeServer::~TPipeServer() {
    Stop();
    if (FSecurity)
        LocalFree(FSecurity);
}

THandle TPipeServer::NewInstance(bool first, DWORD& error) {
    return NewPipeInstance(FPipeName, kShape, FSecurity, first, error);
}

bool TPipeServer::Start(DWORD& error) {
    if (FListener.joinable()) {
        error = ERROR_ALREADY_EXISTS;
        return false;
    }
    if (!FSecurity)
        FSecurity = NewPipeSecurity();
    if (!FSecurity) {
        error = GetLastError();
        return false;
    }
    FStopEvent = NewEvent();
    if (!FStopEvent) {
        error = GetLastError();
        return false;
    }
    // Run from a console without elevation the account owns the pipe itself, and the program
    // takes no word of a server the Administrators do not own.
    THandle first = NewFirstPipeInstance(FPipeName, kShape, FSecurity, &NewPipeSecurity, error);
    if (!first)
        return false;
    try {
        FListener = std::thread(&TPipeServer::Listen, this, std::move(first));
    } catch (const std::system_error& e) {
        error = static_cast<DWORD>(e.code().value());
        return false;
    } catch (...) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    return true;
}

void TPipeServer::Stop() {
    if (!FListener.joinable())
        return;
    SetEvent(FStopEvent.Get());
    FListener.join();
    // The sessions are waited for outside the lock: a session that is just starting takes it
    // for its welcome.
    decltype(FSessions) sessions;
    {
        std::lock_guard<std::mutex> guard(FSessionsLock);
        sessions.swap(FSessions);
    }
    for (auto& session : sessions)
        session->Thread.join();
}

void TPipeServer::Listen(THandle pipe) {
    // Nothing may leave the thread: an exception there ends the whole service.
    try {
        ListenOn(std::move(pipe));
    } catch (...) {
    }
}

void TPipeServer::ListenOn(THandle pipe) {
    const THandle connected = NewEvent();
    while (pipe) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = connected.Get();
        bool ok =
            ConnectNamedPipe(pipe.Get(), &overlapped) || GetLastError() == ERROR_PIPE_CONNECTED;
        if (!ok && GetLastError() == ERROR_IO_PENDING) {
            HANDLE waits[2] = {FStopEvent.Get(), connected.Get()};
            const DWORD result = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            DWORD ignored = 0;
            ok = result == WAIT_OBJECT_0 + 1 &&
                 GetOverlappedResult(pipe.Get(), &overlapped, &ignored, FALSE);
            if (!ok) {
                CancelIo(pipe.Get());
                GetOverlappedResult(pipe.Get(), &overlapped, &ignored, TRUE);
                if (result != WAIT_OBJECT_0 + 1)
                    return; // told to stop
            }
        }
        if (WaitForSingleObject(FStopEvent.Get(), 0) == WAIT_OBJECT_0)
            return;
        // The next instance comes first: while none listens, a client finds no pipe at all.
        DWORD error = 0;
        THandle next = NewInstance(false, error);
        if (ok) {
            std::lock_guard<std::mutex> guard(FSessionsLock);
            // Sessions whose client went away leave now, so the list does not grow.
            for (auto it = FSessions.begin(); it != FSessions.end();) {
                if ((*it)->Done) {
                    (*it)->Thread.join();
                    it = FSessions.erase(it);
                } else {
                    ++it;
                }
            }
            // In the list before its thread starts, so that a list that cannot grow never
            // holds up a running thread; without a thread the client's pipe closes.
            bool added = false;
            try {
                FSessions.push_back(std::make_unique<TSession>());
                added = true;
            } catch (...) {
            }
            if (added) {
                TSession& served = *FSessions.back();
                served.Pipe = std::move(pipe);
                try {
                    served.Thread = std::thread(&TPipeServer::Serve, this, std::ref(served));
                } catch (...) {
                    FSessions.pop_back();
                }
            }
        } else {
            DisconnectNamedPipe(pipe.Get());
            pipe.Close();
        }
        pipe = std::move(next);
        while (!pipe) {
            // Out of instances or handles for a moment: try again shortly.
            if (WaitForSingleObject(FStopEvent.Get(), 1000) == WAIT_OBJECT_0)
                return;
            pipe = NewInstance(false, error);
        }
    }
}

void TPipeServer::Serve(TSession& session) {
    bool counted = false;
    // An exception (no memory for a message) ends this client's session, not the service.
    try {
        // The welcome goes first, under the lock of the broadcasts, so that no newer news
        // reaches the client before it; the write never waits.
        {
            std::lock_guard<std::mutex> guard(FSessionsLock);
            if (!FWelcome.empty())
                Send(session, FWelcome);
        }
        FClients++;
        counted = true;
        ReadMessages(session);
    } catch (...) {
    }
    Close(session);
    if (counted)
        FClients--;
    session.Done = true;
}

void TPipeServer::Broadcast(const std::string& message, const std::string& welcome) {
    std::lock_guard<std::mutex> guard(FSessionsLock);
    FWelcome = welcome;
    for (auto& session : FSessions) {
        if (!session->Done)
            Send(*session, message);
    }
}

void TPipeServer::Send(TSession& session, const std::string& message) {
    std::lock_guard<std::mutex> guard(session.WriteLock);
    if (!session.Pipe)
        return;
    if (session.Writing) {
        if (!HasOverlappedIoCompleted(&session.Write))
            return; // the client has not read the last one yet: this one is dropped
        DWORD ignored = 0;
        GetOverlappedResult(session.Pipe.Get(), &session.Write, &ignored, FALSE);
        session.Writing = false;
    }
    if (!session.WriteEvent)
        session.WriteEvent = NewEvent();
    if (!session.WriteEvent)
        return;
    session.Written = message;
    session.Write = OVERLAPPED{};
    session.Write.hEvent = session.WriteEvent.Get();
    const BOOL done =
        WriteFile(session.Pipe.Get(), session.Written.data(),
                  static_cast<DWORD>(session.Written.size()), nullptr, &session.Write);
    // Finished at once or under way, the result is taken before the next write or the close.
    session.Writing = done || GetLastError() == ERROR_IO_PENDING;
}

void TPipeServer::Close(TSession& session) {
    std::lock_guard<std::mutex> guard(session.WriteLock);
    if (session.Writing) {
        DWORD ignored = 0;
        CancelIoEx(session.Pipe.Get(), &session.Write);
        GetOverlappedResult(session.Pipe.Get(), &session.Write, &ignored, TRUE);
        session.Writing = false;
    }
    DisconnectNamedPipe(session.Pipe.Get());
    session.Pipe.Close();
}

void TPipeServer::ReadMessages(TSession& session) {
    const THandle readEvent = NewEvent();
    std::string buffer(kPipeBuffer, '\0');
    std::string incoming;
    std::string parts;
    bool collecting = false;
    bool overflow = false;
    bool tooLong = false;
    while (readEvent) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = readEvent.Get();
        const BOOL ok = ReadFile(session.Pipe.Get(), &buffer[0], kPipeBuffer, nullptr, &overlapped);
        DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_IO_PENDING) {
            HANDLE waits[2] = {FStopEvent.Get(), readEvent.Get()};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                DWORD ignored = 0;
                CancelIo(session.Pipe.Get());
                GetOverlappedResult(session.Pipe.Get(), &overlapped, &ignored, TRUE);
                break;
            }
        } else if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
            break;
        }
        // The count of an overlapped read comes only from its result, also when the read
        // finished at once.
        DWORD count = 0;
        error = GetOverlappedResult(session.Pipe.Get(), &overlapped, &count, FALSE)
                    ? ERROR_SUCCESS
                    : GetLastError();
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA)
            break; // the client went away (broken pipe) or the pipe failed
        // A message longer than the buffer arrives in pieces, ERROR_MORE_DATA until its last.
        if (incoming.size() + count > kMaxMessage) {
            tooLong = true;
            std::string().swap(incoming);
        } else if (!tooLong) {
            incoming.append(buffer, 0, count);
        }
        if (error == ERROR_MORE_DATA)
            continue;
        if (!tooLong)
            Received(incoming, collecting, parts, overflow);
        tooLong = false;
        incoming.clear();
    }
}

void TPipeServer::Received(const std::string& message, bool& collecting, std::string& parts,
                           bool& overflow) {
    uint32_t tag = 0;
    if (IsControlBlock(message.data(), message.size(), tag)) {
        const bool complete = tag == kTagEndMulti && collecting && !overflow;
        collecting = tag == kTagStartMulti;
        overflow = false;
        std::string whole;
        whole.swap(parts);
        if (complete && FOnMessage)
            FOnMessage(whole);
        return;
    }
    if (collecting) {
        if (parts.size() + message.size() > kMaxMessage) {
            overflow = true;
            std::string().swap(parts);
        } else if (!overflow) {
            parts += message;
        }
        return;
    }
    if (FOnMessage)
        FOnMessage(message);
}

} // namespace vantrel
