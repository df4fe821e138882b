// Times TQorUsers::LoadAll for 500 users with 3 computers each against a minimal hand-written
// loop that makes the same registry reads, in the same run. Target: ratio at most 1.3.
#include "accounts/Accounts.h"
#include "model/Clock.h"
#include "model/QorUsers.h"
#include "model/Registry.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace vantrel;

namespace {

constexpr int kUsers = 500;
constexpr int kRounds = 5;
const wchar_t* const kSuffix[] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};

std::wstring UserName(int i) {
    wchar_t name[32];
    swprintf(name, 32, L"bench%03d", i);
    return name;
}

void BuildStore(const std::vector<std::wstring>& names, const std::wstring& thisComputer) {
    const int d = TodayWeekday();
    const int n = TodayDayOfYear();
    for (const auto& name : names) {
        TQorUser user;
        user.Username = name;
        user.QorControl = true;
        SaveUser(user, false, L"");
        const std::wstring computers[] = {thisComputer, L"LAPTOP", L"DESK"};
        for (const auto& computer : computers) {
            TRegKey key;
            key.Create(HKEY_LOCAL_MACHINE,
                       L"System\\QOR\\Users\\" + name + L"\\Computers\\" + computer, KEY_SET_VALUE);
            key.WriteInt((std::wstring(L"DayOfYear") + kSuffix[d - 1]).c_str(), n);
            key.WriteInt((std::wstring(L"TimeUsage") + kSuffix[d - 1]).c_str(), 20);
        }
    }
}

// The same reads as a load, written out by hand with nothing around them.
long long HandWrittenLoop(const std::vector<std::wstring>& names) {
    static const wchar_t* const kSettings[] = {
        L"QorControl",    L"AllowBeginMon", L"AllowBeginTue", L"AllowBeginWed", L"AllowBeginThu",
        L"AllowBeginFri", L"AllowBeginSat", L"AllowBeginSun", L"AllowEndMon",   L"AllowEndTue",
        L"AllowEndWed",   L"AllowEndThu",   L"AllowEndFri",   L"AllowEndSat",   L"AllowEndSun",
        L"TimeLimitMon",  L"TimeLimitTue",  L"TimeLimitWed",  L"TimeLimitThu",  L"TimeLimitFri",
        L"TimeLimitSat",  L"TimeLimitSun",  L"BonusTime",     L"BonusDayOfYear"};
    const int d = TodayWeekday();
    const std::wstring dayName = std::wstring(L"DayOfYear") + kSuffix[d - 1];
    const std::wstring usageName = std::wstring(L"TimeUsage") + kSuffix[d - 1];
    long long sum = 0;
    for (const auto& name : names) {
        const std::wstring path = L"System\\QOR\\Users\\" + name;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == 0) {
            for (const wchar_t* value : kSettings) {
                DWORD data = 0, size = sizeof(data), type = 0;
                RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
                sum += data;
            }
            RegCloseKey(key);
        }
        HKEY computers = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (path + L"\\Computers").c_str(), 0, KEY_READ,
                          &computers) == 0) {
            wchar_t sub[256];
            for (DWORD i = 0;; ++i) {
                DWORD length = 256;
                if (RegEnumKeyExW(computers, i, sub, &length, nullptr, nullptr, nullptr, nullptr))
                    break;
                HKEY computer = nullptr;
                if (RegOpenKeyExW(computers, sub, 0, KEY_READ, &computer) == 0) {
                    DWORD data = 0, size = sizeof(data), type = 0;
                    RegQueryValueExW(computer, dayName.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(&data), &size);
                    size = sizeof(data);
                    RegQueryValueExW(computer, usageName.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(&data), &size);
                    sum += data;
                    RegCloseKey(computer);
                }
            }
            RegCloseKey(computers);
        }
    }
    return sum;
}

template <typename F> double BestSeconds(F&& run) {
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        run();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

} // namespace

int main() {
    std::vector<std::wstring> names;
    for (int i = 0; i < kUsers; ++i)
        names.push_back(UserName(i));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users");
    BuildStore(names, GetWorkstationName());
    SetAccountSourceSeam([&] { return names; });

    TQorUsers users;
    users.LoadAll(false, L""); // builds the collection; later calls reload in place
    double loadAll = BestSeconds([&] { users.LoadAll(false, L""); });
    double loop = BestSeconds([&] { HandWrittenLoop(names); });
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR\\Users");

    std::printf("store: %d users x 3 computers, best of %d rounds\n", kUsers, kRounds);
    std::printf("LoadAll:           %8.1f ms\n", loadAll * 1000);
    std::printf("hand-written loop: %8.1f ms\n", loop * 1000);
    std::printf("ratio:             %8.2f (target at most 1.30)\n", loadAll / loop);
    return 0;
}
