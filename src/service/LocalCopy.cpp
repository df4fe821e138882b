#include "service/LocalCopy.h"

#include "model/UserStore.h"
#include "service/UsageRecord.h"

namespace vantrel {

namespace {

bool SameSettings(const TQorUser& a, const TQorUser& b) {
    if (a.QorControl != b.QorControl || a.BonusTime != b.BonusTime ||
        a.BonusDayOfYear != b.BonusDayOfYear || a.BonusYear != b.BonusYear)
        return false;
    for (int weekday = 1; weekday <= 7; ++weekday) {
        if (a.AllowBegin(weekday) != b.AllowBegin(weekday) ||
            a.AllowEnd(weekday) != b.AllowEnd(weekday) ||
            a.TimeLimit(weekday) != b.TimeLimit(weekday))
            return false;
    }
    return true;
}

} // namespace

bool TLocalCopy::Keep(const TQorUser& user, const std::map<std::wstring, int>& computers,
                      int weekday, int dayOfYear) {
    bool result = true;
    TKept& kept = FKept[user.Username];
    TPendingChange pending;
    if (!kept.Settings || !SameSettings(*kept.Settings, user)) {
        // The program's own save to this computer's registry: the same keys and values.
        if (ReadPendingChange(user.Username, pending)) {
            kept.Settings.reset();
        } else if (SaveUser(user, false, L"")) {
            if (!kept.Settings)
                kept.Settings = std::make_unique<TQorUser>();
            kept.Settings->Assign(user);
        } else {
            kept.Settings.reset();
            result = false;
        }
    }
    if (kept.Weekday != weekday || kept.DayOfYear != dayOfYear) {
        kept.Minutes.clear();
        kept.Weekday = weekday;
        kept.DayOfYear = dayOfYear;
    }
    for (const auto& [computer, minutes] : computers) {
        if (SameName(computer, FThisComputer))
            continue;
        auto known = kept.Minutes.find(computer);
        if (known != kept.Minutes.end() && known->second == minutes)
            continue;
        if (WriteComputerUsage(HKEY_LOCAL_MACHINE, user.Username, computer, weekday, dayOfYear,
                               minutes) == ERROR_SUCCESS) {
            kept.Minutes[computer] = minutes;
        } else {
            kept.Minutes.erase(computer);
            result = false;
        }
    }
    return result;
}

} // namespace vantrel
