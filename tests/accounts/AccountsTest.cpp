#include "accounts/Accounts.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(Accounts, ExcludedPrefixesAreCaseSensitiveAndKeepOrder) {
    std::vector<std::wstring> names{L"Administrator",
                                    L"Guest",
                                    L"Guest2",
                                    L"guest",
                                    L"ASPNET",
                                    L"john",
                                    L"SUPPORT_388945a0",
                                    L"SUPPORT",
                                    L"Gast",
                                    L"__vmware_user__",
                                    L"SophosSAU",
                                    L"HelpAssistant",
                                    L"Łukasz"};
    RemoveExcludedAccounts(names);
    EXPECT_EQ((std::vector<std::wstring>{L"Administrator", L"guest", L"john", L"SUPPORT", L"Gast",
                                         L"Łukasz"}),
              names);
}

TEST(Accounts, ThisComputerListsItsAccounts) {
    std::wstring name = GetWorkstationName();
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(computer, &size));
    EXPECT_EQ(0, _wcsicmp(computer, name.c_str()));

    std::vector<std::wstring> accounts{L"kept"};
    EnumerateAccounts(name, accounts);
    ASSERT_GE(accounts.size(), 2u);
    EXPECT_EQ(L"kept", accounts.front());

    std::vector<std::wstring> monitored;
    ListMonitoredAccounts(L"", monitored);
    for (const auto& account : monitored)
        EXPECT_NE(0u, account.rfind(L"Guest", 0)) << "a guest account is monitored";
}

TEST(Accounts, UnknownServerYieldsNoNames) {
    std::vector<std::wstring> accounts;
    EnumerateAccounts(L"\\\\NO-SUCH-COMPUTER-4711", accounts);
    EXPECT_TRUE(accounts.empty());
}

TEST(Accounts, TheTestAccountIsAnAdministrator) {
    // Wine's user is a member of the built-in Administrators group.
    EXPECT_TRUE(IsAdministrator());
}

} // namespace
} // namespace vantrel
