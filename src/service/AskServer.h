#pragma once
// The limited user's way in: the pipe "QorAsk" (model/AskMessage.h), which any account of this
// computer may open to read and write messages, and nothing more. The service learns who asks
// from the system (the caller's token), never from what the caller writes; it takes only the
// short fixed messages, refuses a longer one unread, lets each user send only so many a minute,
// and hands every message to the minute loop's thread, which alone touches the store.
#include "model/AskMessage.h"
#include "service/ServiceLog.h"
#include "win/Handle.h"

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vantrel {

// The account at the other end of the pipe, as the system names it.
struct TAskCaller {
    std::wstring Username;
    std::wstring Domain;
    std::wstring Sid; // "S-1-5-21-...", empty when not known
};

// Who the client of a connected pipe is. The system's way acts as the client for a moment
// (ImpersonateNamedPipeClient, after a message was read) and takes the user of its token; a
// client that connected anonymously has none and is refused. Tests put their own in its place:
// under Wine every process runs as the same user. An empty function restores the system's.
using TAskCallerSource = std::function<bool(HANDLE pipe, TAskCaller& caller)>;
void SetAskCallerSeam(TAskCallerSource source);
bool AskCallerOf(HANDLE pipe, TAskCaller& caller);

// Counts each user's messages over the last minute of the monotonic clock.
class TAskLimiter {
public:
    static constexpr int kPerMinute = 6;
    // Whether the user may send one more now. `tell` is set for the first refusal of a minute,
    // so that a flood is logged once a minute.
    bool Allow(const std::wstring& user, ULONGLONG nowMs, bool& tell);

private:
    struct TUse {
        std::deque<ULONGLONG> Times;
        ULONGLONG ToldAt = 0;
        bool Told = false;
    };
    std::mutex FLock;
    std::map<std::wstring, TUse> FUses; // names as upper case: "ANNA" is "anna"
};

class TAskServer {
public:
    // Clients served at once, and at once by one user; a further client finds the pipe closed.
    // One more instance always waits, so that the name is never free for another server.
    static constexpr DWORD kMostClients = 8;
    static constexpr int kMostPerUser = 2;
    // A client that sends nothing for this long is closed, freeing its instance.
    static constexpr DWORD kIdleMs = 10000;
    // How long a client that is closed is waited for to read its last answer and go.
    static constexpr DWORD kLingerMs = 2000;
    // How long a client's message waits for the minute loop's answer before "NO busy".
    static constexpr DWORD kAnswerMs = 10000;

    // What the minute loop answers to a user's message; called on the thread of HandleRequests.
    using THandler = std::function<TAskAnswer(const std::wstring& user, const TAskMessage&)>;
    // Whether the caller is an account whose time this computer's service counts.
    using TAccepts = std::function<bool(const TAskCaller& caller)>;

    TAskServer(std::wstring pipeName, TServiceLog& log, TAccepts accepts);
    ~TAskServer();
    TAskServer(const TAskServer&) = delete;
    TAskServer& operator=(const TAskServer&) = delete;

    // Creates the pipe and listens; false, with the system's code, when it cannot.
    bool Start(DWORD& error);
    // Closes every client and waits for their threads; messages still waiting are answered busy.
    void Stop();
    // Signalled while messages wait for HandleRequests.
    HANDLE RequestEvent() const { return FRequestEvent.Get(); }
    // Answers every message waiting, one after the other.
    void HandleRequests(const THandler& handler);

    // The pipe's security: SYSTEM and the Administrators may do anything, the computer's
    // authenticated users may only read and write messages (no new instance of the pipe, no
    // change of its security); owned by the Administrators, or without an owner given when the
    // account may not give the Administrators an object. Freed with LocalFree.
    static PSECURITY_DESCRIPTOR NewAskSecurity(bool administratorsOwn = true);

private:
    struct TJob {
        std::wstring User;
        TAskMessage Message;
        TAskAnswer Answer;
        bool Started = false;
        bool Done = false;
    };
    struct TClient {
        THandle Pipe;
        std::thread Thread;
        bool Done = false; // guarded by FClientsLock
    };

    THandle NewInstance(bool first, DWORD& error);
    void Listen(THandle pipe);
    void Serve(TClient& client);
    void ServeMessages(HANDLE pipe);
    // One message of at most kAskMessageMost bytes: false when the client went away, was idle
    // too long or the service stops; `tooLong` for a longer one, of which no more is read.
    bool ReadMessage(HANDLE pipe, std::string& message, bool& tooLong, DWORD waitMs);
    bool Answer(HANDLE pipe, const TAskAnswer& answer);
    // Hands the message to the minute loop and waits for its answer.
    TAskAnswer Submit(const std::wstring& user, const TAskMessage& message);

    std::wstring FPipeName;
    TServiceLog& FLog;
    TAccepts FAccepts;
    PSECURITY_DESCRIPTOR FSecurity = nullptr;
    THandle FStopEvent;
    THandle FRequestEvent;
    std::thread FListener;
    std::mutex FClientsLock;
    std::list<TClient> FClients;
    std::map<std::wstring, int> FPerUser; // guarded by FClientsLock; names as upper case
    TAskLimiter FLimiter;
    std::mutex FJobsLock;
    std::condition_variable FJobsDone;
    std::deque<std::shared_ptr<TJob>> FJobs;
    bool FStopping = false; // guarded by FJobsLock
};

} // namespace vantrel
