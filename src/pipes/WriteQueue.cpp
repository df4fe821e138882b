#include "pipes/WriteQueue.h"

#include "pipes/PipeException.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vantrel {

TPipeWriteBuffer* AllocPipeWrite(const void* buffer, uint32_t count) {
    auto* record = new TPipeWriteBuffer{nullptr, count};
    if (count > 0) {
        record->Buffer = static_cast<uint8_t*>(std::calloc(count, 1));
        if (!record->Buffer) {
            delete record;
            throw std::bad_alloc();
        }
        if (buffer)
            std::memcpy(record->Buffer, buffer, count);
    }
    return record;
}

void FreePipeWrite(TPipeWriteBuffer*& buffer) {
    if (!buffer)
        return;
    std::free(buffer->Buffer);
    delete buffer;
    buffer = nullptr;
}

uint32_t NodeCost(const TWriteNode& node) {
    return node.Data ? node.Data->Count + 28 : 12;
}

TWriteQueue::TWriteQueue() {
    // No security attributes: neither handle is inherited by a started program.
    FDataEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!FDataEvent)
        RaiseLastSystemError();
    FEmptyEvent.Reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (!FEmptyEvent)
        RaiseLastSystemError();
}

TWriteQueue::~TWriteQueue() {
    Clear();
}

void TWriteQueue::Enqueue(TPipeWriteBuffer* buffer) {
    TLockGuard lock(FMutex);
    if (!buffer)
        return;
    try {
        if (buffer->Count > kMaxPipeMessage)
            EnqueueMultiPart(buffer);
        else
            Append(buffer);
    } catch (...) {
        UpdateState();
        throw;
    }
    UpdateState();
}

void TWriteQueue::Append(TPipeWriteBuffer* buffer) {
    TWriteNode* node = nullptr;
    try {
        node = new TWriteNode{buffer, nullptr};
    } catch (...) {
        FreePipeWrite(buffer);
        throw;
    }
    if (FTail)
        FTail->Next = node;
    else
        FHead = node;
    FTail = node;
    FDataSize += NodeCost(*node);
    FCount++;
}

void TWriteQueue::EnqueueMultiPart(TPipeWriteBuffer* buffer) {
    // Held for the whole sequence so that no Dequeue can split it.
    TLockGuard lock(FMutex);
    try {
        EnqueueControl(kTagStartMulti);
        const uint8_t* next = buffer->Buffer;
        uint32_t remaining = buffer->Count;
        while (remaining > 0) {
            uint32_t chunk = remaining > kMaxPipeMessage ? kMaxPipeMessage : remaining;
            remaining -= chunk;
            Append(AllocPipeWrite(next, chunk));
            next += chunk;
        }
    } catch (...) {
        EnqueueControl(kTagEndMulti);
        FreePipeWrite(buffer);
        throw;
    }
    EnqueueControl(kTagEndMulti);
    FreePipeWrite(buffer);
}

void TWriteQueue::EnqueueControl(uint32_t tag) {
    TLockGuard lock(FMutex);
    TPipeControlBlock block{16, kControlMagic, tag, kControlMagic};
    Append(AllocPipeWrite(&block, sizeof(block)));
}

TPipeWriteBuffer* TWriteQueue::Dequeue() {
    TLockGuard lock(FMutex);
    TPipeWriteBuffer* result = nullptr;
    if (FHead) {
        TWriteNode* node = FHead;
        FHead = node->Next;
        FDataSize -= NodeCost(*node);
        FCount--;
        if (FTail == node)
            FTail = nullptr;
        result = node->Data;
        delete node;
    }
    UpdateState();
    return result;
}

void TWriteQueue::Clear() {
    TLockGuard lock(FMutex);
    ResetEvent(FDataEvent.Get());
    while (FHead) {
        TWriteNode* node = FHead;
        FHead = node->Next;
        FreePipeWrite(node->Data);
        delete node;
    }
    FTail = nullptr;
    FDataSize = 0;
    FCount = 0;
    FSignalledData = false;
    SetEvent(FEmptyEvent.Get());
}

void TWriteQueue::UpdateState() {
    if ((FHead != nullptr) == FSignalledData)
        return;
    FSignalledData = FHead != nullptr;
    if (FHead) {
        SetEvent(FDataEvent.Get());
        ResetEvent(FEmptyEvent.Get());
    } else {
        ResetEvent(FDataEvent.Get());
        SetEvent(FEmptyEvent.Get());
    }
}

} // namespace vantrel
