#include "ui/Application.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int cmdShow) {
    vantrel::TApplication application;
    if (!application.CreateForms())
        return 1;
    return application.Run(cmdShow);
}
