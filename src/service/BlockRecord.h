#pragma once
// Which users were told to stop today, kept where only SYSTEM and the Administrators may write:
// under the service's own key. A service process that starts afresh (Windows restarted, which
// any user may do, or the service manager restarted it after a failure) goes on with such a
// block instead of giving its user a new message and a new grace before the log-off.
#include <windows.h>

#include <string>

namespace vantrel {

// Under the key of the service "QORsvc" as `QORsvc.exe --install` registers it; one REG_DWORD
// per user (value names, like account names, ignore case): the date the block
// began, as BlockDate gives it.
inline constexpr wchar_t kBlockRecordKeyPath[] =
    L"SYSTEM\\CurrentControlSet\\Services\\QORsvc\\Blocks";

// A date as one number: year * 1000 + day of the year.
inline int BlockDate(const SYSTEMTIME& local, int dayOfYear) {
    return local.wYear * 1000 + dayOfYear;
}

// The date the user's block began; false when none is recorded (or the record is not a date).
bool RecordedBlock(const std::wstring& user, int& date);
// The system's codes; ending a block that is not recorded succeeds.
LONG RecordBlock(const std::wstring& user, int date);
LONG EndRecordedBlock(const std::wstring& user);

} // namespace vantrel
