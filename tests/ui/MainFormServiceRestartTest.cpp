// A service that went away and came back hears of the next saved change, even when the main
// thread dispatched nothing between the service's going and the save.
#include "ServiceRestartSupport.h"

namespace vantrel::testing {
namespace {

using MainFormServiceRestart = ServiceRestartTest;

TEST_F(MainFormServiceRestart, ACommitAfterTheServiceRestartedReachesIt) {
    ASSERT_NO_FATAL_FAILURE(ConnectThenRestartServiceUnseen());

    // A bonus change, committed at once: save, tell the service, refresh.
    TQorUser* alice = RowUser(0);
    ASSERT_NE(nullptr, alice);
    alice->AdjustBonus(30, kTestDayOfYear, 2026);
    Form().CommitUser(*alice);
    DWORD bonus = 0;
    ASSERT_TRUE(ReadStoredDword(UserKey(L"alice"), L"BonusTime", bonus));
    EXPECT_EQ(30u, bonus);
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() == 1; }));
    EXPECT_EQ("40, QORsvc", StandIn.Command("last"));
}

} // namespace
} // namespace vantrel::testing
