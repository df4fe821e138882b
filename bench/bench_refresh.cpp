// RefreshUserList for 500 users against LoadAll alone, in the same run and on the same store.
// Prints both medians and their ratio (target: at most 1.2).
#include "model/Clock.h"
#include "model/Constants.h"
#include "model/QorUsers.h"
#include "ui/MainForm.h"
#include "ui/controls/MessageBox.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kUsers = 500;
constexpr int kRounds = 7;

void WriteDword(HKEY key, const std::wstring& name, DWORD value) {
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof(value));
}

std::wstring UserName(int i) {
    return L"bench_refresh_" + std::to_wstring(i);
}

void SeedStore() {
    int day = vantrel::TodayDayOfYear();
    const wchar_t* today = vantrel::kDaySuffix[vantrel::TodayWeekday() - 1];
    for (int i = 0; i < kUsers; ++i) {
        std::wstring path = std::wstring(vantrel::kUsersKeyPath) + UserName(i);
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        WriteDword(key, L"QorControl", i % 5 != 0);
        for (const wchar_t* d : vantrel::kDaySuffix) {
            WriteDword(key, std::wstring(L"AllowBegin") + d, 7);
            WriteDword(key, std::wstring(L"AllowEnd") + d, 20);
            WriteDword(key, std::wstring(L"TimeLimit") + d, 60 + (i % 7) * 15);
        }
        WriteDword(key, L"BonusTime", i % 3 == 0 ? 30 : 0);
        WriteDword(key, L"BonusDayOfYear", static_cast<DWORD>(day));
        RegCloseKey(key);
        for (const wchar_t* computer : {L"PC1", L"PC2"}) {
            HKEY usage = nullptr;
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, (path + L"\\Computers\\" + computer).c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &usage, nullptr);
            WriteDword(usage, std::wstring(L"TimeUsage") + today, static_cast<DWORD>(i % 50));
            WriteDword(usage, std::wstring(L"DayOfYear") + today, static_cast<DWORD>(day));
            RegCloseKey(usage);
        }
    }
}

void RemoveStore() {
    for (int i = 0; i < kUsers; ++i)
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       (std::wstring(vantrel::kUsersKeyPath) + UserName(i)).c_str());
}

double Now() {
    static LARGE_INTEGER frequency{};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void PumpMessages() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main() {
    SetProcessDPIAware();
    std::vector<std::wstring> names;
    for (int i = 0; i < kUsers; ++i)
        names.push_back(UserName(i));
    vantrel::SetAccountSourceSeam([&] { return names; });
    int boxes = 0;
    vantrel::SetMessageBoxSeam(
        [&](HWND, const std::wstring&, vantrel::TMsgKind, vantrel::TMsgButtons) {
            ++boxes;
            return IDOK;
        });
    SeedStore();

    vantrel::TMainForm form;
    if (!form.Create()) {
        std::fwprintf(stderr, L"bench_refresh: the main window could not be created\n");
        RemoveStore();
        return 1;
    }
    form.Show(SW_SHOWNOACTIVATE);
    PumpMessages();
    vantrel::TQorUsers users;
    users.LoadAll(false, L"");

    std::vector<double> refresh, load;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        users.LoadAll(false, L"");
        load.push_back(Now() - start);

        start = Now();
        form.RefreshUserList();
        refresh.push_back(Now() - start);
        // What the refresh left for painting is part of its cost to the administrator.
        start = Now();
        UpdateWindow(form.Handle());
        PumpMessages();
        refresh.back() += Now() - start;
    }
    RemoveStore();
    if (boxes != 0 || form.Users().Count() != kUsers) {
        std::fwprintf(stderr, L"bench_refresh: store not read as seeded (%d users, %d boxes)\n",
                      form.Users().Count(), boxes);
        return 1;
    }
    double loadMs = Median(load);
    double refreshMs = Median(refresh);
    std::wprintf(L"LoadAll, %d users: median %.1f ms over %d rounds\n", kUsers, loadMs, kRounds);
    std::wprintf(L"RefreshUserList, %d users: median %.1f ms over %d rounds\n", kUsers, refreshMs,
                 kRounds);
    std::wprintf(L"ratio RefreshUserList / LoadAll: %.2f (target at most 1.20)\n",
                 refreshMs / loadMs);
    return 0;
}
