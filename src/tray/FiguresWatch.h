#pragma once
// Tells QORtray's window at once when the service writes the user's figures: a thread of its
// own waits for the system's notice that a value of the user's figures key was set, lets the
// rest of that writing come in, and posts a message to the window. A key that is not there
// yet (the service has not counted for this user) is looked for again every few seconds; the
// window's slower poll stays for what no writing announces (figures turning out of date).
#include "win/Handle.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace vantrel {

// How long after a change the watch waits for the next value of the same writing before it
// tells the window; a writing sets its values one after another within a few milliseconds.
inline constexpr DWORD kFiguresSettleMs = 40;
// A writing that keeps changing the key is told at the latest after this long.
inline constexpr DWORD kFiguresSettleMaxMs = 400;
// How often a key that is missing, or could not be watched, is tried again.
inline constexpr DWORD kFiguresReopenMs = 5000;

class TFiguresWatch {
public:
    TFiguresWatch() = default;
    ~TFiguresWatch() { Stop(); }
    TFiguresWatch(const TFiguresWatch&) = delete;
    TFiguresWatch& operator=(const TFiguresWatch&) = delete;

    // Watches the figures key of `user` and posts `message` to `window` after each change (and
    // once the key is first opened). One message at a time: the next is posted only after the
    // window called Taken, so a flood of writings never fills its queue.
    bool Start(const std::wstring& user, HWND window, UINT message);
    // The window read the figures after the message; a later change is posted again.
    void Taken() { FPosted = false; }
    // Ends the thread and waits for it.
    void Stop();
    bool Running() const { return static_cast<bool>(FThread); }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    // False when the watch is to end.
    bool Pause(DWORD ms) const;
    void Post();

    std::wstring FPath;
    HWND FWindow = nullptr;
    UINT FMessage = 0;
    THandle FStopEvent;
    THandle FChangeEvent;
    THandle FThread;
    std::atomic<bool> FPosted{false};
};

} // namespace vantrel
