#include "model/WeekUsage.h"

#include "model/Clock.h"
#include "model/UserStore.h"

#include <algorithm>
#include <cwchar>

namespace vantrel {

namespace {

std::wstring DateText(const SYSTEMTIME& date, DWORD flags) {
    wchar_t text[128] = {};
    if (GetDateFormatW(LOCALE_USER_DEFAULT, flags, &date, nullptr, text, 128) <= 0)
        return std::wstring();
    return text;
}

std::wstring HourText(int hour, bool clock24, bool brief) {
    if (!brief)
        return TimeOfDayText(hour * 60, clock24);
    wchar_t text[32];
    if (clock24)
        std::swprintf(text, 32, L"%02d", hour);
    else
        std::swprintf(text, 32, L"%d%ls", hour % 12 == 0 ? 12 : hour % 12,
                      hour % 24 < 12 ? L"am" : L"pm");
    return text;
}

std::wstring PeriodText(const TDayUsage& day) {
    return AllowedHoursText(day.AllowBegin, day.AllowEnd, day.Clock24);
}

} // namespace

int TDayUsage::OverLimit() const {
    if (!Limited)
        return 0;
    return SaturatedInt(std::max(0LL, Minutes - std::max(0LL, Allowed())));
}

int TDayUsage::MinutesOn(const std::wstring& computer) const {
    for (const TUsageEntry& entry : Computers)
        if (entry.Computer == computer)
            return entry.Minutes;
    return 0;
}

std::wstring TimeOfDayText(int minuteOfDay, bool clock24) {
    const int hour = minuteOfDay / 60;
    const int minute = minuteOfDay % 60;
    wchar_t text[32];
    if (clock24)
        std::swprintf(text, 32, L"%02d:%02d", hour, minute);
    else
        std::swprintf(text, 32, L"%d:%02d %ls", hour % 12 == 0 ? 12 : hour % 12, minute,
                      hour % 24 < 12 ? L"a.m." : L"p.m.");
    return text;
}

std::wstring AllowedHoursText(int begin, int end, bool clock24, bool brief) {
    return HourText(begin, clock24, brief) + L"-" + HourText(end, clock24, brief);
}

TWeekUsage WeekUsageOf(const TQorUser& user, const SYSTEMTIME& today, const TUsageReader& read,
                       bool clock24) {
    TWeekUsage week;
    week.Username = user.Username;
    week.Limited = user.QorControl;
    for (int k = 6; k >= 0; --k) {
        TDayUsage day;
        day.Date = DaysBefore(today, k);
        day.Weekday = WeekdayOf(day.Date);
        day.DayOfYear = DayOfYearOf(day.Date);
        day.Limited = user.QorControl;
        day.Clock24 = clock24;
        day.TimeLimit = user.TimeLimit(day.Weekday);
        day.AllowBegin = user.AllowBegin(day.Weekday);
        day.AllowEnd = user.AllowEnd(day.Weekday);
        day.Bonus = user.BonusOf(day.DayOfYear, day.Date.wYear) ? user.BonusTime : 0;
        long long sum = 0;
        for (const std::wstring& line : read(day.Weekday, day.DayOfYear)) {
            TUsageEntry entry = ParseUsageEntry(line);
            if (entry.Minutes < 1)
                continue;
            sum += entry.Minutes;
            if (std::find(week.Computers.begin(), week.Computers.end(), entry.Computer) ==
                week.Computers.end())
                week.Computers.push_back(entry.Computer);
            day.Computers.push_back(std::move(entry));
        }
        day.Minutes = SaturatedInt(sum);
        week.Days.push_back(std::move(day));
    }
    return week;
}

TWeekUsage ReadWeekUsage(const TQorUser& user, bool remote, const std::wstring& remoteComputer,
                         const SYSTEMTIME& today, bool clock24) {
    return WeekUsageOf(
        user, today,
        [&](int weekday, int dayOfYear) {
            std::vector<std::wstring> list;
            ReadUsagePerComputer(user, remote, remoteComputer, list, weekday, dayOfYear);
            return list;
        },
        clock24);
}

std::wstring HoursText(long long minutes) {
    const long long magnitude = minutes < 0 ? -minutes : minutes;
    wchar_t text[32];
    std::swprintf(text, 32, L"%ls%lld:%02lld", minutes < 0 ? L"-" : L"", magnitude / 60,
                  magnitude % 60);
    return text;
}

std::wstring DayUsageText(const TDayUsage& day) {
    std::wstring text =
        DateText(day.Date, DATE_LONGDATE) + L": " + HoursText(day.Minutes) + L" used";
    if (!day.Computers.empty()) {
        text += L" (";
        for (size_t i = 0; i < day.Computers.size(); ++i)
            text += (i ? L", " : L"") + day.Computers[i].Computer + L" " +
                    HoursText(day.Computers[i].Minutes);
        text += L")";
    }
    if (!day.Limited)
        return text + L". No time limits.";
    text += L". Time limit " + HoursText(day.TimeLimit);
    if (day.Bonus != 0)
        text += L", bonus " + HoursText(day.Bonus);
    if (day.OverLimit() > 0)
        text += L", " + HoursText(day.OverLimit()) + L" over the limit";
    text += L". Allowed hours " + PeriodText(day);
    // "8:00 p.m." ends the sentence itself.
    return text.back() == L'.' ? text : text + L".";
}

std::wstring WeekUsageTable(const TWeekUsage& week) {
    std::wstring text = L"Date";
    for (const std::wstring& computer : week.Computers)
        text += L"\t" + computer;
    text += L"\tTotal\tTime limit\tBonus\tOver the limit\tAllowed hours\r\n";
    for (const TDayUsage& day : week.Days) {
        text += DateText(day.Date, DATE_SHORTDATE);
        for (const std::wstring& computer : week.Computers)
            text += L"\t" + HoursText(day.MinutesOn(computer));
        text += L"\t" + HoursText(day.Minutes);
        if (day.Limited)
            text += L"\t" + HoursText(day.TimeLimit) + L"\t" + HoursText(day.Bonus) + L"\t" +
                    HoursText(day.OverLimit()) + L"\t" + PeriodText(day);
        else
            text += L"\t\t\t\t";
        text += L"\r\n";
    }
    return text;
}

} // namespace vantrel
