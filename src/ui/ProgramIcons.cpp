#include "ui/ProgramIcons.h"

#include "ui/Resources.h"
#include "ui/controls/Gdi.h"

#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace vantrel {

HICON LoadProgramIcon(int resourceId, int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

namespace {

// The picture that icon resource `resourceId` holds for size x size pixels, as the resource
// holds it: a bottom-up 32-bit colour bitmap with alpha, then its 1-bit mask. Null when the
// resource has no such picture (another size or colour depth, or compressed), so that the
// icon must be made and scaled by the system.
const BYTE* IconPictureAtSize(int resourceId, int size) {
    const HMODULE module = GetModuleHandleW(nullptr);
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(resourceId), RT_GROUP_ICON);
    auto* directory =
        group ? static_cast<BYTE*>(LockResource(LoadResource(module, group))) : nullptr;
    if (!directory)
        return nullptr;
    // The system's own choice among the sizes and colour depths, as LoadImageW makes it.
    const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC found = id ? FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON) : nullptr;
    auto* data =
        found ? static_cast<const BYTE*>(LockResource(LoadResource(module, found))) : nullptr;
    BITMAPINFOHEADER header{};
    if (!data || SizeofResource(module, found) < sizeof(header))
        return nullptr;
    std::memcpy(&header, data, sizeof(header));
    const size_t maskStride = (static_cast<size_t>(size) + 31) / 32 * 4;
    const size_t needed = header.biSize + static_cast<size_t>(size) * size * 4 + maskStride * size;
    if (header.biSize < sizeof(header) || header.biWidth != size || header.biHeight != 2 * size ||
        header.biPlanes != 1 || header.biBitCount != 32 || header.biCompression != BI_RGB ||
        header.biClrUsed != 0 || SizeofResource(module, found) < needed)
        return nullptr;
    return data + header.biSize;
}

// Adds the main icons as one strip of the pictures the resources hold at exactly this size.
// Under Wine every icon made, added and destroyed costs several server round trips (1-4 ms
// each); the strip takes 1-2.5 ms for all. False, the list left empty, when a picture is not
// held at this size.
bool AddMainIconStrip(HIMAGELIST list, int size) {
    std::vector<const BYTE*> pictures;
    for (int i = 0; i < kMainIconCount; ++i) {
        pictures.push_back(IconPictureAtSize(IDI_MAIN_ICON(i), size));
        if (!pictures.back())
            return false;
    }
    const int width = size * kMainIconCount;
    BITMAPINFO colorInfo = TopDownBitmapInfo(width, size);
    void* colorBits = nullptr;
    TBitmapHandle color(
        CreateDIBSection(nullptr, &colorInfo, DIB_RGB_COLORS, &colorBits, nullptr, 0));
    struct {
        BITMAPINFOHEADER Header;
        RGBQUAD Colors[2];
    } maskInfo{};
    maskInfo.Header = colorInfo.bmiHeader;
    maskInfo.Header.biBitCount = 1;
    maskInfo.Colors[1] = RGBQUAD{255, 255, 255, 0};
    void* maskBits = nullptr;
    TBitmapHandle mask(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&maskInfo),
                                        DIB_RGB_COLORS, &maskBits, nullptr, 0));
    if (!color || !mask)
        return false;
    auto* colorRows = static_cast<BYTE*>(colorBits);
    auto* maskRows = static_cast<BYTE*>(maskBits);
    const size_t stripMaskStride = (static_cast<size_t>(width) + 31) / 32 * 4;
    const size_t pictureMaskStride = (static_cast<size_t>(size) + 31) / 32 * 4;
    std::memset(maskRows, 0, stripMaskStride * size);
    for (int i = 0; i < kMainIconCount; ++i) {
        const BYTE* pictureMask = pictures[i] + static_cast<size_t>(size) * size * 4;
        for (int y = 0; y < size; ++y) {
            // The resource's rows run bottom-up, the strip's top-down.
            const int row = size - 1 - y;
            std::memcpy(colorRows + (static_cast<size_t>(y) * width + i * size) * 4,
                        pictures[i] + static_cast<size_t>(row) * size * 4,
                        static_cast<size_t>(size) * 4);
            const BYTE* from = pictureMask + row * pictureMaskStride;
            BYTE* to = maskRows + y * stripMaskStride;
            for (int x = 0; x < size; ++x)
                if (from[x / 8] & (0x80 >> (x % 8))) {
                    const int at = i * size + x;
                    to[at / 8] |= static_cast<BYTE>(0x80 >> (at % 8));
                }
        }
    }
    GdiFlush();
    if (ImageList_Add(list, color.Get(), mask.Get()) == 0)
        return true;
    ImageList_RemoveAll(list);
    return false;
}

} // namespace

TImageListHandle CreateImageListMain32b(int iconSize) {
    TImageListHandle list(ImageList_Create(iconSize, iconSize, ILC_COLOR32 | ILC_MASK, 0, 4));
    if (!list)
        throw std::runtime_error("Invalid ImageList");
    if (AddMainIconStrip(list.Get(), iconSize))
        return list;
    // A size between those drawn: the system scales each icon from the nearest one.
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
