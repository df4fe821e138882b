#include "ui/ColorMath.h"
#include "ui/Fonts.h"
#include "ui/ProgramIcons.h"

#include "ui/Resources.h"
#include "ui/XPColorMap.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <vector>

namespace vantrel {
namespace {

TEST(WindowsVersion, LevelsOfTheReportedVersions) {
    EXPECT_EQ(WindowsVersionLevel(6, 1), 6);
    EXPECT_EQ(WindowsVersionLevel(6, 0), 5);
    EXPECT_EQ(WindowsVersionLevel(5, 1), 4);
    EXPECT_EQ(WindowsVersionLevel(5, 0), 3);
    EXPECT_EQ(WindowsVersionLevel(4, 10), 1);
    EXPECT_EQ(WindowsVersionLevel(3, 51), 1);
    EXPECT_EQ(WindowsVersionLevel(5, 2), 0);
    EXPECT_EQ(WindowsVersionLevel(6, 2), 0);
    EXPECT_EQ(WindowsVersionLevel(6, 3), 0);
    EXPECT_EQ(WindowsVersionLevel(10, 0), 0);
}

TEST(WindowsVersion, FontFollowsTheVersion) {
    struct Case {
        DWORD major, minor;
        const wchar_t* name;
        int size;
    };
    const Case cases[] = {{6, 0, L"Segoe UI", 9}, {6, 1, L"Segoe UI", 9}, {5, 1, L"Tahoma", 8},
                          {5, 2, L"Tahoma", 8},   {6, 2, L"Tahoma", 8},   {10, 0, L"Tahoma", 8},
                          {5, 0, L"Tahoma", 8},   {4, 0, L"Tahoma", 8}};
    for (const Case& c : cases) {
        const int level = WindowsVersionLevel(c.major, c.minor);
        EXPECT_EQ(SystemFontName(level), c.name) << c.major << "." << c.minor;
        EXPECT_EQ(SystemFontSize(level), c.size) << c.major << "." << c.minor;
    }
    // This platform's own answer is one of the two.
    const std::wstring name = SystemFontName();
    EXPECT_TRUE((name == L"Segoe UI" && SystemFontSize() == 9) ||
                (name == L"Tahoma" && SystemFontSize() == 8));
}

TEST(WindowsVersion, SystemFontIsScaledForTheDpi) {
    for (int dpi : {96, 120, 144, 192}) {
        TFontHandle font = CreateSystemFont(dpi, true, true);
        ASSERT_TRUE(font);
        LOGFONTW lf{};
        GetObjectW(font.Get(), sizeof(lf), &lf);
        EXPECT_EQ(lf.lfHeight, -MulDiv(SystemFontSize(), dpi, 72)) << dpi;
        EXPECT_EQ(std::wstring(lf.lfFaceName), SystemFontName());
        EXPECT_EQ(lf.lfWeight, FW_BOLD);
        EXPECT_TRUE(lf.lfUnderline);
    }
}

TEST(ColorArithmetic, BlendRoundsHalvesToEven) {
    // (50 * 1) / 100 = 0.5 -> 0; 150 / 100 = 1.5 -> 2; 250 / 100 = 2.5 -> 2.
    EXPECT_EQ(BlendColors(RGB(1, 3, 5), RGB(0, 0, 0), 50), RGB(0, 2, 2));
    EXPECT_EQ(BlendColors(RGB(7, 9, 11), RGB(0, 0, 0), 50), RGB(4, 4, 6));
    // A third of a highlight colour and two thirds white.
    const COLORREF highlight = RGB(51, 153, 255);
    auto third = [](int c) {
        const int sum = 33 * c + 67 * 255;
        int q = sum / 100;
        if (sum % 100 > 50 || (sum % 100 == 50 && q % 2))
            ++q;
        return q;
    };
    EXPECT_EQ(BlendColors(highlight, RGB(255, 255, 255), 33),
              RGB(third(51), third(153), third(255)));
    EXPECT_EQ(BlendColors(RGB(255, 255, 255), RGB(255, 255, 255), 33), RGB(255, 255, 255));
    EXPECT_EQ(BlendColors(RGB(10, 20, 30), RGB(200, 100, 0), 100), RGB(10, 20, 30));
    EXPECT_EQ(BlendColors(RGB(10, 20, 30), RGB(200, 100, 0), 0), RGB(200, 100, 0));
    EXPECT_EQ(BlendColors(SysColorRef(COLOR_HIGHLIGHT), RGB(255, 255, 255), 100),
              GetSysColor(COLOR_HIGHLIGHT));
}

// The platform's own HLS conversion (0..240 scale), to check the lightening against.
struct TShellHls {
    using TToHls = void(WINAPI*)(COLORREF, WORD*, WORD*, WORD*);
    using TFromHls = COLORREF(WINAPI*)(WORD, WORD, WORD);
    HMODULE Module = LoadLibraryW(L"shlwapi.dll");
    TToHls ToHls = Module ? reinterpret_cast<TToHls>(
                                reinterpret_cast<void*>(GetProcAddress(Module, "ColorRGBToHLS")))
                          : nullptr;
    TFromHls FromHls = Module ? reinterpret_cast<TFromHls>(reinterpret_cast<void*>(
                                    GetProcAddress(Module, "ColorHLSToRGB")))
                              : nullptr;
    ~TShellHls() {
        if (Module)
            FreeLibrary(Module);
    }
};

TEST(ColorArithmetic, LighteningRaisesLuminanceBy15OnThe240Scale) {
    TShellHls shell;
    ASSERT_TRUE(shell.ToHls && shell.FromHls);
    std::vector<COLORREF> colors = {RGB(240, 240, 240), RGB(212, 208, 200), RGB(236, 233, 216),
                                    RGB(128, 128, 128), RGB(0, 0, 0),       RGB(255, 255, 255),
                                    RGB(10, 36, 106),   RGB(51, 153, 255),  RGB(200, 30, 90)};
    for (int r = 0; r < 256; r += 51)
        for (int g = 5; g < 256; g += 50)
            for (int b = 17; b < 256; b += 79)
                colors.push_back(RGB(r, g, b));
    for (COLORREF color : colors) {
        WORD h = 0, l = 0, s = 0;
        shell.ToHls(color, &h, &l, &s);
        const WORD lighter = static_cast<WORD>(std::min(240, l + 15));
        EXPECT_EQ(LightenColor(color, 15), shell.FromHls(h, lighter, s))
            << std::hex << "colour 0x" << color;
    }
    EXPECT_EQ(LightenColor(RGB(255, 255, 255), 15), RGB(255, 255, 255));
}

TEST(XPColorMap, DesignValuesUntilUpdateColors) {
    TXPColorMapEx map;
    EXPECT_EQ(map.Color, SysColorRef(COLOR_BTNFACE));
    EXPECT_EQ(map.MenuColor, SysColorRef(COLOR_WINDOW));
    EXPECT_EQ(map.BtnFrameColor, 0xBEBEBEu);
    EXPECT_EQ(map.BtnSelectedColor, 0xE2E2E2u);
    EXPECT_EQ(map.DisabledColor, 0x808080u);
    EXPECT_EQ(map.DisabledFontColor, SysColorRef(COLOR_GRAYTEXT));
    EXPECT_EQ(map.DisabledFontShadow, SysColorRef(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(map.FontColor, SysColorRef(COLOR_WINDOWTEXT));
    EXPECT_EQ(map.FrameTopLeftInner, 0xFFFFFFu);
    EXPECT_EQ(map.FrameTopLeftOuter, 0x7A868Au);
    EXPECT_EQ(map.FrameBottomRightInner, 0xFFFFFFu);
    EXPECT_EQ(map.FrameBottomRightOuter, 0x7A868Au);
    EXPECT_EQ(map.HighlightColor, 0xF2F2F2u);
    EXPECT_EQ(map.SelectedColor, 0xEAEAEAu);
    EXPECT_EQ(map.SelectedFontColor, 0x000000u);
    EXPECT_EQ(map.ShadowColor, SysColorRef(COLOR_3DDKSHADOW));
    EXPECT_EQ(map.UnusedColor, 0xF2F2F2u);

    const COLORREF hot = map.HotColor;
    const COLORREF hotFont = map.HotFontColor;
    map.UpdateColors();
    EXPECT_EQ(map.BtnFrameColor, GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(map.BtnSelectedColor, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(map.SelectedColor, BlendColors(GetSysColor(COLOR_HIGHLIGHT), RGB(255, 255, 255), 33));
    EXPECT_EQ(map.HighlightColor, LightenColor(GetSysColor(COLOR_BTNFACE), 15));
    EXPECT_EQ(map.UnusedColor, map.HighlightColor);
    EXPECT_EQ(map.DisabledColor, 0x808080u);
    EXPECT_EQ(map.FrameTopLeftOuter, 0x7A868Au);
    EXPECT_EQ(map.SelectedFontColor, 0x000000u);
    EXPECT_EQ(map.HotColor, hot);
    EXPECT_EQ(map.HotFontColor, hotFont);
}

TEST(XPColorMap, SelectionFollowsAChangedHighlightColour) {
    const COLORREF saved = GetSysColor(COLOR_HIGHLIGHT);
    const int element = COLOR_HIGHLIGHT;
    const COLORREF changed = RGB(200, 40, 10);
    ASSERT_TRUE(SetSysColors(1, &element, &changed));
    TXPColorMapEx map;
    EXPECT_EQ(map.BtnFrameColor, 0xBEBEBEu); // no settings change seen yet
    map.UpdateColors();
    const COLORREF frame = map.BtnFrameColor;
    const COLORREF selected = map.SelectedColor;
    SetSysColors(1, &element, &saved);
    EXPECT_EQ(frame, changed);
    EXPECT_EQ(selected, RGB(237, 184, 174)); // 33 % of (200, 40, 10) with 67 % white
}

// --- Icons ---

struct TIconPixels {
    int Width = 0;
    int Height = 0;
    std::vector<DWORD> Bgra; // top-down
};

TIconPixels ReadIcon(HICON icon) {
    TIconPixels out;
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info))
        return out;
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
        HICON icon = LoadProgramIcon(i, 16);
        const TIconPixels pixels = ReadIcon(icon);
        DestroyIcon(icon);
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

TEST(ProgramIcons, MainIconListHolds18IconsInResourceOrder) {
    for (int size : {16, 24, 32}) {
        SCOPED_TRACE(size);
        HIMAGELIST list = CreateImageListMain32b(size);
        ASSERT_TRUE(list);
        EXPECT_EQ(ImageList_GetImageCount(list), kMainIconCount);
        int cx = 0, cy = 0;
        ImageList_GetIconSize(list, &cx, &cy);
        EXPECT_EQ(cx, size);
        EXPECT_EQ(cy, size);
        IMAGEINFO info{};
        ASSERT_TRUE(ImageList_GetImageInfo(list, 0, &info));
        BITMAP bm{};
        GetObjectW(info.hbmImage, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmBitsPixel, 32);
        // Index 12 is the "no time remains" picture, and it keeps its alpha in the list.
        HICON fromList = ImageList_GetIcon(list, 12, ILD_NORMAL);
        HICON fromResource = LoadProgramIcon(IDI_ROW_NO_TIME, size);
        const TIconPixels a = ReadIcon(fromList);
        const TIconPixels b = ReadIcon(fromResource);
        DestroyIcon(fromList);
        DestroyIcon(fromResource);
        EXPECT_EQ(a.Bgra, b.Bgra);
        ImageList_Destroy(list);
    }
}

TEST(ProgramIcons, ConvertingAListKeepsItsImagesIn32Bits) {
    HIMAGELIST none = nullptr;
    ConvertImageListTo32Bit(none, 4);
    EXPECT_EQ(none, nullptr);

    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR8 | ILC_MASK, 0, 2);
    ASSERT_TRUE(list);
    for (int id : {IDI_HELP, IDI_ABOUT}) {
        HICON icon = LoadProgramIcon(id, 16);
        ImageList_AddIcon(list, icon);
        DestroyIcon(icon);
    }
    HIMAGELIST before = list;
    ConvertImageListTo32Bit(list, 4);
    ASSERT_TRUE(list);
    EXPECT_NE(list, before);
    EXPECT_EQ(ImageList_GetImageCount(list), 2);
    IMAGEINFO info{};
    ASSERT_TRUE(ImageList_GetImageInfo(list, 1, &info));
    BITMAP bm{};
    GetObjectW(info.hbmImage, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_TRUE(info.hbmMask);
    ImageList_Destroy(list);
}

TEST(ProgramIcons, ConvertingAnEmptyListKeepsWhetherItIsMasked) {
    // As the main window does: the design's images are cleared before the conversion.
    for (bool masked : {true, false}) {
        SCOPED_TRACE(masked);
        HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR8 | (masked ? ILC_MASK : 0), 0, 2);
        ASSERT_TRUE(list);
        ConvertImageListTo32Bit(list, 4);
        ASSERT_TRUE(list);
        EXPECT_EQ(ImageList_GetImageCount(list), 0);
        int cx = 0, cy = 0;
        ImageList_GetIconSize(list, &cx, &cy);
        EXPECT_EQ(cx, 16);
        EXPECT_EQ(cy, 16);
        HICON icon = LoadProgramIcon(IDI_HELP, 16);
        EXPECT_EQ(ImageList_AddIcon(list, icon), 0);
        DestroyIcon(icon);
        IMAGEINFO info{};
        ASSERT_TRUE(ImageList_GetImageInfo(list, 0, &info));
        BITMAP bm{};
        GetObjectW(info.hbmImage, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmBitsPixel, 32);
        EXPECT_EQ(info.hbmMask != nullptr, masked);
        ImageList_Destroy(list);
    }
}

} // namespace
} // namespace vantrel
