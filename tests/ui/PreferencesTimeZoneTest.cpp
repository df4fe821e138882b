// The preferences dialog's time zone of days and allowed hours: what it shows, and the one way
// to move it, an administrator's click.
#include "PreferencesFormSupport.h"

#include "model/Clock.h"

#include <optional>

namespace vantrel::testing {
namespace {

using P = TPreferencesForm;

DYNAMIC_TIME_ZONE_INFORMATION Zone(const wchar_t* name, long bias) {
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    wcsncpy(zone.TimeZoneKeyName, name, 127);
    zone.Bias = bias;
    return zone;
}

TEST_F(PreferencesFormTest, TheTimeZoneOfDaysAndHoursIsShownAndTakenFromTheComputerOnRequest) {
    const auto home = Zone(L"Home Zone", 0), away = Zone(L"Away Zone", 120);
    DYNAMIC_TIME_ZONE_INFORMATION computer = away;
    SetClockSeam([&computer] {
        return TClockReading{SYSTEMTIME{2026, 6, 3, 10, 12, 0, 0, 0}, computer};
    });
    struct {
        std::optional<DYNAMIC_TIME_ZONE_INFORMATION> recorded;
        std::vector<std::wstring> named;
        bool offered;
        bool damaged = false; // the record cannot be read: the zone last read well counts
    } cases[] = {{std::nullopt, {L"Away Zone"}, true},
                 {away, {L"Away Zone"}, false},
                 {home, {L"Home Zone", L"Away Zone"}, true},
                 {away, {L"Away Zone", L"damaged"}, true, true}};
    for (const auto& c : cases) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
        if (c.recorded)
            RecordZone(*c.recorded);
        if (c.damaged)
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Preferences", L"EnforcementTimeZone",
                            REG_BINARY, "bad", 3);
        Show([&] {
            const std::wstring text = Form.ControlText(P::TextTimeZone);
            for (const std::wstring& name : c.named)
                EXPECT_NE(std::wstring::npos, text.find(name)) << Narrow(text);
            EXPECT_EQ(c.offered, Form.IsControlEnabled(P::ButtonTimeZone)) << Narrow(text);
            if (c.offered)
                Click(P::ButtonTimeZone);
            EXPECT_FALSE(Form.IsControlEnabled(P::ButtonTimeZone));
            Form.EndModal(IDCANCEL);
        });
        DYNAMIC_TIME_ZONE_INFORMATION recorded{};
        EXPECT_TRUE(RecordedZone(recorded) && SameZone(recorded, away));
    }
    SetClockSeam(nullptr);
}

} // namespace
} // namespace vantrel::testing
