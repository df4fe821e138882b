// Lets a test make an allocation fail, as it would when memory runs out: this test program's
// global operator new counts the allocations of the thread that asked for a failure.
#include "PipeTestSupport.h"

#include <cstdlib>
#include <new>

namespace {

// Allocations left before the one that fails; -1 when none is to fail.
thread_local int gAllocationsBeforeFailure = -1;

void* Allocate(std::size_t size) {
    if (gAllocationsBeforeFailure == 0) {
        gAllocationsBeforeFailure = -1;
        throw std::bad_alloc();
    }
    if (gAllocationsBeforeFailure > 0)
        gAllocationsBeforeFailure--;
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

} // namespace

namespace vantrel::testing {

void FailAllocationAfter(int count) {
    gAllocationsBeforeFailure = count;
}

} // namespace vantrel::testing

void* operator new(std::size_t size) {
    return Allocate(size);
}

void* operator new[](std::size_t size) {
    return Allocate(size);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
