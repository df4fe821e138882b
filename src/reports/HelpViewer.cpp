#include "reports/HelpViewer.h"

#include "model/Constants.h"
#include "model/Registry.h"
#include "win/Files.h"

namespace vantrel {

namespace {

// From htmlhelp.h: HH_DISPLAY_TOPIC shows the file's default topic when no topic is named;
// HH_CLOSE_ALL closes every viewer window the process opened.
const UINT kDisplayTopic = 0;
const UINT kCloseAll = 0x12;
const wchar_t kHelpControlServerKey[] =
    L"CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32";

std::wstring WithoutTrailingBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

std::wstring SystemFolder() {
    wchar_t buffer[261] = {};
    UINT length = GetSystemDirectoryW(buffer, 261);
    return WithoutTrailingBackslash(length < 261 ? std::wstring(buffer, length) : std::wstring());
}

std::wstring WindowsFolder() {
    wchar_t buffer[261] = {};
    UINT length = GetWindowsDirectoryW(buffer, 261);
    return WithoutTrailingBackslash(length < 261 ? std::wstring(buffer, length) : std::wstring());
}

// The default value as text, unexpanded: the class's server is often a REG_EXPAND_SZ.
std::wstring DefaultText(const TRegKey& key) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
        if (RegGetValueW(key.Get(), nullptr, nullptr, flags, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS)
            return std::wstring();
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        LONG rc = RegGetValueW(key.Get(), nullptr, nullptr, flags, nullptr, &text[0], &bytes);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            return std::wstring();
        text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
        return text;
    }
    return std::wstring();
}

} // namespace

std::wstring ExpandLeadingSystemRoot(const std::wstring& text) {
    static const wchar_t kVariable[] = L"%systemroot%";
    const size_t length = 12;
    if (text.size() < length)
        return text;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != kVariable[i])
            return text;
    }
    return WindowsFolder() + text.substr(length);
}

std::wstring FindHelpControlPath() {
    std::wstring path;
    TRegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, kHelpControlServerKey, KEY_READ) == ERROR_SUCCESS) {
        path = ExpandLeadingSystemRoot(DefaultText(key));
        key.Close();
        if (!path.empty() && !FileExists(path))
            path.clear();
    }
    if (path.empty())
        path = SystemFolder() + L"\\hhctrl.ocx";
    return path;
}

std::wstring HelpFilePath() {
    std::wstring module(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, &module[0], static_cast<DWORD>(module.size()));
        if (length == 0)
            return std::wstring();
        if (length < module.size()) {
            module.resize(length);
            break;
        }
        module.resize(module.size() * 2);
    }
    module = FullPath(module);
    const size_t slash = module.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : module.substr(0, slash);
    return folder + L"\\" + kHelpFileName;
}

THelpViewer::THelpViewer(bool loadAtStart) {
    if (loadAtStart)
        Load();
}

void THelpViewer::Load() {
    if (FModule)
        return;
    FModule = LoadLibraryW(L"hhctrl.ocx");
    if (!FModule) {
        const std::wstring path = FindHelpControlPath();
        if (!path.empty() && FileExists(path))
            FModule = LoadLibraryW(path.c_str());
    }
    if (!FModule)
        return;
    FHtmlHelpA = reinterpret_cast<THtmlHelpA>(GetProcAddress(FModule, "HtmlHelpA"));
    FHtmlHelpW = reinterpret_cast<THtmlHelpW>(GetProcAddress(FModule, "HtmlHelpW"));
}

void THelpViewer::Unload() {
    if (!FModule)
        return;
    // The viewer's windows belong to this process and run the library's code: freeing it under
    // an open viewer would leave them without their window procedure.
    if (FHtmlHelpW)
        FHtmlHelpW(nullptr, nullptr, kCloseAll, 0);
    FreeLibrary(FModule);
    FModule = nullptr;
    FHtmlHelpA = nullptr;
    FHtmlHelpW = nullptr;
}

THelpResult THelpViewer::ShowHelp() const {
    const std::wstring path = HelpFilePath();
    if (!FileExists(path))
        return THelpResult::FileMissing;
    // The wide entry point: a program folder whose name has no ANSI form still opens. The
    // desktop as caller leaves the viewer unowned, so it can stay open beside the program.
    if (!FHtmlHelpW || !FHtmlHelpW(GetDesktopWindow(), path.c_str(), kDisplayTopic, 0))
        return THelpResult::NotOpened;
    return THelpResult::Shown;
}

} // namespace vantrel
