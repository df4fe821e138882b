// The commit-and-notify sequence, the store's failures and the service link of the real main
// window, with the stand-in service on the real pipe.
#include "MainFormSupport.h"

#include "model/Prefs.h"

namespace vantrel::testing {
namespace {

using MainFormService = MainFormTest;
using MainFormStore = MainFormTest;

constexpr wchar_t kLocalRead[] =
    L"Could not read user administration from the local registry. This is a normal situation "
    L"if you have\r\nnever saved the user administration before otherwise it might indicate "
    L"connectivity or privilege problems.";
constexpr wchar_t kRemoteRead[] =
    L"Could not read user administration from the remote registry. This is a normal situation "
    L"if you have\r\nnever saved the user administration before otherwise it might indicate "
    L"connectivity or privilege problems.\r\n\r\nContinuing with the local administration...";

// A network computer that never answers, as the platform reports it.
void UnreachableNetworkComputer() {
    SetRemoteRegistrySeam([](const std::wstring&, HKEY*) { return LONG{ERROR_BAD_NETPATH}; });
}

TEST_F(MainFormStore, UnreadableLocalStoreIsReportedOnceAndTheAccountsStillListed) {
    Accounts = {L"alice", L"bob"};
    Start();
    ASSERT_EQ(1u, Messages.size());
    EXPECT_EQ(kLocalRead, Messages[0].Text);
    EXPECT_EQ(TMsgKind::Information, Messages[0].Kind);
    // Never saved: the Default profile, not monitored.
    ASSERT_EQ(2, RowCount());
    EXPECT_EQ(L"alice", Cell(0, 0));
    EXPECT_EQ(L" -", Cell(0, 1));
    EXPECT_EQ(kRowIconNotMonitored, RowIcon(1));
}

TEST_F(MainFormStore, UnreachableNetworkStoreIsReportedAndTheLocalOneShown) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 75);
    SeedPrefs(false, true, L"FARAWAY");
    UnreachableNetworkComputer();
    Start();
    ASSERT_EQ(1u, Messages.size());
    EXPECT_EQ(kRemoteRead, Messages[0].Text);
    EXPECT_EQ(TMsgKind::Information, Messages[0].Kind);
    EXPECT_EQ(L" 01:15", Cell(0, 1));
}

TEST_F(MainFormStore, RealMessageBoxAppearsAndIsAnswered) {
    SetMessageBoxSeam(nullptr);
    Accounts = {L"alice"};
    static std::wstring boxText;
    static bool answered;
    boxText.clear();
    answered = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND box = FindWindowW(L"#32770", L"Information");
        if (!box || !IsWindowVisible(box) || answered)
            return;
        EnumChildWindows(
            box,
            [](HWND child, LPARAM) -> BOOL {
                wchar_t text[512] = {};
                GetWindowTextW(child, text, 512);
                if (wcsstr(text, L"Could not read user administration"))
                    boxText = text;
                return TRUE;
            },
            0);
        answered = true;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    Start();
    KillTimer(nullptr, timer);
    EXPECT_TRUE(answered);
    EXPECT_NE(std::wstring::npos, boxText.find(L"from the local registry"));
    EXPECT_TRUE(IsWindowVisible(Form().Handle()));
    EXPECT_EQ(1, RowCount());
    EXPECT_EQ(Form().Handle(), GetActiveWindow());
    EXPECT_EQ(List(), GetFocus());
}

TEST_F(MainFormStore, FailedLocalSaveWarnsAndStillRefreshes) {
    // No registry key can carry a name this long, so the user cannot be saved.
    std::wstring longName(300, L'x');
    Accounts = {L"alice", longName};
    SeedUser(L"alice", true, 60);
    Start();
    Messages.clear();
    SeedUser(L"alice", true, 90);
    Form().CommitUser(Form().Users().Items(1));
    ASSERT_GE(Messages.size(), 1u);
    EXPECT_EQ(L"Could not save user administration to the local registry.", Messages[0].Text);
    EXPECT_EQ(TMsgKind::Warning, Messages[0].Kind);
    // The refresh shows what the store holds.
    EXPECT_EQ(L" 01:30", Cell(0, 1));
}

TEST_F(MainFormService, CommitReachesTheServiceAfterTheStoreWasWritten) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", true, 60);
    Start();
    EXPECT_TRUE(Form().PipeClient()->IsConnected());
    EXPECT_EQ(0, Form().ConnectAttemptsLeft());

    TQorUser& bob = Form().Users().Items(1);
    bob.AdjustBonus(15, kTestDayOfYear, 2026);
    Form().CommitUser(bob);
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() == 1; }));
    EXPECT_EQ("40, QORsvc", StandIn.Command("last"));
    DWORD bonus = 0, day = 0;
    ASSERT_TRUE(ReadStoredDword(UserKey(L"bob"), L"BonusTime", bonus));
    ASSERT_TRUE(ReadStoredDword(UserKey(L"bob"), L"BonusDayOfYear", day));
    EXPECT_EQ(15u, bonus);
    EXPECT_EQ(static_cast<DWORD>(kTestDayOfYear), day);
    EXPECT_EQ(L" 00:15", Cell(1, 2));
    EXPECT_EQ(L" 01:15", Cell(1, 4));
    EXPECT_TRUE(Messages.empty());
}

TEST_F(MainFormService, RefreshSendsNothing) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    for (int i = 0; i < 3; ++i)
        SendMessageW(Form().Handle(), WM_COMMAND,
                     Form().Action(TMainCommand::AMEditRefresh).CommandId, 0);
    // The pipe keeps order: whatever a refresh had sent would arrive before this commit.
    Form().CommitUser(Form().Users().Items(0));
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() != 0; }));
    Pump();
    EXPECT_EQ(1, StandInMessages());
}

TEST_F(MainFormService, FailedSaveStillNotifiesThenRefreshes) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedPrefs(false, true, L"FARAWAY");
    UnreachableNetworkComputer();
    Start();
    Messages.clear();
    Form().CommitUser(Form().Users().Items(0));
    ASSERT_EQ(2u, Messages.size());
    EXPECT_EQ(L"Could not save user administration to the remote registry.", Messages[0].Text);
    EXPECT_EQ(TMsgKind::Warning, Messages[0].Kind);
    EXPECT_EQ(kRemoteRead, Messages[1].Text);
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() == 1; }));
    EXPECT_EQ("40, QORsvc", StandIn.Command("last"));
}

TEST_F(MainFormService, WindowAppearsAtOnceWithoutServiceAndConnectsWhenItComes) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    EXPECT_TRUE(IsWindowVisible(Form().Handle()));
    EXPECT_FALSE(Form().PipeClient()->IsConnected());
    EXPECT_EQ(TMainForm::kStartupConnectAttempts - 1, Form().ConnectAttemptsLeft());

    SendMessageW(Form().Handle(), WM_TIMER, 1, 0);
    EXPECT_EQ(TMainForm::kStartupConnectAttempts - 2, Form().ConnectAttemptsLeft());
    ASSERT_TRUE(StartStandIn());
    SendMessageW(Form().Handle(), WM_TIMER, 1, 0);
    EXPECT_TRUE(Form().PipeClient()->IsConnected());
    EXPECT_EQ(0, Form().ConnectAttemptsLeft());
    ASSERT_TRUE(PumpUntil([&] { return StandIn.Command("stats").find("clients=1") == 0; }));
    EXPECT_EQ(0, StandInMessages());
}

TEST_F(MainFormService, AfterSevenAttemptsASlowTimerFindsTheServiceWheneverItComes) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    Form().ReconnectInterval = 50; // instead of half a minute
    for (int i = 0; i < 10; ++i)
        SendMessageW(Form().Handle(), WM_TIMER, 1, 0);
    EXPECT_EQ(0, Form().ConnectAttemptsLeft());
    // Started later, and again after it went away: found without a save.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(StartStandIn());
        EXPECT_TRUE(PumpUntil([&] { return Form().PipeClient()->IsConnected(); })) << round;
        StandIn.Stop();
        ASSERT_TRUE(PumpUntil([&] { return !Form().PipeClient()->IsConnected(); })) << round;
    }
}

TEST_F(MainFormService, ServiceGoneMeansNoReportAndNoMessage) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    Form().CommitUser(Form().Users().Items(0));
    EXPECT_TRUE(Messages.empty());
    EXPECT_FALSE(Form().PipeClient()->IsConnected());
    EXPECT_EQ(1, RowCount());
}

TEST_F(MainFormService, MessagesOtherThanTheServicesNewsChangeNothing) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    SeedUsage(L"alice", L"PC1", 20);
    Start();
    ASSERT_TRUE(PumpUntil([&] { return StandIn.Command("stats").find("clients=1") == 0; }));
    // Only the service's own news reads the usage again.
    SeedUsage(L"alice", L"PC1", 30);
    TPipeClient& client = *Form().PipeClient();
    auto original = client.OnPipeMessage;
    std::vector<uint64_t> sizes;
    client.OnPipeMessage = [&](TPipeClient& sender, HANDLE pipe, TStream& stream) {
        sizes.push_back(stream.Size());
        original(sender, pipe, stream);
    };
    ASSERT_EQ("ok", StandIn.Command("raw 10"));
    ASSERT_EQ("ok", StandIn.Command("send 200000"));
    ASSERT_TRUE(PumpUntil([&] { return sizes.size() == 2; }));
    EXPECT_EQ(10u, sizes[0]);
    EXPECT_EQ(200000u, sizes[1]);
    EXPECT_TRUE(IsWindowVisible(Form().Handle()));
    EXPECT_EQ(L" 00:40", Cell(0, 4));
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(0, StandInMessages());
}

} // namespace
} // namespace vantrel::testing
