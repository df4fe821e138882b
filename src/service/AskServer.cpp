#include "service/AskServer.h"

#include "model/Clock.h"
#include "service/PipeInstance.h"

#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <exception>
#include <system_error>
#include <vector>

namespace vantrel {

namespace {

constexpr DWORD kAskBuffer = 1024;
constexpr TPipeShape kAskShape{TAskServer::kMostClients + 1, kAskBuffer, 2000};

std::mutex gCallerLock;
TAskCallerSource gCallerSeam;

THandle NewEvent(bool manual) {
    return THandle(CreateEventW(nullptr, manual ? TRUE : FALSE, FALSE, nullptr));
}

std::wstring Upper(const std::wstring& name) {
    std::wstring upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return upper;
}

std::wstring SidString(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return std::wstring();
    std::wstring result = text;
    LocalFree(text);
    return result;
}

// The user of the client's token, taken while acting as the client; the thread is itself again
// before anything else is done.
bool SystemCaller(HANDLE pipe, TAskCaller& caller) {
    if (!ImpersonateNamedPipeClient(pipe))
        return false;
    HANDLE raw = nullptr;
    const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &raw);
    // A thread that stays the client would act with the client's rights: nothing may follow.
    if (!RevertToSelf())
        std::terminate();
    if (!opened)
        return false; // an anonymous client, or one that allows no identification
    const THandle token(raw);
    DWORD bytes = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &bytes);
    if (bytes < sizeof(TOKEN_USER))
        return false;
    std::vector<BYTE> buffer(bytes);
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), bytes, &bytes))
        return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    wchar_t name[257] = {}, domain[257] = {};
    DWORD nameSize = 257, domainSize = 257;
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use) ||
        use != SidTypeUser || name[0] == 0)
        return false;
    caller.Username = name;
    caller.Domain = domain;
    caller.Sid = SidString(sid);
    return true;
}

} // namespace

void SetAskCallerSeam(TAskCallerSource source) {
    std::lock_guard<std::mutex> guard(gCallerLock);
    gCallerSeam = std::move(source);
}

bool AskCallerOf(HANDLE pipe, TAskCaller& caller) {
    TAskCallerSource seam;
    {
        std::lock_guard<std::mutex> guard(gCallerLock);
        seam = gCallerSeam;
    }
    caller = TAskCaller{};
    return seam ? seam(pipe, caller) : SystemCaller(pipe, caller);
}

bool TAskLimiter::Allow(const std::wstring& user, ULONGLONG nowMs, bool& tell) {
    tell = false;
    std::lock_guard<std::mutex> guard(FLock);
    TUse& use = FUses[Upper(user)];
    while (!use.Times.empty() && nowMs - use.Times.front() >= 60000)
        use.Times.pop_front();
    if (static_cast<int>(use.Times.size()) < kPerMinute) {
        use.Times.push_back(nowMs);
        return true;
    }
    if (!use.Told || nowMs - use.ToldAt >= 60000) {
        use.Told = true;
        use.ToldAt = nowMs;
        tell = true;
    }
    return false;
}

PSECURITY_DESCRIPTOR TAskServer::NewAskSecurity(bool administratorsOwn) {
    // 0x12019B: reading and writing a pipe's data, attributes and extended attributes, reading
    // its security, waiting on it; not FILE_APPEND_DATA, which for a pipe is
    // FILE_CREATE_PIPE_INSTANCE: no user may serve the name beside the service.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            administratorsOwn ? L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12019b;;;AU)"
                              : L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12019b;;;AU)",
            SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

TAskServer::TAskServer(std::wstring pipeName, TServiceLog& log, TAccepts accepts)
    : FPipeName(std::move(pipeName)), FLog(log), FAccepts(std::move(accepts)),
      FStopEvent(NewEvent(true)), FRequestEvent(NewEvent(false)) {}

TAskServer::~TAskServer() {
    Stop();
    if (FSecurity)
        LocalFree(FSecurity);
}

THandle TAskServer::NewInstance(bool first, DWORD& error) {
    return NewPipeInstance(FPipeName, kAskShape, FSecurity, first, error);
}

bool TAskServer::Start(DWORD& error) {
    if (FListener.joinable()) {
        error = ERROR_ALREADY_EXISTS;
        return false;
    }
    if (!FStopEvent || !FRequestEvent) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    if (!FSecurity)
        FSecurity = NewAskSecurity();
    if (!FSecurity) {
        error = GetLastError();
        return false;
    }
    THandle first = NewFirstPipeInstance(FPipeName, kAskShape, FSecurity, &NewAskSecurity, error);
    if (!first)
        return false;
    ResetEvent(FStopEvent.Get());
    {
        std::lock_guard<std::mutex> guard(FJobsLock);
        FStopping = false;
    }
    try {
        FListener = std::thread(&TAskServer::Listen, this, std::move(first));
    } catch (const std::system_error& e) {
        error = static_cast<DWORD>(e.code().value());
        return false;
    }
    return true;
}

void TAskServer::Stop() {
    {
        std::lock_guard<std::mutex> guard(FJobsLock);
        FStopping = true;
        FJobs.clear();
    }
    FJobsDone.notify_all();
    if (!FListener.joinable())
        return;
    SetEvent(FStopEvent.Get());
    FListener.join();
    std::list<TClient> clients;
    {
        std::lock_guard<std::mutex> guard(FClientsLock);
        clients.swap(FClients);
    }
    for (TClient& client : clients)
        client.Thread.join();
}

void TAskServer::Listen(THandle pipe) {
    try {
        const THandle connected = NewEvent(true);
        while (pipe && connected) {
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
                        return;
                }
            }
            if (WaitForSingleObject(FStopEvent.Get(), 0) == WAIT_OBJECT_0)
                return;
            // The next instance is made before this one goes to its client, and no more clients
            // than kMostClients are served: the name always has an instance of the service, so
            // clients that leave all at once never leave it free for another program to serve.
            bool served = false;
            {
                std::lock_guard<std::mutex> guard(FClientsLock);
                FClients.remove_if([](TClient& client) {
                    if (!client.Done)
                        return false;
                    client.Thread.join();
                    return true;
                });
                DWORD error = 0;
                THandle next;
                if (ok && FClients.size() < kMostClients)
                    next = NewInstance(false, error);
                if (next) {
                    FClients.emplace_back();
                    TClient& client = FClients.back();
                    client.Pipe = std::move(pipe);
                    try {
                        client.Thread = std::thread(&TAskServer::Serve, this, std::ref(client));
                        served = true;
                    } catch (...) {
                        pipe = std::move(client.Pipe);
                        FClients.pop_back();
                    }
                    if (served)
                        pipe = std::move(next);
                }
            }
            // A client not served finds the pipe closed; the instance waits for the next one.
            if (!served)
                DisconnectNamedPipe(pipe.Get());
        }
    } catch (...) {
        // Nothing may leave the thread: the way in closes, the service counts on.
    }
}

void TAskServer::Serve(TClient& client) {
    try {
        ServeMessages(client.Pipe.Get());
        // A refusal that closes the pipe must reach the client first: its rest is read and
        // dropped until the client goes, for a short while at most.
        std::string rest;
        bool tooLong = false;
        const ULONGLONG until = GetTickCount64() + kLingerMs;
        for (ULONGLONG at = GetTickCount64(); at < until; at = GetTickCount64()) {
            if (!ReadMessage(client.Pipe.Get(), rest, tooLong, static_cast<DWORD>(until - at)))
                break;
        }
    } catch (...) {
    }
    DisconnectNamedPipe(client.Pipe.Get());
    client.Pipe.Close();
    std::lock_guard<std::mutex> guard(FClientsLock);
    client.Done = true;
}

void TAskServer::ServeMessages(HANDLE pipe) {
    TAskCaller caller;
    std::wstring counted; // the user this connection is counted for
    const auto release = [this, &counted] {
        if (counted.empty())
            return;
        std::lock_guard<std::mutex> guard(FClientsLock);
        if (--FPerUser[counted] <= 0)
            FPerUser.erase(counted);
    };
    std::string message;
    bool tooLong = false;
    while (ReadMessage(pipe, message, tooLong, kIdleMs)) {
        if (counted.empty()) {
            // The client is known by the system only after it wrote something.
            if (!AskCallerOf(pipe, caller) || !FAccepts || !FAccepts(caller)) {
                FLog.Write(L"A message on the way in for requests from " +
                           (caller.Username.empty()
                                ? std::wstring(L"a client the system does not name")
                                : caller.Domain + L"\\" + caller.Username) +
                           L" is refused: not an account of this computer");
                Answer(pipe, {TAskRefusal::NotLimited, 0});
                return;
            }
            counted = Upper(caller.Username);
            bool crowded = false;
            {
                std::lock_guard<std::mutex> guard(FClientsLock);
                crowded = ++FPerUser[counted] > kMostPerUser;
            }
            if (crowded) {
                Answer(pipe, {TAskRefusal::Busy, 0});
                release();
                return;
            }
        }
        const std::wstring& user = caller.Username;
        bool tell = false;
        if (!FLimiter.Allow(user, MonotonicMs(), tell)) {
            if (tell)
                FLog.Write(L"Requests of " + user + L" are refused for a while: more than " +
                           std::to_wstring(TAskLimiter::kPerMinute) + L" messages a minute");
            Answer(pipe, {TAskRefusal::Busy, 0});
            if (tooLong)
                break;
            continue;
        }
        TAskMessage parsed;
        if (tooLong || !ParseAskMessage(message, parsed)) {
            FLog.Write(std::wstring(L"A malformed request of ") + user + L" is refused" +
                       (tooLong ? L" (longer than " + std::to_wstring(kAskMessageMost) + L" bytes)"
                                : std::wstring()));
            Answer(pipe, {TAskRefusal::Malformed, 0});
            if (tooLong)
                break;
            continue;
        }
        if (!Answer(pipe, Submit(user, parsed)))
            break;
    }
    release();
}

bool TAskServer::ReadMessage(HANDLE pipe, std::string& message, bool& tooLong, DWORD waitMs) {
    tooLong = false;
    const THandle readEvent = NewEvent(true);
    if (!readEvent)
        return false;
    message.assign(kAskMessageMost, '\0');
    OVERLAPPED overlapped{};
    overlapped.hEvent = readEvent.Get();
    const BOOL ok =
        ReadFile(pipe, &message[0], static_cast<DWORD>(kAskMessageMost), nullptr, &overlapped);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_IO_PENDING) {
        HANDLE waits[2] = {FStopEvent.Get(), readEvent.Get()};
        if (WaitForMultipleObjects(2, waits, FALSE, waitMs) != WAIT_OBJECT_0 + 1) {
            DWORD ignored = 0;
            CancelIo(pipe);
            GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
            return false;
        }
    } else if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
        return false;
    }
    DWORD count = 0;
    error = GetOverlappedResult(pipe, &overlapped, &count, FALSE) ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_MORE_DATA) {
        // Longer than any message: the rest stays unread, and the client is closed.
        tooLong = true;
        message.clear();
        return true;
    }
    if (error != ERROR_SUCCESS)
        return false;
    message.resize(count);
    return true;
}

bool TAskServer::Answer(HANDLE pipe, const TAskAnswer& answer) {
    const std::string text = FormatAskAnswer(answer);
    const THandle writeEvent = NewEvent(true);
    if (!writeEvent)
        return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = writeEvent.Get();
    const BOOL ok =
        WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), nullptr, &overlapped);
    if (!ok && GetLastError() != ERROR_IO_PENDING)
        return false;
    // The answer fits the pipe's buffer; a client that reads nothing is not waited for long.
    DWORD written = 0;
    if (WaitForSingleObject(writeEvent.Get(), 2000) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &overlapped, &written, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe, &overlapped, &written, FALSE) && written == text.size();
}

TAskAnswer TAskServer::Submit(const std::wstring& user, const TAskMessage& message) {
    auto job = std::make_shared<TJob>();
    job->User = user;
    job->Message = message;
    std::unique_lock<std::mutex> lock(FJobsLock);
    if (FStopping)
        return {TAskRefusal::Busy, 0};
    FJobs.push_back(job);
    SetEvent(FRequestEvent.Get());
    const auto done = [&] { return job->Done || FStopping; };
    if (!FJobsDone.wait_for(lock, std::chrono::milliseconds(kAnswerMs), done) && !job->Started) {
        // Not taken in time (a slow store held the minute): it is not done at all.
        FJobs.erase(std::remove(FJobs.begin(), FJobs.end(), job), FJobs.end());
        return {TAskRefusal::Busy, 0};
    }
    // Taken: its answer tells what became of the request.
    FJobsDone.wait(lock, done);
    return job->Done ? job->Answer : TAskAnswer{TAskRefusal::Busy, 0};
}

void TAskServer::HandleRequests(const THandler& handler) {
    for (;;) {
        std::shared_ptr<TJob> job;
        {
            std::lock_guard<std::mutex> guard(FJobsLock);
            if (FJobs.empty())
                return;
            job = FJobs.front();
            FJobs.pop_front();
            job->Started = true;
        }
        TAskAnswer answer{TAskRefusal::Failed, 0};
        try {
            answer = handler(job->User, job->Message);
        } catch (...) {
            FLog.WriteFixed(L"A request could not be handled: an exception");
        }
        {
            std::lock_guard<std::mutex> guard(FJobsLock);
            job->Answer = answer;
            job->Done = true;
        }
        FJobsDone.notify_all();
    }
}

} // namespace vantrel
