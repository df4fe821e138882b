#include "service/UsageRecord.h"

#include "model/Constants.h"
#include "model/Registry.h"

namespace vantrel {

namespace {

// The entry's path; false for names that would address another key.
bool EntryPath(const std::wstring& user, const std::wstring& computer, std::wstring& path) {
    if (user.empty() || computer.empty() || user.find(L'\\') != std::wstring::npos ||
        computer.find(L'\\') != std::wstring::npos)
        return false;
    path = std::wstring(kUsersKeyPath) + user + L"\\Computers\\" + computer;
    return true;
}

} // namespace

bool ReadComputerUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                       int weekday, int dayOfYear, int& minutes) {
    std::wstring path;
    TRegKey key;
    if (!EntryPath(user, computer, path) || key.Open(root, path, KEY_READ) != ERROR_SUCCESS)
        return false;
    int day = 0;
    return key.ReadInt(WeekdayValueName(L"DayOfYear", weekday).c_str(), day) == ERROR_SUCCESS &&
           day == dayOfYear &&
           key.ReadInt(WeekdayValueName(L"TimeUsage", weekday).c_str(), minutes) == ERROR_SUCCESS;
}

LONG WriteComputerUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                        int weekday, int dayOfYear, int minutes, bool createUser) {
    std::wstring path;
    if (!EntryPath(user, computer, path))
        return ERROR_INVALID_NAME;
    TRegKey key;
    if (!createUser) {
        const LONG rc = key.Open(root, std::wstring(kUsersKeyPath) + user, KEY_READ);
        if (rc != ERROR_SUCCESS)
            return rc;
        key.Close();
    }
    LONG rc = key.Create(root, path, KEY_SET_VALUE);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = key.WriteInt(WeekdayValueName(L"TimeUsage", weekday).c_str(), minutes);
    if (rc != ERROR_SUCCESS)
        return rc;
    return key.WriteInt(WeekdayValueName(L"DayOfYear", weekday).c_str(), dayOfYear);
}

} // namespace vantrel
