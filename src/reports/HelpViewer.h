#pragma once
// The program's help file QORHelp.chm, beside the executable, shown in the platform's HTML Help
// viewer. The viewer's library hhctrl.ocx is loaded once at start and freed at exit: the
// program holds one THelpViewer from before its first window until after its last. What the
// administrator is told when help cannot be shown is the window's business.
#include <windows.h>

#include <string>

namespace vantrel {

enum class THelpResult {
    Shown,
    FileMissing, // no help file lies beside the program
    NotOpened,   // no viewer library, or the viewer refused the file
};

class THelpViewer {
public:
    // Loads the viewer library unless told not to; a library that cannot be loaded leaves the
    // entry points empty and says nothing.
    explicit THelpViewer(bool loadAtStart = true);
    ~THelpViewer() { Unload(); }
    THelpViewer(const THelpViewer&) = delete;
    THelpViewer& operator=(const THelpViewer&) = delete;

    // Does nothing when the library is already loaded.
    void Load();
    // Closes any viewer window still open, then frees the library.
    void Unload();
    bool Loaded() const { return FModule != nullptr; }
    bool HasEntryPoints() const { return FHtmlHelpA && FHtmlHelpW; }

    // Runs the "Help" command (F1): the help file's default topic in a viewer window that no
    // window of the program owns.
    THelpResult ShowHelp() const;

private:
    using THtmlHelpA = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    using THtmlHelpW = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

    HMODULE FModule = nullptr;
    THtmlHelpA FHtmlHelpA = nullptr;
    THtmlHelpW FHtmlHelpW = nullptr;
};

// The folder of the program's executable, "\" and QORHelp.chm.
std::wstring HelpFilePath();

// Where the HTML Help control is installed: the registered in-process server of its class when
// that file exists, else the system folder's hhctrl.ocx.
std::wstring FindHelpControlPath();

// Replaces a leading %SystemRoot% (any letter case) by the Windows folder; leaves any other
// text, other variables included, as it is.
std::wstring ExpandLeadingSystemRoot(const std::wstring& text);

} // namespace vantrel
