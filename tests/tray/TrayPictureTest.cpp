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
    // Pixels of the bar's middle column, inside its frame, that are not the empty bar's; -1
    // for a bar with a mark over it.
    int Filled;
    // Pixels of the frame left out (a broken frame).
    bool BrokenFrame;
};

TEST(TrayPicture, FillsTheUprightBarWithTheShareAndMarksUsedUpAndOutOfDate) {
    const std::vector<TPictureCase> cases = {
        {{TTrayPicture::TimeLeft, 0, 16, false}, 0, false},
        {{TTrayPicture::TimeLeft, 1, 16, false, TTrayLevel::VeryLow}, 2, false},
        {{TTrayPicture::TimeLeft, 30, 16, false}, 4, false},
        {{TTrayPicture::TimeLeft, 100, 16, false}, 14, false},
        {{TTrayPicture::TimeLeft, 30, 24, false}, 7, false},
        {{TTrayPicture::OutsideHours, 50, 24, false}, 11, false},
        {{TTrayPicture::OverLimit, 0, 16, false}, -1, false},
        {{TTrayPicture::OverLimit, 0, 24, true}, -1, false},
        {{TTrayPicture::Stale, 0, 16, false}, -1, true},
        {{TTrayPicture::Stale, 0, 24, true}, -1, true},
        {{TTrayPicture::TimeLeft, 50, 16, true}, 7, false},
    };
    TTrayPainter painter;
    for (const TPictureCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "share " << c.Look.Share << ", size " << c.Look.Size
                                        << ", picture " << static_cast<int>(c.Look.Picture)
                                        << ", high contrast " << c.Look.HighContrast);
        TIconHandle icon(painter.Draw(c.Look));
        ASSERT_TRUE(icon.Get());
        int size = 0;
        const std::vector<DWORD> pixels = PixelsOf(icon.Get(), size);
        ASSERT_EQ(c.Look.Size, size);
        const auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * size + x]; };
        const int middle = size / 2;
        const DWORD empty = Opaque(GetSysColor(c.Look.HighContrast ? COLOR_WINDOW : COLOR_BTNFACE));
        const DWORD mark = Opaque(TrayMarkColor(c.Look.Picture, c.Look.HighContrast));
        int filled = 0;
        int marked = 0;
        for (int y = 1; y < size - 1; ++y)
            filled += at(middle, y) != empty ? 1 : 0;
        // Inside the frame: between two opaque pixels, below the top and above the bottom.
        for (int y = 1; y < size - 1; ++y)
            for (int x = 1; x < size - 1; ++x)
                marked += at(x, y) == mark && (at(x - 1, y) >> 24) && (at(x + 1, y) >> 24) ? 1 : 0;
        if (c.Filled >= 0) {
            EXPECT_EQ(c.Filled, filled);
        } else {
            // The mark stands out over much of the empty bar.
            EXPECT_GE(marked, size * 3 / 2);
        }
        // Clear at the sides, opaque on the bar, its frame whole unless broken.
        EXPECT_EQ(0u, at(0, size / 2) >> 24);
        EXPECT_EQ(0xFFu, at(middle, size - 2) >> 24);
        int gaps = 0;
        for (int x = 0; x < size; ++x)
            gaps += at(x, 0) == 0 && at(x, size - 1) != 0 ? 1 : 0;
        EXPECT_EQ(c.BrokenFrame, gaps > 0);
        if (c.Look.HighContrast && c.Filled > 0) {
            EXPECT_EQ(Opaque(GetSysColor(COLOR_HIGHLIGHT)), at(middle, size - 2));
        }
    }
    // The same share in other colours: greyed outside the allowed hours, orange and then red as
    // the time runs low; a bar with a little time left is never the used-up one.
    const auto bottom = [&](const TTrayLook& look) {
        TIconHandle icon(painter.Draw(look));
        int size = 0;
        return PixelsOf(icon.Get(),
                        size)[static_cast<size_t>(look.Size - 2) * look.Size + look.Size / 2];
    };
    const DWORD plenty = bottom({TTrayPicture::TimeLeft, 100, 16, false});
    const DWORD greyed = bottom({TTrayPicture::OutsideHours, 100, 16, false});
    const DWORD low = bottom({TTrayPicture::TimeLeft, 100, 16, false, TTrayLevel::Low});
    const DWORD veryLow = bottom({TTrayPicture::TimeLeft, 100, 16, false, TTrayLevel::VeryLow});
    const DWORD usedUp = bottom({TTrayPicture::OverLimit, 0, 16, false});
    const std::vector<DWORD> colours = {plenty, greyed, low, veryLow, usedUp};
    for (size_t i = 0; i < colours.size(); ++i)
        for (size_t j = i + 1; j < colours.size(); ++j)
            EXPECT_NE(colours[i], colours[j]) << i << " " << j;
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
