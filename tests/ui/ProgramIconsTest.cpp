// The program's pictures and the main icon list.
#include "ui/ProgramIcons.h"

#include "ui/CommandBars.h"
#include "ui/Resources.h"
#include "ui/controls/Gdi.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <vector>

namespace vantrel {
namespace {

// --- Icons ---

struct TIconPixels {
    int Width = 0;
    int Height = 0;
    std::vector<DWORD> Bgra; // top-down
};

// Reads the icon's colour pixels and destroys it.
TIconPixels TakeIcon(HICON icon) {
    TIconPixels out;
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) {
        if (icon)
            DestroyIcon(icon);
        return out;
    }
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof(bm), &bm);
    out.Width = bm.bmWidth;
    out.Height = bm.bmHeight;
    out.Bgra.resize(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = bm.bmWidth;
    format.bmiHeader.biHeight = -bm.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    TScopedGetDC screen(nullptr);
    GetDIBits(screen.Get(), info.hbmColor, 0, static_cast<UINT>(bm.bmHeight), out.Bgra.data(),
              &format, DIB_RGB_COLORS);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    return out;
}

// The sizes an icon resource holds, from its group directory.
std::set<int> IconSizes(int id) {
    std::set<int> sizes;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14)); // group icon
    if (!found)
        return sizes;
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    const WORD count = *reinterpret_cast<const WORD*>(data + 4);
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = data + 6 + i * 14;
        sizes.insert(entry[0] == 0 ? 256 : entry[0]);
    }
    return sizes;
}

TEST(ProgramIcons, EveryPictureHoldsItsSizes) {
    const std::set<int> main = {16, 20, 24, 32, 40, 48};
    for (int i = 0; i < kMainIconCount; ++i)
        EXPECT_EQ(IconSizes(IDI_MAIN_ICON(i)), main) << "main icon " << i;
    EXPECT_EQ(IconSizes(IDI_PROGRAM), (std::set<int>{16, 20, 24, 32, 40, 48, 64, 256}));
    EXPECT_EQ(IconSizes(IDI_ABOUT_LOGO), (std::set<int>{52, 78, 104}));
    for (int id : {IDI_BONUS_INCREASE, IDI_BONUS_DECREASE, IDI_PREFS_GENERAL, IDI_PREFS_NETWORK,
                   IDI_PREFS_MESSAGES, IDI_PREFS_ADVANCED})
        EXPECT_EQ(IconSizes(id), (std::set<int>{32, 40, 48, 64})) << id;
    for (int id : {IDI_STORE_LOCAL, IDI_STORE_REMOTE})
        EXPECT_EQ(IconSizes(id), (std::set<int>{16, 20, 24, 32, 48})) << id;
}

TEST(ProgramIcons, PicturesHaveCleanAlphaAndDifferFromEachOther) {
    std::set<std::vector<DWORD>> seen;
    std::vector<int> ids;
    for (int i = 0; i < kMainIconCount; ++i)
        ids.push_back(IDI_MAIN_ICON(i));
    ids.push_back(IDI_STORE_LOCAL);
    ids.push_back(IDI_STORE_REMOTE);
    ids.push_back(IDI_PROGRAM);
    for (int i : ids) {
        const TIconPixels pixels = TakeIcon(LoadProgramIcon(i, 16));
        ASSERT_EQ(pixels.Width, 16) << i;
        int opaque = 0, clear = 0;
        for (DWORD p : pixels.Bgra) {
            const DWORD alpha = p >> 24;
            opaque += alpha == 255;
            clear += alpha == 0;
        }
        // A real alpha channel: see-through background, solid body.
        EXPECT_GT(clear, 0) << "icon " << i;
        EXPECT_GT(opaque, 25) << "icon " << i;
        // No faint haze: every partly transparent pixel is an edge pixel next to a mostly solid
        // one.
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const DWORD alpha = pixels.Bgra[y * 16 + x] >> 24;
                if (alpha == 0 || alpha == 255)
                    continue;
                bool besideSolid = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if (nx >= 0 && ny >= 0 && nx < 16 && ny < 16 &&
                            (pixels.Bgra[ny * 16 + nx] >> 24) >= 160)
                            besideSolid = true;
                    }
                EXPECT_TRUE(besideSolid) << "icon " << i << " pixel " << x << "," << y;
            }
        EXPECT_TRUE(seen.insert(pixels.Bgra).second) << "icon " << i << " repeats another";
    }
}

TEST(ProgramIcons, MainIconListHolds19IconsInResourceOrderAndGreyCopiesOfThem) {
    // No picture is drawn at 18 px: the system scales those icons.
    for (int size : {16, 18, 24, 32}) {
        SCOPED_TRACE(size);
        const TImageListHandle list = CreateImageListMain32b(size);
        ASSERT_TRUE(list);
        EXPECT_EQ(ImageList_GetImageCount(list.Get()), kMainIconCount);
        int cx = 0, cy = 0;
        ImageList_GetIconSize(list.Get(), &cx, &cy);
        EXPECT_EQ(cx, size);
        EXPECT_EQ(cy, size);
        IMAGEINFO info{};
        ASSERT_TRUE(ImageList_GetImageInfo(list.Get(), 0, &info));
        BITMAP bm{};
        GetObjectW(info.hbmImage, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmBitsPixel, 32);
        const TImageListHandle disabled = CreateDisabledImageList(list.Get());
        ASSERT_EQ(ImageList_GetImageCount(disabled.Get()), kMainIconCount);
        for (int i = 0; i < kMainIconCount; ++i) {
            SCOPED_TRACE(i);
            // Each picture keeps its place and its alpha in the list.
            const TIconPixels shown = TakeIcon(ImageList_GetIcon(list.Get(), i, ILD_NORMAL));
            EXPECT_EQ(shown.Bgra, TakeIcon(LoadProgramIcon(IDI_MAIN_ICON(i), size)).Bgra);
            // Its disabled copy: grey, clear where the picture is, half see-through where it
            // is solid.
            const TIconPixels grey = TakeIcon(ImageList_GetIcon(disabled.Get(), i, ILD_NORMAL));
            ASSERT_EQ(grey.Bgra.size(), shown.Bgra.size());
            int coloured = 0, wrongAlpha = 0;
            for (size_t p = 0; p < grey.Bgra.size(); ++p) {
                const DWORD g = grey.Bgra[p], alpha = g >> 24, shownAlpha = shown.Bgra[p] >> 24;
                coloured += (g & 0xFF) != ((g >> 8) & 0xFF) || (g & 0xFF) != ((g >> 16) & 0xFF);
                wrongAlpha += shownAlpha == 0 ? alpha != 0
                                              : shownAlpha == 255 && (alpha == 0 || alpha == 255);
            }
            EXPECT_EQ(coloured, 0);
            EXPECT_EQ(wrongAlpha, 0);
        }
    }
}

TEST(ProgramIcons, ConvertingAListKeepsItsImagesIn32Bits) {
    TImageListHandle none;
    ConvertImageListTo32Bit(none, 4);
    EXPECT_FALSE(none);

    TImageListHandle list(ImageList_Create(16, 16, ILC_COLOR8 | ILC_MASK, 0, 2));
    ASSERT_TRUE(list);
    for (int id : {IDI_HELP, IDI_ABOUT}) {
        HICON icon = LoadProgramIcon(id, 16);
        ImageList_AddIcon(list.Get(), icon);
        DestroyIcon(icon);
    }
    const HIMAGELIST before = list.Get();
    ConvertImageListTo32Bit(list, 4);
    ASSERT_TRUE(list);
    EXPECT_NE(list.Get(), before);
    EXPECT_EQ(ImageList_GetImageCount(list.Get()), 2);
    IMAGEINFO info{};
    ASSERT_TRUE(ImageList_GetImageInfo(list.Get(), 1, &info));
    BITMAP bm{};
    GetObjectW(info.hbmImage, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_TRUE(info.hbmMask);
}

TEST(ProgramIcons, ConvertingAnEmptyListKeepsWhetherItIsMasked) {
    // As the main window does: the design's images are cleared before the conversion.
    for (bool masked : {true, false}) {
        SCOPED_TRACE(masked);
        TImageListHandle list(ImageList_Create(16, 16, ILC_COLOR8 | (masked ? ILC_MASK : 0), 0, 2));
        ASSERT_TRUE(list);
        ConvertImageListTo32Bit(list, 4);
        ASSERT_TRUE(list);
        EXPECT_EQ(ImageList_GetImageCount(list.Get()), 0);
        int cx = 0, cy = 0;
        ImageList_GetIconSize(list.Get(), &cx, &cy);
        EXPECT_EQ(cx, 16);
        EXPECT_EQ(cy, 16);
        HICON icon = LoadProgramIcon(IDI_HELP, 16);
        EXPECT_EQ(ImageList_AddIcon(list.Get(), icon), 0);
        DestroyIcon(icon);
        IMAGEINFO info{};
        ASSERT_TRUE(ImageList_GetImageInfo(list.Get(), 0, &info));
        BITMAP bm{};
        GetObjectW(info.hbmImage, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmBitsPixel, 32);
        EXPECT_EQ(info.hbmMask != nullptr, masked);
    }
}

} // namespace
} // namespace vantrel
