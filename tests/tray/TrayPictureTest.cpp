#include "tray/NotifyIcon.h"
#include "tray/TrayPicture.h"
#include "ui/controls/Gdi.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

// An icon's pixels as 0xAARRGGBB, row by row from the top.
std::vector<DWORD> PixelsOf(HICON icon, int& size) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        return {};
    TBitmapHandle color(info.hbmColor);
    TBitmapHandle mask(info.hbmMask);
    BITMAP bitmap{};
    GetObjectW(color.Get(), sizeof(bitmap), &bitmap);
    size = bitmap.bmWidth;
    BITMAPINFO format = TopDownBitmapInfo(size, bitmap.bmHeight);
    std::vector<DWORD> pixels(static_cast<size_t>(size) * bitmap.bmHeight);
    TScopedGetDC screen(nullptr);
    GetDIBits(screen.Get(), color.Get(), 0, bitmap.bmHeight, pixels.data(), &format,
              DIB_RGB_COLORS);
    return pixels;
}

DWORD Opaque(COLORREF color) {
    return 0xFF000000u | (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

struct TPictureCase {
    TTrayLook Look;
    // Pixels of the bar's middle column, inside its frame, that are not the empty bar's.
    int Filled;
    // Pixels of the frame left out (a broken frame).
    bool BrokenFrame;
};

TEST(TrayPicture, FillsTheUprightBarWithTheShareAndBreaksTheFrameWhenStale) {
    const std::vector<TPictureCase> cases = {
        {{TTrayPicture::TimeLeft, 0, 16, false}, 0, false},
        {{TTrayPicture::TimeLeft, 1, 16, false}, 1, false},
        {{TTrayPicture::TimeLeft, 30, 16, false}, 4, false},
        {{TTrayPicture::TimeLeft, 100, 16, false}, 14, false},
        {{TTrayPicture::TimeLeft, 30, 24, false}, 7, false},
        {{TTrayPicture::OutsideHours, 50, 24, false}, 11, false},
        {{TTrayPicture::OverLimit, 0, 20, false}, 0, false},
        {{TTrayPicture::Stale, 0, 24, false}, 0, true},
        {{TTrayPicture::TimeLeft, 50, 16, true}, 7, false},
    };
    TTrayPainter painter;
    for (const TPictureCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "share " << c.Look.Share << ", size " << c.Look.Size
                                        << ", picture " << static_cast<int>(c.Look.Picture));
        TIconHandle icon(painter.Draw(c.Look));
        ASSERT_TRUE(icon.Get());
        int size = 0;
        const std::vector<DWORD> pixels = PixelsOf(icon.Get(), size);
        ASSERT_EQ(c.Look.Size, size);
        const auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * size + x]; };
        const int middle = size / 2;
        // The empty bar is the first pixel inside the top of the frame unless it is all full.
        const DWORD empty = Opaque(GetSysColor(c.Look.HighContrast ? COLOR_WINDOW : COLOR_BTNFACE));
        int filled = 0;
        for (int y = 1; y < size - 1; ++y)
            filled += at(middle, y) != empty ? 1 : 0;
        EXPECT_EQ(c.Filled, filled);
        // Clear at the sides, opaque on the bar, its frame whole unless broken.
        EXPECT_EQ(0u, at(0, size / 2) >> 24);
        EXPECT_EQ(0xFFu, at(middle, size - 2) >> 24);
        int gaps = 0;
        for (int x = 0; x < size; ++x)
            gaps += at(x, 0) == 0 && at(x, size - 1) != 0 ? 1 : 0;
        EXPECT_EQ(c.BrokenFrame, gaps > 0);
        if (c.Look.HighContrast) {
            EXPECT_EQ(Opaque(GetSysColor(COLOR_HIGHLIGHT)), at(middle, size - 2));
        }
    }
    // Outside the allowed hours the same share is drawn greyed, not in the bar's colours.
    TIconHandle time(painter.Draw({TTrayPicture::TimeLeft, 100, 16, false}));
    TIconHandle greyed(painter.Draw({TTrayPicture::OutsideHours, 100, 16, false}));
    int size = 0;
    EXPECT_NE(PixelsOf(time.Get(), size)[8 * 16 + 8], PixelsOf(greyed.Get(), size)[8 * 16 + 8]);
}

// At logon a busy taskbar may time the add out yet keep the icon, and refuse a second add.
TEST(NotifyIcon, AnAddThatFailedIsTakenAwayBeforeTheNextAdd) {
    std::vector<DWORD> calls;
    SetNotifyIconSeam([&](DWORD message, const NOTIFYICONDATAW&) {
        calls.push_back(message);
        return calls.size() > 1;
    });
    {
        TNotifyIcon icon(nullptr, WM_APP);
        icon.Show(nullptr, L"");
        icon.Show(nullptr, L"");
    }
    SetNotifyIconSeam(nullptr);
    EXPECT_EQ(std::vector<DWORD>({NIM_ADD, NIM_DELETE, NIM_ADD, NIM_SETVERSION, NIM_DELETE}),
              calls);
}

} // namespace
} // namespace vantrel
