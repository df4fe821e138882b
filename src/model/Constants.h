#pragma once
// Names and texts that this program and the time-limit service agree on.

#include <string>

namespace vantrel {

inline constexpr wchar_t kProductName[] = L"Vantrel";
inline constexpr wchar_t kVersionText[] = L"1.0.0";

inline constexpr wchar_t kUsersKeyPath[] = L"System\\QOR\\Users\\";
inline constexpr wchar_t kPreferencesKeyPath[] = L"System\\QOR\\Preferences\\";

inline constexpr wchar_t kDefaultNotAllowedText[] =
    L"You are not allowed to access the computer at this time. Press OK to logoff.";
inline constexpr wchar_t kDefaultWarningText[] =
    L"You have %d minutes left before your time limit ends for today.";
inline constexpr wchar_t kDefaultReachedLimitText[] =
    L"You have reached your time limit for today. Press OK to logoff.";

inline constexpr wchar_t kPipeName[] = L"QorPipe";
inline constexpr wchar_t kEventLogFileName[] = L"QORevents.log";
inline constexpr wchar_t kHelpFileName[] = L"QORHelp.chm";

// The one message the program sends to the service after every saved change.
inline constexpr char kServiceMessage[] = "40, QORsvc";

// Weekday suffixes of the registry value families, Monday (1) to Sunday (7).
inline constexpr const wchar_t* kDaySuffix[7] = {L"Mon", L"Tue", L"Wed", L"Thu",
                                                 L"Fri", L"Sat", L"Sun"};

// A value of a family for a weekday, "TimeLimit" and 3 giving "TimeLimitWed"; a weekday out of
// range names Monday's value.
inline std::wstring WeekdayValueName(const wchar_t* family, int weekday) {
    return std::wstring(family) + kDaySuffix[weekday >= 1 && weekday <= 7 ? weekday - 1 : 0];
}

} // namespace vantrel
