#include "model/ServiceNews.h"

#include <cstdio>

namespace vantrel {

namespace {

const char* const kHeads[] = {"41, QORsvc minute", "42, QORsvc settings", "43, QORsvc running"};
const char* const kStores[] = {"local", "network", "unreachable"};

std::string TimeText(const SYSTEMTIME& t) {
    char text[32] = {};
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute);
    return text;
}

bool ParseTime(const std::string& text, SYSTEMTIME& t) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u%c", &year, &month, &day, &hour, &minute,
                    &tail) != 5 ||
        month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59)
        return false;
    t = SYSTEMTIME{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    return true;
}

// The value of "; name=" in text, up to the next "; " or the end.
bool Field(const std::string& text, const char* name, std::string& value) {
    const std::string key = std::string("; ") + name + "=";
    const size_t at = text.find(key);
    if (at == std::string::npos)
        return false;
    const size_t begin = at + key.size();
    const size_t end = text.find("; ", begin);
    value = text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    return true;
}

} // namespace

std::string FormatServiceNews(const TServiceNews& news) {
    std::string text = kHeads[static_cast<int>(news.Kind)];
    text += "; last=" + (news.Counted ? TimeText(news.LastMinute) : std::string("-"));
    text += std::string("; store=") + kStores[static_cast<int>(news.Store)];
    if (news.Store == TStoreState::Unreachable)
        text += "; since=" + TimeText(news.StoreDownSince);
    return text;
}

bool ParseServiceNews(const std::string& text, TServiceNews& news) {
    TServiceNews parsed;
    bool known = false;
    for (int kind = 0; kind < 3 && !known; ++kind) {
        const std::string head = kHeads[kind];
        if (text.compare(0, head.size(), head) == 0 &&
            (text.size() == head.size() || text[head.size()] == ';')) {
            parsed.Kind = static_cast<TNewsKind>(kind);
            known = true;
        }
    }
    std::string last, store, since;
    if (!known || !Field(text, "last", last) || !Field(text, "store", store))
        return false;
    parsed.Counted = last != "-";
    if (parsed.Counted && !ParseTime(last, parsed.LastMinute))
        return false;
    known = false;
    for (int state = 0; state < 3 && !known; ++state) {
        if (store == kStores[state]) {
            parsed.Store = static_cast<TStoreState>(state);
            known = true;
        }
    }
    if (!known)
        return false;
    if (parsed.Store == TStoreState::Unreachable &&
        (!Field(text, "since", since) || !ParseTime(since, parsed.StoreDownSince)))
        return false;
    news = parsed;
    return true;
}

std::wstring ClockText(const SYSTEMTIME& time) {
    wchar_t text[8] = {};
    std::swprintf(text, 8, L"%02u:%02u", time.wHour, time.wMinute);
    return text;
}

} // namespace vantrel
