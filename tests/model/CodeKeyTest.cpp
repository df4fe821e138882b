#include "model/CodeKey.h"

#include "model/Registry.h"

#include <gtest/gtest.h>

#include <sddl.h>

namespace vantrel {
namespace {

const wchar_t kPath[] = L"SOFTWARE\\VantrelCodeKeyTest\\Codes";

// Kept whole and private, also over a key someone opened to everybody; a key read in part is
// no key.
TEST(CodeKeyTest, KeptWholeWhereOnlySystemAndTheAdministratorsReadIt) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VantrelCodeKeyTest");
    TCodeKey key;
    ASSERT_TRUE(NewSecret(key.Secret));
    key.MostMinutes = 45;
    key.PairedAt = FILETIME{7, 8};
    // A key made before by someone else, open to the computer's users.
    TRegKey open;
    ASSERT_EQ(ERROR_SUCCESS, open.Create(HKEY_LOCAL_MACHINE, kPath, KEY_ALL_ACCESS));
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:(A;;KA;;;BU)(A;;KA;;;SY)", SDDL_REVISION_1, &everyone, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(open.Get(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
    open.Close();
    EXPECT_FALSE(CodeKeyIsPrivate(HKEY_LOCAL_MACHINE, kPath));

    ASSERT_EQ(ERROR_SUCCESS, WriteCodeKey(HKEY_LOCAL_MACHINE, kPath, key));
    EXPECT_TRUE(CodeKeyIsPrivate(HKEY_LOCAL_MACHINE, kPath));
    TCodeKey read;
    ASSERT_TRUE(ReadCodeKey(HKEY_LOCAL_MACHINE, kPath, read));
    EXPECT_EQ(key.Secret, read.Secret);
    EXPECT_EQ(45, read.MostMinutes);
    EXPECT_EQ(0, CompareFileTime(&key.PairedAt, &read.PairedAt));

    const struct {
        const wchar_t* value;
        DWORD type;
        DWORD data;
        DWORD size;
    } damage[] = {{L"MostMinutes", REG_DWORD, 0, 4},
                  {L"MostMinutes", REG_DWORD, 1441, 4},
                  {L"Secret", REG_BINARY, 1, 4},
                  {L"PairedAt", REG_BINARY, 0, 4}};
    for (const auto& row : damage) {
        ASSERT_EQ(ERROR_SUCCESS, WriteCodeKey(HKEY_LOCAL_MACHINE, kPath, key));
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPath, row.value, row.type,
                                                 &row.data, row.size));
        EXPECT_FALSE(ReadCodeKey(HKEY_LOCAL_MACHINE, kPath, read)) << row.value;
    }
    EXPECT_EQ(ERROR_SUCCESS, RemoveCodeKey(HKEY_LOCAL_MACHINE, kPath));
    EXPECT_FALSE(ReadCodeKey(HKEY_LOCAL_MACHINE, kPath, read));
    EXPECT_EQ(ERROR_SUCCESS, RemoveCodeKey(HKEY_LOCAL_MACHINE, kPath));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VantrelCodeKeyTest");
}

} // namespace
} // namespace vantrel
