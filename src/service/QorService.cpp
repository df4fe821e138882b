#include "service/QorService.h"

#include "accounts/Accounts.h"
#include "model/Clock.h"
#include "model/AskMessage.h"
#include "model/Constants.h"
#include "service/AskServer.h"
#include "service/PipeServer.h"
#include "win/ObjectOwner.h"
#include "win/SystemError.h"

#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <exception>

namespace vantrel {

namespace {

// The name the system keeps for this computer, in the form of the workstation service's that
// the program's usage keys use. The workstation service may not run yet when the service
// starts at boot, so it is asked only when the system has no name to give.
std::wstring ThisComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (GetComputerNameExW(ComputerNameNetBIOS, name, &size) && name[0] != 0)
        return name;
    return GetWorkstationName();
}

TServiceOptions Completed(TServiceOptions options) {
    if (options.PipeName.empty())
        options.PipeName = kPipeName;
    if (options.AskPipeName.empty())
        options.AskPipeName = kAskPipeName;
    if (options.LogPath.empty())
        options.LogPath = TServiceLog::DefaultPath();
    if (options.MinuteMs == 0)
        options.MinuteMs = 60000;
    if (options.ThisComputer.empty())
        options.ThisComputer = ThisComputerName();
    return options;
}

std::wstring ErrorText(DWORD error) {
    return L"error " + std::to_wstring(error) + L": " + SystemErrorText(error);
}

// The guard mutex, owned by the caller when it made it. It belongs to the Administrators, and
// only they and SYSTEM may open it; an account that may not give the Administrators an object
// (a console run without elevation) owns it itself.
HANDLE CreateGuard(const std::wstring& name) {
    for (const wchar_t* sddl :
         {L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", L"D:P(A;;GA;;;SY)(A;;GA;;;BA)"}) {
        PSECURITY_DESCRIPTOR security = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &security,
                                                                  nullptr))
            continue;
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), security, FALSE};
        const HANDLE guard = CreateMutexW(&attributes, TRUE, name.c_str());
        const DWORD error = GetLastError();
        LocalFree(security);
        SetLastError(error);
        if (guard || error != ERROR_INVALID_OWNER)
            return guard;
    }
    return nullptr;
}

std::wstring ProcessText(DWORD processId) {
    std::wstring text = L"process " + std::to_wstring(processId);
    const THandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t path[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH + 1;
    if (process && QueryFullProcessImageNameW(process.Get(), 0, path, &size))
        text += L" (" + std::wstring(path, size) + L")";
    return text;
}

} // namespace

TQorService::TQorService(TSessionHost& host, TServiceOptions options)
    : FOptions(Completed(std::move(options))),
      FSessionEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)), FLog(FOptions.LogPath),
      FLoop(host, FLog, FOptions.ThisComputer, FOptions.MinuteMs) {}

void TQorService::SessionChanged() {
    if (FSessionEvent)
        SetEvent(FSessionEvent.Get());
}

template <typename TWork> void TQorService::Guarded(TWork&& work) noexcept {
    try {
        work();
    } catch (const std::exception& e) {
        // Making the line can fail as well; the fixed one takes no memory.
        try {
            const char* what = e.what();
            FLog.Write(L"The minute's work failed: " +
                       std::wstring(what, what + std::strlen(what)));
            return;
        } catch (...) {
        }
        FLog.WriteFixed(L"The minute's work failed: no memory was left");
    } catch (...) {
        FLog.WriteFixed(L"The minute's work failed: an exception that is not a std::exception");
    }
}

bool TQorService::TakeGuard(HANDLE stopEvent, const std::function<void()>& running, THandle& guard,
                            bool& owned) {
    // Wine lets a second server create the first instance of a pipe in use, so two services for
    // one pipe are kept apart by a named mutex as well, owned by the one that runs. Anybody may
    // take such a name first: it counts only when SYSTEM or the Administrators own it.
    const std::wstring name = L"Global\\QORsvc." + FOptions.PipeName;
    owned = false;
    guard.Reset(CreateGuard(name));
    const DWORD error = GetLastError();
    if (!guard) {
        FLog.Write(L"The guard " + name + L" is not this service's (" + ErrorText(error) +
                   L"); it is ignored");
        return true;
    }
    if (error != ERROR_ALREADY_EXISTS) {
        owned = true;
        return true;
    }
    std::wstring owner;
    if (!OwnedByAdministrators(guard.Get(), &owner)) {
        FLog.Write(L"The guard " + name + L" is owned by " + owner +
                   L", not by SYSTEM or the Administrators; it is ignored");
        guard.Close();
        return true;
    }
    const DWORD result = WaitForSingleObject(guard.Get(), 0);
    if (result != WAIT_TIMEOUT) {
        owned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        return true;
    }
    FLog.Write(L"Another Vantrel service runs for \\\\.\\pipe\\" + FOptions.PipeName +
               L"; this one takes over when it ends");
    if (running)
        running();
    HANDLE waits[2] = {stopEvent, guard.Get()};
    const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (waited == WAIT_OBJECT_0) {
        FLog.Write(L"Ended without taking over from the other service");
        return false;
    }
    owned = waited == WAIT_OBJECT_0 + 1 || waited == WAIT_ABANDONED_0 + 1;
    return true;
}

bool TQorService::TryServe(TPipeServer& pipe) {
    DWORD holder = 0, error = 0;
    // Asked first: under Wine a second server would be given an instance of the pipe in use.
    bool held = TPipeServer::FindServer(FOptions.PipeName, holder, error);
    if (!held) {
        if (pipe.Start(error)) {
            if (FHolderTold)
                FLog.Write(L"Serving \\\\.\\pipe\\" + FOptions.PipeName + L" now");
            FHolderTold = false;
            return true;
        }
        // Taken in between (the first instance is refused then): who serves it now?
        DWORD probeError = 0;
        held = TPipeServer::FindServer(FOptions.PipeName, holder, probeError);
        if (held)
            error = probeError;
    }
    if (!FHolderTold) {
        std::wstring why;
        if (holder != 0)
            why = ProcessText(holder) + L" serves it";
        else if (held)
            why = L"another program serves it (its process cannot be told, " + ErrorText(error) +
                  L")";
        else
            why = ErrorText(error);
        FLog.Write(L"Cannot serve \\\\.\\pipe\\" + FOptions.PipeName + L": " + why +
                   L"; the minutes are counted all the same, and serving is tried again "
                   L"every minute");
        FHolderTold = true;
    }
    return false;
}

bool TQorService::TryServeAsk(TAskServer& ask) {
    DWORD error = 0;
    if (ask.Start(error)) {
        if (FAskFailureTold)
            FLog.Write(L"Serving \\\\.\\pipe\\" + FOptions.AskPipeName + L" now");
        FAskFailureTold = false;
        return true;
    }
    if (!FAskFailureTold)
        FLog.Write(L"Cannot serve \\\\.\\pipe\\" + FOptions.AskPipeName + L" (" + ErrorText(error) +
                   L"); users cannot ask for time until it can, which is tried every minute");
    FAskFailureTold = true;
    return false;
}

void TQorService::Tell(TPipeServer& pipe, TNewsKind kind, bool counted) {
    const SYSTEMTIME now = LocalNow();
    if (counted) {
        FNews.Counted = true;
        FNews.LastMinute = now;
    }
    const bool down = FLoop.StoreUnreachable();
    if (down && FNews.Store != TStoreState::Unreachable)
        FNews.StoreDownSince = now;
    FNews.Store = down                              ? TStoreState::Unreachable
                  : FLoop.Prefs().UseRemoteRegistry ? TStoreState::Network
                                                    : TStoreState::Local;
    FNews.Kind = kind;
    // Told again with every news until the last session has gone, so that a program that
    // connects meanwhile learns of it at once.
    FNews.Logoffs = FLoop.UnfinishedLogoffs();
    const std::string message = FormatServiceNews(FNews);
    TServiceNews welcome = FNews;
    welcome.Kind = TNewsKind::Running;
    pipe.Broadcast(message, FormatServiceNews(welcome));
}

bool TQorService::Run(HANDLE stopEvent, const std::function<void()>& running) {
    const THandle settingsEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!settingsEvent) {
        FLog.Write(L"Cannot run (" + ErrorText(GetLastError()) + L")");
        return false;
    }
    bool told = false;
    const std::function<void()> tellRunning = [&] {
        if (!told && running)
            running();
        told = true;
    };
    THandle guard;
    bool owned = false;
    if (!TakeGuard(stopEvent, tellRunning, guard, owned))
        return true;

    FLog.Write(L"Service started on " + FOptions.ThisComputer + L", pipe \\\\.\\pipe\\" +
               FOptions.PipeName);
    ULONGLONG counted = MonotonicMs();
    HANDLE settings = settingsEvent.Get();
    TPipeServer pipe(FOptions.PipeName, [settings](const std::string& message) {
        if (message == kServiceMessage)
            SetEvent(settings);
    });
    bool served = false;
    Guarded([&] { served = TryServe(pipe); });
    // The way in for requests: the system names who asks, and only accounts of this computer
    // are heard.
    const std::wstring computerSid = AccountDomainSid();
    TAskServer ask(FOptions.AskPipeName, FLog, [this, computerSid](const TAskCaller& caller) {
        TListedSession session;
        session.Username = caller.Username;
        session.Domain = caller.Domain;
        session.Sid = caller.Sid;
        return IsThisComputersAccount(session, FOptions.ThisComputer, computerSid);
    });
    bool asking = false;
    Guarded([&] { asking = TryServeAsk(ask); });
    tellRunning();

    // Whoever is outside the allowed hours or over the limit now is told at once.
    Guarded([this] { FLoop.Check(); });
    Guarded([&] { Tell(pipe, TNewsKind::Running, false); });
    const ULONGLONG minute = FOptions.MinuteMs;
    const auto nextLookAfter = [minute](ULONGLONG at) {
        return at + RandomPause(minute / kLooksPerMinuteMost, minute / kLooksPerMinuteLeast);
    };
    ULONGLONG nextLook = nextLookAfter(MonotonicMs());
    while (WaitForSingleObject(stopEvent, 0) == WAIT_TIMEOUT) {
        const ULONGLONG now = MonotonicMs();
        const ULONGLONG passed = now > counted ? now - counted : 0;
        // A due minute comes first, however fast the administration program sends changes. A
        // tick that comes late (a slow store, a busy computer) counts the minutes in between.
        if (passed >= minute) {
            const ULONGLONG minutes = passed / minute;
            counted += minutes * minute;
            const int count = static_cast<int>(std::min<ULONGLONG>(minutes, kMaxMinutesPerTick));
            Guarded([&] { FLoop.Tick(count); });
            // A minute waits on the store at times; what the sessions did meanwhile is seen now.
            Guarded([this] { FLoop.Look(); });
            Guarded([&] { Tell(pipe, TNewsKind::Minute, true); });
            if (!served)
                Guarded([&] { served = TryServe(pipe); });
            if (!asking)
                Guarded([&] { asking = TryServeAsk(ask); });
            continue;
        }
        if (now >= nextLook) {
            Guarded([this] { FLoop.Look(); });
            nextLook = nextLookAfter(MonotonicMs());
            continue;
        }
        HANDLE waits[4] = {stopEvent, settings, ask.RequestEvent(), FSessionEvent.Get()};
        const DWORD waitMs = static_cast<DWORD>(std::min(minute - passed, nextLook - now));
        const DWORD result = WaitForMultipleObjects(FSessionEvent ? 4 : 3, waits, FALSE, waitMs);
        if (result == WAIT_OBJECT_0 + 1) {
            Guarded([this] { FLoop.SettingsChanged(); });
            Guarded([&] { Tell(pipe, TNewsKind::Settings, false); });
        } else if (result == WAIT_OBJECT_0 + 2) {
            // Vantrel re-reads its rows on the news, and so shows the request at once.
            Guarded([&] {
                ask.HandleRequests([this](const std::wstring& user, const TAskMessage& message) {
                    return FLoop.HandleAsk(user, message);
                });
            });
            Guarded([&] { Tell(pipe, TNewsKind::Settings, false); });
        } else if (result == WAIT_OBJECT_0 + 3) {
            Guarded([this] { FLoop.Look(); });
        } else if (result != WAIT_TIMEOUT)
            break;
    }
    ask.Stop();
    pipe.Stop();
    FLog.Write(L"Service stopped");
    if (owned)
        ReleaseMutex(guard.Get());
    return true;
}

} // namespace vantrel
