#pragma once
// What the service tests share: a session host decided by the test, a clock the test moves,
// the store's keys, a log file of the test's own and a message pump for the pipe client.
#include "model/Clock.h"
#include "model/Registry.h"
#include "pipes/ThreadSync.h"
#include "service/Sessions.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace vantrel::testing {

// The sessions are the test's; what the service shows and logs off is recorded. A session
// that is logged off leaves the list, unless log-offs fail (as under Wine, or the next
// FailLogoffs ones).
class TFakeSessionHost : public TSessionHost {
public:
    struct TShown {
        DWORD Session;
        std::wstring Text;
    };

    void Add(DWORD id, const std::wstring& user, bool active = true, bool locked = false) {
        std::lock_guard<std::mutex> guard(FLock);
        FList.push_back({id, user, active, locked});
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(FLock);
        FList.clear();
    }
    std::vector<TSessionInfo> Sessions() override {
        std::lock_guard<std::mutex> guard(FLock);
        ++Listings;
        return FList;
    }
    bool ShowMessage(DWORD session, const std::wstring& text) override {
        std::lock_guard<std::mutex> guard(FLock);
        FShown.push_back({session, text});
        return true;
    }
    bool Logoff(DWORD session) override {
        std::lock_guard<std::mutex> guard(FLock);
        FLoggedOff.push_back(session);
        if (!LogoffWorks || FailLogoffs > 0) {
            FailLogoffs = std::max(FailLogoffs - 1, 0);
            SetLastError(ERROR_NOT_SUPPORTED);
            return false;
        }
        for (auto it = FList.begin(); it != FList.end(); ++it) {
            if (it->Id == session) {
                FList.erase(it);
                break;
            }
        }
        return true;
    }
    std::vector<TShown> Shown() {
        std::lock_guard<std::mutex> guard(FLock);
        return FShown;
    }
    std::vector<std::wstring> ShownTexts() {
        std::vector<std::wstring> texts;
        for (const TShown& shown : Shown())
            texts.push_back(shown.Text);
        return texts;
    }
    std::vector<DWORD> LoggedOff() {
        std::lock_guard<std::mutex> guard(FLock);
        return FLoggedOff;
    }
    void Forget() {
        std::lock_guard<std::mutex> guard(FLock);
        FShown.clear();
        FLoggedOff.clear();
    }

    bool LogoffWorks = true;
    int FailLogoffs = 0;
    std::atomic<int> Listings{0};

private:
    std::mutex FLock;
    std::vector<TSessionInfo> FList;
    std::vector<TShown> FShown;
    std::vector<DWORD> FLoggedOff;
};

// A local time the test sets; the weekday is given, as the clock gives it (Sunday = 0).
inline SYSTEMTIME Time(int year, int month, int day, int dayOfWeek, int hour, int minute,
                       int second = 0) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wDayOfWeek = static_cast<WORD>(dayOfWeek);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return t;
}

inline std::wstring UniqueName(const wchar_t* role) {
    static int counter = 0;
    return std::wstring(L"VantrelSvcTest.") + role + L"." + std::to_wstring(GetCurrentProcessId()) +
           L"." + std::to_wstring(++counter);
}

inline std::wstring TempPath(const std::wstring& name) {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder) + name;
}

// The whole file as UTF-8 text; empty when it does not exist.
inline std::string ReadFileText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string text;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &count, nullptr) && count > 0)
        text.append(buffer, count);
    CloseHandle(file);
    return text;
}

inline int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

inline const wchar_t* Suffix(int weekday) {
    static const wchar_t* suffix[] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};
    return suffix[weekday - 1];
}

// A monitored user with one schedule for every day: hours begin to end, limit minutes.
inline void WriteUser(HKEY root, const std::wstring& name, bool control, int begin, int end,
                      int limit, int bonus = 0, int bonusDay = 0) {
    TRegKey key;
    key.Create(root, L"System\\QOR\\Users\\" + name, KEY_ALL_ACCESS);
    key.WriteBool(L"QorControl", control);
    for (int d = 1; d <= 7; ++d) {
        key.WriteInt((std::wstring(L"AllowBegin") + Suffix(d)).c_str(), begin);
        key.WriteInt((std::wstring(L"AllowEnd") + Suffix(d)).c_str(), end);
        key.WriteInt((std::wstring(L"TimeLimit") + Suffix(d)).c_str(), limit);
    }
    key.WriteInt(L"BonusTime", bonus);
    key.WriteInt(L"BonusDayOfYear", bonusDay);
}

inline void WriteUsage(HKEY root, const std::wstring& user, const std::wstring& computer,
                       int weekday, int day, int minutes) {
    TRegKey key;
    key.Create(root, L"System\\QOR\\Users\\" + user + L"\\Computers\\" + computer, KEY_ALL_ACCESS);
    key.WriteInt((std::wstring(L"TimeUsage") + Suffix(weekday)).c_str(), minutes);
    key.WriteInt((std::wstring(L"DayOfYear") + Suffix(weekday)).c_str(), day);
}

// The stored minutes and day of a computer's entry; -1 for a value that cannot be read.
inline std::pair<int, int> ReadUsage(HKEY root, const std::wstring& user,
                                     const std::wstring& computer, int weekday) {
    TRegKey key;
    int minutes = -1, day = -1;
    if (key.Open(root, L"System\\QOR\\Users\\" + user + L"\\Computers\\" + computer, KEY_READ) ==
        ERROR_SUCCESS) {
        key.ReadInt((std::wstring(L"TimeUsage") + Suffix(weekday)).c_str(), minutes);
        key.ReadInt((std::wstring(L"DayOfYear") + Suffix(weekday)).c_str(), day);
    }
    return {minutes, day};
}

inline void WritePrefs(bool remote, const std::wstring& remoteName, bool doNotForceLogoff,
                       bool debug, const std::wstring& warning = L"") {
    TRegKey key;
    key.Create(HKEY_LOCAL_MACHINE, L"System\\QOR\\Preferences", KEY_ALL_ACCESS);
    key.WriteBool(L"Use24HourClock", true);
    key.WriteBool(L"DoubleClickIsTimeUsage", false);
    key.WriteBool(L"RptTimeUsagePerComputer", false);
    key.WriteBool(L"UseRemoteRegistry", remote);
    key.WriteString(L"RemoteRegistry", remoteName);
    key.WriteString(L"MsgNotAllowedText", L"Not now.");
    key.WriteString(L"MsgWarningText", warning);
    key.WriteString(L"MsgReachedLimitText", L"Time is up.");
    key.WriteBool(L"DoNotForceLogoff", doNotForceLogoff);
    key.WriteBool(L"UseDebugLogging", debug);
}

// Dispatches this thread's messages (the pipe client's events) until done, or until a guard
// time that only a fault lets run out.
inline bool PumpUntil(const std::function<bool()>& done, DWORD guard = 30000) {
    const ULONGLONG start = GetTickCount64();
    while (!done()) {
        if (GetTickCount64() - start > guard)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        ProcessPendingMessages();
    }
    return true;
}

// The blocks of earlier service processes.
inline void ForgetBlocks() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\QORsvc\\Blocks");
}

inline void CleanStore() {
    ForgetBlocks();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\QORsvc\\Figures");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Preferences");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VantrelSvcTest");
}

} // namespace vantrel::testing
