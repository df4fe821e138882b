// The interface font from the Windows version.
#include "ui/Fonts.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace vantrel
