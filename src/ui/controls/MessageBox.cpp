#include "ui/controls/MessageBox.h"

namespace vantrel {

namespace {
TMessageBoxSeam& Seam() {
    static TMessageBoxSeam seam;
    return seam;
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
    if (Seam())
        return Seam()(owner, text, kind, buttons);
    UINT icon = MB_ICONINFORMATION;
    if (kind == TMsgKind::Warning)
        icon = MB_ICONWARNING;
    else if (kind == TMsgKind::Error)
        icon = MB_ICONERROR;
    else if (kind == TMsgKind::Confirm)
        icon = MB_ICONQUESTION;
    UINT type = buttons == TMsgButtons::YesNo ? MB_YESNO | MB_DEFBUTTON1 : MB_OK;
    return MessageBoxW(owner, text.c_str(), MessageKindTitle(kind), icon | type | MB_APPLMODAL);
}

} // namespace vantrel
