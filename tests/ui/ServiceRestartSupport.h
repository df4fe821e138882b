#pragma once
// What the tests of a service that goes away and comes back share: the main window connected
// to the stand-in, then the stand-in closed and started again while the main thread has
// dispatched nothing, so the window has not yet heard that the link ended.
#include "MainFormSupport.h"

namespace vantrel::testing {

class ServiceRestartTest : public MainFormTest {
protected:
    // Alice, connected; then the service closes its end and the worker sees it (and waits to
    // report its end), while the main thread dispatches nothing; then the service is back.
    void ConnectThenRestartServiceUnseen() {
        Accounts = {L"alice"};
        SeedUser(L"alice", true, 60);
        ASSERT_TRUE(StartStandIn());
        Start();
        ASSERT_TRUE(PumpUntil([&] { return Form().PipeClient()->IsConnected(); }));

        ASSERT_EQ("ok", StandIn.Command("close"));
        const ULONGLONG start = GetTickCount64();
        while (Form().PipeClient()->IsConnected() && GetTickCount64() - start < 20000)
            Sleep(10);
        ASSERT_FALSE(Form().PipeClient()->IsConnected());
        StandIn.Stop();
        ASSERT_TRUE(StartStandIn());
    }
};

} // namespace vantrel::testing
