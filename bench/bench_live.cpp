// A live update (the service counted a minute) for 500 users, each with today's usage on two
// computers, against the raw registry reads it needs, in the same run and on the same store:
// per user the Computers key, its subkeys, and per computer its key with the day and the minutes.
// Every round the store gains a minute for every user first, so every row repaints. Prints both
// medians and their ratio (target: at most 1.2). Then the update that follows the service's
// reading of the settings (and, with a network store, every other minute): everything a row
// shows read again, the settings changed for every user first; its median against the usage
// alone tells what the rows following the settings cost.
#include "BenchSupport.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace vantrel;
using namespace vantrel::bench;

constexpr wchar_t kPrefix[] = L"bench_live_";
constexpr int kUsers = 500;
constexpr int kRounds = 15;
const wchar_t* const kComputers[] = {L"PC1", L"PC2"};

std::wstring UserPath(int i) {
    return std::wstring(kUsersKeyPath) + SeededUserName(kPrefix, i);
}

// What the service does at a minute: one more minute for every user on PC1.
void CountAMinute(int minutes) {
    const std::wstring usage = std::wstring(L"TimeUsage") + kDaySuffix[TodayWeekday() - 1];
    for (int i = 0; i < kUsers; ++i) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (UserPath(i) + L"\\Computers\\PC1").c_str(), 0,
                          KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            continue;
        WriteDword(key, usage, static_cast<DWORD>(i % 50 + minutes));
        RegCloseKey(key);
    }
}

// The reads by hand; the sum of today's minutes, so that nothing is left out.
long long RawReads() {
    const int day = TodayDayOfYear();
    const wchar_t* today = kDaySuffix[TodayWeekday() - 1];
    const std::wstring dayName = std::wstring(L"DayOfYear") + today;
    const std::wstring usageName = std::wstring(L"TimeUsage") + today;
    long long sum = 0;
    for (int i = 0; i < kUsers; ++i) {
        HKEY computers = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (UserPath(i) + L"\\Computers").c_str(), 0, KEY_READ,
                          &computers) != ERROR_SUCCESS)
            continue;
        wchar_t name[256];
        for (DWORD index = 0;; ++index) {
            DWORD length = 256;
            if (RegEnumKeyExW(computers, index, name, &length, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS)
                break;
            HKEY key = nullptr;
            if (RegOpenKeyExW(computers, name, 0, KEY_READ, &key) != ERROR_SUCCESS)
                continue;
            DWORD value = 0, size = sizeof(value);
            if (RegQueryValueExW(key, dayName.c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                static_cast<int>(value) == day) {
                size = sizeof(value);
                if (RegQueryValueExW(key, usageName.c_str(), nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS)
                    sum += value;
            }
            RegCloseKey(key);
        }
        RegCloseKey(computers);
    }
    return sum;
}

long long ShownUsage(TMainForm& form) {
    long long sum = 0;
    for (int i = 0; i < form.Users().Count(); ++i)
        sum += form.Users().Items(i).TodaysTimeUsage;
    return sum;
}

} // namespace

int main() {
    SetProcessDPIAware();
    int boxes = 0;
    UseSeededAccounts(kPrefix, kUsers, boxes);
    SeedStore(kPrefix, kUsers, {kComputers[0], kComputers[1]});

    TMainForm form;
    if (!form.Create()) {
        std::fwprintf(stderr, L"bench_live: the main window could not be created\n");
        RemoveStore(kPrefix, kUsers);
        return 1;
    }
    form.Show(SW_SHOWNOACTIVATE);
    PumpMessages();
    std::vector<double> raw, live, reread;
    bool same = true;
    // Round 0 warms the registry's and the list's caches and is not timed.
    for (int round = 0; round <= kRounds; ++round) {
        CountAMinute(round + 1);
        double start = Now();
        const long long read = RawReads();
        raw.push_back(Now() - start);

        start = Now();
        form.LiveUpdate();
        // What the update left for painting is part of its cost to the administrator.
        UpdateWindow(form.Handle());
        PumpMessages();
        live.push_back(Now() - start);
        same = same && read == ShownUsage(form);
        if (round == 0) {
            raw.clear();
            live.clear();
        }
    }
    // The settings: every round another limit for every user, which every row must show.
    bool limits = true;
    for (int round = 0; round <= kRounds; ++round) {
        const std::wstring limit = std::wstring(L"TimeLimit") + kDaySuffix[TodayWeekday() - 1];
        for (int i = 0; i < kUsers; ++i) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UserPath(i).c_str(), 0, KEY_SET_VALUE, &key) !=
                ERROR_SUCCESS)
                continue;
            WriteDword(key, limit, static_cast<DWORD>(100 + round));
            RegCloseKey(key);
        }
        CountAMinute(kRounds + round + 2);
        const double start = Now();
        form.RereadRowsAtNextUpdate();
        form.LiveUpdate();
        UpdateWindow(form.Handle());
        PumpMessages();
        reread.push_back(Now() - start);
        for (int i = 0; i < form.Users().Count(); ++i)
            limits = limits && form.Users().Items(i).TodaysTimeLimit == 100 + round;
        if (round == 0)
            reread.clear();
    }
    RemoveStore(kPrefix, kUsers);
    if (!limits) {
        std::fwprintf(stderr, L"bench_live: the rows do not show the limits the store holds\n");
        return 1;
    }
    if (boxes != 0 || form.Users().Count() != kUsers || !same) {
        std::fwprintf(stderr, L"bench_live: the rows do not show the store (%d users, %d boxes)\n",
                      form.Users().Count(), boxes);
        return 1;
    }
    const double rawMs = Median(raw);
    const double liveMs = Median(live);
    std::wprintf(L"raw registry reads of today's usage, %d users: median %.1f ms over %d rounds\n",
                 kUsers, rawMs, kRounds);
    std::wprintf(L"live update (reload and repaint), %d users: median %.1f ms over %d rounds\n",
                 kUsers, liveMs, kRounds);
    std::wprintf(L"ratio live update / raw reads: %.2f (target at most 1.20)\n", liveMs / rawMs);
    const double rereadMs = Median(reread);
    std::wprintf(L"live update with the settings read again, %d users: median %.1f ms over %d "
                 L"rounds, %.2f times the usage alone\n",
                 kUsers, rereadMs, kRounds, rereadMs / liveMs);
    return 0;
}
