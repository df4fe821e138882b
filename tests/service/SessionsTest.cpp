#include "service/Sessions.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(SessionsTest, OnlyThisComputersAccountsAreItsUsers) {
    EXPECT_TRUE(IsThisComputersAccount(L"PC-HERE", L"PC-HERE"));
    EXPECT_TRUE(IsThisComputersAccount(L"pc-here", L"PC-HERE"));
    EXPECT_TRUE(IsThisComputersAccount(L"", L"PC-HERE"));
    EXPECT_FALSE(IsThisComputersAccount(L"OFFICE", L"PC-HERE"));
    EXPECT_FALSE(IsThisComputersAccount(L"PC-HERE2", L"PC-HERE"));
    EXPECT_FALSE(IsThisComputersAccount(L"PC", L"PC-HERE"));
}

TEST(SessionsTest, ActiveAndDisconnectedSessionsOfThisComputersUsersAndNoStandInForOthers) {
    const TSessionInfo own{9, L"wine", true};
    const std::vector<TListedSession> services = {{0, WTSDisconnected, L"", L""},
                                                  {1, WTSConnected, L"", L""}};
    const std::vector<TListedSession> mixed = {{0, WTSDisconnected, L"", L""},
                                               {1, WTSActive, L"anna", L"PC-HERE"},
                                               {2, WTSDisconnected, L"ben", L""},
                                               {3, WTSActive, L"anna", L"OFFICE"},
                                               {4, WTSConnected, L"carl", L"PC-HERE"}};
    struct {
        std::vector<TListedSession> listed;
        std::vector<std::pair<DWORD, bool>> expected; // id, active
    } cases[] = {{{}, {{9, true}}}, {services, {}}, {mixed, {{1, true}, {2, false}}}};
    for (const auto& c : cases) {
        std::vector<std::pair<DWORD, bool>> seen;
        for (const TSessionInfo& session : UserSessions(c.listed, L"PC-HERE", &own))
            seen.push_back({session.Id, session.Active});
        EXPECT_EQ(c.expected, seen) << c.listed.size();
    }
}

TEST(SessionsTest, UnderWineTheUserOfThisSessionIsTheOneLoggedOn) {
    wchar_t user[257] = {};
    DWORD length = 257;
    ASSERT_TRUE(GetUserNameW(user, &length));
    DWORD session = 0;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    TWtsSessionHost host;
    const std::vector<TSessionInfo> sessions = host.Sessions();
    ASSERT_EQ(1u, sessions.size());
    EXPECT_EQ(user, sessions[0].Username);
    EXPECT_EQ(session, sessions[0].Id);
}

} // namespace
} // namespace vantrel
