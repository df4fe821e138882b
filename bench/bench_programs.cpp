// Times the service's look at the running programs (TProgramWatch::Look) with 300 processes on
// the system, all of them the user's own in the user's session (the test programs, started
// here, with and without version information), against a hand-written loop of the same system
// calls in the same run (target: ratio at most 1.3): the one list of the system's processes,
// into a buffer kept between looks, and a walk over its entries. A look after the first asks
// the system nothing more, since every process has been seen. The two take turns, each going
// first every other round, and the figure is the median of the rounds' ratios. Every process
// started here is ended before the figures are printed.
#include "service/ProgramWatch.h"

#include "BenchSupport.h"
#include "TestPrograms.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace vantrel;
using vantrel::bench::Now;

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The hand-written look: one NtQuerySystemInformation(SystemProcessInformation) into a buffer
// kept between calls, and a walk that reads each entry's pid, session and start time.
class THandLook {
public:
    THandLook()
        : FQuery(reinterpret_cast<TQuery>(
              GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"))),
          FBuffer(256 * 1024) {}

    // The number of processes in `session`; -1 when the list could not be had.
    int Look(DWORD session) {
        ULONG needed = 0;
        LONG status = 0;
        while ((status = FQuery(5, FBuffer.data(), static_cast<ULONG>(FBuffer.size()), &needed)) ==
               static_cast<LONG>(0xC0000004))
            FBuffer.resize(std::max<size_t>(needed, FBuffer.size()) * 5 / 4);
        if (status < 0)
            return -1;
        int count = 0;
        for (size_t offset = 0;;) {
            const BYTE* entry = FBuffer.data() + offset;
            const auto pid = *reinterpret_cast<const ULONG_PTR*>(entry + 80);
            const auto created = *reinterpret_cast<const ULONGLONG*>(entry + 32);
            if (pid != 0 && *reinterpret_cast<const ULONG*>(entry + 100) == session)
                count += created != 0;
            const ULONG next = *reinterpret_cast<const ULONG*>(entry);
            if (next == 0)
                break;
            offset += next;
        }
        return count;
    }
    // Every process in the list.
    int All() {
        Look(0);
        int count = 0;
        for (size_t offset = 0;; ++count) {
            const ULONG next = *reinterpret_cast<const ULONG*>(FBuffer.data() + offset);
            if (next == 0)
                return count + 1;
            offset += next;
        }
    }

private:
    using TQuery = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    TQuery FQuery;
    std::vector<BYTE> FBuffer;
};

// One look at 300 processes against the hand-written look.
void BenchLook() {
    constexpr int kProcesses = 300;
    constexpr int kRounds = 21;
    constexpr int kLooksPerRound = 20;

    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    wchar_t user[257] = {};
    DWORD length = 257;
    GetUserNameW(user, &length);
    const std::vector<TSessionInfo> sessions = {{session, user}};

    THandLook hand;
    std::vector<vantrel::testing::TStartedProgram> started;
    const double startBegan = Now();
    for (int i = hand.All(); i < kProcesses; ++i) {
        vantrel::testing::TStartedProgram program;
        const std::wstring exe =
            i % 2 ? vantrel::testing::TestGameExe() : vantrel::testing::TestPlainExe();
        if (!program.Start(exe, L"/seconds 600")) {
            std::printf("could not start process %d (error %lu)\n", i, GetLastError());
            break;
        }
        started.push_back(std::move(program));
    }
    std::printf("look at the processes: %d on the system (%zu started in %.1f s)\n", hand.All(),
                started.size(), (Now() - startBegan) / 1000);

    TProgramWatch watch;
    double began = Now();
    const size_t seen = watch.Look(sessions).size();
    std::printf("first look (asks every process):  %8.2f ms, %zu processes of %ls seen\n",
                Now() - began, seen, user);

    std::vector<double> watchTimes, handTimes, ratios;
    size_t watchSeen = 0;
    int handSeen = 0;
    for (int round = 0; round < kRounds; ++round) {
        double tookWatch = 0, tookHand = 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (round % 2 == 0)) {
                began = Now();
                for (int i = 0; i < kLooksPerRound; ++i)
                    watchSeen = watch.Look(sessions).size();
                tookWatch = (Now() - began) / kLooksPerRound;
            } else {
                began = Now();
                for (int i = 0; i < kLooksPerRound; ++i)
                    handSeen = hand.Look(session);
                tookHand = (Now() - began) / kLooksPerRound;
            }
        }
        watchTimes.push_back(tookWatch);
        handTimes.push_back(tookHand);
        ratios.push_back(tookWatch / tookHand);
    }
    started.clear(); // ends them all
    std::printf("TProgramWatch::Look:              %8.2f ms (%zu programs of %ls)\n",
                Median(watchTimes), watchSeen, user);
    std::printf("hand-written look:                %8.2f ms (%d processes in its session)\n",
                Median(handTimes), handSeen);
    std::printf("ratio:                            %8.2f (target at most 1.30; rounds from %.2f "
                "to %.2f; median of %d rounds of %d looks)\n",
                Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), kRounds, kLooksPerRound);
}

} // namespace

int main() {
    BenchLook();
    return 0;
}
