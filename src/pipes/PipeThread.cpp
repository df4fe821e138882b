#include "pipes/PipeThread.h"

#include "pipes/PipeClient.h"
#include "pipes/PipeException.h"
#include "pipes/PipeFraming.h"
#include "win/ScopeExit.h"

namespace vantrel {

namespace {

void ZeroOverlappedWords(OVERLAPPED& overlapped) {
    overlapped.Internal = 0;
    overlapped.InternalHigh = 0;
    overlapped.Offset = 0;
    overlapped.OffsetHigh = 0;
}

} // namespace

// --- TPipeMultiMsg --------------------------------------------------------------------------

TPipeMultiMsg::TPipeMultiMsg() {
    CreateTempBacking();
}

// The system deletes the temporary file when FTempFile closes it, after the stream is gone.
TPipeMultiMsg::~TPipeMultiMsg() = default;

void TPipeMultiMsg::CreateTempBacking() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) != 0 && GetTempFileNameW(folder, L"PMM", 0, name) != 0)
        FTempFile.Reset(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (FTempFile) {
        FStream = std::make_unique<THandleStream>(FTempFile.Get());
    } else {
        FTempFile.Reset();
        FStream = std::make_unique<TFastMemStream>();
    }
}

// --- TPipeThread ----------------------------------------------------------------------------

TPipeThread::TPipeThread(HWND notifyWindow, DWORD notifyThread, TWriteQueue& writeQueue,
                         THandle pipe)
    : FNotifyWindow(notifyWindow), FNotifyThread(notifyThread), FPipe(std::move(pipe)),
      FWriteQueue(writeQueue), FReadBuffer(kMaxPipeMessage, 0) {
    SetPriority(THREAD_PRIORITY_BELOW_NORMAL);
    FReadEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FWriteEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FKillEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!FReadEvent || !FWriteEvent || !FKillEvent)
        RaiseLastSystemError();
    FReadOverlapped.hEvent = FReadEvent.Get();
    FWriteOverlapped.hEvent = FWriteEvent.Get();
    FWaitHandles[0] = FKillEvent.Get();
    FWaitHandles[1] = FReadEvent.Get();
    FWaitHandles[2] = FWriteEvent.Get();
    FWaitHandles[3] = FWriteQueue.DataEvent();
}

// The pipe and the events are normally closed at the end of Execute; a worker that never ran
// closes them with its other members.
TPipeThread::~TPipeThread() = default;

void TPipeThread::RequestStop() {
    FStopRequested = true;
    SetEvent(FKillEvent.Get());
}

void TPipeThread::Execute() {
    if (SyncThreadID() != FNotifyThread) {
        FEnding = true;
        PostMessageW(FNotifyWindow, WM_PIPE_WRONG_THREAD, 0, 0);
    } else {
        try {
            Transfer();
        } catch (...) {
            // Out of memory for an incoming message, most likely. The pipe must still be shut
            // down below: the system writes into our OVERLAPPED records until it is.
            FErrorCode = ERROR_NOT_ENOUGH_MEMORY;
            ReportSent();
            FEnding = true;
            NotifyClient(WM_PIPE_ERROR, reinterpret_cast<WPARAM>(FPipe.Get()),
                         static_cast<LPARAM>(FErrorCode));
        }
    }
    // Whatever way it ended, what the service has read is reported before the end.
    ReportSent();
    // Nothing more is written from here on: the client must not queue for this worker.
    FEnding = true;
    ShutDown();
}

void TPipeThread::Transfer() {
    while (!Terminated()) {
        bool ok = ReadPipe();
        if (ok)
            ok = WritePipe();
        Sleep(0);
        if (ok && FStopRequested) {
            // Also with a read pending: the kill event is the signal of choice, but a stop
            // that is known already needs no wait to be seen.
            FinishOnStop();
        } else if (ok && FWritePending && !FStopRequested &&
                   HasOverlappedIoCompleted(&FWriteOverlapped) &&
                   !(FReadPending && HasOverlappedIoCompleted(&FReadOverlapped))) {
            // The write finished while the owner handled the previous notification. Under
            // Wine every wait is a server round trip; this one would only report what is
            // known already. A stop request or a finished read still goes through the wait,
            // which ranks them first.
            ok = CompleteWrite();
        } else if (ok && !FReadPending) {
            // The read loop gave way to a queued write, which is under way now: read on.
        } else if (ok) {
            // While a write is pending, queue content cannot be written and would only
            // wake the loop for nothing.
            DWORD count = FWritePending ? 3 : 4;
            DWORD result = WaitForMultipleObjects(count, FWaitHandles, FALSE, INFINITE);
            switch (result) {
            case WAIT_OBJECT_0:
                FinishOnStop();
                break;
            case WAIT_OBJECT_0 + 1:
                ok = CompleteRead();
                break;
            case WAIT_OBJECT_0 + 2:
                ok = CompleteWrite();
                break;
            case WAIT_OBJECT_0 + 3:
                break;
            default:
                FErrorCode = GetLastError();
                ok = false;
            }
        }
        if (!ok) {
            // What was read before the failure is reported while the client is connected.
            ReportSent();
            // Ending before the report, so that a handler of the error sees the client no
            // longer connected.
            FEnding = true;
            // A broken pipe is the service closing its end, and an operation cancelled after
            // a stop was asked for is the owner's doing: neither is an error to report.
            if (FErrorCode != ERROR_BROKEN_PIPE &&
                !(FStopRequested && FErrorCode == ERROR_OPERATION_ABORTED))
                NotifyClient(WM_PIPE_ERROR, reinterpret_cast<WPARAM>(FPipe.Get()),
                             static_cast<LPARAM>(FErrorCode));
            Terminate();
        }
    }
}

void TPipeThread::FinishOnStop() {
    // A stop still completes what finishes within a moment.
    if (FWritePending && WaitForSingleObject(FWriteEvent.Get(), 100) == WAIT_OBJECT_0)
        CompleteWrite();
    if (FReadPending && WaitForSingleObject(FReadEvent.Get(), 100) == WAIT_OBJECT_0)
        CompleteRead();
    Terminate();
}

// Whether the read loop must give way: to a stop request, to a write that has finished or to
// queued messages that no write is under way for. Memory reads only, no round trip.
bool TPipeThread::OtherWorkWaiting() const {
    if (FStopRequested)
        return true;
    if (FWritePending)
        return HasOverlappedIoCompleted(&FWriteOverlapped);
    return FWriteQueue.HasData();
}

void TPipeThread::ShutDown() {
    if (FPipe) {
        CancelIo(FPipe.Get());
        // The kernel writes into the OVERLAPPED records until a cancelled operation has
        // completed; they must not be freed before that.
        DWORD ignored = 0;
        if (FReadPending)
            GetOverlappedResult(FPipe.Get(), &FReadOverlapped, &ignored, TRUE);
        if (FWritePending)
            GetOverlappedResult(FPipe.Get(), &FWriteOverlapped, &ignored, TRUE);
        FReadPending = false;
        FWritePending = false;
        // Returns once the service has read what was written; the owner cancels a flush that
        // a service which stopped reading would never let return.
        FlushPipe();
    }
    {
        TLockGuard guard(FPipeLock);
        FPipe.Close();
    }
    FReadEvent.Close();
    FWriteEvent.Close();
}

// Keeps `count` bytes of the read buffer as part of the pipe message being read, up to the
// cap; past it the message is dropped, and the rest of it as it arrives.
void TPipeThread::AppendRead(DWORD count) {
    if (count == 0 || FSkippingMessage)
        return;
    if (FInStream.Size() + count > kMaxIncomingMessage) {
        SkipMessage();
        return;
    }
    FInStream.Write(FReadBuffer.data(), count);
}

void TPipeThread::SkipMessage() {
    FInStream.Clear();
    FSkippingMessage = true;
}

// A pipe message is complete; its last `count` bytes are in the read buffer.
void TPipeThread::FinishMessage(DWORD count) {
    AppendRead(count);
    if (!FSkippingMessage) {
        ProcessReceived();
        return;
    }
    FSkippingMessage = false;
    FInStream.Clear();
    // Too large a part spoils the multi-part message it belongs to.
    if (FMultiMsg) {
        FMultiMsg.reset();
        FDiscardingMulti = true;
    }
}

// After ERROR_MORE_DATA: keeps what was read and sizes the next read to the rest of the
// message. False, with FErrorCode set, when the rest cannot be learned.
bool TPipeThread::TakePartialRead() {
    AppendRead(FReadSize);
    DWORD left = 0;
    if (!PeekNamedPipe(FPipe.Get(), nullptr, 0, nullptr, nullptr, &left)) {
        FErrorCode = GetLastError();
        return false;
    }
    if (!FSkippingMessage && FInStream.Size() + left > kMaxIncomingMessage)
        SkipMessage();
    FReadSize = left == 0 ? FReadBufferSize : left;
    if (FReadSize > FReadBufferSize) {
        // A message that is being skipped goes through the buffer as it is; the buffer only
        // grows for one that is kept, so never past the cap.
        if (FSkippingMessage) {
            FReadSize = FReadBufferSize;
        } else {
            FReadBuffer.resize(FReadSize);
            FReadBufferSize = FReadSize;
        }
    }
    return true;
}

bool TPipeThread::ReadPipe() {
    if (FReadPending)
        return true;
    FReadSize = FReadBufferSize;
    while (!FReadPending) {
        ZeroOverlappedWords(FReadOverlapped);
        if (ReadFile(FPipe.Get(), FReadBuffer.data(), FReadSize, &FBytesRead, &FReadOverlapped)) {
            // A whole message was waiting.
            auto resetEvent = ScopeExit([this] { ResetEvent(FReadEvent.Get()); });
            FinishMessage(FBytesRead);
        } else {
            FErrorCode = GetLastError();
            if (FErrorCode == ERROR_MORE_DATA) {
                if (!TakePartialRead())
                    return false;
            } else if (FErrorCode == ERROR_IO_PENDING) {
                FReadPending = true;
            } else {
                return false;
            }
        }
        // A service that sends without pause would keep the worker here for good: between
        // reads, a stop request and the writes get their turn. The read goes on from where it
        // stopped at the next pass, which reads at least once more, so what was waiting when
        // a stop came is still delivered.
        if (!FReadPending && OtherWorkWaiting())
            return true;
    }
    return true;
}

bool TPipeThread::CompleteRead() {
    ResetEvent(FReadEvent.Get());
    FReadPending = false;
    bool ok = GetOverlappedResult(FPipe.Get(), &FReadOverlapped, &FBytesRead, TRUE) != FALSE;
    if (!ok) {
        FErrorCode = GetLastError();
        if (FErrorCode == ERROR_MORE_DATA && TakePartialRead()) {
            ZeroOverlappedWords(FReadOverlapped);
            ok = ReadFile(FPipe.Get(), FReadBuffer.data(), FReadSize, &FBytesRead,
                          &FReadOverlapped) != FALSE;
            if (!ok) {
                FErrorCode = GetLastError();
                if (FErrorCode == ERROR_IO_PENDING) {
                    FReadPending = true;
                    ok = true;
                } else if (FErrorCode == ERROR_MORE_DATA) {
                    // The rest of the message grew past what the peek saw: keep collecting
                    // through the read loop.
                    ok = TakePartialRead();
                    if (ok)
                        return ReadPipe();
                }
            }
        }
    }
    if (ok && !FReadPending)
        FinishMessage(FBytesRead);
    return ok;
}

BOOL TPipeThread::FlushPipe() {
    {
        TLockGuard guard(FPipeLock);
        FFlushing = true;
    }
    const BOOL flushed = FlushFileBuffers(FPipe.Get());
    const DWORD code = GetLastError();
    // Under the lock, so that a CancelPipeIo that saw the flag has made its cancel before the
    // worker goes on to any other I/O.
    {
        TLockGuard guard(FPipeLock);
        FFlushing = false;
    }
    SetLastError(code);
    return flushed;
}

bool TPipeThread::FlushWritten() {
    if (FlushPipe())
        return true;
    FErrorCode = GetLastError();
    return false;
}

bool TPipeThread::WritePipe() {
    if (FWritePending)
        return true;
    return StartWrite();
}

// Starts writing the next queued message. One that completes at once leaves its event
// signalled and is finished by CompleteWrite like any other, so there is one path for both.
bool TPipeThread::StartWrite() {
    // A stop only finishes what is under way; what is still queued is dropped with the worker.
    if (FStopRequested || !FWriteQueue.HasData())
        return true;
    FCurrentWrite = FWriteQueue.Dequeue();
    if (!FCurrentWrite)
        return true;
    ZeroOverlappedWords(FWriteOverlapped);
    bool ok = WriteFile(FPipe.Get(), FCurrentWrite->Buffer, FCurrentWrite->Count, &FBytesWritten,
                        &FWriteOverlapped) != FALSE;
    FErrorCode = ok ? 0 : GetLastError();
    if (ok || FErrorCode == ERROR_IO_PENDING) {
        FWritePending = true;
        return true;
    }
    FCurrentWrite.reset();
    return false;
}

bool TPipeThread::CompleteWrite() {
    bool ok = GetOverlappedResult(FPipe.Get(), &FWriteOverlapped, &FBytesWritten, TRUE) != FALSE;
    FWritePending = false;
    if (!ok)
        FErrorCode = GetLastError();
    // The flush returns when the service has read the message, which is what a sent
    // notification promises; one that fails (or that the owner cancelled, because the service
    // stopped reading) reports no message as sent.
    if (ok)
        ok = FlushWritten();
    FCurrentWrite.reset();
    if (!ok) {
        ResetEvent(FWriteEvent.Get());
        return false;
    }
    FSent.Sizes[FSent.Count++] = FBytesWritten;
    // The next message goes out before this one is reported, so that the service reads it
    // while the owner thread handles a notification; still one write at a time. A stop only
    // finishes what is under way; it starts nothing new.
    bool next = FStopRequested || Terminated() ? true : StartWrite();
    // A started write has reset the event itself; otherwise it must not wake the loop again.
    if (!FWritePending)
        ResetEvent(FWriteEvent.Get());
    // While more messages go out at once, their notifications wait and go together; one that
    // is not followed at once is reported now, as is a full record.
    if (!FWritePending || FSent.Count == TPipeSentBatch::kCapacity)
        ReportSent();
    return next;
}

void TPipeThread::ReportSent() {
    if (FSent.Count == 0)
        return;
    NotifyClient(WM_PIPE_SENT, reinterpret_cast<WPARAM>(FPipe.Get()),
                 reinterpret_cast<LPARAM>(&FSent));
    FSent.Count = 0;
}

void TPipeThread::CancelPipeIo() {
    // A flush is synchronous I/O of the worker's thread; the reads and writes are overlapped
    // I/O on the pipe handle. Once the worker has closed its pipe there is nothing to cancel,
    // and the handle value may belong to something else by then. A flush about to start is
    // missed here and cancelled at the next round.
    TLockGuard guard(FPipeLock);
    if (!FPipe)
        return;
    if (FFlushing)
        CancelSynchronousIo(Handle());
    CancelIoEx(FPipe.Get(), nullptr);
}

LRESULT TPipeThread::NotifyClient(UINT message, WPARAM wParam, LPARAM lParam) {
    // The owner learns of every event in the order it happened: a message received or an error
    // after a write that the service has read comes after that write's notification.
    if (message != WM_PIPE_SENT)
        ReportSent();
    if (!IsWindow(FNotifyWindow))
        return 0;
    return SendMessageW(FNotifyWindow, message, wParam, lParam);
}

void TPipeThread::ProcessReceived() {
    FInStream.SetPosition(0);
    auto clear = ScopeExit([this] { FInStream.Clear(); });
    uint32_t tag = 0;
    if (IsControlBlock(FInStream.Memory(), static_cast<size_t>(FInStream.Size()), tag)) {
        FDiscardingMulti = false;
        if (tag == kTagStartMulti) {
            // A sequence that never ended is dropped with its file.
            FMultiMsg.reset();
            FMultiMsg = std::make_unique<TPipeMultiMsg>();
            FMultiSize = 0;
        } else if (tag == kTagEndMulti) {
            if (FMultiMsg) {
                std::unique_ptr<TPipeMultiMsg> message = std::move(FMultiMsg);
                message->Stream().SetPosition(0);
                NotifyClient(WM_PIPE_MESSAGE, reinterpret_cast<WPARAM>(FPipe.Get()),
                             reinterpret_cast<LPARAM>(static_cast<TStream*>(&message->Stream())));
            }
        } else {
            FMultiMsg.reset();
        }
    } else if (FMultiMsg) {
        TStream& part = FMultiMsg->Stream();
        const uint64_t size = FInStream.Size();
        if (FMultiSize + size > kMaxIncomingMessage ||
            (size > 0 && part.Write(FInStream.Memory(), static_cast<uint32_t>(size)) != size)) {
            // Over the cap, or the temporary file is full or gone: the message is dropped
            // with its file, and its further parts as they arrive.
            FMultiMsg.reset();
            FDiscardingMulti = true;
        } else {
            FMultiSize += size;
        }
    } else if (!FDiscardingMulti) {
        NotifyClient(WM_PIPE_MESSAGE, reinterpret_cast<WPARAM>(FPipe.Get()),
                     reinterpret_cast<LPARAM>(static_cast<TStream*>(&FInStream)));
    }
}

} // namespace vantrel
