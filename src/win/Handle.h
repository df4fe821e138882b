#pragma once
// A move-only owner of a kernel handle. The system hands out two "no handle" values: null
// (events, threads, mutexes) and INVALID_HANDLE_VALUE (files, pipes); both count as invalid
// here, and a closed owner holds INVALID_HANDLE_VALUE.
#include <windows.h>

namespace vantrel {

inline bool HandleValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

class THandle {
public:
    THandle() = default;
    explicit THandle(HANDLE handle) : FHandle(handle) {}
    ~THandle() { Close(); }
    THandle(THandle&& other) noexcept : FHandle(other.Release()) {}
    THandle& operator=(THandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;

    HANDLE Get() const { return FHandle; }
    bool Valid() const { return HandleValid(FHandle); }
    explicit operator bool() const { return Valid(); }

    // Gives the handle up without closing it.
    HANDLE Release() {
        HANDLE handle = FHandle;
        FHandle = INVALID_HANDLE_VALUE;
        return handle;
    }
    // Closes the handle held (if valid) and takes `handle` in its place.
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        HANDLE old = FHandle;
        FHandle = handle;
        if (HandleValid(old) && old != handle)
            CloseHandle(old);
    }
    void Close() { Reset(); }

private:
    HANDLE FHandle = INVALID_HANDLE_VALUE;
};

} // namespace vantrel
