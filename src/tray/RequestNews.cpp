#include "tray/RequestNews.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "model/Prefs.h"

namespace vantrel {

namespace {

TLaunchSeam& LaunchSeam() {
    static TLaunchSeam seam;
    return seam;
}

std::wstring UsersKeyPath() {
    std::wstring path = kUsersKeyPath;
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

} // namespace

std::vector<TWaitingRequest> WaitingRequests(HKEY root, int day, int year) {
    std::vector<TWaitingRequest> waiting;
    TRegKey users;
    if (users.Open(root, UsersKeyPath(), KEY_READ) != ERROR_SUCCESS)
        return waiting;
    std::vector<std::wstring> names;
    users.SubkeyNames(names);
    for (const std::wstring& name : names) {
        TWaitingRequest open{name, {}};
        if (!ReadTimeRequest(root, name, open.Request))
            continue;
        ExpireRequest(open.Request, day, year);
        if (open.Request.State == TRequestState::Waiting)
            waiting.push_back(std::move(open));
    }
    return waiting;
}

std::wstring RequestNewsText(const TWaitingRequest& open) {
    const int minutes = open.Request.Minutes;
    std::wstring text = open.User + L" asks for " + std::to_wstring(minutes) +
                        (minutes == 1 ? L" more minute" : L" more minutes");
    if (!open.Request.Reason.empty())
        text += L": " + open.Request.Reason;
    return text;
}

std::vector<TWaitingRequest> TRequestTeller::Next(const std::vector<TWaitingRequest>& waiting) {
    std::vector<TWaitingRequest> news;
    for (const TWaitingRequest& open : waiting) {
        auto told = FTold.find(open.User);
        if (told != FTold.end() && told->second == open.Request.Serial)
            continue;
        FTold[open.User] = open.Request.Serial;
        news.push_back(open);
    }
    return news;
}

void SetLaunchSeam(TLaunchSeam seam) {
    LaunchSeam() = std::move(seam);
}

bool LaunchProgram(const std::wstring& program, const std::wstring& arguments) {
    if (LaunchSeam())
        return LaunchSeam()(program, arguments);
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool OpenAnswerInVantrel(const std::wstring& user) {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, folder.data(), static_cast<DWORD>(folder.size()));
        if (length == 0)
            return false;
        if (length < folder.size()) {
            folder.resize(length);
            break;
        }
        folder.resize(folder.size() * 2);
    }
    folder.erase(folder.find_last_of(L'\\') + 1);
    // A name is one argument however it is spelt; account names hold no quotes.
    return LaunchProgram(folder + L"Vantrel.exe", L"/answer \"" + user + L"\"");
}

TRequestWatch::~TRequestWatch() {
    Stop();
}

void TRequestWatch::Start(HWND window, UINT changed) {
    Stop();
    FWindow = window;
    FChanged = changed;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UsersKeyPath().c_str(), 0, KEY_NOTIFY, &FUsersKey) !=
        ERROR_SUCCESS) {
        FUsersKey = nullptr;
        return;
    }
    FEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!FEvent)
        return;
    Rearm();
}

void TRequestWatch::Rearm() {
    if (!FUsersKey || !FEvent)
        return;
    if (FWait) {
        UnregisterWaitEx(FWait, INVALID_HANDLE_VALUE);
        FWait = nullptr;
    }
    // Asked on the window's thread, which lives as long as the watch.
    if (RegNotifyChangeKeyValue(FUsersKey, TRUE,
                                REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, FEvent,
                                TRUE) != ERROR_SUCCESS)
        return;
    RegisterWaitForSingleObject(&FWait, FEvent, Signalled, this, INFINITE,
                                WT_EXECUTEONLYONCE | WT_EXECUTEDEFAULT);
}

void CALLBACK TRequestWatch::Signalled(void* self, BOOLEAN) {
    auto* watch = static_cast<TRequestWatch*>(self);
    PostMessageW(watch->FWindow, watch->FChanged, 0, 0);
}

void TRequestWatch::Stop() {
    if (FWait) {
        UnregisterWaitEx(FWait, INVALID_HANDLE_VALUE);
        FWait = nullptr;
    }
    if (FUsersKey) {
        RegCloseKey(FUsersKey);
        FUsersKey = nullptr;
    }
    if (FEvent) {
        CloseHandle(FEvent);
        FEvent = nullptr;
    }
}

std::vector<TWaitingRequest> TRequestWatch::Look(size_t* waiting) {
    if (waiting)
        *waiting = 0;
    TQorPrefs prefs;
    if (LoadPrefs(prefs))
        CompletePrefs(prefs);
    TRegRoot root;
    if (prefs.UseRemoteRegistry &&
        FConnect.Connect(prefs.RemoteRegistry, kRequestConnectMs, root) != ERROR_SUCCESS)
        return {}; // the network store holds the requests; another look comes soon
    const SYSTEMTIME today = LocalNow();
    const std::vector<TWaitingRequest> open =
        WaitingRequests(root.Get(), DayOfYearOf(today), today.wYear);
    if (waiting)
        *waiting = open.size();
    return FTeller.Next(open);
}

} // namespace vantrel
