#include "ui/Fonts.h"

#include "ui/controls/Gdi.h"

namespace vantrel {

int WindowsVersionLevel(DWORD major, DWORD minor) {
    if (major == 6 && minor == 1)
        return 6;
    if (major == 6 && minor == 0)
        return 5;
    if (major == 5 && minor == 1)
        return 4;
    if (major == 5 && minor == 0)
        return 3;
    if (major <= 4)
        return 1;
    return 0;
}

int WindowsVersionLevel() {
    // GetVersionExW answers what the manifest declares support for; ntdll tells the truth.
    using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto getVersion = ntdll ? reinterpret_cast<TRtlGetVersion>(
                                  reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                            : nullptr;
    if (!getVersion || getVersion(&info) != 0) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExW(&info))
            return 0;
#pragma GCC diagnostic pop
    }
    return WindowsVersionLevel(info.dwMajorVersion, info.dwMinorVersion);
}

std::wstring SystemFontName(int level) {
    return level == 5 || level == 6 ? L"Segoe UI" : L"Tahoma";
}

int SystemFontSize(int level) {
    return level == 5 || level == 6 ? 9 : 8;
}

std::wstring SystemFontName() {
    return SystemFontName(WindowsVersionLevel());
}

int SystemFontSize() {
    return SystemFontSize(WindowsVersionLevel());
}

TFontHandle CreatePointFont(const std::wstring& face, int points, int dpi, bool bold,
                            bool underline) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(points, dpi, 72);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = underline ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    return TFontHandle(CreateFontIndirectW(&lf));
}

TFontHandle CreateSystemFont(int dpi, bool bold, bool underline) {
    const int level = WindowsVersionLevel();
    return CreatePointFont(SystemFontName(level), SystemFontSize(level), dpi, bold, underline);
}

int WindowDpi(HWND window) {
    return DpiOfWindow(window);
}

} // namespace vantrel
