#include "reports/UsageReport.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "model/UsageEntry.h"
#include "win/Handle.h"
#include "win/Files.h"
#include "win/SystemError.h"

#include <climits>
#include <cwchar>
#include <vector>

namespace vantrel {

namespace {

const wchar_t kNewLine[] = L"\r\n";
const char kByteOrderMark[] = "\xEF\xBB\xBF";

std::wstring Separator() {
    return std::wstring(79, L'-');
}

// Only a to z: accented letters keep their case, as the report has always shown them.
std::wstring UpperAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}

// Pads on the right to `width` characters and never cuts. A character outside the basic
// plane is one character, though it takes two UTF-16 units.
std::wstring Pad(const std::wstring& text, size_t width) {
    size_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])))
            ++length;
    }
    return length >= width ? text : text + std::wstring(width - length, L' ');
}

std::wstring LongDate(const SYSTEMTIME& day) {
    int size = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &day, nullptr, nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(size), L'\0');
    size = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &day, nullptr, &text[0], size);
    text.resize(size > 0 ? static_cast<size_t>(size - 1) : 0);
    return text;
}

// The computers that recorded a minute or more, in the list's order.
std::vector<TUsageEntry> ParseUsage(const std::vector<std::wstring>& list) {
    std::vector<TUsageEntry> result;
    for (const std::wstring& line : list) {
        TUsageEntry entry = ParseUsageEntry(line);
        if (entry.Minutes >= 1)
            result.push_back(std::move(entry));
    }
    return result;
}

// ERROR_SUCCESS, or the system's code of the write that failed.
DWORD WriteAll(HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr))
            return GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        data += written;
        size -= written;
    }
    return ERROR_SUCCESS;
}

} // namespace

std::wstring UsageReportFileName(const SYSTEMTIME& now) {
    wchar_t stamp[32];
    std::swprintf(stamp, 32, L"%04u%02u%02u_%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute);
    return std::wstring(L"QOR_Report_") + stamp + L".txt";
}

std::wstring UsageReportHeading() {
    return Separator() + kNewLine +
           UpperAscii(std::wstring(L"Time Usage Report - ") + kProductName + L" " + kVersionText +
                      L" ") +
           kNewLine + Separator() + kNewLine;
}

std::wstring UsageReportBody(TQorUsers& users, const TQorPrefs& prefs, const SYSTEMTIME& now) {
    const int todayWeekday = WeekdayOf(now);
    const int todayDayOfYear = DayOfYearOf(now);
    std::vector<long long> week(static_cast<size_t>(users.Count()), 0);
    for (int i = 0; i < users.Count(); ++i)
        users.Items(i).WeekTimeUsage = 0;

    std::wstring text;
    std::vector<std::wstring> list;
    for (int k = 0; k <= 6; ++k) {
        const int dayOfYear = todayDayOfYear - k;
        if (dayOfYear < 1)
            break; // the day lies in the previous year, and so does every older one
        const int weekday = (todayWeekday - 1 - k + 7) % 7 + 1;
        text += kNewLine + UpperAscii(LongDate(DaysBefore(now, k))) + kNewLine + kNewLine;
        for (int i = 0; i < users.Count(); ++i) {
            TQorUser& user = users.Items(i);
            ReadUsagePerComputer(user, prefs.UseRemoteRegistry, prefs.RemoteRegistry, list, weekday,
                                 dayOfYear);
            const std::vector<TUsageEntry> usage = ParseUsage(list);
            if (usage.empty())
                continue;
            long long sum = 0;
            for (const TUsageEntry& computer : usage)
                sum += computer.Minutes;
            week[static_cast<size_t>(i)] += sum;
            user.WeekTimeUsage = SaturatedInt(week[static_cast<size_t>(i)]);
            text += L"  USER: " + Pad(user.Username, 20) + L"   TIME USAGE: " +
                    Pad(FormatMinutes(SaturatedInt(sum)), 10) + kNewLine;
            if (prefs.RptTimeUsagePerComputer) {
                for (const TUsageEntry& computer : usage)
                    text += L"    Computer: " + Pad(computer.Computer, 14) + L"   Time usage: " +
                            Pad(FormatMinutes(computer.Minutes), 10) + kNewLine;
                text += kNewLine;
            }
        }
        if (!prefs.RptTimeUsagePerComputer)
            text += kNewLine;
        text += Separator() + kNewLine;
    }

    text += std::wstring(kNewLine) + L"TOTAL TIME USAGE THIS WEEK" + kNewLine + kNewLine;
    for (int i = 0; i < users.Count(); ++i) {
        const TQorUser& user = users.Items(i);
        // A whole number divided by 7 never ends in exactly one half.
        const long long average = (static_cast<long long>(user.WeekTimeUsage) * 2 + 7) / 14;
        text += L"  USER: " + Pad(user.Username, 20) + L"   TIME USAGE: " +
                Pad(FormatMinutes(user.WeekTimeUsage), 10) + L" AVERAGE PER DAY: " +
                Pad(FormatMinutes(SaturatedInt(average)), 10) + kNewLine;
    }
    text += kNewLine + Separator() + kNewLine;
    return text;
}

std::string EncodeReportText(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const UINT codePage = GetACP();
    // With UTF-8 as the ANSI code page every character has its place.
    if (codePage == CP_UTF8)
        return ToUtf8(text);
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0,
                                   nullptr, &usedDefault);
    if (size > 0 && !usedDefault) {
        std::string bytes(static_cast<size_t>(size), '\0');
        if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), length, &bytes[0],
                                size, nullptr, &usedDefault) == size &&
            !usedDefault)
            return bytes;
    }
    return kByteOrderMark + ToUtf8(text);
}

TUsageReport WriteUsageReport(TQorUsers& users, const TQorPrefs& prefs) {
    TUsageReport report;
    const SYSTEMTIME now = LocalNow();
    const std::wstring temp = EnvironmentVariable(L"TEMP");
    if (temp.empty())
        return report;
    report.Path = FullPath(temp + L"\\" + UsageReportFileName(now));
    report.State = TUsageReportState::NotCreated;
    THandle file(CreateFileW(report.Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        report.Error = GetLastError();
        return report;
    }

    const std::wstring heading = UsageReportHeading();
    const std::string bytes = EncodeReportText(heading + UsageReportBody(users, prefs, now));
    // The heading is plain ASCII, so it takes as many bytes as characters in either encoding,
    // behind the byte-order mark when there is one.
    size_t headingBytes = heading.size();
    if (bytes.compare(0, 3, kByteOrderMark) == 0)
        headingBytes += 3;
    report.Error = WriteAll(file.Get(), bytes.data(), headingBytes);
    if (report.Error != ERROR_SUCCESS)
        return report;
    report.Error = WriteAll(file.Get(), bytes.data() + headingBytes, bytes.size() - headingBytes);
    file.Close();
    report.State =
        report.Error == ERROR_SUCCESS ? TUsageReportState::Written : TUsageReportState::NotWritten;
    return report;
}

} // namespace vantrel
