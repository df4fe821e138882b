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
