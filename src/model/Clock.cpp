#include "model/Clock.h"

namespace vantrel {

namespace {
std::function<SYSTEMTIME()>& Seam() {
    static std::function<SYSTEMTIME()> seam;
    return seam;
}

std::function<ULONGLONG()>& MonotonicSeam() {
    static std::function<ULONGLONG()> seam;
    return seam;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}
} // namespace

void SetClockSeam(std::function<SYSTEMTIME()> now) {
    Seam() = std::move(now);
}

SYSTEMTIME LocalNow() {
    if (Seam())
        return Seam()();
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return now;
}

void SetMonotonicSeam(std::function<ULONGLONG()> now) {
    MonotonicSeam() = std::move(now);
}

ULONGLONG MonotonicMs() {
    if (MonotonicSeam())
        return MonotonicSeam()();
    ULONGLONG units = 0; // 100 ns
    QueryUnbiasedInterruptTime(&units);
    return units / 10000;
}

int WeekdayOf(const SYSTEMTIME& t) {
    // SYSTEMTIME counts Sunday as 0; ours runs Monday = 1 to Sunday = 7.
    return t.wDayOfWeek == 0 ? 7 : t.wDayOfWeek;
}

int DayOfYearOf(const SYSTEMTIME& t) {
    static const int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int month = t.wMonth >= 1 && t.wMonth <= 12 ? t.wMonth : 1;
    int day = kDaysBefore[month - 1] + t.wDay;
    if (month > 2 && IsLeapYear(t.wYear))
        ++day;
    return day;
}

} // namespace vantrel
