#include "model/ProgramUsage.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "model/Registry.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace vantrel {

namespace {

constexpr wchar_t kProgramsKey[] = L"\\Programs";
constexpr wchar_t kValueFamily[] = L"Programs";

bool UserPath(const std::wstring& user, std::wstring& path) {
    if (user.empty() || user.find(L'\\') != std::wstring::npos)
        return false;
    path = std::wstring(kUsersKeyPath) + user;
    return true;
}

bool ValidComputer(const std::wstring& computer) {
    return !computer.empty() && computer.find(L'\\') == std::wstring::npos;
}

int AddBounded(int a, int b) {
    if (b > 0 && a > INT_MAX - b)
        return INT_MAX;
    return a + b;
}

TProgramList::iterator FindLine(TProgramList& list, const std::wstring& id) {
    return std::find_if(list.begin(), list.end(),
                        [&id](const TProgramMinutes& line) { return line.Id == id; });
}

// Before "Other programs", which stays last.
void AddLine(TProgramList& list, const std::wstring& id, const std::wstring& name, int minutes) {
    auto other = FindLine(list, std::wstring());
    list.insert(id.empty() ? list.end() : other, TProgramMinutes{id, name, minutes});
}

std::wstring FieldText(const std::wstring& text) {
    std::wstring out = text;
    std::replace_if(
        out.begin(), out.end(), [](wchar_t c) { return c < L' '; }, L' ');
    return out;
}

// "<minutes>\t<id>\t<name>"; false for a line that is not one.
bool ParseLine(const std::wstring& text, TProgramMinutes& line) {
    const size_t first = text.find(L'\t');
    if (first == std::wstring::npos || first == 0 || first > 10)
        return false;
    const size_t second = text.find(L'\t', first + 1);
    if (second == std::wstring::npos)
        return false;
    long long minutes = 0;
    for (size_t i = 0; i < first; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
        minutes = minutes * 10 + (text[i] - L'0');
    }
    if (minutes > INT_MAX)
        return false;
    line.Minutes = static_cast<int>(minutes);
    line.Id = text.substr(first + 1, second - first - 1);
    line.Name = text.substr(second + 1);
    if (line.Id.empty())
        line.Name = kOtherProgramsName;
    return !line.Name.empty() && line.Name.find(L'\t') == std::wstring::npos;
}

} // namespace

bool AddProgramMinutes(TProgramList& list, const std::wstring& id, const std::wstring& name,
                       int minutes, const TProgramRuled& ruled, int earlier,
                       TProgramMinutes* given) {
    if (given)
        *given = TProgramMinutes{};
    if (minutes <= 0)
        return false;
    auto line = FindLine(list, id);
    if (line != list.end()) {
        line->Minutes = AddBounded(line->Minutes, minutes);
        return !id.empty();
    }
    const auto isRuled = [&ruled](const std::wstring& lineId) {
        return !lineId.empty() && ruled && ruled(lineId);
    };
    // The listed programs without a rule, and the one of them with the fewest minutes; the list
    // is in the order the lines came, so the first of equals is the oldest.
    size_t listed = 0;
    auto fewest = list.end();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->Id.empty() || isRuled(it->Id))
            continue;
        ++listed;
        if (fewest == list.end() || it->Minutes < fewest->Minutes)
            fewest = it;
    }
    auto other = FindLine(list, std::wstring());
    const int moved = other == list.end() ? 0 : std::min(std::max(earlier, 0), other->Minutes);
    if (!id.empty() && (isRuled(id) || listed < kMostProgramsListed)) {
        // Its earlier minutes come along: a rule made for a program summed under "Other
        // programs" counts all of its day.
        if (other != list.end() && (other->Minutes -= moved) == 0 && moved > 0)
            list.erase(other);
        AddLine(list, id, name, AddBounded(moved, minutes));
        return true;
    }
    if (!id.empty() && fewest != list.end() &&
        static_cast<long long>(fewest->Minutes) < static_cast<long long>(moved) + minutes) {
        if (given)
            *given = *fewest;
        const int freed = fewest->Minutes;
        list.erase(fewest);
        other = FindLine(list, std::wstring());
        if (other == list.end()) {
            AddLine(list, std::wstring(), kOtherProgramsName, 0);
            other = FindLine(list, std::wstring());
        }
        other->Minutes = AddBounded(other->Minutes - moved, freed);
        AddLine(list, id, name, AddBounded(moved, minutes));
        return true;
    }
    if (other != list.end())
        other->Minutes = AddBounded(other->Minutes, minutes);
    else
        AddLine(list, std::wstring(), kOtherProgramsName, minutes);
    return false;
}

int ProgramMinutesOf(const TProgramList& list, const std::wstring& id) {
    for (const TProgramMinutes& line : list)
        if (line.Id == id)
            return line.Minutes;
    return 0;
}

void SumProgramLists(TProgramList& into, const TProgramList& from) {
    for (const TProgramMinutes& line : from) {
        auto same = FindLine(into, line.Id);
        if (same != into.end())
            same->Minutes = AddBounded(same->Minutes, line.Minutes);
        else
            into.push_back(line);
    }
    std::stable_sort(into.begin(), into.end(),
                     [](const TProgramMinutes& a, const TProgramMinutes& b) {
                         if (a.Id.empty() != b.Id.empty())
                             return b.Id.empty();
                         return a.Minutes > b.Minutes;
                     });
}

std::wstring ProgramDayText(const SYSTEMTIME& date) {
    wchar_t text[16];
    swprintf(text, 16, L"%04u-%02u-%02u", date.wYear, date.wMonth, date.wDay);
    return text;
}

bool ReadProgramUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                      const SYSTEMTIME& date, TProgramList& list) {
    std::wstring path;
    if (!UserPath(user, path) || !ValidComputer(computer))
        return false;
    TRegKey key;
    if (key.Open(root, path + kProgramsKey + L"\\" + computer, KEY_READ) != ERROR_SUCCESS)
        return false;
    std::vector<std::wstring> lines;
    if (key.ReadMultiString(WeekdayValueName(kValueFamily, WeekdayOf(date)).c_str(), lines) !=
            ERROR_SUCCESS ||
        lines.empty() || lines[0] != ProgramDayText(date))
        return false;
    TProgramList read;
    for (size_t i = 1; i < lines.size(); ++i) {
        TProgramMinutes line;
        if (!ParseLine(lines[i], line))
            continue;
        auto same = FindLine(read, line.Id);
        if (same != read.end())
            same->Minutes = AddBounded(same->Minutes, line.Minutes);
        else
            AddLine(read, line.Id, line.Name, line.Minutes);
    }
    list = std::move(read);
    return true;
}

bool ReadProgramUsagePerComputer(HKEY root, const std::wstring& user, const SYSTEMTIME& date,
                                 std::map<std::wstring, TProgramList>& lists) {
    std::wstring path;
    TRegKey key;
    if (!UserPath(user, path) || key.Open(root, path, KEY_READ) != ERROR_SUCCESS)
        return false;
    lists.clear();
    TRegKey programs;
    if (programs.Open(root, path + kProgramsKey, KEY_READ) != ERROR_SUCCESS)
        return true;
    std::vector<std::wstring> computers;
    programs.SubkeyNames(computers);
    for (const std::wstring& computer : computers) {
        TProgramList list;
        if (ReadProgramUsage(root, user, computer, date, list))
            lists[computer] = std::move(list);
    }
    return true;
}

LONG WriteProgramUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                       const SYSTEMTIME& date, const TProgramList& list, bool createUser) {
    std::wstring path;
    if (!UserPath(user, path) || !ValidComputer(computer))
        return ERROR_INVALID_NAME;
    std::vector<std::wstring> lines{ProgramDayText(date)};
    for (const TProgramMinutes& line : list) {
        if (line.Minutes <= 0)
            continue;
        std::wstring name = FieldText(line.Name);
        if (name.empty())
            name = line.Id.empty() ? kOtherProgramsName : line.Id;
        lines.push_back(std::to_wstring(line.Minutes) + L'\t' + FieldText(line.Id) + L'\t' + name);
    }
    TRegKey key;
    if (!createUser) {
        const LONG rc = key.Open(root, path, KEY_READ);
        if (rc != ERROR_SUCCESS)
            return rc;
        key.Close();
    }
    LONG rc = key.Create(root, path + kProgramsKey + L"\\" + computer, KEY_SET_VALUE);
    if (rc != ERROR_SUCCESS)
        return rc;
    return key.WriteMultiString(WeekdayValueName(kValueFamily, WeekdayOf(date)).c_str(), lines);
}

} // namespace vantrel
