// RefreshUserList for 500 users against LoadAll alone, in the same run and on the same store.
// Prints both medians and their ratio (target: at most 1.2).
#include "BenchSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace vantrel::bench;

constexpr wchar_t kPrefix[] = L"bench_refresh_";
constexpr int kUsers = 500;
constexpr int kRounds = 7;

} // namespace

int main() {
    SetProcessDPIAware();
    int boxes = 0;
    UseSeededAccounts(kPrefix, kUsers, boxes);
    SeedStore(kPrefix, kUsers, {L"PC1", L"PC2"});

    vantrel::TMainForm form;
    if (!form.Create()) {
        std::fwprintf(stderr, L"bench_refresh: the main window could not be created\n");
        RemoveStore(kPrefix, kUsers);
        return 1;
    }
    form.Show(SW_SHOWNOACTIVATE);
    PumpMessages();
    const TRefreshTimes times = TimeRefreshes(form, kRounds);
    RemoveStore(kPrefix, kUsers);
    if (boxes != 0 || form.Users().Count() != kUsers) {
        std::fwprintf(stderr, L"bench_refresh: store not read as seeded (%d users, %d boxes)\n",
                      form.Users().Count(), boxes);
        return 1;
    }
    double loadMs = Median(times.Load);
    double refreshMs = Median(times.Refresh);
    std::wprintf(L"LoadAll, %d users: median %.1f ms over %d rounds\n", kUsers, loadMs, kRounds);
    std::wprintf(L"RefreshUserList, %d users: median %.1f ms over %d rounds\n", kUsers, refreshMs,
                 kRounds);
    std::wprintf(L"ratio RefreshUserList / LoadAll: %.2f (target at most 1.20)\n",
                 refreshMs / loadMs);
    return 0;
}
