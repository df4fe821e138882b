#include "model/Registry.h"
#include "model/TimeLeft.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

namespace vantrel {
namespace {

// Wednesday 10 June 2026, day 161; hours 8 to 20 on the other days, `thursday` minutes on
// Thursday and `others` on the other days, today too.
TEST(UserFigures, TodaysFiguresAsTheServiceJudgesThem) {
    using S = TFiguresState;
    struct {
        int hour, minute, used, begin, end, thursday, others;
        S state;
        int left, until, againDays, againAt, shownBegin, shownEnd;
    } cases[] = {
        {12, 0, 20, 8, 20, 60, 60, S::TimeLeft, 40, 760, -1, 0, 8, 20},   // the limit ends first
        {19, 30, 0, 8, 20, 60, 60, S::TimeLeft, 60, 1200, -1, 0, 8, 20},  // the hours end first
        {23, 30, 0, -5, 30, 60, 60, S::TimeLeft, 60, 1440, -1, 0, 0, 24}, // up to midnight
        {7, 59, 0, 8, 20, 60, 60, S::OutsideHours, 60, 0, 0, 480, 8, 20}, // later today
        {7, 0, 0, 8, 8, 60, 60, S::OutsideHours, 60, 0, 1, 480, 8, 8},    // no hours today
        {20, 0, 0, 8, 20, 60, 60, S::OutsideHours, 60, 0, 1, 480, 8, 20}, // tomorrow
        {7, 0, 60, 8, 20, 60, 60, S::OverLimit, 0, 0, 1, 480, 8, 20},     // not later today
        {21, 0, 0, 8, 20, 0, 60, S::OutsideHours, 60, 0, 2, 480, 8, 20},  // Friday
        {12, 0, 0, 8, 20, 0, 0, S::OverLimit, 0, 0, -1, 0, 8, 20},        // no day of the week
    };
    for (const auto& c : cases) {
        TQorUser user;
        user.QorControl = true;
        for (int d = 1; d <= 7; ++d) {
            user.AllowBegin(d) = d == 3 ? c.begin : 8;
            user.AllowEnd(d) = d == 3 ? c.end : 20;
            user.TimeLimit(d) = d == 4 ? c.thursday : c.others;
        }
        user.TotalTimeUsage(3) = c.used;
        user.DeriveTodaysFigures(3, 161, 2026);
        const WORD hour = static_cast<WORD>(c.hour), minute = static_cast<WORD>(c.minute);
        const TUserFigures f = FiguresOf(user, {2026, 6, 3, 10, hour, minute, 0, 0}, TQorPrefs{});
        const auto at = ::testing::Message() << c.hour << ":" << c.minute << " used " << c.used;
        EXPECT_EQ(std::make_tuple(true, c.state, c.used, c.left),
                  std::make_tuple(f.Limited, f.State, f.Used, f.Left))
            << at;
        EXPECT_EQ(std::make_tuple(c.until, c.againDays, c.againAt, c.shownBegin, c.shownEnd),
                  std::make_tuple(f.Until, f.AgainDays, f.AgainAt, f.AllowBegin, f.AllowEnd))
            << at;
    }
    // A bonus for Friday opens that day, unless it was given for Friday's day of another year.
    TQorUser user;
    for (int d = 1; d <= 7; ++d)
        user.TimeLimit(d) = 0;
    user.QorControl = true, user.BonusTime = 30, user.BonusDayOfYear = 163;
    for (const auto& [year, againDays] : {std::pair{0, 2}, {2026, 2}, {2025, -1}}) {
        user.BonusYear = year;
        user.DeriveTodaysFigures(3, 161, 2026);
        EXPECT_EQ(againDays, FiguresOf(user, {2026, 6, 3, 10, 21, 0, 0, 0}, TQorPrefs{}).AgainDays)
            << year;
    }
}

// While the service writes, a reader takes one whole writing or none, and no damaged value.
TEST(UserFigures, AReaderTakesOneWholeWritingAndNoDamagedValue) {
    const std::wstring user = L"figures-test", path = std::wstring(kFiguresKeyPath) + L"\\" + user;
    TRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, path, KEY_SET_VALUE));
    std::atomic<int> n{0};
    std::thread writer([&] {
        for (TUserFigures f; n < 300; Sleep(1)) {
            f.Written.dwLowDateTime = static_cast<DWORD>(f.Left = f.Until = ++n);
            WriteUserFigures(key.Get(), f);
        }
    });
    for (TUserFigures f; n < 300;)
        EXPECT_TRUE(!ReadUserFigures(user, f) ||
                    (f.Left == f.Until && f.Left == static_cast<int>(f.Written.dwLowDateTime)))
            << f.Left << " " << f.Until;
    writer.join();
    TUserFigures f;
    EXPECT_TRUE(ReadUserFigures(user, f));
    // The request's values come back as written, and a key without them reads as no request.
    f.RequestState = 2;
    f.RequestGranted = 30;
    f.RequestReply = L"ok";
    f.RequestSerial = 7;
    f.CodesPaired = true;
    f.CodesLocked = 12;
    EXPECT_EQ(ERROR_SUCCESS, WriteUserFigures(key.Get(), f));
    TUserFigures back;
    ASSERT_TRUE(ReadUserFigures(user, back));
    EXPECT_EQ(std::make_tuple(2, 30, std::wstring(L"ok"), DWORD{7}, true, 12),
              std::make_tuple(back.RequestState, back.RequestGranted, back.RequestReply,
                              back.RequestSerial, back.CodesPaired, back.CodesLocked));
    for (const wchar_t* name : {L"RequestState", L"RequestGranted", L"RequestReply",
                                L"RequestSerial", L"CodesPaired", L"CodesLocked"})
        RegDeleteValueW(key.Get(), name);
    ASSERT_TRUE(ReadUserFigures(user, back));
    EXPECT_EQ(std::make_tuple(0, 0, std::wstring(), DWORD{0}, false, 0),
              std::make_tuple(back.RequestState, back.RequestGranted, back.RequestReply,
                              back.RequestSerial, back.CodesPaired, back.CodesLocked));
    key.WriteInt(L"RequestState", 9);
    EXPECT_FALSE(ReadUserFigures(user, back));
    key.WriteInt(L"RequestState", 0);
    ASSERT_TRUE(ReadUserFigures(user, f));
    key.WriteInt(L"AgainDays", 0x7FFFFFFF);
    EXPECT_FALSE(ReadUserFigures(user, f));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
}

} // namespace
} // namespace vantrel
