#include "PreferencesFormSupport.h"

#include "model/CodeKey.h"

namespace vantrel::testing {
namespace {

std::wstring CodeNow(const TSecret& key) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    wchar_t text[8] = {};
    swprintf(text, 8, L"%06d", TimeCode(key, (ticks - 116444736000000000ULL) / 10000000ULL));
    return text;
}

// "Pair a phone..." pairs for the network store the stored preferences name, and the service is
// told once the key is kept there and here.
TEST_F(PreferencesFormTest, PairsAPhoneForTheStoredNetworkStore) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath);
    TQorPrefs stored;
    stored.UseRemoteRegistry = true;
    stored.RemoteRegistry = L"\\\\HOME";
    ASSERT_TRUE(SavePrefs(stored));
    Reachable = {L"\\\\HOME"};
    int told = 0;
    Form.TellService = [&told] { ++told; };
    TSecret key;
    Show([&] {
        // Runs inside the pairing dialog's own loop.
        Then([&] {
            TPairPhoneForm* pairing = Form.PairPhoneForm();
            ASSERT_NE(nullptr, pairing);
            EXPECT_TRUE(pairing->IsModal());
            EXPECT_EQ(L"HOME", pairing->AccountName());
            key = pairing->Key();
            pairing->SetControlText(TPairPhoneForm::IdCode, CodeNow(key));
            pairing->ButtonOKClick();
        });
        Click(TPreferencesForm::ButtonPairPhone);
        Form.EndModal(IDCANCEL);
    });
    EXPECT_EQ(1, told);
    TCodeKey here, there;
    EXPECT_TRUE(ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, here));
    TRegKey store;
    ASSERT_EQ(ERROR_SUCCESS, store.Open(HKEY_LOCAL_MACHINE, NetworkRoot(L"HOME"), KEY_READ));
    EXPECT_TRUE(ReadCodeKey(store.Get(), kStoreCodesKeyPath, there));
    EXPECT_EQ(key, here.Secret);
    EXPECT_EQ(key, there.Secret);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath);
}

} // namespace
} // namespace vantrel::testing
