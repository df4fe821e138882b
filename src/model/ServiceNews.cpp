#include "model/ServiceNews.h"

#include <cctype>
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

std::string EncodedName(const std::wstring& name) {
    std::string utf8;
    const int size = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), static_cast<int>(name.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size > 0) {
        utf8.resize(static_cast<size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, name.c_str(), static_cast<int>(name.size()), utf8.data(),
                            size, nullptr, nullptr);
    }
    std::string text;
    for (const unsigned char c : utf8) {
        if (c > 0x20 && c < 0x7F && c != '%' && c != ',' && c != ';' && c != '=') {
            text += static_cast<char>(c);
        } else {
            char escape[4] = {};
            std::snprintf(escape, sizeof(escape), "%%%02X", c);
            text += escape;
        }
    }
    return text;
}

bool DecodedName(const std::string& text, std::wstring& name) {
    std::string utf8;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            utf8 += text[i];
            continue;
        }
        unsigned value = 0;
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2])) ||
            std::sscanf(text.c_str() + i + 1, "%2x", &value) != 1)
            return false;
        utf8 += static_cast<char>(value);
        i += 2;
    }
    if (utf8.empty())
        return false;
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
    if (size <= 0)
        return false;
    name.resize(static_cast<size_t>(size));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        name.data(), size);
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
    for (const bool failed : {true, false}) {
        std::string names;
        for (const TUnfinishedLogoff& logoff : news.Logoffs) {
            if (logoff.Failed == failed)
                names += (names.empty() ? "" : ",") + EncodedName(logoff.User);
        }
        if (!names.empty())
            text += (failed ? "; logofffailed=" : "; logoffpending=") + names;
    }
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
    for (const bool failed : {true, false}) {
        std::string names;
        if (!Field(text, failed ? "logofffailed" : "logoffpending", names))
            continue;
        for (size_t begin = 0; begin <= names.size();) {
            size_t end = names.find(',', begin);
            if (end == std::string::npos)
                end = names.size();
            TUnfinishedLogoff logoff;
            logoff.Failed = failed;
            if (!DecodedName(names.substr(begin, end - begin), logoff.User))
                return false;
            parsed.Logoffs.push_back(std::move(logoff));
            begin = end + 1;
        }
    }
    news = parsed;
    return true;
}

std::wstring ClockText(const SYSTEMTIME& time) {
    wchar_t text[8] = {};
    std::swprintf(text, 8, L"%02u:%02u", time.wHour, time.wMinute);
    return text;
}

} // namespace vantrel
