#include "ui/Application.h"

#include <windows.h>

#include <ole2.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int cmdShow) {
    // "/answer <user>" goes to the Vantrel that runs already, rather than to a second window.
    std::wstring answer;
    const bool answering = vantrel::AnswerCommandLine(commandLine, answer);
    if (answering && vantrel::AnswerInRunningProgram(answer))
        return 0;
    // The windows' accessible objects reach screen readers through COM, and the shell and the
    // help viewer expect it on the thread that calls them.
    const bool com = SUCCEEDED(OleInitialize(nullptr));
    int result = 1;
    {
        vantrel::TApplication application;
        // The dialogs are made once the main window shows (Run), so that it appears sooner.
        application.AnswerAtStart = answer;
        if (application.CreateMainForm())
            result = application.Run(cmdShow);
    }
    if (com)
        OleUninitialize();
    return result;
}
