// A service that went away and came back hears of the next saved change, even when the main
// thread dispatched nothing between the service's going and the save.
#include "MainFormSupport.h"

namespace vantrel::testing {
namespace {

using MainFormServiceRestart = MainFormTest;

int StandInMessages(TStandIn& standIn) {
    std::string stats = standIn.Command("stats");
    size_t at = stats.find("messages=");
    return at == std::string::npos ? -1 : std::atoi(stats.c_str() + at + 9);
}

TEST_F(MainFormServiceRestart, ACommitAfterTheServiceRestartedReachesIt) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    ASSERT_TRUE(StartStandIn());
    Start();
    ASSERT_TRUE(PumpUntil([&] { return Form().PipeClient()->IsConnected(); }));

    // The service closes its end; the worker sees it, but the main thread dispatches nothing.
    ASSERT_EQ("ok", StandIn.Command("close"));
    const ULONGLONG start = GetTickCount64();
    while (Form().PipeClient()->IsConnected() && GetTickCount64() - start < 20000)
        Sleep(10);
    ASSERT_FALSE(Form().PipeClient()->IsConnected());
    StandIn.Stop();
    ASSERT_TRUE(StartStandIn());

    // A bonus change, committed at once: save, tell the service, refresh.
    TQorUser* alice = RowUser(0);
    ASSERT_NE(nullptr, alice);
    alice->AdjustBonus(30, kTestDayOfYear);
    Form().CommitUsers(alice);
    DWORD bonus = 0;
    ASSERT_TRUE(ReadStoredDword(UserKey(L"alice"), L"BonusTime", bonus));
    EXPECT_EQ(30u, bonus);
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages(StandIn) == 1; }));
    EXPECT_EQ("40, QORsvc", StandIn.Command("last"));
}

} // namespace
} // namespace vantrel::testing
