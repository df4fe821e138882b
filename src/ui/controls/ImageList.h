#pragma once
// The owner of an image list, as Gdi.h holds the owners of GDI objects.
#include <windows.h>

#include <commctrl.h>

#include <utility>

namespace vantrel {

// The index that names no picture of a list.
inline constexpr int kNoImage = -1;

// Owns one image list (ImageList_Destroy); move-only. A control given the list only borrows
// it, so the owner outlives every control that draws from it.
class TImageListHandle {
public:
    TImageListHandle() = default;
    explicit TImageListHandle(HIMAGELIST list) : FList(list) {}
    ~TImageListHandle() { Reset(); }
    TImageListHandle(TImageListHandle&& other) noexcept
        : FList(std::exchange(other.FList, nullptr)) {}
    TImageListHandle& operator=(TImageListHandle&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.FList, nullptr));
        return *this;
    }
    TImageListHandle(const TImageListHandle&) = delete;
    TImageListHandle& operator=(const TImageListHandle&) = delete;

    HIMAGELIST Get() const { return FList; }
    explicit operator bool() const { return FList != nullptr; }
    void Reset(HIMAGELIST list = nullptr) {
        if (FList)
            ImageList_Destroy(FList);
        FList = list;
    }

private:
    HIMAGELIST FList = nullptr;
};

} // namespace vantrel
