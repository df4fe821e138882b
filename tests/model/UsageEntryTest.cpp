#include "model/UsageEntry.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(UsageEntry, ComputerBeforeTheLastEqualsAndOnlyAWholeNumberAfterIt) {
    const struct {
        const wchar_t* Line;
        const wchar_t* Computer;
        int Minutes;
    } cases[] = {
        {L"PC=95", L"PC", 95},
        {L"PC=-3", L"PC", -3},
        {L"A=B=7", L"A=B", 7},
        {L"PC=2147483647", L"PC", 2147483647},
        {L"PC=2147483648", L"PC", 0},
        {L"PC=99999999999999999999999", L"PC", 0},
        {L"PC=9 5", L"PC", 0},
        {L"PC=12x", L"PC", 0},
        {L"PC=", L"PC", 0},
        {L"PC", L"", 0},
        {L"=7", L"", 7},
    };
    for (const auto& c : cases) {
        const TUsageEntry entry = ParseUsageEntry(c.Line);
        EXPECT_EQ(entry.Computer, c.Computer) << c.Line;
        EXPECT_EQ(entry.Minutes, c.Minutes) << c.Line;
    }
}

} // namespace
} // namespace vantrel
