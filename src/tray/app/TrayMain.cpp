// QORtray.exe: started for every user at logon, it shows the user's time left in the
// notification area. One runs per session; "QORtray.exe /show" opens the figures window of the
// one running (or of a new one).
#include "accounts/Accounts.h"
#include "tray/TrayApp.h"
#include "win/Handle.h"

#include <commctrl.h>
#include <lmcons.h>
#include <shellapi.h>

#include <string>

namespace {

constexpr wchar_t kInstanceMutex[] = L"Local\\Vantrel.QORtray";

bool HasShowSwitch() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args)
        return false;
    bool show = false;
    for (int i = 1; i < count; ++i)
        show = show || _wcsicmp(args[i], L"/show") == 0 || _wcsicmp(args[i], L"-show") == 0;
    LocalFree(args);
    return show;
}

// Asks the program already running in this session to open its window. It may still be
// starting, so its window is looked for a little while.
void ShowInRunningInstance() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (HWND running = FindWindowW(vantrel::kTrayClassName, nullptr)) {
            DWORD process = 0;
            GetWindowThreadProcessId(running, &process);
            // Started by the user, this process may hand the right to come to the front on.
            AllowSetForegroundWindow(process);
            PostMessageW(running, vantrel::TrayShowMessage(), 0, 0);
            return;
        }
        Sleep(100);
    }
}

std::wstring ThisUser() {
    wchar_t name[UNLEN + 1] = {};
    DWORD size = UNLEN + 1;
    return GetUserNameW(name, &size) ? std::wstring(name) : std::wstring();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const bool show = HasShowSwitch();
    vantrel::THandle instance(CreateMutexW(nullptr, FALSE, kInstanceMutex));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (show)
            ShowInRunningInstance();
        return 0;
    }
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    vantrel::TTrayApp app;
    // An administrator's tray also tells of the requests waiting for an answer.
    if (!app.Start(ThisUser(), vantrel::IsAdministrator()))
        return 1;
    if (show)
        app.ShowFigures();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (app.PreTranslate(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
