#include "pipes/WriteQueue.h"

#include "pipes/PipeStream.h"
#include "PipeTestSupport.h"

#include <gtest/gtest.h>

#include <new>
#include <vector>

namespace vantrel {
namespace {

using testing::Bytes;
using testing::Control;
using testing::Pattern;

bool Signalled(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

std::vector<Bytes> Drain(TWriteQueue& queue) {
    std::vector<Bytes> out;
    while (TPipeWrite b = queue.Dequeue())
        out.emplace_back(b->Buffer, b->Buffer + b->Count);
    return out;
}

TEST(WriteQueue, EventsAndCostFollowTheContent) {
    TWriteQueue queue;
    EXPECT_TRUE(Signalled(queue.EmptyEvent()));
    EXPECT_FALSE(Signalled(queue.DataEvent()));
    queue.Enqueue(nullptr);
    EXPECT_EQ(0u, queue.DataSize());
    Bytes ten = Pattern(10);
    queue.Enqueue(AllocPipeWrite(ten.data(), 10));
    queue.Enqueue(AllocPipeWrite(ten.data(), 0));
    EXPECT_EQ(38u + 28u, queue.DataSize());
    EXPECT_FALSE(Signalled(queue.EmptyEvent()));
    EXPECT_TRUE(Signalled(queue.DataEvent()));
    auto got = Drain(queue);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(ten, got[0]);
    EXPECT_TRUE(got[1].empty());
    EXPECT_EQ(0u, queue.DataSize());
    EXPECT_TRUE(Signalled(queue.EmptyEvent()));
    EXPECT_FALSE(Signalled(queue.DataEvent()));
}

TEST(WriteQueue, LongMessageIsFramedInPartsOfTheLimit) {
    TWriteQueue queue;
    Bytes exact = Pattern(65534, 1);
    queue.Enqueue(AllocPipeWrite(exact.data(), 65534));
    EXPECT_EQ(65534u + 28u, queue.DataSize());
    Bytes longer = Pattern(3 * 65534 + 5, 2);
    queue.Enqueue(AllocPipeWrite(longer.data(), static_cast<uint32_t>(longer.size())));
    // Control blocks count 16 + 28 each; every part its size + 28.
    EXPECT_EQ(65562u + 2 * 44u + 3 * 65562u + 33u, queue.DataSize());
    auto got = Drain(queue);
    ASSERT_EQ(1u + 6u, got.size());
    EXPECT_EQ(exact, got[0]);
    EXPECT_EQ(Control(kTagStartMulti), got[1]);
    Bytes joined;
    for (size_t i = 2; i < 6; ++i)
        joined.insert(joined.end(), got[i].begin(), got[i].end());
    EXPECT_EQ(65534u, got[2].size());
    EXPECT_EQ(5u, got[5].size());
    EXPECT_EQ(longer, joined);
    EXPECT_EQ(Control(kTagEndMulti), got[6]);
}

// Running out of memory anywhere in framing a long message (a part, the end block) leaves
// nothing of it queued: an end block after some of its parts would have the receiver take a
// message cut short as whole.
TEST(WriteQueue, ALongMessageThatCannotBeQueuedWholeLeavesNothingBehind) {
    TWriteQueue queue;
    queue.Enqueue(AllocPipeWrite("before", 6));
    const uint32_t sizeBefore = queue.DataSize();
    Bytes longer = Pattern(5 * 65534 + 9, 3);
    int failures = 0;
    for (int after = 0; after < 100; ++after) {
        TPipeWrite buffer = AllocPipeWrite(longer.data(), static_cast<uint32_t>(longer.size()));
        bool raised = false;
        testing::FailAllocationAfter(after);
        try {
            queue.Enqueue(std::move(buffer));
        } catch (const std::bad_alloc&) {
            raised = true;
        }
        testing::FailAllocationAfter(-1);
        if (!raised)
            break;
        failures++;
        EXPECT_EQ(sizeBefore, queue.DataSize()) << "failing allocation " << after;
        EXPECT_TRUE(Signalled(queue.DataEvent()));
    }
    // Start block, six parts and end block: two allocations each.
    EXPECT_EQ(16, failures);
    auto got = Drain(queue);
    ASSERT_EQ(1u + 8u, got.size());
    EXPECT_EQ(testing::Text("before"), got[0]);
    EXPECT_EQ(Control(kTagStartMulti), got[1]);
    Bytes joined;
    for (size_t i = 2; i < 8; ++i)
        joined.insert(joined.end(), got[i].begin(), got[i].end());
    EXPECT_EQ(longer, joined);
    EXPECT_EQ(Control(kTagEndMulti), got[8]);
    EXPECT_EQ(0u, queue.DataSize());
}

TEST(WriteQueue, ClearDropsEverythingAndSignalsEmpty) {
    TWriteQueue queue;
    Bytes big = Pattern(200000);
    queue.Enqueue(AllocPipeWrite(big.data(), 200000));
    queue.Clear();
    EXPECT_EQ(0u, queue.DataSize());
    EXPECT_TRUE(Signalled(queue.EmptyEvent()));
    EXPECT_FALSE(Signalled(queue.DataEvent()));
    EXPECT_EQ(nullptr, queue.Dequeue());
    queue.Enqueue(AllocPipeWrite("a", 1));
    EXPECT_EQ(1u, Drain(queue).size());
}

TEST(WriteQueue, ControlBlockIsSixteenLittleEndianBytes) {
    Bytes start = Control(kTagStartMulti);
    const uint8_t expected[16] = {16,  0,   0,   0,   'M', 'A', 'G', 'C',
                                  'S', 'T', 'M', 'B', 'M', 'A', 'G', 'C'};
    EXPECT_EQ(Bytes(expected, expected + 16), start);
    Bytes end = Control(kTagEndMulti);
    EXPECT_EQ('E', end[8]);
}

TEST(FastMemStream, GrowsInLargeStepsAndReleasesOnClear) {
    TFastMemStream stream;
    stream.Write("0123456789", 10);
    EXPECT_EQ(65545u, stream.Capacity());
    EXPECT_EQ(10u, stream.Size());
    EXPECT_EQ(10u, stream.Position());
    Bytes more = Pattern(100000);
    stream.SetPosition(0);
    stream.Write(more.data(), 100000);
    EXPECT_EQ(125000u, stream.Capacity());
    EXPECT_EQ(100000u, stream.Size());
    stream.SetPosition(0);
    Bytes back(100000);
    EXPECT_EQ(100000u, stream.Read(back.data(), 200000));
    EXPECT_EQ(more, back);
    EXPECT_EQ(0u, stream.Read(back.data(), 1));
    stream.Clear();
    EXPECT_EQ(0u, stream.Size());
    EXPECT_EQ(0u, stream.Capacity());
    EXPECT_EQ(nullptr, stream.Memory());
}

TEST(FastMemStream, WritingPastTheEndFillsTheGapWithZeros) {
    TFastMemStream stream;
    stream.SetPosition(4);
    stream.Write("x", 1);
    ASSERT_EQ(5u, stream.Size());
    EXPECT_EQ(Bytes({0, 0, 0, 0, 'x'}), Bytes(stream.Memory(), stream.Memory() + 5));
}

} // namespace
} // namespace vantrel
