#include "model/AskMessage.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(AskMessageTest, OnlyTheThreeMessagesExactlyAsMade) {
    const struct {
        std::string bytes;
        bool ok;
        TAskKind kind;
        int minutes;
        std::wstring reason;
    } rows[] = {
        {"ASK 30", true, TAskKind::Ask, 30, L""},
        {"ASK 15 homework for tomorrow", true, TAskKind::Ask, 15, L"homework for tomorrow"},
        {"ASK 60 \xC3\xA9"
         "cole",
         true, TAskKind::Ask, 60, L"\u00e9cole"},
        {"ASK 1440", true, TAskKind::Ask, 1440, L""},
        {"WITHDRAW", true, TAskKind::Withdraw, 0, L""},
        {"CODE 012345", true, TAskKind::Code, 0, L""},
        {"ASK 0", false, TAskKind::Ask, 0, L""},
        {"ASK 1441", false, TAskKind::Ask, 0, L""},
        {"ASK 030", false, TAskKind::Ask, 0, L""},
        {"ASK -5", false, TAskKind::Ask, 0, L""},
        {"ASK +5", false, TAskKind::Ask, 0, L""},
        {"ASK 99999999999", false, TAskKind::Ask, 0, L""},
        {"ASK  30", false, TAskKind::Ask, 0, L""},
        {"ASK 30 ", false, TAskKind::Ask, 0, L""},
        {"ASK 30 two\nlines", false, TAskKind::Ask, 0, L""},
        {"ASK 30 \xC3", false, TAskKind::Ask, 0, L""},
        {"ASK 30 " + std::string(101, 'x'), false, TAskKind::Ask, 0, L""},
        {"ask 30", false, TAskKind::Ask, 0, L""},
        {"WITHDRAW anna", false, TAskKind::Ask, 0, L""},
        {"CODE 12345", false, TAskKind::Ask, 0, L""},
        {"CODE 1234567", false, TAskKind::Ask, 0, L""},
        {"CODE 12345a", false, TAskKind::Ask, 0, L""},
        {std::string("CODE 123456\0", 12), false, TAskKind::Ask, 0, L""},
        {"40, QORsvc", false, TAskKind::Ask, 0, L""},
        {"", false, TAskKind::Ask, 0, L""},
        {std::string(600, 'A'), false, TAskKind::Ask, 0, L""},
    };
    for (const auto& row : rows) {
        TAskMessage message;
        message.Minutes = -7;
        EXPECT_EQ(row.ok, ParseAskMessage(row.bytes, message)) << row.bytes;
        if (!row.ok) {
            EXPECT_EQ(-7, message.Minutes) << row.bytes;
            continue;
        }
        EXPECT_EQ(row.kind, message.Kind) << row.bytes;
        EXPECT_EQ(row.minutes, message.Minutes) << row.bytes;
        EXPECT_EQ(row.reason, message.Reason) << row.bytes;
        EXPECT_EQ(row.bytes, FormatAskMessage(message)) << row.bytes;
    }
}

TEST(AskMessageTest, AnswersBothWays) {
    const TAskAnswer answers[] = {{TAskRefusal::None, 0},
                                  {TAskRefusal::None, 30},
                                  {TAskRefusal::TooMany, 0},
                                  {TAskRefusal::Locked, 12},
                                  {TAskRefusal::WrongCode, 0}};
    for (const TAskAnswer& answer : answers) {
        TAskAnswer read;
        ASSERT_TRUE(ParseAskAnswer(FormatAskAnswer(answer), read)) << FormatAskAnswer(answer);
        EXPECT_EQ(answer.Refusal, read.Refusal);
        EXPECT_EQ(answer.Minutes, read.Minutes);
    }
    TAskAnswer read;
    for (const char* bad : {"NO", "NO locked", "NO what", "OK 0", "YES"})
        EXPECT_FALSE(ParseAskAnswer(bad, read)) << bad;
}

} // namespace
} // namespace vantrel
