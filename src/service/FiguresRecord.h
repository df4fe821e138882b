#pragma once
// The figures of each user with a session here (model/UserFigures.h), kept under the service's
// own key in a key per user that only SYSTEM and the Administrators may change and that the
// user may read. The service never reads them back: nothing done to them changes what it
// enforces.
#include "model/UserFigures.h"

#include <windows.h>

#include <string>

namespace vantrel {

// Who may read the figures of an account, as an SDDL trustee: the account's own SID when the
// system knows the name as a user account; otherwise "BU", the computer's Users, with the
// system's code of the failed lookup in `error` (ERROR_NONE_MAPPED for a name that is not a
// user's). An account the system cannot look up still needs its figures, and they tell no more
// than the time its user may use this computer today.
std::wstring FiguresReader(const std::wstring& user, DWORD& error);

// Writes the user's figures, making the key with the protected access list
// "D:P(A;;KA;;;SY)(A;;KA;;;BA)(A;;KR;;;<reader>)"; with `secure` the key is given that list also
// when it was there before (made for an earlier account of the name, or changed since). The
// system's code; ERROR_INVALID_NAME for a name that cannot be a key's. With `before` (the
// figures of the last writing that succeeded, while the key was not made again since) only the
// values that changed are written (WriteUserFigures).
LONG WriteFiguresRecord(const std::wstring& user, const std::wstring& reader, bool secure,
                        const TUserFigures& figures, const TUserFigures* before = nullptr);

} // namespace vantrel
