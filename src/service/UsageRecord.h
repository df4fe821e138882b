#pragma once
// The one part of the store that only the service writes: this computer's usage entry of a
// user, "System\QOR\Users\<user>\Computers\<computer>", with "TimeUsage<day>" and
// "DayOfYear<day>" per weekday.
#include <windows.h>

#include <string>

namespace vantrel {

// True when the entry holds minutes of that day of the year (its "DayOfYear<day>" matches);
// minutes is changed only then.
bool ReadComputerUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                       int weekday, int dayOfYear, int& minutes);
// Writes the minutes of the day, creating the entry when needed; the system's code.
// "TimeUsage<day>" goes first, so that a reader between the two writes never takes last
// week's minutes for today's. Without createUser, a store that has no key for the user gets
// none (ERROR_FILE_NOT_FOUND): usage never makes a key that would stand for the user's settings.
LONG WriteComputerUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                        int weekday, int dayOfYear, int minutes, bool createUser = true);

} // namespace vantrel
