#include "pipes/WriteQueue.h"

#include "pipes/PipeException.h"
#include "win/ScopeExit.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vantrel {

TPipeWrite AllocPipeWrite(const void* buffer, uint32_t count) {
    auto record = std::make_unique<TPipeWriteBuffer>();
    record->Count = count;
    if (count > 0) {
        // Only bytes that are not copied need clearing.
        auto* bytes = static_cast<uint8_t*>(buffer ? std::malloc(count) : std::calloc(count, 1));
        if (!bytes)
            throw std::bad_alloc();
        // Owned from here on, also when making the owner raises.
        record->Storage = std::shared_ptr<const uint8_t>(
            bytes, [](const uint8_t* p) { std::free(const_cast<uint8_t*>(p)); });
        if (buffer)
            std::memcpy(bytes, buffer, count);
        record->Buffer = bytes;
    }
    return record;
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

void TWriteQueue::Enqueue(TPipeWrite buffer) {
    TLockGuard lock(FMutex);
    if (!buffer)
        return;
    auto updateState = ScopeExit([this] { UpdateState(); });
    // A long buffer goes out in parts that share its storage; the record goes when this
    // returns.
    if (buffer->Count > kMaxPipeMessage)
        EnqueueMultiPart(*buffer);
    else
        Append(std::move(buffer));
}

void TWriteQueue::Append(TPipeWrite buffer) {
    // When the node cannot be made, the buffer goes with the argument.
    auto* node = new TWriteNode{std::move(buffer), nullptr};
    if (FTail)
        FTail->Next = node;
    else
        FHead = node;
    FTail = node;
    FDataSize += NodeCost(*node);
    FCount++;
}

void TWriteQueue::EnqueueMultiPart(const TPipeWriteBuffer& buffer) {
    // Held for the whole sequence, so that no Dequeue can split it or take any of it before it
    // is complete.
    TLockGuard lock(FMutex);
    TWriteNode* const lastBefore = FTail;
    try {
        EnqueueControl(kTagStartMulti);
        const uint8_t* next = buffer.Buffer;
        uint32_t remaining = buffer.Count;
        while (remaining > 0) {
            uint32_t chunk = remaining > kMaxPipeMessage ? kMaxPipeMessage : remaining;
            remaining -= chunk;
            auto part = std::make_unique<TPipeWriteBuffer>();
            part->Buffer = next;
            part->Count = chunk;
            part->Storage = buffer.Storage;
            Append(std::move(part));
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
    // The two blocks never change: their records point at these, which need no owner.
    static const TPipeControlBlock start = ControlBlock(kTagStartMulti);
    static const TPipeControlBlock end = ControlBlock(kTagEndMulti);
    auto record = std::make_unique<TPipeWriteBuffer>();
    record->Buffer = reinterpret_cast<const uint8_t*>(tag == kTagStartMulti ? &start : &end);
    record->Count = sizeof(TPipeControlBlock);
    Append(std::move(record));
}

TPipeWrite TWriteQueue::Dequeue() {
    TLockGuard lock(FMutex);
    TPipeWrite result;
    if (FHead) {
        TWriteNode* node = FHead;
        FHead = node->Next;
        FDataSize -= NodeCost(*node);
        FCount--;
        if (FTail == node)
            FTail = nullptr;
        result = std::move(node->Data);
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
