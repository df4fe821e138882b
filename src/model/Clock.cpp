#include "model/Clock.h"

#include "model/Constants.h"
#include "model/Registry.h"
#include "win/Lock.h"

#include <cstring>
#include <cwchar>

namespace vantrel {

namespace {

constexpr wchar_t kZoneValue[] = L"EnforcementTimeZone";
// The record as an administrator's process (the service, Vantrel) last read it well, beside it:
// a process that starts while the record cannot be read takes the zone the others kept.
constexpr wchar_t kKeptZoneValue[] = L"EnforcementTimeZoneKept";

std::function<TClockReading()>& Seam() {
    static std::function<TClockReading()> seam;
    return seam;
}

std::function<ULONGLONG()>& MonotonicSeam() {
    static std::function<ULONGLONG()> seam;
    return seam;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

TClockReading SystemReading() {
    TClockReading reading;
    GetSystemTime(&reading.Utc);
    if (GetDynamicTimeZoneInformation(&reading.Zone) == TIME_ZONE_ID_INVALID)
        reading.Zone = DYNAMIC_TIME_ZONE_INFORMATION{};
    return reading;
}

TClockReading Reading() {
    return Seam() ? Seam()() : SystemReading();
}

bool SameRules(const DYNAMIC_TIME_ZONE_INFORMATION& a, const DYNAMIC_TIME_ZONE_INFORMATION& b) {
    return a.Bias == b.Bias && a.StandardBias == b.StandardBias &&
           a.DaylightBias == b.DaylightBias &&
           std::memcmp(&a.StandardDate, &b.StandardDate, sizeof(SYSTEMTIME)) == 0 &&
           std::memcmp(&a.DaylightDate, &b.DaylightDate, sizeof(SYSTEMTIME)) == 0;
}

// The zone's rules for a year. A zone the system knows by name has rules per year (they changed
// in many countries); a zone without a name, or without daylight saving, has the rules it holds.
TIME_ZONE_INFORMATION RulesOf(const DYNAMIC_TIME_ZONE_INFORMATION& zone, WORD year) {
    // The rules for a year are read from the registry's zone list; a minute reads them once.
    static TCriticalSection lock;
    static DYNAMIC_TIME_ZONE_INFORMATION cachedZone{};
    static WORD cachedYear = 0;
    static TIME_ZONE_INFORMATION cachedRules{};
    if (zone.TimeZoneKeyName[0] && !zone.DynamicDaylightTimeDisabled) {
        TLockGuard guard(lock);
        if (cachedYear == year && std::memcmp(&cachedZone, &zone, sizeof(zone)) == 0)
            return cachedRules;
        DYNAMIC_TIME_ZONE_INFORMATION named = zone;
        TIME_ZONE_INFORMATION rules{};
        if (GetTimeZoneInformationForYear(year, &named, &rules)) {
            cachedZone = zone;
            cachedYear = year;
            cachedRules = rules;
            return rules;
        }
    }
    TIME_ZONE_INFORMATION rules{};
    rules.Bias = zone.Bias;
    std::memcpy(rules.StandardName, zone.StandardName, sizeof(rules.StandardName));
    std::memcpy(rules.DaylightName, zone.DaylightName, sizeof(rules.DaylightName));
    rules.StandardBias = zone.StandardBias;
    rules.DaylightBias = zone.DaylightBias;
    if (!zone.DynamicDaylightTimeDisabled) {
        rules.StandardDate = zone.StandardDate;
        rules.DaylightDate = zone.DaylightDate;
    }
    return rules;
}

ULONGLONG ToUnits(const SYSTEMTIME& t) {
    FILETIME file{};
    if (!SystemTimeToFileTime(&t, &file))
        return 0;
    return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

// The time moved by the minutes, with its weekday; the time unchanged if it cannot be converted.
SYSTEMTIME Shifted(const SYSTEMTIME& t, long long minutes) {
    const ULONGLONG units = ToUnits(t);
    if (!units)
        return t;
    const ULONGLONG moved = units + static_cast<ULONGLONG>(minutes * 600000000LL);
    FILETIME file{static_cast<DWORD>(moved), static_cast<DWORD>(moved >> 32)};
    SYSTEMTIME result{};
    return FileTimeToSystemTime(&file, &result) ? result : t;
}

SYSTEMTIME ToLocal(const DYNAMIC_TIME_ZONE_INFORMATION& zone, const SYSTEMTIME& utc) {
    const TIME_ZONE_INFORMATION rules = RulesOf(zone, utc.wYear);
    SYSTEMTIME local{};
    // Rules the system refuses (a damaged record) still have an offset.
    if (!SystemTimeToTzSpecificLocalTime(&rules, &utc, &local))
        return Shifted(utc, -static_cast<long long>(zone.Bias));
    // The weekday is the date's, whatever the time handed in said.
    return Shifted(local, 0);
}

SYSTEMTIME ToUtc(const DYNAMIC_TIME_ZONE_INFORMATION& zone, const SYSTEMTIME& local) {
    const TIME_ZONE_INFORMATION rules = RulesOf(zone, local.wYear);
    SYSTEMTIME utc{};
    if (!TzSpecificLocalTimeToSystemTime(&rules, &local, &utc))
        return Shifted(local, zone.Bias);
    return utc;
}

// The recorded zone last read well in this process.
struct TLastGoodZone {
    TCriticalSection Lock;
    bool Known = false;
    DYNAMIC_TIME_ZONE_INFORMATION Zone{};
    // A missing record was seen (and the kept zone removed) in this process.
    bool KeptChecked = false;
};

TLastGoodZone& LastGood() {
    static TLastGoodZone last;
    return last;
}

DYNAMIC_TIME_ZONE_INFORMATION ZoneInForce(const TClockReading& reading) {
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    return RecordedZone(zone) ? zone : reading.Zone;
}

} // namespace

void SetClockSeam(std::function<TClockReading()> now) {
    Seam() = std::move(now);
}

void SetClockSeam(std::function<SYSTEMTIME()> localNow) {
    if (!localNow) {
        Seam() = nullptr;
        return;
    }
    Seam() = [localNow] {
        TClockReading reading;
        // Without a recorded zone the computer's is one without offset: UTC is the local time.
        RecordedZone(reading.Zone);
        reading.Utc = ToUtc(reading.Zone, localNow());
        return reading;
    };
}

void SetClockSeam(std::nullptr_t) {
    Seam() = nullptr;
}

SYSTEMTIME LocalNow() {
    const TClockReading reading = Reading();
    return ToLocal(ZoneInForce(reading), reading.Utc);
}

SYSTEMTIME UtcNow() {
    return Reading().Utc;
}

SYSTEMTIME LocalTimeOf(const SYSTEMTIME& utc) {
    return ToLocal(ZoneInForce(Reading()), utc);
}

DYNAMIC_TIME_ZONE_INFORMATION SystemZone() {
    return Reading().Zone;
}

LONG ReadRecordedZone(DYNAMIC_TIME_ZONE_INFORMATION& zone) {
    TRegKey key;
    DYNAMIC_TIME_ZONE_INFORMATION stored{};
    LONG rc = key.Open(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, KEY_QUERY_VALUE);
    if (rc == ERROR_SUCCESS)
        rc = key.ReadBinary(kZoneValue, &stored, sizeof(stored));
    TLastGoodZone& last = LastGood();
    TLockGuard guard(last.Lock);
    if (rc == ERROR_FILE_NOT_FOUND) {
        // An administrator removed it: it is recorded afresh, and nobody keeps the old one.
        if (last.Known || !last.KeptChecked)
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, kKeptZoneValue);
        last.Known = false;
        last.KeptChecked = true;
    }
    if (rc != ERROR_SUCCESS)
        return rc;
    // Names that fill their field end there.
    stored.StandardName[31] = stored.DaylightName[31] = L'\0';
    stored.TimeZoneKeyName[127] = L'\0';
    if (!last.Known || std::memcmp(&last.Zone, &stored, sizeof(stored)) != 0) {
        // Written only by those who may (a standard user's reading changes nothing).
        DYNAMIC_TIME_ZONE_INFORMATION kept{};
        if (key.ReadBinary(kKeptZoneValue, &kept, sizeof(kept)) != ERROR_SUCCESS ||
            std::memcmp(&kept, &stored, sizeof(stored)) != 0) {
            TRegKey writable;
            if (writable.Open(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, KEY_SET_VALUE) ==
                ERROR_SUCCESS)
                writable.WriteBinary(kKeptZoneValue, &stored, sizeof(stored));
        }
    }
    zone = last.Zone = stored;
    last.Known = true;
    return ERROR_SUCCESS;
}

bool RecordedZone(DYNAMIC_TIME_ZONE_INFORMATION& zone) {
    const LONG rc = ReadRecordedZone(zone);
    if (rc == ERROR_SUCCESS)
        return true;
    // A record that cannot be read is no reason to follow the computer's zone, which any user
    // may set: the zone last read stays.
    TLastGoodZone& last = LastGood();
    TLockGuard guard(last.Lock);
    if (rc == ERROR_FILE_NOT_FOUND)
        return false;
    if (last.Known) {
        zone = last.Zone;
        return true;
    }
    // Never read well in this process: the zone the service and Vantrel kept, so that every
    // program judges the same day.
    TRegKey key;
    DYNAMIC_TIME_ZONE_INFORMATION kept{};
    if (key.Open(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, KEY_QUERY_VALUE) != ERROR_SUCCESS ||
        key.ReadBinary(kKeptZoneValue, &kept, sizeof(kept)) != ERROR_SUCCESS)
        return false;
    kept.StandardName[31] = kept.DaylightName[31] = L'\0';
    kept.TimeZoneKeyName[127] = L'\0';
    zone = kept;
    return true;
}

LONG RecordZone(const DYNAMIC_TIME_ZONE_INFORMATION& zone) {
    TRegKey key;
    const LONG rc = key.Create(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, KEY_SET_VALUE);
    if (rc != ERROR_SUCCESS)
        return rc;
    return key.WriteBinary(kZoneValue, &zone, sizeof(zone));
}

bool SameZone(const DYNAMIC_TIME_ZONE_INFORMATION& a, const DYNAMIC_TIME_ZONE_INFORMATION& b) {
    if (_wcsicmp(a.TimeZoneKeyName, b.TimeZoneKeyName) != 0 ||
        (a.DynamicDaylightTimeDisabled != 0) != (b.DynamicDaylightTimeDisabled != 0))
        return false;
    // A named zone's rules of the year may be handed out differently from year to year.
    return a.TimeZoneKeyName[0] || SameRules(a, b);
}

std::wstring ZoneDescription(const DYNAMIC_TIME_ZONE_INFORMATION& zone) {
    const long offset = -zone.Bias;
    wchar_t text[32];
    if (offset == 0)
        std::swprintf(text, 32, L"UTC");
    else
        std::swprintf(text, 32, L"UTC%c%02ld:%02ld", offset < 0 ? L'-' : L'+',
                      (offset < 0 ? -offset : offset) / 60, (offset < 0 ? -offset : offset) % 60);
    const wchar_t* name = zone.TimeZoneKeyName[0] ? zone.TimeZoneKeyName : zone.StandardName;
    if (!name[0])
        return text;
    return std::wstring(name) + L" (" + text + L")";
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

SYSTEMTIME DaysBefore(const SYSTEMTIME& today, int days) {
    SYSTEMTIME noon = today;
    noon.wHour = 12;
    noon.wMinute = 0;
    noon.wSecond = 0;
    noon.wMilliseconds = 0;
    FILETIME time{};
    if (!SystemTimeToFileTime(&noon, &time))
        return today;
    ULARGE_INTEGER value{};
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    value.QuadPart -= static_cast<ULONGLONG>(days) * 24 * 60 * 60 * 10000000ULL;
    time.dwLowDateTime = value.LowPart;
    time.dwHighDateTime = value.HighPart;
    SYSTEMTIME result{};
    if (!FileTimeToSystemTime(&time, &result))
        return today;
    return result;
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
