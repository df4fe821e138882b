// A request for more time asked on this computer, until a running Vantrel shows it on the
// user's row: the request written to the store as the service writes it, then the service's
// "42" settings news sent on "QorPipe" (by the stand-in service, as the main window's tests serve
// the pipe), and the window pumped until the row says that the user asks. 100 users, 20 rounds,
// each round another user asking. Prints the median and the largest (target: within 2 s).
//
// Usage: bench_answer [path of QorStandIn.exe]
#include "BenchSupport.h"

#include "model/TimeRequest.h"

#include "../tools/standin/StandInControl.h"

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace vantrel;
using namespace vantrel::bench;

constexpr wchar_t kPrefix[] = L"bench_answer_";
constexpr int kUsers = 100;
constexpr int kRounds = 20;
constexpr char kSettingsNews[] = "42, QORsvc settings; last=-; store=local";

std::wstring DefaultStandInPath() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.resize(path.find_last_of(L'\\') + 1);
    return path + L"..\\tools\\standin\\QorStandIn.exe";
}

// False when `done` did not hold within 20 s.
bool PumpUntil(const std::function<bool()>& done) {
    const ULONGLONG start = GetTickCount64();
    while (!done()) {
        if (GetTickCount64() - start > 20000)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        PumpMessages();
    }
    return true;
}

std::string Hex(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : text) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// What the service does when a user asks: the request beside the user's settings.
bool WriteRequest(const std::wstring& user, int minutes) {
    TTimeRequest request;
    ReadTimeRequest(HKEY_LOCAL_MACHINE, user, request);
    const SYSTEMTIME utc = UtcNow();
    const SYSTEMTIME local = LocalNow();
    FILETIME now{};
    SystemTimeToFileTime(&utc, &now);
    return AskForTime(request, TRequestRules{}, minutes, L"bench", L"PC1", now, DayOfYearOf(local),
                      local.wYear) == TRequestRefusal::None &&
           WriteTimeRequest(HKEY_LOCAL_MACHINE, user, request) == ERROR_SUCCESS;
}

int Finish(int code) {
    RemoveStore(kPrefix, kUsers);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    SetProcessDPIAware();
    std::wstring standInPath = DefaultStandInPath();
    if (argc > 1) {
        const std::string given = argv[1];
        standInPath.assign(given.begin(), given.end());
    }
    int boxes = 0;
    UseSeededAccounts(kPrefix, kUsers, boxes);
    SeedStore(kPrefix, kUsers, {L"PC1"});
    TStandIn standIn;
    if (!standIn.Start(standInPath, kPipeName, L"")) {
        std::fwprintf(stderr, L"bench_answer: cannot start %ls\n", standInPath.c_str());
        return Finish(1);
    }
    TMainForm form;
    if (!form.Create()) {
        std::fwprintf(stderr, L"bench_answer: the main window could not be created\n");
        return Finish(1);
    }
    form.Show(SW_SHOWNOACTIVATE);
    if (!PumpUntil([&] { return form.PipeClient() && form.PipeClient()->IsConnected(); })) {
        std::fwprintf(stderr, L"bench_answer: the window did not connect to the pipe\n");
        return Finish(1);
    }
    const std::string send = "rawhex " + Hex(kSettingsNews);
    std::vector<double> shown;
    for (int round = 0; round <= kRounds; ++round) {
        const int row = (round * 37) % kUsers;
        const std::wstring user = form.Users().Items(row).Username;
        const double start = Now();
        if (!WriteRequest(user, 15 + round) || standIn.Command(send) != "ok" || !PumpUntil([&] {
                const TUserRow* data = form.UserList().Row(row);
                return data && data->RequestMinutes == 15 + round;
            })) {
            std::fwprintf(stderr, L"bench_answer: round %d: the row did not show the request\n",
                          round);
            return Finish(1);
        }
        // What the update left for painting is part of what the administrator waits for.
        UpdateWindow(form.Handle());
        PumpMessages();
        // Round 0 warms the caches and is not counted.
        if (round > 0)
            shown.push_back(Now() - start);
    }
    double largest = 0;
    for (double t : shown)
        largest = std::max(largest, t);
    std::printf("bench_answer: %d users, %d requests, asked to shown on the row: median %.1f ms, "
                "largest %.1f ms (target 2000 ms); message boxes %d\n",
                kUsers, kRounds, Median(shown), largest, boxes);
    DestroyWindow(form.Handle());
    return Finish(0);
}
