#pragma once
// The parent's own QORtray: an administrator's tray looks at the requests of every user in the
// store the computer uses (this computer's registry or the network store) and tells each new
// one once in a balloon, whose click opens Vantrel at the request ("Vantrel.exe /answer anna").
#include "model/Registry.h"
#include "model/TimeRequest.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vantrel {

// How often the store is looked at, besides each change of this computer's users key.
inline constexpr UINT kRequestLookMs = 30000;
// How long the look waits for a network store; it runs on the tray's window thread.
inline constexpr DWORD kRequestConnectMs = 2000;

struct TWaitingRequest {
    std::wstring User;
    TTimeRequest Request;
};

// The requests still waiting on the local `day` and `year` in the store at `root`, in the order
// the store lists its users; one of an earlier day has expired and is left out.
std::vector<TWaitingRequest> WaitingRequests(HKEY root, int day, int year);

// "anna asks for 30 more minutes: homework"
std::wstring RequestNewsText(const TWaitingRequest& open);

// Each waiting request (a user and its serial) is told once, however often it is seen.
class TRequestTeller {
public:
    std::vector<TWaitingRequest> Next(const std::vector<TWaitingRequest>& waiting);

private:
    std::map<std::wstring, DWORD> FTold;
};

// Starts a program with its arguments (a command line after the program's quoted path).
// Production: CreateProcessW; tests decide. An empty function restores it.
using TLaunchSeam = std::function<bool(const std::wstring& program, const std::wstring& arguments)>;
void SetLaunchSeam(TLaunchSeam seam);
bool LaunchProgram(const std::wstring& program, const std::wstring& arguments);
// Vantrel.exe in the folder of the running program, opened at the user's request.
bool OpenAnswerInVantrel(const std::wstring& user);

// Looks at the store the preferences name: a network store through a connection that is waited
// for only so long, else this computer's registry. Watches this computer's users key for
// changes, which post `changed` to the window (once per change, until Rearm).
class TRequestWatch {
public:
    TRequestWatch() = default;
    ~TRequestWatch();
    TRequestWatch(const TRequestWatch&) = delete;
    TRequestWatch& operator=(const TRequestWatch&) = delete;

    void Start(HWND window, UINT changed);
    void Stop();
    // The new requests to tell now; `waiting` gets how many wait in all.
    std::vector<TWaitingRequest> Look(size_t* waiting = nullptr);
    // After a change was told: watch for the next.
    void Rearm();

private:
    static void CALLBACK Signalled(void* self, BOOLEAN timedOut);
    HWND FWindow = nullptr;
    UINT FChanged = 0;
    HKEY FUsersKey = nullptr;
    HANDLE FEvent = nullptr;
    HANDLE FWait = nullptr;
    TTimedConnect FConnect;
    TRequestTeller FTeller;
};

} // namespace vantrel
