#include "win/MessagePump.h"

namespace vantrel {

bool PumpWaitingMessages(const TMessageFilter& filter, bool yieldBetween) {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (!filter || !filter(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (yieldBetween)
            Sleep(0);
    }
    return true;
}

} // namespace vantrel
