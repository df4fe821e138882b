// A saved change that meets the service link half-way through its end must not let a close,
// queued while the change was being saved, run inside the save: the window and the pipe client
// would be gone under the save that is still on the stack.
#include "ServiceRestartSupport.h"

#include <thread>

namespace vantrel::testing {
namespace {

using MainFormServiceReentry = ServiceRestartTest;

TEST_F(MainFormServiceReentry, ACloseQueuedDuringACommitWaitsForTheCommit) {
    ASSERT_NO_FATAL_FAILURE(ConnectThenRestartServiceUnseen());

    // The administrator closes the window while the change is being saved.
    const HWND window = Form().Handle();
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    TQorUser* alice = RowUser(0);
    ASSERT_NE(nullptr, alice);
    alice->AdjustBonus(30, kTestDayOfYear, 2026);
    Form().CommitUser(*alice);

    EXPECT_TRUE(IsWindow(window));
    ASSERT_NE(nullptr, Form().PipeClient());
    EXPECT_TRUE(Form().PipeClient()->IsConnected());
    MSG close;
    EXPECT_TRUE(PeekMessageW(&close, window, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    DWORD bonus = 0;
    ASSERT_TRUE(ReadStoredDword(UserKey(L"alice"), L"BonusTime", bonus));
    EXPECT_EQ(30u, bonus);
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() == 1; }));
    EXPECT_EQ("40, QORsvc", StandIn.Command("last"));
}

// A close sent from another program while the save waits for the ending link: the window goes,
// and neither the save nor the connect timer touches the pipe client it took along.
TEST_F(MainFormServiceReentry, AWindowClosedInsideTheConnectEndsTheSaveQuietly) {
    for (bool commit : {true, false}) {
        ASSERT_NO_FATAL_FAILURE(ConnectThenRestartServiceUnseen());
        const HWND window = Form().Handle();
        std::thread([window] {
            SendMessageCallbackW(
                window, WM_CLOSE, 0, 0, [](HWND, UINT, ULONG_PTR, LRESULT) {}, 0);
        }).join();
        commit ? Form().CommitUser(*RowUser(0)) : void(SendMessageW(window, WM_TIMER, 1, 0));
        EXPECT_FALSE(IsWindow(window)) << commit;
        EXPECT_EQ(nullptr, Form().PipeClient());
        App.reset();
    }
}

} // namespace
} // namespace vantrel::testing
