#pragma once
// What the model's tests share: the day the clock seam gives them.
#include <windows.h>

namespace vantrel {

// Wednesday 10 June 2026, noon: weekday 3, day of the year 161.
inline SYSTEMTIME TestWednesday() {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 6;
    t.wDay = 10;
    t.wDayOfWeek = 3;
    t.wHour = 12;
    return t;
}

} // namespace vantrel
