#pragma once
// Dispatching the messages that wait for the calling thread, from inside a wait or a long
// operation on that thread.
#include <windows.h>

#include <functional>

namespace vantrel {

// Returns true when the message was handled (a shortcut) and must not be dispatched.
using TMessageFilter = std::function<bool(MSG& msg)>;

// Translates and dispatches every message waiting now. A WM_QUIT is not this pump's to
// consume: it is posted again for the thread's own loop, and the pump stops and returns false.
// With yieldBetween the thread gives up its time slice after each message.
bool PumpWaitingMessages(const TMessageFilter& filter = nullptr, bool yieldBetween = false);

} // namespace vantrel
