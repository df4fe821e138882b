#include "model/Registry.h"

#include "win/Handle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
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

// The network computers "\\A" and "\\B" are keys of this registry, each holding its own name.
// Each attempt to connect takes the next of `answers`: it waits for its event (if any), then
// connects or fails with its code.
class TimedConnect : public ::testing::Test {
protected:
    struct TAnswer {
        HANDLE Wait = nullptr;
        LONG Failure = ERROR_SUCCESS;
    };
    void SetUp() override {
        for (const wchar_t* name : {L"A", L"B"}) {
            TRegKey computer;
            ASSERT_EQ(ERROR_SUCCESS,
                      computer.Create(HKEY_LOCAL_MACHINE, Root(name), KEY_SET_VALUE));
            ASSERT_EQ(ERROR_SUCCESS, computer.WriteString(L"Name", name));
        }
        SetRemoteRegistrySeam([this](const std::wstring& computer, HKEY* root) -> LONG {
            const size_t index = attempts++;
            const TAnswer answer = index < answers.size() ? answers[index] : TAnswer();
            if (answer.Wait)
                WaitForSingleObject(answer.Wait, 10000);
            const LONG rc =
                answer.Failure != ERROR_SUCCESS
                    ? answer.Failure
                    : RegOpenKeyExW(HKEY_LOCAL_MACHINE, Root(computer.substr(2)).c_str(), 0,
                                    KEY_READ, root);
            ++answered;
            return rc;
        });
    }
    void TearDown() override {
        for (const THandle& event : events)
            SetEvent(event.Get());
        // Attempts still under way use this fixture until they answer.
        for (int i = 0; i < 1000 && answered < attempts; ++i)
            Sleep(10);
        SetRemoteRegistrySeam(nullptr);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VantrelTest");
    }
    static std::wstring Root(const std::wstring& name) {
        return std::wstring(kTestKey) + L"\\" + name;
    }
    // An answer that comes once the n-th such answer is released.
    TAnswer Held(LONG failure = ERROR_SUCCESS) {
        events.emplace_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        return {events.back().Get(), failure};
    }
    void Release(int n) { SetEvent(events[n].Get()); }
    // The computer whose registry the root is, by the name it holds.
    static std::wstring NameOf(const TRegRoot& root) {
        TRegKey key;
        std::wstring name;
        if (root.IsRemote() && key.Open(root.Get(), L"", KEY_READ) == ERROR_SUCCESS)
            key.ReadString(L"Name", name);
        return name;
    }

    std::vector<THandle> events;
    std::vector<TAnswer> answers;
    std::atomic<size_t> attempts{0};
    std::atomic<size_t> answered{0};
    TTimedConnect connect;
};

TEST_F(TimedConnect, AConnectionThatCameLateIsTheNextCallsAndTheOneAfterIsAskedAhead) {
    answers = {Held(), Held(), {}, {}, Held(), {}};
    struct {
        const wchar_t* computer;
        LONG result;
        const wchar_t* name; // of the computer the root is connected to
        size_t attempts;     // started so far
        int release;         // the held answer released after the call, or -1
    } steps[] = {
        {L"\\\\A", ERROR_TIMEOUT, L"", 1, 0},
        // Taken at once; the next connection is asked for ahead, and is late too.
        {L"\\\\A", ERROR_SUCCESS, L"A", 2, -1},
        {L"\\\\A", ERROR_TIMEOUT, L"", 2, 1},
        {L"\\\\A", ERROR_SUCCESS, L"A", 3, -1},
        // That one came in time: the computer answers quickly again, nothing is asked ahead.
        {L"\\\\A", ERROR_SUCCESS, L"A", 3, -1},
        {L"\\\\A", ERROR_SUCCESS, L"A", 4, -1},
        // A late connection is kept only for the computer it is of.
        {L"\\\\A", ERROR_TIMEOUT, L"", 5, 2},
        {L"\\\\B", ERROR_SUCCESS, L"B", 6, -1},
    };
    int index = 0;
    for (const auto& step : steps) {
        TRegRoot root;
        EXPECT_EQ(step.result, connect.Connect(step.computer, 300, root)) << index;
        EXPECT_EQ(step.name, NameOf(root)) << index;
        // An attempt asked ahead starts on its own thread.
        for (int i = 0; i < 500 && attempts < step.attempts; ++i)
            Sleep(10);
        EXPECT_EQ(step.attempts, attempts.load()) << index;
        if (step.release >= 0)
            Release(step.release);
        ++index;
    }
}

TEST_F(TimedConnect, NoCallWaitsLongerThanItsOwnTime) {
    // The attempt given up on fails midway through the next call, whose own attempt is held.
    answers = {Held(ERROR_BAD_NETPATH), Held()};
    TRegRoot root;
    EXPECT_EQ(ERROR_TIMEOUT, connect.Connect(L"\\\\A", 1000, root));
    std::thread releaser([this] {
        Sleep(500);
        Release(0);
    });
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(ERROR_TIMEOUT, connect.Connect(L"\\\\A", 1000, root));
    const ULONGLONG waited = GetTickCount64() - start;
    releaser.join();
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 1250u);
    EXPECT_EQ(2u, attempts.load());
    EXPECT_FALSE(root.IsRemote());
}

} // namespace
} // namespace vantrel
