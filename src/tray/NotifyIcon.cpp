#include "tray/NotifyIcon.h"

namespace vantrel {

namespace {

constexpr UINT kIconId = 1;

TNotifyIconSeam& Seam() {
    static TNotifyIconSeam seam;
    return seam;
}

BOOL CallShell(DWORD message, NOTIFYICONDATAW& data) {
    return Seam() ? Seam()(message, data) : Shell_NotifyIconW(message, &data);
}

// The shell's fixed fields take what fits, always ended.
template <size_t N> void CopyText(wchar_t (&field)[N], const std::wstring& text) {
    const size_t count = text.copy(field, N - 1);
    field[count] = L'\0';
}

} // namespace

void SetNotifyIconSeam(TNotifyIconSeam seam) {
    Seam() = std::move(seam);
}

TIconHandle& TIconHandle::operator=(TIconHandle&& other) noexcept {
    if (this != &other) {
        Reset(other.FIcon);
        other.FIcon = nullptr;
    }
    return *this;
}

void TIconHandle::Reset(HICON icon) {
    if (FIcon && FIcon != icon)
        DestroyIcon(FIcon);
    FIcon = icon;
}

NOTIFYICONDATAW TNotifyIcon::Data(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = FOwner;
    data.uID = kIconId;
    data.uFlags = flags;
    data.uCallbackMessage = FCallback;
    return data;
}

bool TNotifyIcon::Show(HICON icon, const std::wstring& tip) {
    // Version 4 shows the standard tool tip only when asked to.
    NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP);
    data.hIcon = icon;
    CopyText(data.szTip, tip);
    if (FAdded && CallShell(NIM_MODIFY, data))
        return true;
    // Not there, or gone with an explorer that ended without telling, or taken after all by a
    // taskbar that answered too late (at logon a busy one lets the call time out, keeps the
    // icon and refuses to add it again): add it anew, after taking away whatever the shell may
    // still hold of it.
    if (FAdded || FMayBeHeld) {
        NOTIFYICONDATAW gone = Data(0);
        CallShell(NIM_DELETE, gone);
    }
    FAdded = CallShell(NIM_ADD, data) != FALSE;
    FMayBeHeld = !FAdded;
    if (FAdded) {
        NOTIFYICONDATAW version = Data(0);
        version.uVersion = NOTIFYICON_VERSION_4;
        FVersion4 = CallShell(NIM_SETVERSION, version) != FALSE;
    }
    return FAdded;
}

void TNotifyIcon::Remove() {
    if (!FAdded && !FMayBeHeld)
        return;
    NOTIFYICONDATAW data = Data(0);
    CallShell(NIM_DELETE, data);
    FAdded = FMayBeHeld = false;
}

bool TNotifyIcon::Balloon(const std::wstring& title, const std::wstring& text) {
    if (!FAdded)
        return false;
    NOTIFYICONDATAW data = Data(NIF_INFO);
    CopyText(data.szInfoTitle, title);
    CopyText(data.szInfo, text);
    data.dwInfoFlags = NIIF_WARNING;
    return CallShell(NIM_MODIFY, data) != FALSE;
}

} // namespace vantrel
