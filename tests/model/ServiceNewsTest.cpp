#include "model/ServiceNews.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(ServiceNewsTest, UnfinishedLogoffsTravelWithTheNewsAndOlderReadersSkipThem) {
    TServiceNews news;
    news.Kind = TNewsKind::Minute;
    news.Counted = true;
    news.LastMinute.wYear = 2026;
    news.LastMinute.wMonth = 12;
    news.LastMinute.wDay = 8;
    news.LastMinute.wHour = 14;
    news.LastMinute.wMinute = 3;
    // Names as Windows allows them: spaces, letters beyond ASCII, a percent sign.
    news.Logoffs = {{L"anna", true}, {L"J\u00f6rg M\u00fcller", true}, {L"ben 100%", false}};
    const std::string text = FormatServiceNews(news);
    EXPECT_EQ("41, QORsvc minute; last=2026-12-08 14:03; store=local; "
              "logofffailed=anna,J%C3%B6rg%20M%C3%BCller; logoffpending=ben%20100%25",
              text);
    TServiceNews read;
    ASSERT_TRUE(ParseServiceNews(text, read));
    EXPECT_EQ(news.Logoffs, read.Logoffs);
    EXPECT_EQ(TStoreState::Local, read.Store);

    // Fields come at the end, after those a reader of the old form looks for.
    news.Store = TStoreState::Unreachable;
    news.StoreDownSince = news.LastMinute;
    ASSERT_TRUE(ParseServiceNews(FormatServiceNews(news), read));
    EXPECT_EQ(TStoreState::Unreachable, read.Store);
    EXPECT_EQ(3u, read.Logoffs.size());
    struct {
        const char* text;
        bool read;
        size_t logoffs;
    } cases[] = {
        {"41, QORsvc minute; last=2026-12-08 14:03; store=local", true, 0},
        {"41, QORsvc minute; last=2026-12-08 14:03; store=local; later=1; logoffpending=a", true,
         1},
        {"41, QORsvc minute; last=2026-12-08 14:03; store=local; logofffailed=", false, 0},
        {"41, QORsvc minute; last=2026-12-08 14:03; store=local; logofffailed=a,,b", false, 0},
        {"41, QORsvc minute; last=2026-12-08 14:03; store=local; logofffailed=a%2", false, 0},
        {"41, QORsvc minute; last=2026-12-08 14:03; store=local; logofffailed=%FF", false, 0},
    };
    for (const auto& c : cases) {
        TServiceNews parsed;
        EXPECT_EQ(c.read, ParseServiceNews(c.text, parsed)) << c.text;
        EXPECT_EQ(c.logoffs, parsed.Logoffs.size()) << c.text;
    }
}

} // namespace
} // namespace vantrel
