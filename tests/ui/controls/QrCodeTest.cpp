#include "ui/controls/QrCode.h"

#include "model/OneTimeCode.h"
#include "ui/controls/Gdi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace vantrel {
namespace {

// A key of 20 bytes counting up, so that the addresses are the same at every run.
TSecret FixedKey() {
    TSecret key;
    for (int i = 0; i < 20; ++i)
        key.push_back(static_cast<unsigned char>(i * 13 + 7));
    return key;
}

// The texts tests/ui/controls/check_qr.sh has zbarimg read: every version class (1, 2 to 6 with
// one alignment pattern, 7 and up with version information), blocks of two sizes, each mask.
struct TQrCase {
    const char* Name;
    std::string Text;
    int Mask; // -1: the one of the lowest penalty
};

std::vector<TQrCase> ZbarCases() {
    const TSecret key = FixedKey();
    const std::string longest =
        OtpauthAddress(L"Vantrel",
                       L"\u00c5sa-\u00de\u00f3ra \u00d6berg-M\u00fcller \u0141\u00f3d\u017a "
                       L"(kitchen computer, upstairs)",
                       key);
    std::vector<TQrCase> cases = {
        {"one-byte", "V", -1},
        {"short", OtpauthAddress(L"Vantrel", L"PC", key), -1},
        {"non-ascii", OtpauthAddress(L"Vantrel", L"Anna M\u00fcller", key), -1},
        {"long", longest, -1},
        {"utf8", "Zo\xc3\xab \xe2\x80\x94 caf\xc3\xa9", -1},
        {"version-13", std::string(331, 'q'), -1},
    };
    for (int mask = 0; mask < 8; ++mask)
        cases.push_back({"mask", OtpauthAddress(L"Vantrel", L"DESKTOP-7QK2", key), mask});
    return cases;
}

// Writes the code as a 24-bit BMP, 4 pixels a module, by the same painting the dialog uses.
bool WriteBmp(const TQrCode& code, const std::string& path) {
    const int side = (code.Size + 2 * kQrQuietModules) * 4;
    const BITMAPINFO info = TopDownBitmapInfo(side, side);
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    TBitmapHandle bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) {
        DeleteDC(dc);
        return false;
    }
    const HGDIOBJ old = SelectObject(dc, bitmap.Get());
    const RECT bounds = {0, 0, side, side};
    PaintQrCode(dc, bounds, code);
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    const int rowBytes = (side * 3 + 3) / 4 * 4;
    std::string image(static_cast<std::size_t>(rowBytes) * side, '\0');
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const std::uint32_t pixel = pixels[y * side + x];
            char* at = &image[static_cast<std::size_t>(side - 1 - y) * rowBytes + x * 3];
            at[0] = static_cast<char>(pixel & 0xFF);
            at[1] = static_cast<char>((pixel >> 8) & 0xFF);
            at[2] = static_cast<char>((pixel >> 16) & 0xFF);
        }
    SelectObject(dc, old);
    DeleteDC(dc);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(image.size());
    header.biSize = sizeof(header);
    header.biWidth = side;
    header.biHeight = side;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out);
}

// Run by tests/ui/controls/check_qr.sh with a folder, in which it leaves <n>.bmp and the exact
// text <n>.txt for zbarimg to compare; run alone, the test has no reader and says so.
TEST(QrCodeTest, DrawsTheCodesForZbarimg) {
    const char* folder = std::getenv("VANTREL_QR_FOLDER");
    if (!folder)
        GTEST_SKIP() << "tests/ui/controls/check_qr.sh runs this test and reads the codes";
    int n = 0;
    for (const TQrCase& c : ZbarCases()) {
        const TQrCode code = c.Mask < 0 ? QrCodeOf(c.Text) : QrCodeWithMask(c.Text, c.Mask);
        ASSERT_FALSE(code.IsEmpty()) << c.Name;
        const std::string base = std::string(folder) + "\\" + std::to_string(++n);
        ASSERT_TRUE(WriteBmp(code, base + ".bmp")) << c.Name;
        std::ofstream text(base + ".txt", std::ios::binary);
        text << c.Text;
        std::ofstream about(base + ".about", std::ios::binary);
        about << c.Name << " version " << code.Version << " mask " << code.Mask;
    }
    // Every version class and mask above is there.
    EXPECT_EQ(14, n);
}

TEST(QrCodeTest, TheSmallestVersionThatHoldsTheText) {
    struct {
        std::size_t Length;
        int Version;
    } const cases[] = {
        {1, 1},    {14, 1},   {15, 2},   {26, 2},   {180, 9},
        {181, 10}, {213, 10}, {214, 11}, {331, 13}, {332, 0},
    };
    for (const auto& c : cases) {
        const TQrCode code = QrCodeOf(std::string(c.Length, 'a'));
        EXPECT_EQ(c.Version, code.Version) << c.Length << " bytes";
        EXPECT_EQ(c.Version == 0 ? 0 : 17 + 4 * c.Version, code.Size) << c.Length << " bytes";
    }
}

TEST(QrCodeTest, TakesTheMaskOfTheLowestPenalty) {
    const std::string text = OtpauthAddress(L"Vantrel", L"Anna", FixedKey());
    const TQrCode chosen = QrCodeOf(text);
    int lowest = -1;
    for (int mask = 0; mask < 8; ++mask) {
        const int penalty = QrPenalty(QrCodeWithMask(text, mask));
        lowest = lowest < 0 ? penalty : std::min(lowest, penalty);
    }
    EXPECT_EQ(lowest, QrPenalty(chosen));
    EXPECT_EQ(QrCodeWithMask(text, chosen.Mask).Dark, chosen.Dark);
}

// The penalty rules on small made-up matrices whose scores are counted by hand.
TEST(QrCodeTest, PenaltyRules) {
    TQrCode stripes; // 12 x 12 of columns alternating: no runs across, runs of 12 down
    stripes.Size = 12;
    stripes.Dark.resize(144);
    for (int i = 0; i < 144; ++i)
        stripes.Dark[i] = (i % 12) % 2 == 0;
    // 12 columns with a run of 12 (3 + 7 each); no 2 x 2 blocks; half dark; no finder shape.
    EXPECT_EQ(12 * 10, QrPenalty(stripes));

    TQrCode dark = stripes; // all dark: runs of 12 both ways, 121 blocks, 50% off balance
    dark.Dark.assign(144, true);
    EXPECT_EQ(24 * 10 + 121 * 3 + 10 * 10, QrPenalty(dark));

    TQrCode finder = stripes; // one row 10111010000 + 1 light, the rest as the stripes
    for (int column = 0; column < 12; ++column)
        finder.Dark[column] = std::string("101110100000")[column] == '1';
    // Row 0: the finder shape (40) and a run of five light (3). Columns 3, 8 and 10 changed
    // at the top keep runs of 11 (3 + 6), the other nine their runs of 12 (3 + 7); 71 of 144
    // dark is within 5% of half.
    EXPECT_EQ(40 + 3 + 3 * 9 + 9 * 10, QrPenalty(finder));
}

} // namespace
} // namespace vantrel
