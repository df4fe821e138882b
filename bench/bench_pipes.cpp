// Measures the pipe client against the stand-in service: how many 10-byte service messages it
// gets through per second (each Write to its sent notification), the same while the service
// floods the client with short messages, and how long 8 MB in 1 MB messages take compared with
// a minimal loop of raw overlapped writes of the same bytes.
// Usage: bench_pipes [path of QorStandIn.exe]
#include "model/Constants.h"
#include "pipes/PipeClient.h"
#include "pipes/PipeFraming.h"

#include "../tools/standin/StandInControl.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace vantrel;

constexpr int kServiceMessages = 2000;
constexpr int kFloodedServiceMessages = 200;
constexpr uint32_t kBigMessage = 1024 * 1024;
constexpr int kBigMessages = 8;
constexpr int kRuns = 7;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A stand-in that went away would leave the benchmark waiting forever; report it instead.
void PumpUntil(const std::function<bool()>& done) {
    const ULONGLONG start = GetTickCount64();
    while (!done()) {
        if (GetTickCount64() - start > 60000) {
            std::fprintf(stderr, "bench_pipes: the service stopped answering\n");
            std::exit(1);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
        ProcessPendingMessages();
    }
}

std::wstring DefaultStandInPath() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.resize(path.find_last_of(L'\\') + 1);
    return path + L"..\\tools\\standin\\QorStandIn.exe";
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Seconds for `count` messages, each written and confirmed before the next.
double ServiceMessages(TPipeClient& client, int& sent, int count = kServiceMessages) {
    double start = Now();
    for (int i = 0; i < count; ++i) {
        int before = sent;
        client.Write(kServiceMessage, 10);
        PumpUntil([&] { return sent > before; });
    }
    return Now() - start;
}

// The same while the stand-in sends 10-byte messages without pause, each of which the client
// reads and delivers to this thread.
double FloodedServiceMessages(TPipeClient& client, int& sent, TStandIn& standIn) {
    if (standIn.Command("flood short") != "ok") {
        std::fprintf(stderr, "bench_pipes: the stand-in does not flood\n");
        std::exit(1);
    }
    double seconds = ServiceMessages(client, sent, kFloodedServiceMessages);
    standIn.Command("flood off");
    return seconds;
}

// Seconds until the service has read all of 8 MB written as 1 MB messages.
double ClientBulk(TPipeClient& client, int& sent, const std::vector<uint8_t>& data) {
    const int partsPerMessage = (kBigMessage + kMaxPipeMessage - 1) / kMaxPipeMessage + 2;
    int target = sent + kBigMessages * partsPerMessage;
    double start = Now();
    for (int i = 0; i < kBigMessages; ++i)
        client.Write(data.data(), kBigMessage);
    PumpUntil([&] { return sent >= target; });
    return Now() - start;
}

// The same pipe messages, written by a bare loop: one overlapped write at a time, and one
// flush at the end so that it too stops only when the service has read everything.
double RawBulk(const std::wstring& path, const std::vector<uint8_t>& data) {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    while (pipe == INVALID_HANDLE_VALUE) {
        WaitNamedPipeW(path.c_str(), 5000);
        pipe = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto write = [&](const void* bytes, DWORD count) {
        DWORD n = 0;
        ResetEvent(ov.hEvent);
        if (!WriteFile(pipe, bytes, count, &n, &ov) && GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(pipe, &ov, &n, TRUE);
    };
    const TPipeControlBlock start = ControlBlock(kTagStartMulti);
    const TPipeControlBlock end = ControlBlock(kTagEndMulti);
    double t0 = Now();
    for (int i = 0; i < kBigMessages; ++i) {
        write(&start, 16);
        for (uint32_t at = 0; at < kBigMessage; at += kMaxPipeMessage)
            write(data.data() + at, std::min(kMaxPipeMessage, kBigMessage - at));
        write(&end, 16);
    }
    FlushFileBuffers(pipe);
    double elapsed = Now() - t0;
    CloseHandle(ov.hEvent);
    CloseHandle(pipe);
    return elapsed;
}

} // namespace

int main(int argc, char** argv) {
    std::wstring standInPath = DefaultStandInPath();
    if (argc > 1) {
        std::string given = argv[1];
        standInPath.assign(given.begin(), given.end());
    }
    std::wstring name = L"VantrelBench." + std::to_wstring(GetCurrentProcessId());
    std::wstring log = L"";
    wchar_t temp[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, temp))
        log = std::wstring(temp) + L"VantrelBench\\QORevents.log";
    TStandIn standIn;
    if (!standIn.Start(standInPath, name, log)) {
        std::fwprintf(stderr, L"bench_pipes: cannot start %ls\n", standInPath.c_str());
        return 1;
    }
    TPipeClient client;
    client.SetPipeName(name);
    int sent = 0;
    client.OnPipeSent = [&](TPipeClient&, HANDLE, uint32_t) { sent++; };
    if (!client.Connect(5000, true)) {
        std::fwprintf(stderr, L"bench_pipes: cannot connect\n");
        return 1;
    }
    std::vector<uint8_t> data(kBigMessage);
    for (uint32_t i = 0; i < kBigMessage; ++i)
        data[i] = static_cast<uint8_t>(i * 13 + 5);

    std::vector<double> service, flooded, bulk, raw;
    ServiceMessages(client, sent); // warm-up
    for (int run = 0; run < kRuns; ++run) {
        service.push_back(ServiceMessages(client, sent));
        bulk.push_back(ClientBulk(client, sent, data));
        raw.push_back(RawBulk(client.PipePath(), data));
        flooded.push_back(FloodedServiceMessages(client, sent, standIn));
    }
    client.Disconnect();

    double perMessage = Median(service) / kServiceMessages;
    double perFloodedMessage = Median(flooded) / kFloodedServiceMessages;
    double bulkTime = Median(bulk);
    double rawTime = Median(raw);
    std::printf("pipe client against the stand-in, median of %d runs\n", kRuns);
    std::printf("  service message \"40, QORsvc\": %.0f messages/s (%.1f us each, %d per run)\n",
                1.0 / perMessage, perMessage * 1e6, kServiceMessages);
    std::printf("  the same while the service floods the client: %.1f us each (%.1fx, %d per "
                "run)\n",
                perFloodedMessage * 1e6, perFloodedMessage / perMessage, kFloodedServiceMessages);
    std::printf("  8 MB as 1 MB messages: client %.1f ms, raw overlapped writes %.1f ms\n",
                bulkTime * 1e3, rawTime * 1e3);
    std::printf("  ratio client/raw: %.2f (target at most 1.5)\n", bulkTime / rawTime);
    return 0;
}
