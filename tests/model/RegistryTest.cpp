#include "model/Registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

const wchar_t kTestKey[] = L"SOFTWARE\\VantrelTest\\Registry";

class RegKey : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VantrelTest");
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, kTestKey, KEY_ALL_ACCESS));
    }
    void TearDown() override {
        key.Close();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VantrelTest");
    }
    LONG PutRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        return RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
    }
    TRegKey key;
};

TEST_F(RegKey, ReadsGiveTheSystemsCodeAndLeaveTheValueAloneOnFailure) {
    ASSERT_EQ(ERROR_SUCCESS, key.WriteInt(L"Minus60", -60));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteBool(L"Flag", true));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString(L"Text", L"300"));
    const unsigned short shortDword = 5;
    ASSERT_EQ(ERROR_SUCCESS, PutRaw(L"Short", REG_DWORD, &shortDword, sizeof(shortDword)));
    const unsigned long long longDword = 7;
    ASSERT_EQ(ERROR_SUCCESS, PutRaw(L"Long", REG_DWORD, &longDword, sizeof(longDword)));
    const wchar_t longText[] = L"a text longer than four bytes";
    ASSERT_EQ(ERROR_SUCCESS, PutRaw(L"LongText", REG_SZ, longText, sizeof(longText)));
    const DWORD seven = 7;
    ASSERT_EQ(ERROR_SUCCESS, PutRaw(L"Seven", REG_DWORD, &seven, sizeof(seven)));

    int number = 11;
    EXPECT_EQ(ERROR_SUCCESS, key.ReadInt(L"Minus60", number));
    EXPECT_EQ(-60, number);
    bool flag = false;
    EXPECT_EQ(ERROR_SUCCESS, key.ReadBool(L"Seven", flag));
    EXPECT_TRUE(flag);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadInt(L"Missing", number));
    EXPECT_EQ(ERROR_INVALID_DATATYPE, key.ReadInt(L"Text", number));
    EXPECT_EQ(ERROR_INVALID_DATATYPE, key.ReadInt(L"LongText", number));
    EXPECT_EQ(ERROR_INVALID_DATATYPE, key.ReadInt(L"Short", number));
    EXPECT_NE(ERROR_SUCCESS, key.ReadInt(L"Long", number));
    EXPECT_EQ(-60, number);

    std::wstring text = L"kept";
    EXPECT_EQ(ERROR_INVALID_DATATYPE, key.ReadString(L"Flag", text));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadString(L"Missing", text));
    EXPECT_EQ(L"kept", text);
    EXPECT_EQ(ERROR_SUCCESS, key.ReadString(L"Text", text));
    EXPECT_EQ(L"300", text);
}

TEST_F(RegKey, SubkeysAndAClosedKey) {
    for (const wchar_t* name : {L"PC2", L"PC1"}) {
        TRegKey child;
        ASSERT_EQ(ERROR_SUCCESS, child.Create(key.Get(), name, KEY_SET_VALUE));
    }
    std::vector<std::wstring> names{L"stale"};
    EXPECT_EQ(ERROR_SUCCESS, key.SubkeyNames(names));
    EXPECT_EQ((std::vector<std::wstring>{L"PC1", L"PC2"}), names);

    EXPECT_EQ(ERROR_SUCCESS, key.Close());
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(ERROR_SUCCESS, key.Close());
    int number = 3;
    EXPECT_EQ(ERROR_INVALID_HANDLE, key.ReadInt(L"Any", number));
    EXPECT_EQ(ERROR_INVALID_HANDLE, key.WriteInt(L"Any", 1));
    EXPECT_EQ(ERROR_INVALID_HANDLE, key.SubkeyNames(names));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(3, number);

    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              key.Open(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\Nothing", KEY_READ));
    EXPECT_FALSE(key.IsOpen());
}

TEST(RegRoot, AFailedConnectionKeepsTheLocalRoot) {
    SetRemoteRegistrySeam([](const std::wstring&, HKEY*) -> LONG { return ERROR_BAD_NETPATH; });
    TRegRoot root;
    EXPECT_EQ(ERROR_BAD_NETPATH, root.Connect(L"\\\\NOWHERE"));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, root.Get());
    SetRemoteRegistrySeam(nullptr);
}

} // namespace
} // namespace vantrel
