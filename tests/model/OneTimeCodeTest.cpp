#include "model/OneTimeCode.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace vantrel {
namespace {

const TSecret kRfcKey = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0',
                         '1', '2', '3', '4', '5', '6', '7', '8', '9', '0'};

// The SHA-1 rows of RFC 6238's own table (8 digits), and the 6-digit codes an app shows.
TEST(OneTimeCodeTest, TheStandardsTable) {
    const struct {
        std::uint64_t time;
        int eight, six;
    } rows[] = {{59, 94287082, 287082},         {1111111109, 7081804, 81804},
                {1111111111, 14050471, 50471},  {1234567890, 89005924, 5924},
                {2000000000, 69279037, 279037}, {20000000000ULL, 65353130, 353130}};
    for (const auto& row : rows) {
        EXPECT_EQ(row.eight, TimeCode(kRfcKey, row.time, 8)) << row.time;
        EXPECT_EQ(row.six, TimeCode(kRfcKey, row.time)) << row.time;
    }
    // RFC 4226's own counter table.
    const int hotp[] = {755224, 287082, 359152, 969429, 338314,
                        254676, 287922, 162583, 399871, 520489};
    for (int counter = 0; counter < 10; ++counter)
        EXPECT_EQ(hotp[counter], CounterCode(kRfcKey, counter)) << counter;
    EXPECT_EQ(-1, CounterCode(kRfcKey, 0, 5));
}

TEST(OneTimeCodeTest, Base32BothWaysAndWhatIsRefused) {
    EXPECT_EQ("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ", Base32(kRfcKey));
    const struct {
        const char* text;
        bool ok;
        const char* bytes;
    } rows[] = {{"MZXW6YTBOI======", true, "foobar"},
                {"mzxw 6ytb oi", true, "foobar"},
                {"MZXW6YQ=", true, "foob"},
                {"MZXW6", true, "foo"},
                {"MY", true, "f"},
                {"M", false, ""},
                {"MZX", false, ""},
                {"MZXW6Y", false, ""},
                {"MZXW1YTB", false, ""},
                {"MY=A", false, ""},
                {"", false, ""}};
    for (const auto& row : rows) {
        TSecret bytes = {42};
        EXPECT_EQ(row.ok, FromBase32(row.text, bytes)) << row.text;
        EXPECT_EQ(row.ok ? std::string(row.bytes) : std::string(1, '*'),
                  std::string(bytes.begin(), bytes.end()))
            << row.text;
    }
    TSecret key, again;
    ASSERT_TRUE(NewSecret(key));
    EXPECT_EQ(20u, key.size());
    ASSERT_TRUE(FromBase32(Base32(key), again));
    EXPECT_EQ(key, again);
    EXPECT_EQ("otpauth://totp/Vantrel:Anna%20M%C3%BCller?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ"
              "&issuer=Vantrel&algorithm=SHA1&digits=6&period=30",
              OtpauthAddress(L"Vantrel", L"Anna M\u00fcller", kRfcKey));
}

// Lines of "key time code" that tests/model/check_codes.sh had oathtool make; run alone, the
// test has nothing to compare with and says so.
TEST(OneTimeCodeTest, TheCodesOfOathtool) {
    const char* path = std::getenv("VANTREL_CODES_FROM_OATHTOOL");
    if (!path)
        GTEST_SKIP() << "tests/model/check_codes.sh runs this test with oathtool's codes";
    std::ifstream list(path);
    std::string key;
    std::uint64_t time = 0;
    int code = 0, lines = 0;
    while (list >> key >> time >> code) {
        TSecret bytes;
        ASSERT_TRUE(FromBase32(key, bytes)) << key;
        EXPECT_EQ(code, TimeCode(bytes, time)) << key << " at " << time;
        ++lines;
    }
    EXPECT_EQ(40, lines);
}

} // namespace
} // namespace vantrel
