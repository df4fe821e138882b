#include "tray/FiguresWatch.h"

#include "model/Registry.h"
#include "model/UserFigures.h"

namespace vantrel {

bool TFiguresWatch::Start(const std::wstring& user, HWND window, UINT message) {
    Stop();
    if (user.empty() || user.find(L'\\') != std::wstring::npos || !window)
        return false;
    FPath = std::wstring(kFiguresKeyPath) + L"\\" + user;
    FWindow = window;
    FMessage = message;
    FPosted = false;
    FStopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FChangeEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!FStopEvent || !FChangeEvent)
        return false;
    FThread.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    return static_cast<bool>(FThread);
}

void TFiguresWatch::Stop() {
    if (FThread) {
        SetEvent(FStopEvent.Get());
        WaitForSingleObject(FThread.Get(), INFINITE);
        FThread.Reset();
    }
    FStopEvent.Reset();
    FChangeEvent.Reset();
}

DWORD WINAPI TFiguresWatch::ThreadMain(void* self) {
    static_cast<TFiguresWatch*>(self)->Run();
    return 0;
}

bool TFiguresWatch::Pause(DWORD ms) const {
    return WaitForSingleObject(FStopEvent.Get(), ms) == WAIT_TIMEOUT;
}

void TFiguresWatch::Post() {
    if (!FPosted.exchange(true) && !PostMessageW(FWindow, FMessage, 0, 0))
        FPosted = false;
}

void TFiguresWatch::Run() {
    // The notice asked for on a thread belongs to that thread (before Windows 8): this one
    // asks for every notice and stays until the watch ends. A notice is asked for again only
    // once the last one came, so that none pile up on the key.
    const HANDLE waits[2] = {FStopEvent.Get(), FChangeEvent.Get()};
    constexpr DWORD kFilter = REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME;
    for (;;) {
        TRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, FPath, KEY_NOTIFY | KEY_QUERY_VALUE) != ERROR_SUCCESS) {
            if (!Pause(kFiguresReopenMs))
                return;
            continue;
        }
        const auto arm = [&] {
            return RegNotifyChangeKeyValue(key.Get(), FALSE, kFilter, FChangeEvent.Get(), TRUE) ==
                   ERROR_SUCCESS;
        };
        // Figures written before the key could be watched (or while it was gone) are news.
        Post();
        bool armed = false;
        bool watching = true;
        while (watching) {
            if (!armed && !arm())
                break;
            armed = true;
            const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, kFiguresReopenMs);
            if (woke == WAIT_TIMEOUT) {
                // A key deleted under the watch may tell nothing: it is then opened anew.
                if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr) == ERROR_KEY_DELETED)
                    break;
                continue;
            }
            if (woke != WAIT_OBJECT_0 + 1)
                return;
            armed = false;
            // The rest of the writing comes within a few milliseconds; one reading takes it
            // all. A key that keeps changing is told at the latest after kFiguresSettleMaxMs.
            const DWORD first = GetTickCount();
            for (;;) {
                if (!arm()) {
                    watching = false;
                    break;
                }
                armed = true;
                const DWORD result = WaitForMultipleObjects(2, waits, FALSE, kFiguresSettleMs);
                if (result == WAIT_OBJECT_0)
                    return;
                if (result != WAIT_OBJECT_0 + 1)
                    break;
                armed = false;
                if (GetTickCount() - first >= kFiguresSettleMaxMs)
                    break;
            }
            Post();
        }
        // The key was deleted (a notice on a deleted key is refused) or cannot be watched: it
        // is opened again after a pause; the window's poll reads meanwhile.
        if (!Pause(kFiguresReopenMs / 5))
            return;
    }
}

} // namespace vantrel
