#include "tray/TrayTexts.h"

#include "model/Clock.h"
#include "model/WeekUsage.h"
#include "ui/UserList.h"

#include <algorithm>

namespace vantrel {

namespace {

constexpr long long kUnitsPerMinute = 600000000LL; // of 100 ns, as FILETIME counts
constexpr long long kUnitsPerDay = kUnitsPerMinute * 24 * 60;

constexpr const wchar_t* kWeekdayNames[7] = {L"Monday", L"Tuesday",  L"Wednesday", L"Thursday",
                                             L"Friday", L"Saturday", L"Sunday"};

long long Units(const FILETIME& time) {
    return static_cast<long long>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) |
                                  time.dwLowDateTime);
}

long long Units(const SYSTEMTIME& time) {
    FILETIME file{};
    return SystemTimeToFileTime(&time, &file) ? Units(file) : 0;
}

SYSTEMTIME ToSystemTime(const FILETIME& time) {
    SYSTEMTIME result{};
    FileTimeToSystemTime(&time, &result);
    return result;
}

// Whole days from the local date of `from` to the local date of `to`.
long long DaysBetween(SYSTEMTIME from, SYSTEMTIME to) {
    for (SYSTEMTIME* t : {&from, &to}) {
        t->wHour = 12;
        t->wMinute = t->wSecond = t->wMilliseconds = 0;
    }
    return (Units(to) - Units(from)) / kUnitsPerDay;
}

// When the user may use the computer again. The service counted the days from the day it wrote
// the figures; a day that began since then is one fewer.
std::wstring AgainText(const TUserFigures& figures) {
    if (figures.AgainDays < 0)
        return L"No time is allowed in the coming week";
    const SYSTEMTIME written = LocalTimeOf(ToSystemTime(figures.Written));
    const long long days = std::max(0LL, figures.AgainDays - DaysBetween(written, LocalNow()));
    const std::wstring at = L" at " + TimeOfDayText(figures.AgainAt, figures.Clock24);
    if (days == 0)
        return L"Allowed again today" + at;
    if (days == 1)
        return L"Allowed again tomorrow" + at;
    const std::wstring day = kWeekdayNames[(WeekdayOf(written) - 1 + figures.AgainDays) % 7];
    // In a week the weekday is today's own name.
    return (days >= 7 ? L"Allowed again next " : L"Allowed again on ") + day + at;
}

// A text as a sentence of its own; a time on the 12-hour clock may end it already.
std::wstring Sentence(const std::wstring& text) {
    return !text.empty() && text.back() == L'.' ? text : text + L".";
}

std::wstring BonusText(int bonus) {
    if (bonus == 0)
        return L"None";
    return bonus > 0 ? DurationText(bonus) : DurationText(bonus) + L" less";
}

std::wstring AllowedText(const TUserFigures& figures) {
    if (figures.AllowBegin >= figures.AllowEnd)
        return L"None";
    if (figures.AllowBegin <= 0 && figures.AllowEnd >= 24)
        return L"All day";
    return AllowedHoursText(figures.AllowBegin, figures.AllowEnd, figures.Clock24);
}

std::vector<TTrayLine> FigureLines(const TUserFigures& figures) {
    return {
        {L"Today's limit:", DurationText(figures.Limit)},
        {L"Bonus today:", BonusText(figures.Bonus)},
        {L"Used on all computers:", DurationText(figures.Used)},
        {L"Time left:", DurationText(figures.Left)},
        {L"Allowed hours today:", AllowedText(figures)},
        {L"When the time is up:",
         figures.LogsOff ? L"You are logged off" : L"You see a message but stay logged on"},
    };
}

} // namespace

std::wstring DurationText(long long minutes) {
    minutes = minutes < 0 ? -minutes : minutes;
    const long long hours = minutes / 60;
    const long long rest = minutes % 60;
    const auto count = [](long long n, const wchar_t* one, const wchar_t* many) {
        return std::to_wstring(n) + L" " + (n == 1 ? one : many);
    };
    std::wstring text;
    if (hours > 0)
        text = count(hours, L"hour", L"hours");
    if (rest > 0 || hours == 0)
        text += (text.empty() ? L"" : L" ") + count(rest, L"minute", L"minutes");
    return text;
}

TTrayView TrayViewOf(const TUserFigures* figures) {
    TTrayView view;
    if (!figures) {
        view.Summary = L"Nothing to show: you have no time limit here, or your time was not "
                       L"counted yet.";
        return view;
    }
    if (!figures->Limited) {
        view.Summary = L"You have no time limit on this computer.";
        return view;
    }
    view.ShowIcon = true;
    view.Lines = FigureLines(*figures);
    view.Share =
        BarPosition(figures->Left, static_cast<long long>(figures->Limit) + figures->Bonus);

    // More than three minutes, to the 100 ns: three minutes and a second are too old.
    const long long units = Units(UtcNow()) - Units(figures->Written);
    constexpr long long kStaleUnits = kStaleAfterMinutes * kUnitsPerMinute;
    if (units > kStaleUnits || units < -kStaleUnits) {
        // Old figures are not shown as the time left now.
        view.Picture = TTrayPicture::Stale;
        view.Share = 0;
        view.Tip = L"Time left unknown: these numbers are out of date";
        view.Summary = L"Your time left is not known: ";
        view.Summary += units > 0 ? L"these numbers are from " +
                                        DurationText(units / kUnitsPerMinute) + L" ago."
                                  : L"these numbers are out of date.";
        return view;
    }
    switch (figures->State) {
    case TFiguresState::TimeLeft:
        view.Picture = TTrayPicture::TimeLeft;
        view.Level = figures->Left <= kVeryLowMinutes ? TTrayLevel::VeryLow
                     : figures->Left <= kLowMinutes   ? TTrayLevel::Low
                                                      : TTrayLevel::Plenty;
        view.Tip = DurationText(figures->Left) + L" left today (until " +
                   TimeOfDayText(figures->Until, figures->Clock24) + L")";
        view.Summary = view.Tip;
        break;
    case TFiguresState::OutsideHours:
        view.Picture = TTrayPicture::OutsideHours;
        view.Tip = AgainText(*figures);
        view.Summary = L"You can't use the computer now. " + Sentence(view.Tip);
        break;
    case TFiguresState::OverLimit:
        view.Picture = TTrayPicture::OverLimit;
        view.Share = 0;
        view.Tip = AgainText(*figures);
        view.Summary = L"Your time for today is used up. " + Sentence(view.Tip);
        break;
    }
    return view;
}

} // namespace vantrel
