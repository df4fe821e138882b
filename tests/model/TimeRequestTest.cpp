#include "model/TimeRequest.h"

#include "model/Registry.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vantrel {
namespace {

// The life of one request, step by step: each row acts on what the rows before left.
TEST(TimeRequestTest, TheLifeOfARequest) {
    enum TStep { Ask, Withdraw, Answer };
    const struct {
        const char* what;
        TStep step;
        int day;
        int minutes;
        TRequestRefusal refusal;
        TRequestState state;
        int left; // requests left that day
    } rows[] = {
        {"asks for 30", Ask, 100, 30, TRequestRefusal::None, TRequestState::Waiting, 2},
        {"asks for more than allowed", Ask, 100, 61, TRequestRefusal::BadAmount,
         TRequestState::Waiting, 2},
        {"asks again: replaces", Ask, 100, 15, TRequestRefusal::None, TRequestState::Waiting, 1},
        {"withdraws", Withdraw, 100, 0, TRequestRefusal::None, TRequestState::Withdrawn, 1},
        {"nothing left to withdraw", Withdraw, 100, 0, TRequestRefusal::NothingOpen,
         TRequestState::Withdrawn, 1},
        {"too late to answer", Answer, 100, 20, TRequestRefusal::NothingOpen,
         TRequestState::Withdrawn, 1},
        {"asks a third time", Ask, 100, 60, TRequestRefusal::None, TRequestState::Waiting, 0},
        {"granted 20", Answer, 100, 20, TRequestRefusal::None, TRequestState::Granted, 0},
        {"a fourth is one too many", Ask, 100, 10, TRequestRefusal::TooMany, TRequestState::Granted,
         0},
        {"a new day, a new count", Ask, 101, 10, TRequestRefusal::None, TRequestState::Waiting, 2},
        {"denied", Answer, 101, 0, TRequestRefusal::None, TRequestState::Denied, 2},
        {"asks again", Ask, 101, 45, TRequestRefusal::None, TRequestState::Waiting, 1},
        {"expired overnight: nothing to answer", Answer, 102, 45, TRequestRefusal::NothingOpen,
         TRequestState::Expired, 3},
    };
    const TRequestRules rules{3, 60};
    TTimeRequest request;
    DWORD serial = request.Serial;
    const FILETIME now{1, 2};
    for (const auto& row : rows) {
        TRequestRefusal refusal = TRequestRefusal::None;
        switch (row.step) {
        case Ask:
            refusal = AskForTime(request, rules, row.minutes, L"homework\r\ndone", L"PC", now,
                                 row.day, 2026);
            break;
        case Withdraw:
            refusal = WithdrawRequest(request, now, row.day, 2026);
            break;
        case Answer:
            refusal = AnswerRequest(request, row.minutes, L"ok", now, row.day, 2026);
            break;
        }
        EXPECT_EQ(row.refusal, refusal) << row.what;
        EXPECT_EQ(row.state, request.State) << row.what;
        EXPECT_EQ(row.left, RequestsLeft(request, rules, row.day, 2026)) << row.what;
        // Every change is told by a new number; a refusal changes nothing.
        EXPECT_EQ(refusal == TRequestRefusal::None || row.state == TRequestState::Expired,
                  request.Serial != serial)
            << row.what;
        serial = request.Serial;
    }
    EXPECT_EQ(L"homework  done", request.Reason);
    EXPECT_EQ(TRequestRefusal::NotAllowed,
              AskForTime(request, TRequestRules{0, 60}, 10, L"", L"PC", now, 102, 2026));
}

TEST(TimeRequestTest, KeptWholeBesideTheSettingsOnly) {
    const wchar_t root[] = L"SOFTWARE\\VantrelRequestTest";
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, root);
    TRegKey store;
    ASSERT_EQ(ERROR_SUCCESS, store.Create(HKEY_LOCAL_MACHINE, root, KEY_ALL_ACCESS));
    TTimeRequest asked;
    AskForTime(asked, TRequestRules{}, 30, L"for the \u00e9cole project", L"KITCHEN",
               FILETIME{5, 6}, 161, 2026);
    // No request makes a key for a user the store does not know.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, WriteTimeRequest(store.Get(), L"anna", asked));
    TRegKey user;
    ASSERT_EQ(ERROR_SUCCESS, user.Create(store.Get(), L"System\\QOR\\Users\\anna", KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, WriteTimeRequest(store.Get(), L"anna", asked));
    TTimeRequest read;
    ASSERT_TRUE(ReadTimeRequest(store.Get(), L"anna", read));
    EXPECT_EQ(std::make_tuple(TRequestState::Waiting, 30,
                              std::wstring(L"for the \u00e9cole project"), std::wstring(L"KITCHEN"),
                              161, 2026, 1, asked.Serial),
              std::make_tuple(read.State, read.Minutes, read.Reason, read.Computer, read.Day,
                              read.Year, read.AskedThatDay, read.Serial));
    // A value missing: no request at all, never a half one.
    TRegKey request;
    ASSERT_EQ(ERROR_SUCCESS,
              request.Open(store.Get(), L"System\\QOR\\Users\\anna\\Request", KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(request.Get(), L"Day"));
    EXPECT_FALSE(ReadTimeRequest(store.Get(), L"anna", read));
    EXPECT_EQ(TRequestState::None, read.State);
    // Rules: defaults where missing, kept within bounds where damaged.
    EXPECT_EQ(TRequestRules::kDefaultPerDay, ReadRequestRules(store.Get(), L"anna").PerDay);
    user.WriteInt(L"RequestsPerDay", 1000);
    user.WriteInt(L"RequestMostMinutes", -5);
    const TRequestRules rules = ReadRequestRules(store.Get(), L"anna");
    EXPECT_EQ(std::make_pair(TRequestRules::kLargestPerDay, 1),
              std::make_pair(rules.PerDay, rules.MostMinutes));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, root);
}

} // namespace
} // namespace vantrel
