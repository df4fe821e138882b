#include "pipes/WriteQueue.h"

#include "pipes/PipeException.h"
#include "win/ScopeExit.h"

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
    auto updateState = ScopeExit([this] { UpdateState(); });
    if (buffer->Count > kMaxPipeMessage)
        EnqueueMultiPart(buffer);
    else
        Append(buffer);
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
    // Held for the whole sequence, so that no Dequeue can split it or take any of it before it
    // is complete.
    TLockGuard lock(FMutex);
    auto freeBuffer = ScopeExit([&buffer] { FreePipeWrite(buffer); });
    TWriteNode* const lastBefore = FTail;
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
        EnqueueControl(kTagEndMulti);
    } catch (...) {
        // An end block after part of the message would have the receiver take a message cut
        // short as whole. Nothing of the sequence has gone out yet: take all of it back.
        RemoveAfter(lastBefore);
        throw;
    }
}

// Drops every node after `last` (all of them for none).
void TWriteQueue::RemoveAfter(TWriteNode* last) {
    TWriteNode* node = last ? last->Next : FHead;
    while (node) {
        TWriteNode* next = node->Next;
        FDataSize -= NodeCost(*node);
        FCount--;
        FreePipeWrite(node->Data);
        delete node;
        node = next;
    }
    if (last)
        last->Next = nullptr;
    else
        FHead = nullptr;
    FTail = last;
}

void TWriteQueue::EnqueueControl(uint32_t tag) {
    TLockGuard lock(FMutex);
    const TPipeControlBlock block = ControlBlock(tag);
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
