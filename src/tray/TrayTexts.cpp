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

std::wstring LeftText(int left) {
    if (left <= 0)
        return L"not allowed now";
    return std::to_wstring(left) + (left == 1 ? L" minute left today" : L" minutes left today");
}

std::wstring MoreProgramsText(size_t count) {
    return L"and " + std::to_wstring(count) + (count == 1 ? L" more program" : L" more programs");
}

// A name shortened for the tool tip, so that the first program always finds room there.
constexpr size_t kTipNameMost = 30;

std::wstring TipName(const std::wstring& name) {
    if (name.size() <= kTipNameMost)
        return name;
    size_t cut = kTipNameMost - 1;
    if (name[cut - 1] >= 0xD800 && name[cut - 1] <= 0xDBFF)
        --cut;
    return name.substr(0, cut) + L"\x2026";
}

std::vector<TProgramLeft> ProgramsByTimeLeft(std::vector<TProgramLeft> programs) {
    std::stable_sort(programs.begin(), programs.end(),
                     [](const TProgramLeft& a, const TProgramLeft& b) {
                         return std::max(a.Left, 0) < std::max(b.Left, 0);
                     });
    return programs;
}

std::vector<TTrayLine> ProgramLines(const std::vector<TProgramLeft>& programs) {
    std::vector<TTrayLine> lines;
    for (const TProgramLeft& program : programs) {
        if (lines.size() == kProgramLinesShown) {
            lines.push_back({L"", MoreProgramsText(programs.size() - kProgramLinesShown)});
            break;
        }
        lines.push_back({program.Name + L":", LeftText(program.Left)});
    }
    return lines;
}

// The tip and a line per program for as many as it has room for, least time left first; the
// rest are counted when they do not all fit.
std::wstring TipWithPrograms(std::wstring tip, const std::vector<TProgramLeft>& programs) {
    for (size_t i = 0; i < programs.size(); ++i) {
        const std::wstring line =
            L"\n" + ProgramLeftText(TProgramLeft{TipName(programs[i].Name), programs[i].Left});
        const size_t after = programs.size() - i - 1;
        const size_t room = after == 0 ? 0 : 1 + MoreProgramsText(after).size();
        if (tip.size() + line.size() + room > kTipMost)
            return tip + L"\n" + MoreProgramsText(programs.size() - i);
        tip += line;
    }
    return tip;
}

} // namespace

std::wstring ProgramLeftText(const TProgramLeft& program) {
    return program.Name + L": " + LeftText(program.Left);
}

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
    const std::vector<TProgramLeft> programs = ProgramsByTimeLeft(figures->Programs);
    view.Programs = ProgramLines(programs);
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
    view.Tip = TipWithPrograms(view.Tip, programs);
    return view;
}

} // namespace vantrel
