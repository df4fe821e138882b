#include "ui/ServiceStatus.h"

#include "model/WeekUsage.h"
#include "ui/Resources.h"

namespace vantrel {

namespace {

std::wstring Names(const std::vector<TUnfinishedLogoff>& logoffs, bool failed) {
    std::wstring names;
    for (const TUnfinishedLogoff& logoff : logoffs) {
        if (logoff.Failed == failed)
            names += (names.empty() ? L"" : L", ") + logoff.User;
    }
    return names;
}

bool SameDate(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

// The date before `day` (at noon, where no daylight-saving shift can move it).
SYSTEMTIME DayBefore(SYSTEMTIME day) {
    day.wHour = 12;
    day.wMinute = day.wSecond = day.wMilliseconds = 0;
    FILETIME file{};
    if (!SystemTimeToFileTime(&day, &file))
        return day;
    ULARGE_INTEGER value{};
    value.LowPart = file.dwLowDateTime;
    value.HighPart = file.dwHighDateTime;
    value.QuadPart -= 24ULL * 3600 * 10000000;
    file.dwLowDateTime = value.LowPart;
    file.dwHighDateTime = value.HighPart;
    SYSTEMTIME before = day;
    FileTimeToSystemTime(&file, &before);
    return before;
}

} // namespace

std::wstring StatusTimeText(const SYSTEMTIME& time, const SYSTEMTIME& today, bool clock24) {
    const std::wstring clock = TimeOfDayText(time.wHour * 60 + time.wMinute, clock24);
    if (SameDate(time, today))
        return clock;
    if (SameDate(time, DayBefore(today)))
        return L"yesterday " + clock;
    wchar_t date[80] = {};
    SYSTEMTIME day = time;
    day.wDayOfWeek = 0;
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &day, nullptr, date, 80,
                        nullptr) <= 0)
        std::swprintf(date, 80, L"%04u-%02u-%02u", time.wYear, time.wMonth, time.wDay);
    return std::wstring(date) + L" " + clock;
}

TServiceStatus ServiceStatusOf(const TServiceView& view) {
    const TServiceNews* news = view.News;
    const auto at = [&view](const SYSTEMTIME& time) {
        return StatusTimeText(time, view.Today, view.Clock24);
    };
    // Whether the service runs cannot be told: if it does, it counts and enforces all the same.
    if (view.Link == TServiceLink::Stranger)
        return {L"Time-limit service not reached: another program serves its pipe",
                L"A program started without administrator rights serves \\\\.\\pipe\\QorPipe, so "
                L"Vantrel ignores it and cannot tell the service of changes. If the service runs, "
                L"its log names that program: end it, then restart \"Vantrel time-limit "
                L"service\".",
                IDI_SERVICE_WARNING};
    if (view.Link == TServiceLink::None)
        return {L"Time-limit service not running: limits are not enforced",
                L"Click here, or choose Tools, Start time-limit service, to start it. Until it "
                L"runs, no minute is counted and nobody is logged off.",
                IDI_SERVICE_STOPPED, true};
    if (view.Silent)
        return {L"Service not responding since " + at(view.SilentSince) +
                    L": limits may not be enforced",
                L"The service has told of no counted minute for more than two minutes. Look in its "
                L"log (Tools, View logfile) for the reason, then restart \"Vantrel time-limit "
                L"service\" in Services (services.msc).",
                IDI_SERVICE_NOT_RESPONDING};
    if (news && !news->Logoffs.empty()) {
        const std::wstring failed = Names(news->Logoffs, true);
        const std::wstring pending = Names(news->Logoffs, false);
        std::wstring text = !failed.empty()
                                ? L"Time is up, but " + failed + L" could not be logged off"
                                : L"Time is up: logging off " + pending + L", not done yet";
        if (!failed.empty() && !pending.empty())
            text += L"; logging off " + pending;
        return {text,
                L"Until the log-off succeeds, the computer can still be used. The service tries "
                L"again every minute; its log (Tools, View logfile) says why Windows refused. You "
                L"can sign the user out yourself in Task Manager, on the Users page.",
                IDI_SERVICE_WARNING};
    }
    if (news && news->Store == TStoreState::Unreachable)
        return {L"Network store not reachable since " + at(news->StoreDownSince) +
                    L": counting on this computer",
                L"Check that the network computer named in Preferences is on and that its Remote "
                L"Registry service runs. Minutes counted meanwhile go to the network store once "
                L"it answers; the list shows this computer's figures.",
                IDI_STORE_LOCAL};
    return {news && news->Counted ? L"Service running, last minute " + at(news->LastMinute)
                                  : std::wstring(L"Service running"),
            L"The time-limit service counts the minutes of the monitored users and enforces "
            L"their limits; the list follows it minute by minute. Nothing needs to be done.",
            IDI_PADLOCK};
}

DWORD StartTimeLimitService() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return GetLastError();
    DWORD result = ERROR_SUCCESS;
    SC_HANDLE service = OpenServiceW(manager, L"QORsvc", SERVICE_START);
    if (!service)
        result = GetLastError();
    else if (!StartServiceW(service, 0, nullptr))
        result = GetLastError();
    if (result == ERROR_SERVICE_ALREADY_RUNNING)
        result = ERROR_SUCCESS;
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}

} // namespace vantrel
