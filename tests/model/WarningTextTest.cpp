#include "model/WarningText.h"

#include "model/Constants.h"

#include <gtest/gtest.h>

#include <climits>

namespace vantrel {
namespace {

TEST(WarningText, ProblemIsTheFirstPieceThatIsNotTheOneMinutesConversion) {
    EXPECT_EQ(L"", WarningTextProblem(L""));
    EXPECT_EQ(L"", WarningTextProblem(kDefaultWarningText));
    EXPECT_EQ(L"", WarningTextProblem(L"%d min, 100%% used, %%d is literal"));
    EXPECT_EQ(L"", WarningTextProblem(L"%%%d%%"));
    EXPECT_EQ(L"%s", WarningTextProblem(L"%s minutes"));
    EXPECT_EQ(L"%d", WarningTextProblem(L"%d of %d"));
    EXPECT_EQ(L"%5d", WarningTextProblem(L"%5d left"));
    EXPECT_EQ(L"%ls", WarningTextProblem(L"%d %ls"));
    EXPECT_EQ(L"%", WarningTextProblem(L"100%"));
    EXPECT_EQ(L"%", WarningTextProblem(L"%%%"));
    EXPECT_EQ(L"% s", WarningTextProblem(L"100% sure"));
}

TEST(WarningText, ExpandsTheMinutesAndPercentSigns) {
    EXPECT_EQ(L"5 left", ExpandWarningText(L"%d left", 5));
    EXPECT_EQ(L"5%", ExpandWarningText(L"%d%%", 5));
    EXPECT_EQ(L"5 minutes, 100%", ExpandWarningText(L"%d minutes, 100%%", 5));
    EXPECT_EQ(L"%d is 1", ExpandWarningText(L"%%d is %d", 1));
    EXPECT_EQ(L"no number, 50%", ExpandWarningText(L"no number, 50%%", 1));
    EXPECT_EQ(L"", ExpandWarningText(L"", 1));
    EXPECT_EQ(L"-2147483648 left", ExpandWarningText(L"%d left", INT_MIN));
    EXPECT_EQ(L"2147483647", ExpandWarningText(L"%d", INT_MAX));
}

TEST(WarningText, ATextWithAnyOtherConversionIsShownAsItStands) {
    for (const wchar_t* text : {L"%s %d %n", L"100% sure: %d", L"%d of %d", L"%5d left", L"%",
                                L"%d%%%", L"%d %ls %p %x", L"%%%n"})
        EXPECT_EQ(text, ExpandWarningText(text, 5)) << text;
}

} // namespace
} // namespace vantrel
