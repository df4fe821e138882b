#include "pipes/PipeStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vantrel {

TFastMemStream::~TFastMemStream() {
    std::free(FMemory);
}

uint8_t* TFastMemStream::ReallocCapacity(size_t& newCapacity) {
    if (newCapacity > 0) {
        if (newCapacity <= 65535)
            newCapacity += 65535;
        else
            newCapacity += newCapacity / 4;
    }
    if (newCapacity == FCapacity)
        return FMemory;
    if (newCapacity == 0) {
        std::free(FMemory);
        return nullptr;
    }
    uint8_t* block = nullptr;
    if (FCapacity == 0) {
        block = static_cast<uint8_t*>(std::calloc(newCapacity, 1));
    } else {
        block = static_cast<uint8_t*>(std::realloc(FMemory, newCapacity));
    }
    if (!block)
        throw std::bad_alloc();
    return block;
}

void TFastMemStream::SetCapacity(size_t newCapacity) {
    FMemory = ReallocCapacity(newCapacity);
    FCapacity = newCapacity;
}

void TFastMemStream::SetPosition(uint64_t position) {
    FPosition = static_cast<size_t>(position);
}

uint32_t TFastMemStream::Read(void* buffer, uint32_t count) {
    if (FPosition >= FSize || count == 0)
        return 0;
    size_t n = std::min<size_t>(count, FSize - FPosition);
    std::memcpy(buffer, FMemory + FPosition, n);
    FPosition += n;
    return static_cast<uint32_t>(n);
}

uint32_t TFastMemStream::Write(const void* buffer, uint32_t count) {
    if (count == 0)
        return 0;
    size_t end = FPosition + count;
    if (end > FCapacity)
        SetCapacity(end);
    if (FPosition > FSize)
        std::memset(FMemory + FSize, 0, FPosition - FSize);
    std::memcpy(FMemory + FPosition, buffer, count);
    FPosition = end;
    if (end > FSize)
        FSize = end;
    return count;
}

void TFastMemStream::Clear() {
    SetCapacity(0);
    FSize = 0;
    FPosition = 0;
}

void TFastMemStream::CopyFrom(TStream& source) {
    source.SetPosition(0);
    uint8_t chunk[65536];
    for (;;) {
        uint32_t n = source.Read(chunk, sizeof(chunk));
        if (n == 0)
            break;
        Write(chunk, n);
    }
}

uint64_t THandleStream::Size() const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(FHandle, &size))
        return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

uint64_t THandleStream::Position() const {
    LARGE_INTEGER zero{}, position{};
    if (!SetFilePointerEx(FHandle, zero, &position, FILE_CURRENT))
        return 0;
    return static_cast<uint64_t>(position.QuadPart);
}

void THandleStream::SetPosition(uint64_t position) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(position);
    SetFilePointerEx(FHandle, to, nullptr, FILE_BEGIN);
}

uint32_t THandleStream::Read(void* buffer, uint32_t count) {
    DWORD n = 0;
    if (!ReadFile(FHandle, buffer, count, &n, nullptr))
        return 0;
    return n;
}

uint32_t THandleStream::Write(const void* buffer, uint32_t count) {
    DWORD n = 0;
    if (!WriteFile(FHandle, buffer, count, &n, nullptr))
        return 0;
    return n;
}

} // namespace vantrel
