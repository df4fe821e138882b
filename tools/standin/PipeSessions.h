#pragma once
// The stand-in's data side: the sessions that serve the service's pipe to its clients, the
// message log, and the state that the control channel reads and steers.
#include "win/Handle.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace standin {

using vantrel::THandle;
using Bytes = std::vector<uint8_t>;

struct Options {
    std::wstring pipeName = L"QorPipe";
    std::wstring controlName;
    std::wstring logPath;
    bool userOwned = false;
};

extern Options gOptions;
extern THandle gStopEvent;   // set on "exit"
extern THandle gResumeEvent; // set while reading, reset while stalled
extern THandle gStallEvent;  // the opposite
extern std::atomic<bool> gEcho;
extern std::atomic<bool> gStalled;
// Session objects that exist, ended or not: each holds a pipe and four events.
extern std::atomic<int> gSessionObjects;

extern std::mutex gStatsLock;
extern uint64_t gMessages;
extern uint64_t gBytes;
extern uint64_t gPipeMessages;
extern uint64_t gFlooded;
extern Bytes gLast;

THandle NewEvent(bool signalled = false);
// Byte i of a generated reply: (i * 7) mod 251, so that no run of bytes repeats early.
Bytes Pattern(uint32_t size);
std::wstring DefaultLogPath();

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
    explicit Session(THandle pipe);
    ~Session() { gSessionObjects--; }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Send(Bytes message);
    // A long message goes out as "STMB", parts of at most 65,534 bytes, "ETMB".
    void SendFramed(const Bytes& message);
    // Replaces the flood under way; an endless multi-part message that stops gets its "ETMB".
    void Flood(TFlood mode, uint32_t size);
    void Close() { SetEvent(FCloseEvent.Get()); }
    bool Ended() const { return FEnded; }
    bool Reading() const { return FReading; }

    void Run();

private:
    // The next message of the flood, under FQueueLock; `spare` holds it when it is not kept.
    const Bytes& NextFloodMessage(Bytes& spare);
    void Received(const Bytes& buffer, DWORD count, Bytes& incoming, bool whole);
    void Deliver(const Bytes& message);

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

// The sessions under way that have not ended.
std::vector<std::shared_ptr<Session>> LiveSessions();
// Waits until every session has ended and left the list.
void AwaitSessionsEnded();

THandle MakePipe(const std::wstring& name, bool first);
// Waits for a client on `pipe`; false when told to exit first.
bool AwaitClient(HANDLE pipe);
// Serves the data pipe: each client gets a session on a thread of its own.
void ServeData(THandle pipe);

} // namespace standin
