#pragma once
// What the main window benchmarks share: a store of seeded users written straight to the
// registry, a millisecond clock, the message pump, and the LoadAll against RefreshUserList
// rounds they compare.
#include "model/Clock.h"
#include "model/Constants.h"
#include "model/QorUsers.h"
#include "ui/MainForm.h"
#include "ui/controls/MessageBox.h"

#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace vantrel::bench {

inline void WriteDword(HKEY key, const std::wstring& name, DWORD value) {
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof(value));
}

inline std::wstring SeededUserName(const std::wstring& prefix, int i) {
    return prefix + std::to_wstring(i);
}

// `count` users named `prefix` and a number, with today's usage on each of `computers`.
inline void SeedStore(const std::wstring& prefix, int count,
                      std::initializer_list<const wchar_t*> computers) {
    int day = TodayDayOfYear();
    const wchar_t* today = kDaySuffix[TodayWeekday() - 1];
    for (int i = 0; i < count; ++i) {
        std::wstring path = std::wstring(kUsersKeyPath) + SeededUserName(prefix, i);
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        WriteDword(key, L"QorControl", i % 5 != 0);
        for (const wchar_t* d : kDaySuffix) {
            WriteDword(key, std::wstring(L"AllowBegin") + d, 7);
            WriteDword(key, std::wstring(L"AllowEnd") + d, 20);
            WriteDword(key, std::wstring(L"TimeLimit") + d, 60 + (i % 7) * 15);
        }
        WriteDword(key, L"BonusTime", i % 3 == 0 ? 30 : 0);
        WriteDword(key, L"BonusDayOfYear", static_cast<DWORD>(day));
        RegCloseKey(key);
        for (const wchar_t* computer : computers) {
            HKEY usage = nullptr;
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, (path + L"\\Computers\\" + computer).c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &usage, nullptr);
            WriteDword(usage, std::wstring(L"TimeUsage") + today, static_cast<DWORD>(i % 50));
            WriteDword(usage, std::wstring(L"DayOfYear") + today, static_cast<DWORD>(day));
            RegCloseKey(usage);
        }
    }
}

// The accounts are the seeded users; every message box is counted in `boxes` and answered OK.
inline void UseSeededAccounts(const std::wstring& prefix, int count, int& boxes) {
    std::vector<std::wstring> names;
    for (int i = 0; i < count; ++i)
        names.push_back(SeededUserName(prefix, i));
    SetAccountSourceSeam([names] { return names; });
    boxes = 0;
    SetMessageBoxSeam([&boxes](HWND, const std::wstring&, TMsgKind, TMsgButtons) {
        ++boxes;
        return IDOK;
    });
}

inline void RemoveStore(const std::wstring& prefix, int count) {
    for (int i = 0; i < count; ++i)
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       (std::wstring(kUsersKeyPath) + SeededUserName(prefix, i)).c_str());
}

// Milliseconds.
inline double Now() {
    static LARGE_INTEGER frequency{};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline void PumpMessages() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct TRefreshTimes {
    std::vector<double> Load;
    std::vector<double> Refresh;
};

// `rounds` of LoadAll alone against RefreshUserList on the shown window, after one LoadAll
// that neither is timed for.
inline TRefreshTimes TimeRefreshes(TMainForm& form, int rounds) {
    TQorUsers users;
    users.LoadAll(false, L"");
    TRefreshTimes times;
    for (int round = 0; round < rounds; ++round) {
        double start = Now();
        users.LoadAll(false, L"");
        times.Load.push_back(Now() - start);

        start = Now();
        form.RefreshUserList();
        times.Refresh.push_back(Now() - start);
        // What the refresh left for painting is part of its cost to the administrator.
        start = Now();
        UpdateWindow(form.Handle());
        PumpMessages();
        times.Refresh.back() += Now() - start;
    }
    return times;
}

} // namespace vantrel::bench
