#include "tray/TrayTexts.h"
#include "TraySupport.h"

#include <functional>
#include <string>
#include <vector>

namespace vantrel {
namespace {

using TrayTexts = TrayClockTest;

struct TTextCase {
    const char* Name;
    std::function<void(TUserFigures&)> Change;
    bool Icon;
    TTrayPicture Picture;
    int Share;
    std::wstring Tip;
    // A piece of the window's sentence.
    std::wstring Summary;
    TTrayLevel Level = TTrayLevel::Plenty;
};

TEST_F(TrayTexts, TipPictureAndSentenceFollowWhereTheUserStands) {
    const std::vector<TTextCase> cases = {
        {"time left", [](TUserFigures&) {}, true, TTrayPicture::TimeLeft, 30,
         L"45 minutes left today (until 20:00)", L"45 minutes left today (until 20:00)"},
        {"hours, 12-hour clock",
         [](TUserFigures& f) {
             f.Left = 105;
             f.Until = 19 * 60 + 45;
             f.Clock24 = false;
         },
         true, TTrayPicture::TimeLeft, 70, L"1 hour 45 minutes left today (until 7:45 p.m.)",
         L"1 hour 45 minutes left"},
        {"a quarter of an hour left", [](TUserFigures& f) { f.Left = 15; }, true,
         TTrayPicture::TimeLeft, 10, L"15 minutes left today (until 20:00)", L"15 minutes",
         TTrayLevel::Low},
        {"five minutes left", [](TUserFigures& f) { f.Left = 5; }, true, TTrayPicture::TimeLeft, 3,
         L"5 minutes left today (until 20:00)", L"5 minutes", TTrayLevel::VeryLow},
        {"over the limit",
         [](TUserFigures& f) {
             f.State = TFiguresState::OverLimit;
             f.Used = 150;
             f.Left = 0;
             f.AgainDays = 1;
             f.AgainAt = 7 * 60;
         },
         true, TTrayPicture::OverLimit, 0, L"Allowed again tomorrow at 07:00", L"used up"},
        {"outside the hours, later today",
         [](TUserFigures& f) {
             f.State = TFiguresState::OutsideHours;
             f.AgainDays = 0;
             f.AgainAt = 15 * 60;
         },
         true, TTrayPicture::OutsideHours, 30, L"Allowed again today at 15:00", L"computer now"},
        {"outside the hours until Thursday",
         [](TUserFigures& f) {
             f.State = TFiguresState::OutsideHours;
             f.AgainDays = 3;
             f.AgainAt = 8 * 60 + 30;
             f.Clock24 = false;
         },
         true, TTrayPicture::OutsideHours, 30, L"Allowed again on Thursday at 8:30 a.m.",
         L"Allowed again on Thursday"},
        {"a week ahead",
         [](TUserFigures& f) {
             f.State = TFiguresState::OverLimit;
             f.AgainDays = 7;
             f.AgainAt = 7 * 60;
             f.Clock24 = false;
         },
         true, TTrayPicture::OverLimit, 0, L"Allowed again next Monday at 7:00 a.m.",
         L"next Monday at 7:00 a.m."},
        {"no allowed day ahead",
         [](TUserFigures& f) {
             f.State = TFiguresState::OverLimit;
             f.AgainDays = -1;
         },
         true, TTrayPicture::OverLimit, 0, L"No time is allowed in the coming week", L""},
        {"three minutes old", [](TUserFigures& f) { f.Written = SecondsAgo(180); }, true,
         TTrayPicture::TimeLeft, 30, L"45 minutes left today (until 20:00)", L""},
        {"three minutes and a second old", [](TUserFigures& f) { f.Written = SecondsAgo(181); },
         true, TTrayPicture::Stale, 0, L"Time left unknown: these numbers are out of date",
         L"from 3 minutes ago"},
        {"from the future", [](TUserFigures& f) { f.Written = SecondsAgo(-600); }, true,
         TTrayPicture::Stale, 0, L"Time left unknown: these numbers are out of date",
         L"out of date."},
        {"without a limit", [](TUserFigures& f) { f.Limited = false; }, false,
         TTrayPicture::TimeLeft, 0, L"", L"no time limit"},
    };
    for (const TTextCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TUserFigures figures = TimeLeftFigures();
        c.Change(figures);
        const TTrayView view = TrayViewOf(&figures);
        EXPECT_EQ(c.Icon, view.ShowIcon);
        EXPECT_EQ(c.Icon ? 6u : 0u, view.Lines.size());
        EXPECT_EQ(c.Tip, view.Tip);
        if (!c.Icon)
            continue;
        EXPECT_EQ(c.Picture, view.Picture);
        EXPECT_EQ(c.Share, view.Share);
        EXPECT_EQ(c.Level, view.Level);
        EXPECT_NE(view.Summary.find(c.Summary), std::wstring::npos) << view.Summary;
        EXPECT_EQ(view.Summary.find(L".."), std::wstring::npos) << view.Summary;
    }
    const TTrayView none = TrayViewOf(nullptr);
    EXPECT_FALSE(none.ShowIcon);
    EXPECT_TRUE(none.Tip.empty() && none.Lines.empty() && !none.Summary.empty());
}

TEST_F(TrayTexts, RunningProgramsWithALimitFollowTheTipAndTheWindow) {
    const std::wstring tip = L"45 minutes left today (until 20:00)";
    const std::wstring longName(100, L'n');
    std::vector<TProgramLeft> eleven;
    for (int i = 1; i <= 11; ++i)
        eleven.push_back({L"Program " + std::to_wstring(i), 100 - i});
    struct {
        const char* Name;
        std::vector<TProgramLeft> Programs;
        std::function<void(TUserFigures&)> Change;
        std::wstring Tip;
        std::vector<TTrayLine> Lines;
    } cases[] = {
        {"none", {}, [](TUserFigures&) {}, tip, {}},
        {"least time first",
         {{L"Game", 20}, {L"Chat", 0}, {L"Paint", 1}},
         [](TUserFigures&) {},
         tip + L"\nChat: not allowed now\nPaint: 1 minute left today\nGame: 20 minutes left today",
         {{L"Chat:", L"not allowed now"},
          {L"Paint:", L"1 minute left today"},
          {L"Game:", L"20 minutes left today"}}},
        {"time used up",
         {{L"Game", 0}},
         [](TUserFigures& f) {
             f.State = TFiguresState::OverLimit;
             f.AgainDays = 1;
             f.AgainAt = 7 * 60;
         },
         L"Allowed again tomorrow at 07:00\nGame: not allowed now",
         {{L"Game:", L"not allowed now"}}},
        // The tool tip holds 127 characters: as many programs as fit, then how many more.
        {"many",
         eleven,
         [](TUserFigures&) {},
         tip + L"\nProgram 11: 89 minutes left today\nProgram 10: 90 minutes left today\nand 9 "
               L"more programs",
         {}},
        {"a long name",
         {{longName, 5}, {longName, 6}},
         [](TUserFigures&) {},
         tip + L"\n" + longName.substr(0, 29) + L"\x2026: 5 minutes left today\nand 1 more program",
         {{longName + L":", L"5 minutes left today"}, {longName + L":", L"6 minutes left today"}}},
        {"out of date",
         {{L"Game", 20}},
         [](TUserFigures& f) { f.Written = SecondsAgo(600); },
         L"Time left unknown: these numbers are out of date",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TUserFigures figures = TimeLeftFigures();
        figures.Programs = c.Programs;
        c.Change(figures);
        const TTrayView view = TrayViewOf(&figures);
        EXPECT_EQ(c.Tip, view.Tip);
        EXPECT_LE(view.Tip.size(), kTipMost);
        if (c.Programs.size() <= kProgramLinesShown) {
            EXPECT_EQ(c.Lines, view.Programs);
        }
    }
    TUserFigures figures = TimeLeftFigures();
    figures.Programs = eleven;
    const TTrayView view = TrayViewOf(&figures);
    ASSERT_EQ(kProgramLinesShown + 1, view.Programs.size());
    EXPECT_EQ((TTrayLine{L"Program 11:", L"89 minutes left today"}), view.Programs[0]);
    EXPECT_EQ((TTrayLine{L"", L"and 3 more programs"}), view.Programs.back());
}

TEST_F(TrayTexts, AReadingJustAfterMidnightCountsTheDaysFromTheWritingDay) {
    Now = MondayAt(0, 0, 50);
    TUserFigures figures = TimeLeftFigures();
    figures.State = TFiguresState::OverLimit;
    figures.Written = SecondsAgo(70); // Sunday 23:59:40
    figures.AgainDays = 1;
    figures.AgainAt = 7 * 60;
    EXPECT_EQ(L"Allowed again today at 07:00", TrayViewOf(&figures).Tip);
    figures.AgainDays = 3;
    EXPECT_EQ(L"Allowed again on Wednesday at 07:00", TrayViewOf(&figures).Tip);
}

TEST_F(TrayTexts, WindowLinesTellTheFiguresInWords) {
    struct TLineCase {
        std::function<void(TUserFigures&)> Change;
        std::vector<std::wstring> Values;
    };
    const std::vector<TLineCase> cases = {
        {[](TUserFigures&) {},
         {L"2 hours", L"30 minutes", L"1 hour 45 minutes", L"45 minutes", L"07:00-20:00",
          L"You are logged off"}},
        {[](TUserFigures& f) {
             f.Limit = 61;
             f.Bonus = -30;
             f.Used = 0;
             f.Left = 31;
             f.AllowBegin = 0;
             f.AllowEnd = 24;
             f.LogsOff = false;
         },
         {L"1 hour 1 minute", L"30 minutes less", L"0 minutes", L"31 minutes", L"All day",
          L"You see a message but stay logged on"}},
        {[](TUserFigures& f) {
             f.Bonus = 0;
             f.AllowBegin = 8;
             f.AllowEnd = 8;
             f.Clock24 = false;
         },
         {L"2 hours", L"None", L"1 hour 45 minutes", L"45 minutes", L"None",
          L"You are logged off"}},
        {[](TUserFigures& f) {
             f.AllowBegin = 9;
             f.AllowEnd = 21;
             f.Clock24 = false;
         },
         {L"2 hours", L"30 minutes", L"1 hour 45 minutes", L"45 minutes", L"9:00 a.m.-9:00 p.m.",
          L"You are logged off"}},
    };
    for (const TLineCase& c : cases) {
        TUserFigures figures = TimeLeftFigures();
        c.Change(figures);
        const TTrayView view = TrayViewOf(&figures);
        std::vector<std::wstring> values;
        for (const TTrayLine& line : view.Lines)
            values.push_back(line.Value);
        EXPECT_EQ(c.Values, values);
    }
}

} // namespace
} // namespace vantrel
