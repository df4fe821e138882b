#include "ui/controls/MessageBox.h"

#include <commctrl.h>

namespace vantrel {

namespace {

TMessageBoxSeam& Seam() {
    static TMessageBoxSeam seam;
    return seam;
}

// A Yes/No box has no Cancel button, and the system's box then ignores Escape (Windows) or
// ends with IDCANCEL (Wine). The box is subclassed so that Escape, which reaches a dialog as
// the command IDCANCEL, answers No. The box window is only reachable while MessageBoxW runs,
// so a hook of this thread alone is set for exactly that time and catches the box's
// activation.
struct TYesNoWatch {
    HHOOK Hook = nullptr;
    bool Found = false;
};
thread_local TYesNoWatch* CurrentWatch = nullptr;

constexpr UINT_PTR kEscapeSubclassId = 1;

LRESULT CALLBACK EscapeAnswersNo(HWND box, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR) {
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(box, IDNO);
        return 0;
    }
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(box, EscapeAnswersNo, id);
    return DefSubclassProc(box, msg, wParam, lParam);
}

bool IsDialogWindow(HWND window) {
    wchar_t name[16] = {};
    return GetClassNameW(window, name, 16) && lstrcmpW(name, L"#32770") == 0;
}

LRESULT CALLBACK WatchForTheBox(int code, WPARAM wParam, LPARAM lParam) {
    TYesNoWatch* watch = CurrentWatch;
    if (code == HCBT_ACTIVATE && watch && !watch->Found) {
        HWND window = reinterpret_cast<HWND>(wParam);
        // The first dialog activated after the call is the box itself.
        if (IsDialogWindow(window) &&
            SetWindowSubclass(window, EscapeAnswersNo, kEscapeSubclassId, 0))
            watch->Found = true;
    }
    return CallNextHookEx(watch ? watch->Hook : nullptr, code, wParam, lParam);
}

int YesNoBox(HWND owner, const std::wstring& text, const wchar_t* title, UINT type) {
    TYesNoWatch watch;
    TYesNoWatch* outer = CurrentWatch;
    CurrentWatch = &watch;
    watch.Hook = SetWindowsHookExW(WH_CBT, WatchForTheBox, nullptr, GetCurrentThreadId());
    const int result = MessageBoxW(owner, text.c_str(), title, type);
    if (watch.Hook)
        UnhookWindowsHookEx(watch.Hook);
    CurrentWatch = outer;
    return result;
}

// While a modal dialog is open over `owner` (which it disabled), the box belongs to the dialog:
// owned by the disabled window, the box would leave the dialog usable on top of it.
HWND BoxOwner(HWND owner) {
    HWND top = owner && IsWindow(owner) ? GetAncestor(owner, GA_ROOT) : nullptr;
    if (!top || IsWindowEnabled(top))
        return owner;
    HWND popup = GetLastActivePopup(top);
    if (popup && popup != top && IsWindowVisible(popup) && IsWindowEnabled(popup))
        return popup;
    return owner;
}

} // namespace

const wchar_t* MessageKindTitle(TMsgKind kind) {
    switch (kind) {
    case TMsgKind::Warning:
        return L"Warning";
    case TMsgKind::Error:
        return L"Error";
    case TMsgKind::Information:
        return L"Information";
    case TMsgKind::Confirm:
        return L"Confirm";
    }
    return L"";
}

void SetMessageBoxSeam(TMessageBoxSeam seam) {
    Seam() = std::move(seam);
}

int ShowMessage(HWND owner, const std::wstring& text, TMsgKind kind, TMsgButtons buttons) {
    owner = BoxOwner(owner);
    if (Seam())
        return Seam()(owner, text, kind, buttons);
    UINT icon = MB_ICONINFORMATION;
    if (kind == TMsgKind::Warning)
        icon = MB_ICONWARNING;
    else if (kind == TMsgKind::Error)
        icon = MB_ICONERROR;
    else if (kind == TMsgKind::Confirm)
        icon = MB_ICONQUESTION;
    const wchar_t* title = MessageKindTitle(kind);
    if (buttons == TMsgButtons::YesNo) {
        const int answer =
            YesNoBox(owner, text, title, icon | MB_YESNO | MB_DEFBUTTON1 | MB_APPLMODAL);
        if (answer == 0)
            return 0;
        return answer == IDYES ? IDYES : IDNO;
    }
    const int answer = MessageBoxW(owner, text.c_str(), title, icon | MB_OK | MB_APPLMODAL);
    // Escape closes a box with only OK: that is its one answer (Wine reports IDCANCEL).
    return answer == 0 ? 0 : IDOK;
}

} // namespace vantrel
