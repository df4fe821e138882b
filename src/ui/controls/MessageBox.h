#pragma once
// Every message to the administrator goes through ShowMessage, so that tests can watch and
// answer it. The kind sets icon and title: "Warning", "Error", "Information", "Confirm".
#include <windows.h>

#include <functional>
#include <string>

namespace vantrel {

enum class TMsgKind { Warning, Error, Information, Confirm };
enum class TMsgButtons { OK, YesNo };

// Returns IDOK for a box with OK; IDYES or IDNO for a question, where Escape (and closing the
// box) answers No and Enter the default Yes. 0 when no box could be shown. While a modal
// dialog is open over `owner`, the box belongs to that dialog instead (the seam, too, receives
// the dialog).
int ShowMessage(HWND owner, const std::wstring& text, TMsgKind kind,
                TMsgButtons buttons = TMsgButtons::OK);

// Replaces the real message box; an empty function restores it.
using TMessageBoxSeam =
    std::function<int(HWND owner, const std::wstring& text, TMsgKind kind, TMsgButtons buttons)>;
void SetMessageBoxSeam(TMessageBoxSeam seam);

const wchar_t* MessageKindTitle(TMsgKind kind);

} // namespace vantrel
