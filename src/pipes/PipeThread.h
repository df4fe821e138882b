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

class TPipeThread : public TThreadEx {
public:
    // Created suspended and freeing itself when it ends. The pipe becomes the worker's, which
    // closes it at its end (or when it is freed without having run); the kill event is copied,
    // so the client may close its own. Each worker needs an event of its own: one that the
    // client gave up on must still see its stop signal when the next one starts.
    TPipeThread(HWND notifyWindow, DWORD notifyThread, std::shared_ptr<TWriteQueue> writeQueue,
                THandle pipe, HANDLE killEvent);
    ~TPipeThread() override;

    // Asked by a client that gave up waiting: a stop now reports no error and skips the final
    // flush, which a service that stopped reading would never let return.
    void Abandon() { FAbandoned = true; }
    // Set by the client just before it signals the kill event. From then on the worker starts
    // no further write, only finishes what is under way.
    void RequestStop() { FStopRequested = true; }
    bool StopRequested() const { return FStopRequested; }
    // Cancels the worker's pending pipe I/O from another thread; nothing once the worker has
    // closed its pipe, whose handle value the system may have given to something else since.
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
    void ProcessReceived();
    LRESULT NotifyClient(UINT message, WPARAM wParam, LPARAM lParam);
    bool TakePartialRead();
    void AppendRead(DWORD count);
    void SkipMessage();
    void FinishMessage(DWORD count);

    HWND FNotifyWindow;
    DWORD FNotifyThread;
    THandle FPipe;
    // Guards the closing of FPipe against CancelPipeIo.
    TCriticalSection FPipeLock;
    DWORD FErrorCode = 0;
    DWORD FBytesWritten = 0;
    std::shared_ptr<TWriteQueue> FWriteQueue;
    TPipeWrite FCurrentWrite;
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
    THandle FKillEvent;
    std::atomic<bool> FAbandoned{false};
    std::atomic<bool> FStopRequested{false};
    std::atomic<bool> FEnding{false};
};

} // namespace vantrel
