#include "ui/Application.h"

#include <windows.h>

#include <ole2.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int cmdShow) {
    // The windows' accessible objects reach screen readers through COM, and the shell and the
    // help viewer expect it on the thread that calls them.
    const bool com = SUCCEEDED(OleInitialize(nullptr));
    int result = 1;
    {
        vantrel::TApplication application;
        // The dialogs are made once the main window shows (Run), so that it appears sooner.
        if (application.CreateMainForm())
            result = application.Run(cmdShow);
    }
    if (com)
        OleUninitialize();
    return result;
}
