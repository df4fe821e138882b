#pragma once
// The service's end of its named pipe: message mode, any number of clients at once, every
// message read whole (one pipe message, or the parts between the "STMB" and "ETMB" control
// blocks that the program's pipe client sends for a long one). Only administrators and SYSTEM
// may open it.
#include "win/Handle.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantrel {

class TPipeServer {
public:
    // Called on a client's own thread for every whole message.
    using TOnMessage = std::function<void(const std::string& message)>;
    // A message collected from parts is dropped beyond this size; the parts are still read.
    static constexpr size_t kMaxMessage = 16 * 1024 * 1024;

    TPipeServer(std::wstring pipeName, TOnMessage onMessage);
    ~TPipeServer();
    TPipeServer(const TPipeServer&) = delete;
    TPipeServer& operator=(const TPipeServer&) = delete;

    // Creates the pipe and starts listening; false, with the system's code, when it cannot.
    bool Start(DWORD& error);
    // Closes every client's pipe and waits for their threads.
    void Stop();
    // Clients connected now.
    int Clients() const { return FClients; }
    // Hands `message` to every connected client without waiting: a client whose last message
    // still waits to be read misses this one, so a client that does not read never holds the
    // service up. `welcome` is what a client gets as it connects from now on.
    void Broadcast(const std::string& message, const std::string& welcome);

    // The security of the pipe: full access for BUILTIN\Administrators and SYSTEM, no one
    // else; owned by the Administrators, which tells the program that the service made it
    // (any account may take a free pipe name). The descriptor is freed with LocalFree.
    static PSECURITY_DESCRIPTOR NewPipeSecurity(bool administratorsOwn = true);
    // Whether some server listens on the pipe now, and its process: 0 when that cannot be told
    // (every instance busy, or its security keeps this process out; `error` says why).
    static bool FindServer(const std::wstring& pipeName, DWORD& processId, DWORD& error);

private:
    struct TSession {
        THandle Pipe;
        std::thread Thread;
        std::atomic<bool> Done{false};
        // The one write that may be under way; guarded by WriteLock, as is Pipe once served.
        std::mutex WriteLock;
        THandle WriteEvent;
        OVERLAPPED Write{};
        std::string Written;
        bool Writing = false;
    };

    THandle NewInstance(bool first, DWORD& error);
    void Listen(THandle pipe);
    void ListenOn(THandle pipe);
    void Serve(TSession& session);
    // Starts an overlapped write of `message` unless one is under way.
    static void Send(TSession& session, const std::string& message);
    // Ends the write under way, if any, and closes the client's pipe.
    static void Close(TSession& session);
    void ReadMessages(TSession& session);
    void Received(const std::string& message, bool& collecting, std::string& parts, bool& overflow);

    std::wstring FPipeName;
    TOnMessage FOnMessage;
    THandle FStopEvent;
    PSECURITY_DESCRIPTOR FSecurity = nullptr;
    std::thread FListener;
    std::mutex FSessionsLock;
    std::vector<std::unique_ptr<TSession>> FSessions;
    std::atomic<int> FClients{0};
    std::string FWelcome; // guarded by FSessionsLock
};

} // namespace vantrel
