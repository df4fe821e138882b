#include "ui/ProgramIcons.h"

#include "ui/Resources.h"
#include "ui/controls/Gdi.h"

#include <stdexcept>
#include <utility>

namespace vantrel {

HICON LoadProgramIcon(int resourceId, int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

TImageListHandle CreateImageListMain32b(int iconSize) {
    TImageListHandle list(ImageList_Create(iconSize, iconSize, ILC_COLOR32 | ILC_MASK, 0, 4));
    if (!list)
        throw std::runtime_error("Invalid ImageList");
    for (int i = 0; i < kMainIconCount; ++i) {
        HICON icon = LoadProgramIcon(IDI_MAIN_ICON(i), iconSize);
        const int added = icon ? ImageList_AddIcon(list.Get(), icon) : -1;
        if (icon)
            DestroyIcon(icon);
        // A missing picture would move every later index onto the wrong command.
        if (added != i)
            throw std::runtime_error("Invalid ImageList");
    }
    return list;
}

namespace {

// Whether the list was created with ILC_MASK. The platform tells that only through an image's
// information, so an empty list is asked with a blank picture that is removed again.
bool IsMasked(HIMAGELIST list, int width, int height) {
    IMAGEINFO info{};
    if (ImageList_GetImageCount(list) > 0)
        return ImageList_GetImageInfo(list, 0, &info) && info.hbmMask;
    TScopedGetDC screen(nullptr);
    TBitmapHandle blank(CreateCompatibleBitmap(screen.Get(), width, height));
    if (!blank || ImageList_Add(list, blank.Get(), nullptr) != 0)
        return false;
    const bool masked = ImageList_GetImageInfo(list, 0, &info) && info.hbmMask;
    ImageList_Remove(list, 0);
    return masked;
}

} // namespace

void ConvertImageListTo32Bit(TImageListHandle& list, int growBy) {
    if (!list)
        return;
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(list.Get(), &width, &height);
    const int count = ImageList_GetImageCount(list.Get());
    const bool masked = IsMasked(list.Get(), width, height);
    TImageListHandle converted(
        ImageList_Create(width, height, ILC_COLOR32 | (masked ? ILC_MASK : 0), 0, growBy));
    if (!converted)
        throw std::runtime_error("Invalid ImageList");
    for (int i = 0; i < count; ++i) {
        HICON icon = ImageList_GetIcon(list.Get(), i, ILD_NORMAL);
        if (icon) {
            ImageList_AddIcon(converted.Get(), icon);
            DestroyIcon(icon);
        }
    }
    list = std::move(converted);
}

void SetPictureIcon(HWND control, int resourceId, int size) {
    HICON icon = LoadProgramIcon(resourceId, size);
    if (!icon)
        return;
    HICON old = reinterpret_cast<HICON>(
        SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0));
    // STM_SETICON hands the old icon back; the control never destroys one itself.
    if (old && old != icon)
        DestroyIcon(old);
    SetWindowPos(control, nullptr, 0, 0, size, size, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ClearPictureIcon(HWND control) {
    HICON old = reinterpret_cast<HICON>(SendMessageW(control, STM_SETICON, 0, 0));
    if (old)
        DestroyIcon(old);
}

HWND CreatePictureControl(HWND parent, int id) {
    return CreateWindowExW(0, L"STATIC", nullptr,
                           WS_CHILD | SS_ICON | SS_NOTIFY | SS_REALSIZECONTROL, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

} // namespace vantrel
