#include "model/Constants.h"
#include "model/Prefs.h"
#include "model/Registry.h"

#include <gtest/gtest.h>

#include <climits>

namespace vantrel {
namespace {

class Prefs : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Preferences");
        ASSERT_EQ(ERROR_SUCCESS,
                  key.Create(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, KEY_ALL_ACCESS));
    }
    void TearDown() override {
        key.Close();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Preferences");
    }
    TRegKey key;
};

TEST(PrefsStore, MissingKeyLeavesTheRecordUntouched) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Preferences");
    TQorPrefs prefs;
    prefs.RemoteRegistry = L"keep";
    EXPECT_FALSE(LoadPrefs(prefs));
    EXPECT_EQ(L"keep", prefs.RemoteRegistry);
    EXPECT_TRUE(prefs.MsgWarningText.empty());
}

TEST_F(Prefs, PartialKeyReadsWhatIsThereAndFillsDefaultTexts) {
    key.WriteDword(L"Use24HourClock", 7);
    TQorPrefs prefs;
    prefs.DoubleClickIsTimeUsage = true;
    ASSERT_TRUE(LoadPrefs(prefs));
    EXPECT_TRUE(prefs.Use24HourClock);
    EXPECT_TRUE(prefs.DoubleClickIsTimeUsage);
    EXPECT_EQ(kDefaultNotAllowedText, prefs.MsgNotAllowedText);
    EXPECT_EQ(kDefaultWarningText, prefs.MsgWarningText);
    EXPECT_EQ(kDefaultReachedLimitText, prefs.MsgReachedLimitText);
}

TEST_F(Prefs, RemoteStoreNeedsAName) {
    key.WriteDword(L"Use24HourClock", 0);
    key.WriteDword(L"DoubleClickIsTimeUsage", 0);
    key.WriteDword(L"RptTimeUsagePerComputer", 0);
    key.WriteDword(L"UseRemoteRegistry", 1);
    TQorPrefs prefs;
    ASSERT_TRUE(LoadPrefs(prefs));
    EXPECT_FALSE(prefs.UseRemoteRegistry);
    key.WriteString(L"RemoteRegistry", L"");
    ASSERT_TRUE(LoadPrefs(prefs));
    EXPECT_FALSE(prefs.UseRemoteRegistry);
    key.WriteString(L"RemoteRegistry", L"\\\\OFFICE");
    ASSERT_TRUE(LoadPrefs(prefs));
    EXPECT_TRUE(prefs.UseRemoteRegistry);
    EXPECT_EQ(L"\\\\OFFICE", prefs.RemoteRegistry);
}

TEST_F(Prefs, EmptyStoredTextLoadsAsDefaultAndWrongTypesEndTheReading) {
    TQorPrefs saved;
    saved.MsgWarningText = L"";
    saved.MsgNotAllowedText = L"Go away";
    saved.DoNotForceLogoff = true;
    saved.UseDebugLogging = true;
    ASSERT_TRUE(SavePrefs(saved));
    TQorPrefs prefs;
    ASSERT_TRUE(LoadPrefs(prefs));
    EXPECT_EQ(L"Go away", prefs.MsgNotAllowedText);
    EXPECT_EQ(kDefaultWarningText, prefs.MsgWarningText);
    EXPECT_TRUE(prefs.DoNotForceLogoff);
    EXPECT_TRUE(prefs.UseDebugLogging);

    // "DoNotForceLogoff" is read before "UseDebugLogging": without it the rest is not read.
    RegDeleteValueW(key.Get(), L"DoNotForceLogoff");
    TQorPrefs fresh;
    ASSERT_TRUE(LoadPrefs(fresh));
    EXPECT_FALSE(fresh.UseDebugLogging);

    // A text stored as a number ends the reading like a bad Boolean.
    key.WriteDword(L"MsgNotAllowedText", 1);
    TQorPrefs typed;
    ASSERT_TRUE(LoadPrefs(typed));
    EXPECT_EQ(kDefaultNotAllowedText, typed.MsgNotAllowedText);
    EXPECT_TRUE(typed.MsgWarningText == kDefaultWarningText);
    EXPECT_FALSE(typed.DoNotForceLogoff);
}

TEST_F(Prefs, SaveAndLoadRoundTripUnicodeTexts) {
    TQorPrefs saved;
    saved.Use24HourClock = true;
    saved.RptTimeUsagePerComputer = true;
    saved.UseRemoteRegistry = true;
    saved.RemoteRegistry = L"\\\\BÜRO-山田";
    saved.MsgNotAllowedText = L"Zeit ist um, Łukasz";
    saved.MsgWarningText = L"%d 分";
    saved.MsgReachedLimitText = std::wstring(3000, L'x');
    ASSERT_TRUE(SavePrefs(saved));
    TQorPrefs loaded;
    ASSERT_TRUE(LoadPrefs(loaded));
    EXPECT_TRUE(loaded.Use24HourClock);
    EXPECT_FALSE(loaded.DoubleClickIsTimeUsage);
    EXPECT_TRUE(loaded.RptTimeUsagePerComputer);
    EXPECT_TRUE(loaded.UseRemoteRegistry);
    EXPECT_EQ(saved.RemoteRegistry, loaded.RemoteRegistry);
    EXPECT_EQ(saved.MsgNotAllowedText, loaded.MsgNotAllowedText);
    EXPECT_EQ(saved.MsgWarningText, loaded.MsgWarningText);
    EXPECT_EQ(saved.MsgReachedLimitText, loaded.MsgReachedLimitText);

    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExW(key.Get(), L"UseRemoteRegistry", nullptr, &type, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExW(key.Get(), L"MsgWarningText", nullptr, &type, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
}

TEST(FormatMinutes, EveryValueIncludingTheExtremes) {
    EXPECT_EQ(L" 00:00", FormatMinutes(0));
    EXPECT_EQ(L" 00:59", FormatMinutes(59));
    EXPECT_EQ(L" 01:35", FormatMinutes(95));
    EXPECT_EQ(L" 24:00", FormatMinutes(1440));
    EXPECT_EQ(L" 100:00", FormatMinutes(6000));
    EXPECT_EQ(L"-00:01", FormatMinutes(-1));
    EXPECT_EQ(L"-01:35", FormatMinutes(-95));
    EXPECT_EQ(L" 35791394:07", FormatMinutes(INT_MAX));
    EXPECT_EQ(L"-35791394:08", FormatMinutes(INT_MIN));
}

} // namespace
} // namespace vantrel
