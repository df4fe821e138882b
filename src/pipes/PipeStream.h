#pragma once
// Byte streams of the pipe layer: a growable memory stream that collects incoming messages and
// a stream over a file handle that backs long multi-part messages.
#include <windows.h>

#include <cstdint>

namespace vantrel {

// What an OnPipeMessage handler reads from. Positions and sizes are 64-bit because a
// multi-part message can be larger than memory would like.
class TStream {
public:
    virtual ~TStream() = default;
    virtual uint64_t Size() const = 0;
    virtual uint64_t Position() const = 0;
    virtual void SetPosition(uint64_t position) = 0;
    // Both return the number of bytes actually moved.
    virtual uint32_t Read(void* buffer, uint32_t count) = 0;
    virtual uint32_t Write(const void* buffer, uint32_t count) = 0;
};

class TFastMemStream : public TStream {
public:
    TFastMemStream() = default;
    ~TFastMemStream() override;
    TFastMemStream(const TFastMemStream&) = delete;
    TFastMemStream& operator=(const TFastMemStream&) = delete;

    uint64_t Size() const override { return FSize; }
    uint64_t Position() const override { return FPosition; }
    void SetPosition(uint64_t position) override;
    uint32_t Read(void* buffer, uint32_t count) override;
    uint32_t Write(const void* buffer, uint32_t count) override;

    // Size 0 and the memory released.
    void Clear();
    // Appends the whole of another stream, from its start, leaving its position at its end.
    void CopyFrom(TStream& source);
    const uint8_t* Memory() const { return FMemory; }
    size_t Capacity() const { return FCapacity; }

protected:
    // Grows by at least 65,535 bytes or a quarter of the request, so collecting a long
    // message does not reallocate on every read. newCapacity 0 frees the block.
    uint8_t* ReallocCapacity(size_t& newCapacity);

private:
    void SetCapacity(size_t newCapacity);
    uint8_t* FMemory = nullptr;
    size_t FCapacity = 0;
    size_t FSize = 0;
    size_t FPosition = 0;
};

// A stream over an open file handle; the handle stays the caller's.
class THandleStream : public TStream {
public:
    explicit THandleStream(HANDLE file) : FHandle(file) {}
    THandleStream(const THandleStream&) = delete;
    THandleStream& operator=(const THandleStream&) = delete;

    uint64_t Size() const override;
    uint64_t Position() const override;
    void SetPosition(uint64_t position) override;
    uint32_t Read(void* buffer, uint32_t count) override;
    uint32_t Write(const void* buffer, uint32_t count) override;

private:
    HANDLE FHandle;
};

} // namespace vantrel
