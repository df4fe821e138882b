#include "model/Clock.h"

#include "model/Constants.h"

#include <gtest/gtest.h>

#include <optional>

namespace vantrel {
namespace {

SYSTEMTIME Date(int year, int month, int day, int dayOfWeek) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wDayOfWeek = static_cast<WORD>(dayOfWeek);
    return t;
}

TEST(Clock, DayOfYearCountsLeapDaysOnlyInLeapYears) {
    EXPECT_EQ(1, DayOfYearOf(Date(2026, 1, 1, 4)));
    EXPECT_EQ(60, DayOfYearOf(Date(2026, 3, 1, 0)));
    EXPECT_EQ(61, DayOfYearOf(Date(2024, 3, 1, 5)));
    EXPECT_EQ(366, DayOfYearOf(Date(2024, 12, 31, 2)));
    EXPECT_EQ(60, DayOfYearOf(Date(2000, 2, 29, 2)));
    EXPECT_EQ(60, DayOfYearOf(Date(1900, 3, 1, 4)));
}

TEST(Clock, WeekdayRunsFromMondayToSunday) {
    EXPECT_EQ(1, WeekdayOf(Date(2026, 12, 7, 1)));
    EXPECT_EQ(7, WeekdayOf(Date(2026, 12, 6, 0)));
}

TEST(Clock, SeamDecidesTodayAndCanBeRemoved) {
    SetClockSeam([] { return Date(2026, 12, 6, 0); });
    EXPECT_EQ(7, TodayWeekday());
    EXPECT_EQ(340, TodayDayOfYear());
    SetClockSeam(nullptr);
    SYSTEMTIME real{};
    GetLocalTime(&real);
    EXPECT_EQ(DayOfYearOf(real), TodayDayOfYear());
}

DYNAMIC_TIME_ZONE_INFORMATION Zone(long bias, const wchar_t* name = L"") {
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    zone.Bias = bias;
    wcsncpy(zone.TimeZoneKeyName, name, 127);
    return zone;
}

TEST(Clock, DaysAndHoursAreThoseOfTheRecordedZoneWhateverTheComputersZone) {
    const auto west2 = Zone(120), east13 = Zone(-780), utc = Zone(0);
    const auto europe = Zone(-60, L"W. Europe Standard Time"); // summer time from March to October
    struct {
        std::optional<DYNAMIC_TIME_ZONE_INFORMATION> recorded;
        DYNAMIC_TIME_ZONE_INFORMATION computer;
        int month, utcHour;
        int day, hour, weekday;
        bool damaged; // the record cannot be read: the zone last read (the row above) stays
    } cases[] = {
        {std::nullopt, west2, 6, 21, 10, 19, 3, false}, // none recorded: the computer's zone
        {utc, west2, 6, 21, 10, 21, 3, false},
        {utc, east13, 6, 21, 10, 21, 3, false},
        {east13, utc, 6, 21, 11, 10, 4, false},
        {europe, utc, 6, 19, 10, 21, 3, false},
        {europe, utc, 12, 19, 10, 20, 4, false},
        {std::nullopt, west2, 12, 19, 10, 20, 4, true},
    };
    for (const auto& c : cases) {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"EnforcementTimeZone");
        if (c.recorded) {
            ASSERT_EQ(ERROR_SUCCESS, RecordZone(*c.recorded));
        }
        if (c.damaged) {
            ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath,
                                                     L"EnforcementTimeZone", REG_SZ, L"x", 4));
        }
        SetClockSeam([&c] {
            TClockReading reading;
            reading.Utc = Date(2026, c.month, 10, c.month == 6 ? 3 : 4);
            reading.Utc.wHour = static_cast<WORD>(c.utcHour);
            reading.Zone = c.computer;
            return reading;
        });
        const SYSTEMTIME now = LocalNow();
        EXPECT_EQ(c.day, now.wDay) << c.month << " " << c.utcHour;
        EXPECT_EQ(c.hour, now.wHour) << c.month << " " << c.utcHour;
        EXPECT_EQ(c.weekday, WeekdayOf(now)) << c.month << " " << c.utcHour;
    }
    SetClockSeam(nullptr);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"EnforcementTimeZone");
}

TEST(Clock, AProcessThatNeverReadTheRecordWellTakesTheZoneTheOthersKept) {
    const auto east13 = Zone(-780), west2 = Zone(120);
    SetClockSeam([&] {
        TClockReading reading;
        reading.Utc = Date(2026, 6, 10, 3);
        reading.Utc.wHour = 21;
        reading.Zone = west2;
        return reading;
    });
    const auto damage = [] {
        return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"EnforcementTimeZone",
                               REG_SZ, L"x", 4);
    };
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"EnforcementTimeZone");
    EXPECT_EQ(10, LocalNow().wDay); // none recorded: the computer's zone
    // Read well here: kept beside the record.
    ASSERT_EQ(ERROR_SUCCESS, RecordZone(east13));
    EXPECT_EQ(11, LocalNow().wDay);
    DYNAMIC_TIME_ZONE_INFORMATION kept{};
    DWORD size = sizeof(kept);
    ASSERT_EQ(ERROR_SUCCESS,
              RegGetValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"EnforcementTimeZoneKept",
                           RRF_RT_REG_BINARY, nullptr, &kept, &size));
    EXPECT_EQ(-780, kept.Bias);
    // Removed: nothing is kept, and the computer's zone counts.
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"EnforcementTimeZone");
    EXPECT_EQ(10, LocalNow().wDay);
    EXPECT_NE(ERROR_SUCCESS,
              RegGetValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"EnforcementTimeZoneKept",
                           RRF_RT_ANY, nullptr, nullptr, nullptr));
    // A process that starts while the record is damaged, after another kept it.
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"EnforcementTimeZoneKept",
                              REG_BINARY, &kept, sizeof(kept)));
    ASSERT_EQ(ERROR_SUCCESS, damage());
    EXPECT_EQ(11, LocalNow().wDay);
    SetClockSeam(nullptr);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"EnforcementTimeZone");
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, L"EnforcementTimeZoneKept");
}

} // namespace
} // namespace vantrel
