#pragma once
// How a message longer than one pipe message travels: "STMB", its parts, "ETMB". The program's
// client, the service and the stand-in all frame and read it this way. Header only and free of
// the rest of the pipe layer, so that the service can use it without the client.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantrel {

// The longest message written as one pipe message; longer ones travel in parts of this size.
inline constexpr uint32_t kMaxPipeMessage = 65534;

#pragma pack(push, 1)
struct TPipeControlBlock {
    uint32_t BlockSize;
    uint32_t Magic1;
    uint32_t Tag;
    uint32_t Magic2;
};
#pragma pack(pop)
static_assert(sizeof(TPipeControlBlock) == 16, "the control block is 16 bytes on the wire");

inline constexpr uint32_t kControlMagic = 0x4347414D;  // "MAGC"
inline constexpr uint32_t kTagStartMulti = 0x424D5453; // "STMB"
inline constexpr uint32_t kTagEndMulti = 0x424D5445;   // "ETMB"

inline TPipeControlBlock ControlBlock(uint32_t tag) {
    return TPipeControlBlock{sizeof(TPipeControlBlock), kControlMagic, tag, kControlMagic};
}

// Whether the `size` bytes at `data` are a control block, whatever its tag; the tag goes to
// `tag`. Such a message is never a message of its own, also with a tag nobody knows.
inline bool IsControlBlock(const void* data, size_t size, uint32_t& tag) {
    TPipeControlBlock block{};
    if (size != sizeof(block))
        return false;
    std::memcpy(&block, data, sizeof(block));
    if (block.BlockSize != sizeof(block) || block.Magic1 != kControlMagic ||
        block.Magic2 != kControlMagic)
        return false;
    tag = block.Tag;
    return true;
}

} // namespace vantrel
