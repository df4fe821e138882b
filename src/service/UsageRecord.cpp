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

std::wstring Suffixed(const wchar_t* family, int weekday) {
    const int index = weekday >= 1 && weekday <= 7 ? weekday - 1 : 0;
    return std::wstring(family) + kDaySuffix[index];
}

} // namespace

bool ReadComputerUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                       int weekday, int dayOfYear, int& minutes) {
    std::wstring path;
    TRegKey key;
    if (!EntryPath(user, computer, path) || key.Open(root, path, KEY_READ) != ERROR_SUCCESS)
        return false;
    int day = 0;
    return key.ReadInt(Suffixed(L"DayOfYear", weekday).c_str(), day) == ERROR_SUCCESS &&
           day == dayOfYear &&
           key.ReadInt(Suffixed(L"TimeUsage", weekday).c_str(), minutes) == ERROR_SUCCESS;
}

LONG WriteComputerUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                        int weekday, int dayOfYear, int minutes) {
    std::wstring path;
    if (!EntryPath(user, computer, path))
        return ERROR_INVALID_NAME;
    TRegKey key;
    LONG rc = key.Create(root, path, KEY_SET_VALUE);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = key.WriteInt(Suffixed(L"TimeUsage", weekday).c_str(), minutes);
    if (rc != ERROR_SUCCESS)
        return rc;
    return key.WriteInt(Suffixed(L"DayOfYear", weekday).c_str(), dayOfYear);
}

} // namespace vantrel
