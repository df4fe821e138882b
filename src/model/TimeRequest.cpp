#include "model/TimeRequest.h"

#include "model/Constants.h"
#include "model/Registry.h"

#include <algorithm>

namespace vantrel {

namespace {

bool Waits(const TTimeRequest& request) {
    return request.State == TRequestState::Waiting;
}

bool SameDay(const TTimeRequest& request, int day, int year) {
    return request.Day == day && request.Year == year;
}

// The user's words as the store keeps them: one line of printable characters, cut to length.
std::wstring OneLine(const std::wstring& text, size_t most) {
    std::wstring line;
    for (wchar_t c : text) {
        if (line.size() >= most)
            break;
        line += (c < L' ' || c == 0x7F) ? L' ' : c;
    }
    const size_t end = line.find_last_not_of(L' ');
    return end == std::wstring::npos ? std::wstring() : line.substr(0, end + 1);
}

bool RequestKeyPath(const std::wstring& user, std::wstring& path) {
    if (user.empty() || user.find(L'\\') != std::wstring::npos)
        return false;
    path = std::wstring(kUsersKeyPath) + user + L"\\Request";
    return true;
}

} // namespace

void ExpireRequest(TTimeRequest& request, int day, int year) {
    if (Waits(request) && !SameDay(request, day, year)) {
        request.State = TRequestState::Expired;
        ++request.Serial;
    }
}

TRequestRefusal AskForTime(TTimeRequest& request, const TRequestRules& rules, int minutes,
                           const std::wstring& reason, const std::wstring& computer,
                           const FILETIME& now, int day, int year) {
    ExpireRequest(request, day, year);
    if (rules.PerDay <= 0)
        return TRequestRefusal::NotAllowed;
    if (minutes < 1 || minutes > rules.MostMinutes)
        return TRequestRefusal::BadAmount;
    if (RequestsLeft(request, rules, day, year) <= 0)
        return TRequestRefusal::TooMany;
    const int asked = SameDay(request, day, year) ? request.AskedThatDay : 0;
    const DWORD serial = request.Serial;
    const int wrongCodes = request.WrongCodes;
    const FILETIME lockedUntil = request.CodesLockedUntil;
    request = TTimeRequest{};
    request.WrongCodes = wrongCodes; // a new request unlocks nothing
    request.CodesLockedUntil = lockedUntil;
    request.State = TRequestState::Waiting;
    request.Minutes = minutes;
    request.Reason = OneLine(reason, kMaxReasonLength);
    request.Computer = computer;
    request.AskedAt = now;
    request.Day = day;
    request.Year = year;
    request.AskedThatDay = asked + 1;
    request.Serial = serial + 1;
    return TRequestRefusal::None;
}

TRequestRefusal WithdrawRequest(TTimeRequest& request, const FILETIME& now, int day, int year) {
    ExpireRequest(request, day, year);
    if (!Waits(request))
        return TRequestRefusal::NothingOpen;
    request.State = TRequestState::Withdrawn;
    request.AnsweredAt = now;
    ++request.Serial;
    return TRequestRefusal::None;
}

TRequestRefusal AnswerRequest(TTimeRequest& request, int minutes, const std::wstring& reply,
                              const FILETIME& now, int day, int year) {
    ExpireRequest(request, day, year);
    if (!Waits(request))
        return TRequestRefusal::NothingOpen;
    if (minutes < 0 || minutes > 1440)
        return TRequestRefusal::BadAmount;
    request.State = minutes > 0 ? TRequestState::Granted : TRequestState::Denied;
    request.Granted = minutes;
    request.Reply = OneLine(reply, kMaxReplyLength);
    request.AnsweredAt = now;
    ++request.Serial;
    return TRequestRefusal::None;
}

int RequestsLeft(const TTimeRequest& request, const TRequestRules& rules, int day, int year) {
    const int perDay = std::min(rules.PerDay, TRequestRules::kLargestPerDay);
    const int asked = SameDay(request, day, year) ? request.AskedThatDay : 0;
    return std::max(perDay - asked, 0);
}

bool ReadTimeRequest(HKEY root, const std::wstring& user, TTimeRequest& request) {
    request = TTimeRequest{};
    std::wstring path;
    TRegKey key;
    if (!RequestKeyPath(user, path) || key.Open(root, path, KEY_READ) != ERROR_SUCCESS)
        return false;
    TTimeRequest read;
    int state = 0;
    DWORD serial = 0;
    const bool whole =
        key.ReadInt(L"State", state) == ERROR_SUCCESS && state >= 0 && state <= 5 &&
        key.ReadInt(L"Minutes", read.Minutes) == ERROR_SUCCESS &&
        key.ReadString(L"Reason", read.Reason) == ERROR_SUCCESS &&
        key.ReadString(L"Computer", read.Computer) == ERROR_SUCCESS &&
        key.ReadBinary(L"AskedAt", &read.AskedAt, sizeof(read.AskedAt)) == ERROR_SUCCESS &&
        key.ReadInt(L"Day", read.Day) == ERROR_SUCCESS &&
        key.ReadInt(L"Year", read.Year) == ERROR_SUCCESS &&
        key.ReadInt(L"AskedThatDay", read.AskedThatDay) == ERROR_SUCCESS &&
        key.ReadInt(L"Granted", read.Granted) == ERROR_SUCCESS &&
        key.ReadString(L"Reply", read.Reply) == ERROR_SUCCESS &&
        key.ReadBinary(L"AnsweredAt", &read.AnsweredAt, sizeof(read.AnsweredAt)) == ERROR_SUCCESS &&
        key.ReadDword(L"Serial", serial) == ERROR_SUCCESS;
    if (!whole)
        return false;
    // Written only by services that take codes: missing means none.
    key.ReadInt(L"WrongCodes", read.WrongCodes);
    key.ReadBinary(L"CodesLockedUntil", &read.CodesLockedUntil, sizeof(read.CodesLockedUntil));
    read.State = static_cast<TRequestState>(state);
    read.Serial = serial;
    read.Reason = OneLine(read.Reason, kMaxReasonLength);
    read.Reply = OneLine(read.Reply, kMaxReplyLength);
    request = read;
    return true;
}

LONG WriteTimeRequest(HKEY root, const std::wstring& user, const TTimeRequest& request) {
    std::wstring path;
    if (!RequestKeyPath(user, path))
        return ERROR_INVALID_NAME;
    // Only beside settings that are there: a request never makes a user's key.
    TRegKey userKey;
    LONG rc = userKey.Open(root, path.substr(0, path.size() - 8), KEY_READ);
    if (rc != ERROR_SUCCESS)
        return rc;
    TRegKey key;
    rc = key.Create(root, path, KEY_SET_VALUE);
    if (rc != ERROR_SUCCESS)
        return rc;
    // "Serial" last: a reader that sees it change knows the rest is written.
    const LONG codes[] = {
        key.WriteInt(L"State", static_cast<int>(request.State)),
        key.WriteInt(L"Minutes", request.Minutes),
        key.WriteString(L"Reason", request.Reason),
        key.WriteString(L"Computer", request.Computer),
        key.WriteBinary(L"AskedAt", &request.AskedAt, sizeof(request.AskedAt)),
        key.WriteInt(L"Day", request.Day),
        key.WriteInt(L"Year", request.Year),
        key.WriteInt(L"AskedThatDay", request.AskedThatDay),
        key.WriteInt(L"Granted", request.Granted),
        key.WriteString(L"Reply", request.Reply),
        key.WriteBinary(L"AnsweredAt", &request.AnsweredAt, sizeof(request.AnsweredAt)),
        key.WriteInt(L"WrongCodes", request.WrongCodes),
        key.WriteBinary(L"CodesLockedUntil", &request.CodesLockedUntil,
                        sizeof(request.CodesLockedUntil)),
        key.WriteDword(L"Serial", request.Serial),
    };
    for (LONG code : codes) {
        if (code != ERROR_SUCCESS)
            return code;
    }
    return ERROR_SUCCESS;
}

TRequestRules ReadRequestRules(HKEY root, const std::wstring& user) {
    TRequestRules rules;
    TRegKey key;
    if (user.empty() || user.find(L'\\') != std::wstring::npos ||
        key.Open(root, std::wstring(kUsersKeyPath) + user, KEY_READ) != ERROR_SUCCESS)
        return rules;
    int value = 0;
    if (key.ReadInt(L"RequestsPerDay", value) == ERROR_SUCCESS)
        rules.PerDay = std::clamp(value, 0, TRequestRules::kLargestPerDay);
    if (key.ReadInt(L"RequestMostMinutes", value) == ERROR_SUCCESS)
        rules.MostMinutes = std::clamp(value, 1, 1440);
    return rules;
}

LONG WriteRequestRules(HKEY root, const std::wstring& user, const TRequestRules& rules) {
    TRegKey key;
    if (user.empty() || user.find(L'\\') != std::wstring::npos)
        return ERROR_INVALID_NAME;
    const LONG rc = key.Open(root, std::wstring(kUsersKeyPath) + user, KEY_SET_VALUE);
    if (rc != ERROR_SUCCESS)
        return rc; // never a user key with nothing but the rules
    const LONG perDay = key.WriteInt(L"RequestsPerDay", rules.PerDay);
    return perDay != ERROR_SUCCESS ? perDay
                                   : key.WriteInt(L"RequestMostMinutes", rules.MostMinutes);
}

} // namespace vantrel
