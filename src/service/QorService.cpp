#include "service/QorService.h"

#include "accounts/Accounts.h"
#include "model/Constants.h"
#include "service/PipeServer.h"
#include "win/Handle.h"
#include "win/SystemError.h"

#include <cstring>
#include <exception>

namespace vantrel {

namespace {

TServiceOptions Completed(TServiceOptions options) {
    if (options.PipeName.empty())
        options.PipeName = kPipeName;
    if (options.LogPath.empty())
        options.LogPath = TServiceLog::DefaultPath();
    if (options.MinuteMs == 0)
        options.MinuteMs = 60000;
    if (options.ThisComputer.empty())
        options.ThisComputer = GetWorkstationName();
    return options;
}

} // namespace

TQorService::TQorService(TSessionHost& host, TServiceOptions options)
    : FOptions(Completed(std::move(options))), FLog(FOptions.LogPath),
      FLoop(host, FLog, FOptions.ThisComputer) {}

bool TQorService::Run(HANDLE stopEvent, const std::function<void()>& serving) {
    const THandle settingsEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!settingsEvent)
        return false;
    // Wine lets a second server create the first instance of a pipe in use, so a second
    // service for the same pipe is refused by a named mutex as well.
    const THandle guard(
        CreateMutexW(nullptr, FALSE, (L"Global\\QORsvc." + FOptions.PipeName).c_str()));
    if (!guard || GetLastError() == ERROR_ALREADY_EXISTS) {
        FLog.Write(L"Cannot serve \\\\.\\pipe\\" + FOptions.PipeName +
                   L": another service serves it already");
        return false;
    }
    HANDLE settings = settingsEvent.Get();
    TPipeServer pipe(FOptions.PipeName, [settings](const std::string& message) {
        if (message == kServiceMessage)
            SetEvent(settings);
    });
    DWORD error = 0;
    if (!pipe.Start(error)) {
        FLog.Write(L"Cannot serve \\\\.\\pipe\\" + FOptions.PipeName + L" (error " +
                   std::to_wstring(error) + L": " + SystemErrorText(error) + L")");
        return false;
    }
    FLog.Write(L"Service started on " + FOptions.ThisComputer + L", pipe \\\\.\\pipe\\" +
               FOptions.PipeName);
    if (serving)
        serving();

    // Whoever is outside the allowed hours or over the limit now is told at once.
    auto guarded = [this](auto work) {
        try {
            work();
        } catch (const std::exception& e) {
            FLog.Write(L"The minute's work failed: " +
                       std::wstring(e.what(), e.what() + std::strlen(e.what())));
        }
    };
    guarded([this] { FLoop.Check(); });
    ULONGLONG next = GetTickCount64() + FOptions.MinuteMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = next > now ? static_cast<DWORD>(next - now) : 0;
        HANDLE waits[2] = {stopEvent, settings};
        const DWORD result = WaitForMultipleObjects(2, waits, FALSE, wait);
        if (result == WAIT_OBJECT_0 + 1) {
            guarded([this] { FLoop.SettingsChanged(); });
        } else if (result == WAIT_TIMEOUT) {
            guarded([this] { FLoop.Tick(); });
            next += FOptions.MinuteMs;
            // After a long stall (a suspended computer) the minutes missed are not counted.
            if (next <= GetTickCount64())
                next = GetTickCount64() + FOptions.MinuteMs;
        } else {
            break;
        }
    }
    pipe.Stop();
    FLog.Write(L"Service stopped");
    return true;
}

} // namespace vantrel
