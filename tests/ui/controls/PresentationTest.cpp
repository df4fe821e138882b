#include "ui/Presentation.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(WindowsVersion, LevelsAndFontsOfTheListedVersions) {
    EXPECT_EQ(WindowsVersionLevel(6, 1), 6);
}

} // namespace
} // namespace vantrel
