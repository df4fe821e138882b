#pragma once
// The program's one icon in the notification area. Whether there is a taskbar to take it, and
// what it does with it, is the shell's: every call goes through Shell_NotifyIconW or, in tests,
// through the seam, which sees each call as the shell would.
#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>

namespace vantrel {

using TNotifyIconSeam = std::function<BOOL(DWORD message, const NOTIFYICONDATAW& data)>;
// Replaces Shell_NotifyIconW; an empty function restores it.
void SetNotifyIconSeam(TNotifyIconSeam seam);

// Owns an icon handle (DestroyIcon); move-only.
class TIconHandle {
public:
    TIconHandle() = default;
    explicit TIconHandle(HICON icon) : FIcon(icon) {}
    ~TIconHandle() { Reset(); }
    TIconHandle(TIconHandle&& other) noexcept : FIcon(other.FIcon) { other.FIcon = nullptr; }
    TIconHandle& operator=(TIconHandle&& other) noexcept;
    TIconHandle(const TIconHandle&) = delete;
    TIconHandle& operator=(const TIconHandle&) = delete;

    HICON Get() const { return FIcon; }
    void Reset(HICON icon = nullptr);

private:
    HICON FIcon = nullptr;
};

class TNotifyIcon {
public:
    // The shell reports clicks and keys to `owner` as `callbackMessage`.
    TNotifyIcon(HWND owner, UINT callbackMessage) : FOwner(owner), FCallback(callbackMessage) {}
    ~TNotifyIcon() { Remove(); }
    TNotifyIcon(const TNotifyIcon&) = delete;
    TNotifyIcon& operator=(const TNotifyIcon&) = delete;

    // Adds the icon, or changes the one shown; the caller keeps the icon handle and may destroy
    // it once another was shown. False when the shell did not take it (no taskbar yet).
    bool Show(HICON icon, const std::wstring& tip);
    void Remove();
    // A notification beside the icon, shown only while the icon is.
    bool Balloon(const std::wstring& title, const std::wstring& text);
    // The taskbar was made anew ("TaskbarCreated"): it knows no icon of ours any more.
    void Forget() { FAdded = false; }
    bool Added() const { return FAdded; }
    // Whether the shell took NOTIFYICON_VERSION_4 and reports NIN_SELECT and WM_CONTEXTMENU,
    // rather than the plain mouse messages.
    bool Version4() const { return FVersion4; }

private:
    NOTIFYICONDATAW Data(UINT flags) const;

    HWND FOwner;
    UINT FCallback;
    bool FAdded = false;
    // An add failed: the shell may hold the icon all the same.
    bool FMayBeHeld = false;
    bool FVersion4 = false;
};

} // namespace vantrel
