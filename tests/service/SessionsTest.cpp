#include "service/Sessions.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

constexpr wchar_t kComputerSid[] = L"S-1-5-21-1004336348-1177238915-682003330";

// The forms in which Windows names the user of a session, and whose time is counted.
TEST(SessionsTest, AccountsOfThisComputerAndWorkOrSchoolAccountsAreItsUsers) {
    const std::wstring local = std::wstring(kComputerSid) + L"-1001";
    struct {
        const wchar_t* domain;
        std::wstring sid;
        const wchar_t* computerSid;
        bool counted;
    } cases[] = {
        {L"PC-HERE", local, kComputerSid, true},                                // local account
        {L"pc-here", std::wstring(kComputerSid) + L"-500", kComputerSid, true}, // its administrator
        {L"MicrosoftAccount", local, kComputerSid, true}, // linked to a Microsoft account
        // An identifier in other letter case.
        {L"PC-HERE", L"s-1-5-21-1004336348-1177238915-682003330-1002", kComputerSid, true},
        {L"AzureAD", L"S-1-12-1-3623536582-1212390394-2394426790-2307924567", kComputerSid, true},
        {L"AzureAD", L"S-1-12-1-3623536582-1212390394-2394426790-2307924567", L"", true},
        // An account of another domain of the same name, also one claiming the computer's name.
        {L"OFFICE", L"S-1-5-21-3623811015-3361044348-30300820-1013", kComputerSid, false},
        {L"PC-HERE", L"S-1-5-21-3623811015-3361044348-30300820-1013", kComputerSid, false},
        // A domain whose identifier only begins like the computer's.
        {L"OFFICE", std::wstring(kComputerSid) + L"1-1001", kComputerSid, false},
        {L"OFFICE", std::wstring(kComputerSid) + L"-1001-7", kComputerSid, false},
        // The system's own accounts.
        {L"NT AUTHORITY", L"S-1-5-18", kComputerSid, false},
        {L"Window Manager", L"S-1-5-90-0-1", kComputerSid, false},
        {L"BUILTIN", L"S-1-5-32-544", kComputerSid, false},
        // Without the user's token, or without the computer's identifier, the domain decides.
        {L"PC-HERE", L"", kComputerSid, true},
        {L"", L"", kComputerSid, true}, // as under Wine
        {L"AzureAD", L"", kComputerSid, true},
        {L"MicrosoftAccount", L"", kComputerSid, true},
        {L"PC-HERE", local, L"", true},
        {L"OFFICE", L"", kComputerSid, false},
        {L"OFFICE", L"S-1-5-21-3623811015-3361044348-30300820-1013", L"", false},
        {L"PC-HERE2", L"", kComputerSid, false},
        {L"PC", L"", kComputerSid, false},
    };
    for (const auto& c : cases) {
        TListedSession session{1, WTSActive, L"anna", c.domain, c.sid};
        EXPECT_EQ(c.counted, IsThisComputersAccount(session, L"PC-HERE", c.computerSid))
            << c.domain << L" " << c.sid << L" " << c.computerSid;
    }
}

TEST(SessionsTest, ActiveAndDisconnectedSessionsOfThisComputersUsersAndNoStandInForOthers) {
    const TSessionInfo own{9, L"wine", true};
    const wchar_t* const anna = L"S-1-5-21-1004336348-1177238915-682003330-1001";
    const std::vector<TListedSession> services = {{0, WTSDisconnected, L"", L"", L""},
                                                  {1, WTSConnected, L"", L"", L""}};
    const std::vector<TListedSession> mixed = {
        {0, WTSDisconnected, L"", L"", L""},
        {1, WTSActive, L"anna", L"PC-HERE", anna},
        {2, WTSDisconnected, L"ben", L"", L""},
        {3, WTSActive, L"anna", L"OFFICE", L"S-1-5-21-3623811015-3361044348-30300820-1001"},
        {5, WTSActive, L"anna", L"PC-HERE", L"S-1-5-18"},
        {4, WTSConnected, L"carl", L"PC-HERE", L""}};
    struct {
        std::vector<TListedSession> listed;
        std::vector<std::pair<DWORD, bool>> expected; // id, active
    } cases[] = {{{}, {{9, true}}}, {services, {}}, {mixed, {{1, true}, {2, false}}}};
    for (const auto& c : cases) {
        std::vector<std::pair<DWORD, bool>> seen;
        for (const TSessionInfo& session : UserSessions(c.listed, L"PC-HERE", kComputerSid, &own))
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
