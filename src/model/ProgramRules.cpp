#include "model/ProgramRules.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "model/Registry.h"

#include <algorithm>

namespace vantrel {

namespace {

constexpr wchar_t kRulesKey[] = L"\\ProgramRules";
constexpr wchar_t kRulesValue[] = L"Rules";
constexpr wchar_t kChangedAt[] = L"ChangedAt";
constexpr wchar_t kLimitKind[] = L"limit";
constexpr wchar_t kBlockedKind[] = L"blocked";
constexpr int kDayMinutes = 24 * 60;

bool UserPath(const std::wstring& user, std::wstring& path) {
    if (user.empty() || user.find(L'\\') != std::wstring::npos)
        return false;
    path = std::wstring(kUsersKeyPath) + user;
    return true;
}

// A tab or a line break would end a field or the line.
std::wstring FieldText(const std::wstring& text) {
    std::wstring out = text;
    std::replace_if(
        out.begin(), out.end(), [](wchar_t c) { return c < L' '; }, L' ');
    return out;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t begin = 0;
    for (;;) {
        const size_t end = text.find(separator, begin);
        parts.push_back(text.substr(begin, end == std::wstring::npos ? end : end - begin));
        if (end == std::wstring::npos)
            return parts;
        begin = end + 1;
    }
}

// Digits only, 0..1440.
bool ParseDayMinutes(const std::wstring& text, int& minutes) {
    if (text.empty() || text.size() > 4)
        return false;
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        value = value * 10 + (c - L'0');
    }
    if (value > kDayMinutes)
        return false;
    minutes = value;
    return true;
}

ULONGLONG UtcNowUnits() {
    const SYSTEMTIME utc = UtcNow();
    FILETIME file{};
    SystemTimeToFileTime(&utc, &file);
    return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

// Two rules for one program: the one that gives less time on each day holds.
void MergeInto(TProgramRule& kept, const TProgramRule& other) {
    kept.Blocked = kept.Blocked || other.Blocked;
    for (int day = 0; day < 7; ++day)
        kept.Minutes[day] = std::min(kept.Minutes[day], other.Minutes[day]);
}

} // namespace

int TProgramRule::Limit(int weekday) const {
    if (Blocked || weekday < 1 || weekday > 7)
        return 0;
    return std::clamp(Minutes[weekday - 1], 0, kDayMinutes);
}

bool TProgramRule::SameEveryDay() const {
    return std::all_of(Minutes + 1, Minutes + 7, [this](int m) { return m == Minutes[0]; });
}

std::wstring FormatProgramRule(const TProgramRule& rule) {
    std::wstring line = FieldText(rule.Id) + L'\t' + FieldText(rule.Name) + L'\t';
    if (rule.Blocked)
        return line + kBlockedKind + L'\t';
    line += kLimitKind;
    for (int day = 0; day < 7; ++day) {
        line += day == 0 ? L'\t' : L',';
        line += std::to_wstring(std::clamp(rule.Minutes[day], 0, kDayMinutes));
    }
    return line;
}

bool ParseProgramRule(const std::wstring& line, TProgramRule& rule, bool& damaged) {
    const std::vector<std::wstring> fields = Split(line, L'\t');
    if (fields[0].empty())
        return false;
    TProgramRule read;
    damaged = false;
    // Identities are lower case; one edited by hand still names its program.
    read.Id = fields[0];
    CharLowerBuffW(&read.Id[0], static_cast<DWORD>(read.Id.size()));
    read.Name = fields.size() > 1 ? fields[1] : std::wstring();
    if (read.Name.empty()) {
        read.Name = read.Id;
        damaged = true;
    }
    const std::wstring kind = fields.size() > 2 ? fields[2] : std::wstring();
    if (kind == kBlockedKind) {
        read.Blocked = true;
    } else if (kind == kLimitKind && fields.size() > 3) {
        const std::vector<std::wstring> days = Split(fields[3], L',');
        if (days.size() != 7)
            damaged = true;
        for (size_t day = 0; day < 7; ++day) {
            // A day that cannot be read keeps its 0: no time.
            if (day >= days.size() || !ParseDayMinutes(days[day], read.Minutes[day]))
                damaged = true;
        }
    } else {
        // Neither kind, or a limit without its minutes: no minutes on any day.
        damaged = true;
    }
    rule = read;
    return true;
}

TStoredRules ReadProgramRules(HKEY root, const std::wstring& user, std::vector<TProgramRule>& rules,
                              ULONGLONG* changedAt) {
    rules.clear();
    if (changedAt)
        *changedAt = 0;
    std::wstring path;
    TRegKey key;
    if (!UserPath(user, path) || key.Open(root, path, KEY_READ) != ERROR_SUCCESS)
        return TStoredRules::NoKey;
    if (key.Open(root, path + kRulesKey, KEY_READ) != ERROR_SUCCESS)
        return TStoredRules::None;
    if (changedAt) {
        FILETIME stamp{};
        if (key.ReadBinary(kChangedAt, &stamp, sizeof(stamp)) == ERROR_SUCCESS)
            *changedAt = (static_cast<ULONGLONG>(stamp.dwHighDateTime) << 32) | stamp.dwLowDateTime;
    }
    std::vector<std::wstring> lines;
    const LONG rc = key.ReadMultiString(kRulesValue, lines);
    if (rc == ERROR_FILE_NOT_FOUND)
        return TStoredRules::None;
    if (rc != ERROR_SUCCESS)
        return TStoredRules::Damaged;
    bool anyDamaged = false;
    for (const std::wstring& line : lines) {
        TProgramRule rule;
        bool damaged = false;
        if (!ParseProgramRule(line, rule, damaged)) {
            anyDamaged = true;
            continue;
        }
        anyDamaged = anyDamaged || damaged;
        auto same = std::find_if(rules.begin(), rules.end(),
                                 [&rule](const TProgramRule& r) { return r.Id == rule.Id; });
        if (same != rules.end()) {
            MergeInto(*same, rule);
            continue;
        }
        if (rules.size() == kMostProgramRules) {
            anyDamaged = true;
            continue;
        }
        rules.push_back(rule);
    }
    return anyDamaged ? TStoredRules::Damaged : TStoredRules::Whole;
}

LONG WriteProgramRules(HKEY root, const std::wstring& user, const std::vector<TProgramRule>& rules,
                       ULONGLONG changedAt) {
    std::wstring path;
    if (!UserPath(user, path))
        return ERROR_INVALID_NAME;
    if (rules.size() > kMostProgramRules)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::wstring> lines;
    for (const TProgramRule& rule : rules) {
        if (rule.Id.empty())
            return ERROR_INVALID_PARAMETER;
        lines.push_back(FormatProgramRule(rule));
    }
    TRegKey key;
    LONG rc = key.Open(root, path, KEY_READ);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = key.Create(root, path + kRulesKey, KEY_SET_VALUE);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = key.WriteMultiString(kRulesValue, lines);
    if (rc != ERROR_SUCCESS)
        return rc;
    const ULONGLONG stamp = changedAt != 0 ? changedAt : UtcNowUnits();
    FILETIME file{};
    file.dwLowDateTime = static_cast<DWORD>(stamp);
    file.dwHighDateTime = static_cast<DWORD>(stamp >> 32);
    return key.WriteBinary(kChangedAt, &file, sizeof(file));
}

const TProgramRule* FindProgramRule(const std::vector<TProgramRule>& rules,
                                    const std::wstring& id) {
    for (const TProgramRule& rule : rules)
        if (rule.Id == id)
            return &rule;
    return nullptr;
}

} // namespace vantrel
