#pragma once
// The worker that performs all I/O on a client's pipe: one overlapped read outstanding at all
// times, queued messages written one at a time, every complete incoming message handed to the
// client's notification window by a sent message.
#include "pipes/PipeStream.h"
#include "pipes/ThreadSync.h"
#include "pipes/WriteQueue.h"
#include "win/Handle.h"
#include "win/Lock.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace vantrel {

// The largest incoming message that is collected and delivered, multi-part or not. Anything
// larger is skipped to its end as it arrives, without being stored.
inline constexpr uint32_t kMaxIncomingMessage = 1024 * 1024;

// A multi-part incoming message, collected in a temporary file that the system deletes when
// it is closed, or in memory when no temporary file can be made.
class TPipeMultiMsg {
public:
    TPipeMultiMsg();
    ~TPipeMultiMsg();
    TPipeMultiMsg(const TPipeMultiMsg&) = delete;
    TPipeMultiMsg& operator=(const TPipeMultiMsg&) = delete;

    TStream& Stream() { return *FStream; }
    HANDLE TempFile() const { return FTempFile.Get(); }

private:
    void CreateTempBacking();
    // Declared before the stream over it, so that the stream goes first.
    THandle FTempFile;
    std::unique_ptr<TStream> FStream;
};

// The pipe messages that the service has read and whose sent notifications are still due, in
// the order they were written. The worker hands the record to the client in one notification
// (WM_PIPE_SENT, lParam), which reports each of them on its own: every notification is a round
// trip to the owner's thread, which cost more than writing the part did.
struct TPipeSentBatch {
    // Bounds how long a stream of parts keeps the first ones unreported.
    static constexpr uint32_t kCapacity = 64;
    uint32_t Count = 0;
    uint32_t Sizes[kCapacity] = {};
};

class TPipeThread : public TThreadEx {
public:
    // Created suspended. Its owner (the client) asks it to stop and waits for its end before
    // freeing it. The pipe becomes the worker's, which closes it at its end (or when it is freed
    // without having run); the queue is its owner's and outlives it.
    TPipeThread(HWND notifyWindow, DWORD notifyThread, TWriteQueue& writeQueue, THandle pipe);
    ~TPipeThread() override;

    // From any thread. The worker starts no further write and ends once what is under way has
    // finished, within a moment; what is still queued stays unwritten.
    void RequestStop();
    // From any thread while the worker runs: cancels its pipe I/O, so that a worker which waits
    // in a write or a flush that a service which stopped reading never lets finish ends. The
    // operations it cancels are not reported as errors once a stop was asked for.
    void CancelPipeIo();
    // True once the worker has left its transfer loop: it writes nothing more and is about to
    // close the pipe and report its end, which waits for the client's thread.
    bool Ending() const { return FEnding; }

protected:
    void Execute() override;

private:
    void Transfer();
    void FinishOnStop();
    bool OtherWorkWaiting() const;
    void ShutDown();
    bool ReadPipe();
    bool CompleteRead();
    bool WritePipe();
    bool StartWrite();
    bool CompleteWrite();
    bool FlushWritten();
    BOOL FlushPipe();
    void ProcessReceived();
    void ReportSent();
    LRESULT NotifyClient(UINT message, WPARAM wParam, LPARAM lParam);
    bool TakePartialRead();
    void AppendRead(DWORD count);
    void SkipMessage();
    void FinishMessage(DWORD count);

    HWND FNotifyWindow;
    DWORD FNotifyThread;
    THandle FPipe;
    // Guards the closing of FPipe and the changes of FFlushing against CancelPipeIo from the
    // owner's thread.
    TCriticalSection FPipeLock;
    // Set around the pipe's flush, the only synchronous I/O that CancelPipeIo may end: the
    // worker's other synchronous I/O (the temporary file of a long message) must not be lost.
    bool FFlushing = false;
    DWORD FErrorCode = 0;
    DWORD FBytesWritten = 0;
    TWriteQueue& FWriteQueue;
    TPipeWrite FCurrentWrite;
    TPipeSentBatch FSent;
    DWORD FBytesRead = 0;
    bool FReadPending = false;
    bool FWritePending = false;
    std::unique_ptr<TPipeMultiMsg> FMultiMsg;
    uint64_t FMultiSize = 0;
    // The parts of a long message that could not be collected are dropped up to its end block,
    // rather than delivered one by one as messages of their own.
    bool FDiscardingMulti = false;
    // The pipe message being read is over the cap: its bytes are dropped as they arrive.
    bool FSkippingMessage = false;
    TFastMemStream FInStream;
    std::vector<uint8_t> FReadBuffer;
    DWORD FReadBufferSize = kMaxPipeMessage;
    DWORD FReadSize = 0;
    HANDLE FWaitHandles[4] = {};
    OVERLAPPED FReadOverlapped{};
    THandle FReadEvent;
    OVERLAPPED FWriteOverlapped{};
    THandle FWriteEvent;
    // Signalled by RequestStop, which sets FStopRequested first: the event wakes the wait, the
    // flag is read wherever the worker decides whether to go on, without a round trip.
    THandle FKillEvent;
    std::atomic<bool> FStopRequested{false};
    std::atomic<bool> FEnding{false};
};

} // namespace vantrel
