#pragma once
// The outgoing side of the pipe: copies of messages waiting for the worker, and the framing
// that carries messages longer than one pipe message as a sequence of parts.
#include "pipes/PipeFraming.h"
#include "win/Handle.h"
#include "win/Lock.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace vantrel {

// One outgoing pipe message: `Count` bytes at `Buffer`, within storage that the record keeps
// alive (none for the fixed control blocks). The parts of a long message share the one copy of it
// rather than each copying their bytes again: copying every part a second time tripled what a 1 MB
// Write cost the writer.
struct TPipeWriteBuffer {
    const uint8_t* Buffer = nullptr;
    uint32_t Count = 0;
    std::shared_ptr<const uint8_t> Storage;
};
using TPipeWrite = std::unique_ptr<TPipeWriteBuffer>;

// A copy of `count` bytes of `buffer` (zero-filled for none); raises std::bad_alloc.
TPipeWrite AllocPipeWrite(const void* buffer, uint32_t count);

struct TWriteNode {
    TPipeWrite Data;
    TWriteNode* Next;
};

// What a queued node counts against the memory throttle.
uint32_t NodeCost(const TWriteNode& node);

class TWriteQueue {
public:
    TWriteQueue();
    ~TWriteQueue();
    TWriteQueue(const TWriteQueue&) = delete;
    TWriteQueue& operator=(const TWriteQueue&) = delete;

    // Takes ownership; a buffer over kMaxPipeMessage bytes becomes "STMB", its parts, "ETMB".
    // When that cannot be queued whole (out of memory), none of it is queued and it raises.
    void Enqueue(TPipeWrite buffer);
    // The oldest buffer, now the caller's, or none.
    TPipeWrite Dequeue();
    void Clear();

    uint32_t DataSize() const { return FDataSize.load(std::memory_order_relaxed); }
    // Whether anything is queued, without a round trip to the system as a wait would cost.
    bool HasData() const { return FCount.load(std::memory_order_acquire) > 0; }
    // Signalled while the queue holds something, and while it is empty.
    HANDLE DataEvent() const { return FDataEvent.Get(); }
    HANDLE EmptyEvent() const { return FEmptyEvent.Get(); }

private:
    void EnqueueMultiPart(const TPipeWriteBuffer& buffer);
    void EnqueueControl(uint32_t tag);
    void Append(TPipeWrite buffer);
    void RemoveAfter(TWriteNode* last);
    void UpdateState();

    // A critical section, which its owner may enter again as the multi-part path does. Under
    // Wine every call on a kernel mutex or event is a server round trip, so the events below
    // are only touched when the state changes.
    TCriticalSection FMutex;
    bool FSignalledData = false;
    THandle FDataEvent;
    THandle FEmptyEvent;
    std::atomic<uint32_t> FDataSize{0};
    std::atomic<uint32_t> FCount{0};
    TWriteNode* FHead = nullptr;
    TWriteNode* FTail = nullptr;
};

} // namespace vantrel
