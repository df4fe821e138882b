#include "ui/dialogs/PairPhoneForm.h"

#include "model/Clock.h"
#include "model/Registry.h"
#include "ui/controls/MessageBox.h"

#include "DialogDriver.h"
#include "controls/TestWindows.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace vantrel::testing {
namespace {

using Form = TPairPhoneForm;
using Steps = TModalSteps;

constexpr wchar_t kNetwork[] = L"Software\\VantrelPairTestNetwork";
constexpr wchar_t kStore[] = L"\\\\STORE";

// 8 December 2026, 12:00:10 UTC: ten seconds into a step.
SYSTEMTIME TestUtc() {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = 8;
    t.wHour = 12;
    t.wSecond = 10;
    return t;
}

std::uint64_t TestUnixSeconds() {
    const SYSTEMTIME utc = TestUtc();
    FILETIME time{};
    SystemTimeToFileTime(&utc, &time);
    ULARGE_INTEGER ticks{};
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = time.dwHighDateTime;
    return (ticks.QuadPart - 116444736000000000ULL) / 10000000ULL;
}

std::wstring Digits(int code) {
    wchar_t text[8] = {};
    swprintf(text, 8, L"%06d", code);
    return text;
}

class PairPhoneForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetProcessDPIAware(); }

    void SetUp() override {
        Clean();
        SetClockSeam([] {
            TClockReading reading;
            reading.Utc = TestUtc();
            return reading;
        });
        SetRemoteRegistrySeam([](const std::wstring& computer, HKEY* root) -> LONG {
            if (computer != kStore)
                return ERROR_BAD_NETPATH;
            return RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                   (std::wstring(kNetwork) + L"\\STORE").c_str(), 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, root, nullptr);
        });
        SetMessageBoxSeam([this](HWND, const std::wstring& text, TMsgKind, TMsgButtons buttons) {
            Messages.push_back(text);
            if (buttons == TMsgButtons::OK)
                return IDOK;
            const int answer = Answers.empty() ? IDNO : Answers.front();
            if (!Answers.empty())
                Answers.pop_front();
            return answer;
        });
        ASSERT_TRUE(Dialog.Create(Owner.Handle()));
        Dialog.TellService = [this] { ++Told; };
    }

    void TearDown() override {
        SetClockSeam(nullptr);
        SetRemoteRegistrySeam(nullptr);
        SetMessageBoxSeam(nullptr);
        Clean();
    }

    static void Clean() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kNetwork);
    }

    static HKEY StoreRoot() {
        HKEY root = nullptr;
        ConnectRemoteRegistry(kStore, &root);
        return root;
    }
    // What this computer (0) and the store (1) hold.
    static std::vector<bool> Kept(TCodeKey* local = nullptr, TCodeKey* store = nullptr) {
        TCodeKey a, b;
        TRegKey root(StoreRoot());
        return {ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, local ? *local : a),
                ReadCodeKey(root.Get(), kStoreCodesKeyPath, store ? *store : b)};
    }

    testwin::TTestWindow Owner{100, 100, 700, 500};
    TDialog<Form> Dialog;
    std::vector<std::wstring> Messages;
    std::deque<int> Answers;
    int Told = 0;
};

// Nothing is kept for minutes out of bounds, a code too short, a wrong one, or one of two steps
// away; the code of the step before now is taken, and then the key is in both places, private.
TEST_F(PairPhoneForm, KeepsTheKeyOnlyForARightCode) {
    ASSERT_TRUE(Dialog.Prepare(true, kStore));
    EXPECT_FALSE(Dialog.IsPaired());
    EXPECT_EQ(L"STORE", Dialog.AccountName());
    const TSecret key = Dialog.Key();
    ASSERT_EQ(20u, key.size());
    EXPECT_EQ(OtpauthAddress(L"Vantrel", L"STORE", key), Dialog.Address());
    EXPECT_EQ(GroupedKeyText(key), Dialog.ControlText(Form::IdKeyText));
    EXPECT_EQ(L"30", Dialog.ControlText(Form::IdMinutes));

    const std::uint64_t now = TestUnixSeconds();
    const int right = TimeCode(key, now);
    const struct {
        const wchar_t* Minutes;
        std::wstring Code;
    } refused[] = {
        {L"4", Digits(right)},
        {L"241", Digits(right)},
        {L"", Digits(right)},
        {L"45", Digits(right).substr(0, 5)},
        {L"45", Digits((right + 1) % 1000000)},
        {L"45", Digits(TimeCode(key, now - 60))},
        {L"45", Digits(TimeCode(key, now + 60))},
    };
    std::vector<Steps::TStep> steps;
    for (const auto& row : refused)
        steps.push_back([this, row] {
            Dialog.SetControlText(Form::IdMinutes, row.Minutes);
            Dialog.SetControlText(Form::IdCode, row.Code);
            Dialog.ButtonOKClick();
            EXPECT_TRUE(Dialog.IsModal()) << row.Minutes;
            EXPECT_FALSE(Dialog.ControlText(Form::IdStatus).empty()) << row.Minutes;
            ExpectSoundLayout(Dialog); // the reason shown whole
            EXPECT_EQ((std::vector<bool>{false, false}), Kept()) << row.Minutes;
        });
    steps.push_back([&] {
        Dialog.SetControlText(Form::IdMinutes, L"45");
        Dialog.SetControlText(Form::IdCode, Digits(TimeCode(key, now - 30)));
        Dialog.ButtonOKClick();
    });
    EXPECT_EQ(IDOK, Steps::Run(Dialog, steps));
    EXPECT_EQ(1, Told);
    EXPECT_TRUE(Messages.empty());
    TCodeKey local, store;
    ASSERT_EQ((std::vector<bool>{true, true}), Kept(&local, &store));
    for (const TCodeKey* kept : {&local, &store}) {
        EXPECT_EQ(key, kept->Secret);
        EXPECT_EQ(45, kept->MostMinutes);
    }
    EXPECT_TRUE(CodeKeyIsPrivate(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath));
    TRegKey root(StoreRoot());
    EXPECT_TRUE(CodeKeyIsPrivate(root.Get(), kStoreCodesKeyPath));
}

// A store that cannot be written to keeps the pairing from happening anywhere: this computer
// keeps the key it had.
TEST_F(PairPhoneForm, AStoreOutOfReachPairsNothing) {
    TCodeKey before;
    before.Secret = TSecret(20, 0x5A);
    before.MostMinutes = 60;
    before.PairedAt = FILETIME{1, 2};
    ASSERT_EQ(ERROR_SUCCESS, WriteCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, before));
    ASSERT_TRUE(Dialog.Prepare(true, L"\\\\GONE"));
    EXPECT_TRUE(Dialog.IsPaired());
    EXPECT_EQ(L"60", Dialog.ControlText(Form::IdMinutes));
    const TSecret key = Dialog.Key();
    Steps::Run(Dialog, {[&] {
                   Dialog.SetControlText(Form::IdCode, Digits(TimeCode(key, TestUnixSeconds())));
                   Dialog.ButtonOKClick();
                   EXPECT_TRUE(Dialog.IsModal());
                   EXPECT_EQ(1u, Messages.size());
                   Dialog.EndModal(IDCANCEL);
               }});
    TCodeKey local;
    ASSERT_TRUE(ReadCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, local));
    EXPECT_EQ(before.Secret, local.Secret);
    EXPECT_EQ(60, local.MostMinutes);
    EXPECT_EQ(0, Told);
}

// A paired phone is said so; Unpair asks, and on Yes removes the key in both places.
TEST_F(PairPhoneForm, UnpairsInBothPlaces) {
    TCodeKey paired;
    paired.Secret = TSecret(20, 0x33);
    paired.PairedAt = FILETIME{1, 2};
    ASSERT_EQ(ERROR_SUCCESS, WriteCodeKey(HKEY_LOCAL_MACHINE, kServiceCodesKeyPath, paired));
    {
        TRegKey root(StoreRoot());
        ASSERT_EQ(ERROR_SUCCESS, WriteCodeKey(root.Get(), kStoreCodesKeyPath, paired));
    }
    ASSERT_TRUE(Dialog.Prepare(true, kStore));
    EXPECT_TRUE(Dialog.IsPaired());
    EXPECT_TRUE(Dialog.IsControlEnabled(Form::IdUnpair));
    Answers = {IDNO, IDYES};
    Steps::Run(Dialog, {[&] {
                   Dialog.ButtonUnpairClick();
                   EXPECT_EQ((std::vector<bool>{true, true}), Kept());
                   EXPECT_EQ(0, Told);
                   Dialog.ButtonUnpairClick();
                   EXPECT_EQ((std::vector<bool>{false, false}), Kept());
                   EXPECT_EQ(1, Told);
                   EXPECT_FALSE(Dialog.IsPaired());
                   EXPECT_FALSE(Dialog.IsControlEnabled(Form::IdUnpair));
                   Dialog.EndModal(IDCANCEL);
               }});
    EXPECT_EQ(2u, Messages.size());
}

// The key of a local store is named after this computer, in a sound layout.
TEST_F(PairPhoneForm, ALocalStoreAndItsLayout) {
    ASSERT_TRUE(Dialog.Prepare(false, L""));
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(name, &size));
    EXPECT_EQ(name, Dialog.AccountName());
    EXPECT_FALSE(Dialog.Code().IsEmpty());
    EXPECT_FALSE(Dialog.IsControlEnabled(Form::IdUnpair));
    Steps::Run(Dialog, {[&] {
                   EXPECT_EQ(Form::IdCode, GetDlgCtrlID(GetFocus()));
                   ExpectSoundLayout(Dialog);
                   Dialog.EndModal(IDCANCEL);
               }});
    EXPECT_EQ((std::vector<bool>{false, false}), Kept());
    // A store's name too long for any code leaves the key to be typed, and says so.
    ASSERT_TRUE(Dialog.Prepare(true, L"\\\\" + std::wstring(300, L'X')));
    EXPECT_TRUE(Dialog.Code().IsEmpty());
    EXPECT_FALSE(Dialog.ControlText(Form::IdStatus).empty());
}

TEST(PairPhoneCode, KeyInGroupsOfFour) {
    EXPECT_EQ(L"GEZD GNBV GY3T QOJQ GEZD GNBV GY3T QOJQ",
              GroupedKeyText(TSecret{'1', '2', '3', '4', '5', '6', '7', '8', '9', '0',
                                     '1', '2', '3', '4', '5', '6', '7', '8', '9', '0'}));
}

} // namespace
} // namespace vantrel::testing
