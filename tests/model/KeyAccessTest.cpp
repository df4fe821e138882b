// Loads open keys for reading only and saves ask only to set values, so that an
// administrator's filtered token, or a key whose security grants less, still serves them.
// Wine 8 checks the access a handle was granted and the DACL a key carries when it is opened
// (the first test shows both); these tests give the store's keys such DACLs.
#include "accounts/Accounts.h"
#include "ModelTestSupport.h"
#include "model/Clock.h"
#include "model/Constants.h"
#include "model/Prefs.h"
#include "model/QorUsers.h"
#include "model/Registry.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <string>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

// Wednesday 10 June 2026: weekday 3, day of the year 161.
constexpr int kToday = 161;
const wchar_t kRemoteRoot[] = L"SOFTWARE\\VantrelTest\\Remote\\OFFICE-PC";
const wchar_t kRemoteName[] = L"\\\\OFFICE-PC";
// Everyone may read; nobody may do more.
const wchar_t kReadOnly[] = L"D:P(A;;KR;;;WD)";
// Everyone may read and set values (KEY_SET_VALUE is 2), nothing else.
const wchar_t kReadAndSetValues[] = L"D:P(A;;KR;;;WD)(A;;0x2;;;WD)";
const wchar_t kFullAccess[] = L"D:P(A;;KA;;;WD)";

void Put(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

LONG SetDacl(HKEY root, const std::wstring& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return static_cast<LONG>(GetLastError());
    // The owner may always change the DACL, whatever the DACL grants.
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC, &key);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return rc;
}

class KeyAccess : public ::testing::Test {
protected:
    void SetUp() override {
        thisComputer = GetWorkstationName();
        ASSERT_FALSE(thisComputer.empty());
        SetClockSeam(TestWednesday);
        SetRemoteRegistrySeam([](const std::wstring& computer, HKEY* root) -> LONG {
            if (computer != kRemoteName)
                return ERROR_BAD_NETPATH;
            return RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRemoteRoot, 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, root, nullptr);
        });
        SetAccountSourceSeam([] { return std::vector<std::wstring>{L"anna"}; });
        Clean();
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRemoteRoot, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &remote, nullptr));
    }
    void TearDown() override {
        for (const auto& key : restricted)
            SetDacl(key.first, key.second, kFullAccess);
        RegCloseKey(remote);
        Clean();
        SetClockSeam(nullptr);
        SetRemoteRegistrySeam(nullptr);
        SetAccountSourceSeam(nullptr);
    }
    static void Clean() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Preferences");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VantrelTest");
    }
    void Restrict(HKEY root, const std::wstring& path, const wchar_t* sddl) {
        restricted.emplace_back(root, path);
        ASSERT_EQ(ERROR_SUCCESS, SetDacl(root, path, sddl));
    }
    // A user with settings and today's usage on this computer and another, in the store under
    // root, every one of its keys then given the DACL.
    void StoreUser(HKEY root, int limit, int usageHere, int usageOther, const wchar_t* sddl) {
        const std::wstring user = std::wstring(kUsersKeyPath) + L"anna";
        static const wchar_t* const kSettings[] = {
            L"QorControl",    L"AllowBeginMon", L"AllowBeginTue", L"AllowBeginWed",
            L"AllowBeginThu", L"AllowBeginFri", L"AllowBeginSat", L"AllowBeginSun",
            L"AllowEndMon",   L"AllowEndTue",   L"AllowEndWed",   L"AllowEndThu",
            L"AllowEndFri",   L"AllowEndSat",   L"AllowEndSun",   L"TimeLimitMon",
            L"TimeLimitTue",  L"TimeLimitWed",  L"TimeLimitThu",  L"TimeLimitFri",
            L"TimeLimitSat",  L"TimeLimitSun",  L"BonusTime",     L"BonusDayOfYear"};
        for (const wchar_t* name : kSettings)
            Put(root, user, name, name == std::wstring(L"TimeLimitWed") ? limit : 1);
        const std::pair<std::wstring, int> usage[] = {{thisComputer, usageHere},
                                                      {L"LAPTOP", usageOther}};
        for (const auto& computer : usage) {
            Put(root, user + L"\\Computers\\" + computer.first, L"DayOfYearWed", kToday);
            Put(root, user + L"\\Computers\\" + computer.first, L"TimeUsageWed", computer.second);
        }
        Restrict(root, user, sddl);
        Restrict(root, user + L"\\Computers", sddl);
        for (const auto& computer : usage)
            Restrict(root, user + L"\\Computers\\" + computer.first, sddl);
    }
    std::wstring thisComputer;
    HKEY remote = nullptr;
    std::vector<std::pair<HKEY, std::wstring>> restricted;
};

TEST_F(KeyAccess, WineRefusesWhatAHandleOrAKeysDaclDoesNotGrant) {
    const std::wstring path = std::wstring(kUsersKeyPath) + L"anna";
    Put(HKEY_LOCAL_MACHINE, path, L"QorControl", 1);
    TRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, path, KEY_READ));
    const DWORD one = 1;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegSetValueExW(key.Get(), L"QorControl", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&one), sizeof(one)));
    key.Close();

    Restrict(HKEY_LOCAL_MACHINE, path, kReadOnly);
    EXPECT_EQ(ERROR_ACCESS_DENIED, key.Open(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS));
    EXPECT_EQ(ERROR_ACCESS_DENIED, key.Create(HKEY_LOCAL_MACHINE, path, KEY_SET_VALUE));
    EXPECT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, path, KEY_READ));
    key.Close();

    Restrict(HKEY_LOCAL_MACHINE, path, kReadAndSetValues);
    EXPECT_EQ(ERROR_ACCESS_DENIED, key.Create(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS));
    EXPECT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, path, KEY_SET_VALUE));
}

TEST_F(KeyAccess, LoadsReadKeysThatGrantReadingOnly) {
    StoreUser(HKEY_LOCAL_MACHINE, 90, 20, 15, kReadOnly);
    TQorUser user;
    user.Username = L"anna";
    EXPECT_TRUE(LoadUser(user, false, L""));
    EXPECT_TRUE(user.QorControl);
    EXPECT_EQ(90, user.TodaysTimeLimit);
    EXPECT_EQ(35, user.TodaysTimeUsage);
    EXPECT_EQ(20, user.LocalTimeUsageWed);

    std::vector<std::wstring> list;
    EXPECT_TRUE(ReadUsagePerComputer(user, false, L"", list, 3, kToday));
    EXPECT_EQ(2u, list.size());

    TQorUsers users;
    EXPECT_TRUE(users.LoadAll(false, L""));
    ASSERT_EQ(1, users.Count());
    EXPECT_EQ(35, users.Items(0).TodaysTimeUsage);
}

TEST_F(KeyAccess, RemoteLoadsReadKeysThatGrantReadingOnly) {
    StoreUser(HKEY_LOCAL_MACHINE, 90, 20, 15, kReadOnly);
    StoreUser(remote, 45, 10, 7, kReadOnly);
    TQorUser user;
    user.Username = L"anna";
    EXPECT_TRUE(LoadUser(user, true, kRemoteName));
    EXPECT_EQ(45, user.TodaysTimeLimit);
    // This computer counts with the larger of its local (20) and remote (10) minutes.
    EXPECT_EQ(27, user.TodaysTimeUsage);

    std::vector<std::wstring> list;
    EXPECT_TRUE(ReadUsagePerComputer(user, true, kRemoteName, list, 3, kToday));
    EXPECT_EQ(2u, list.size());
}

TEST_F(KeyAccess, SavesNeedOnlyTheRightToSetValues) {
    StoreUser(HKEY_LOCAL_MACHINE, 90, 20, 15, kReadAndSetValues);
    StoreUser(remote, 90, 20, 15, kReadAndSetValues);
    TQorUser user;
    user.Username = L"anna";
    ASSERT_TRUE(LoadUser(user, false, L""));
    user.TimeLimitWed = 75;
    EXPECT_TRUE(SaveUser(user, true, kRemoteName));
    TQorUser local;
    local.Username = L"anna";
    ASSERT_TRUE(LoadUser(local, false, L""));
    EXPECT_EQ(75, local.TodaysTimeLimit);
    TQorUser remoteCopy;
    remoteCopy.Username = L"anna";
    ASSERT_TRUE(LoadUser(remoteCopy, true, kRemoteName));
    EXPECT_EQ(75, remoteCopy.TodaysTimeLimit);

    // Where the key grants no writing at all, the save reports its failure.
    Restrict(HKEY_LOCAL_MACHINE, std::wstring(kUsersKeyPath) + L"anna", kReadOnly);
    EXPECT_FALSE(SaveUser(user, false, L""));
}

TEST_F(KeyAccess, PreferencesLoadFromAReadOnlyKeyAndSaveWithTheRightToSetValues) {
    TQorPrefs prefs;
    prefs.Use24HourClock = true;
    prefs.RemoteRegistry = L"\\\\OFFICE";
    prefs.UseDebugLogging = true;
    ASSERT_TRUE(SavePrefs(prefs));
    Restrict(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, kReadOnly);
    TQorPrefs loaded;
    EXPECT_TRUE(LoadPrefs(loaded));
    EXPECT_TRUE(loaded.Use24HourClock);
    EXPECT_TRUE(loaded.UseDebugLogging);
    EXPECT_FALSE(SavePrefs(prefs));

    Restrict(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, kReadAndSetValues);
    prefs.Use24HourClock = false;
    prefs.RemoteRegistry = L"\\\\HOME";
    EXPECT_TRUE(SavePrefs(prefs));
    ASSERT_TRUE(LoadPrefs(loaded));
    EXPECT_FALSE(loaded.Use24HourClock);
    EXPECT_EQ(L"\\\\HOME", loaded.RemoteRegistry);
}

} // namespace
} // namespace vantrel
