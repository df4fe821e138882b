// Times one minute of the time-limit service (TMinuteLoop::Tick) for 100 monitored users with
// 5 computers each, on a network store (a key of this registry behind the network registry
// seam), against a hand-written loop that makes the registry reads and writes that minute
// needs, in the same run (target: ratio at most 1.3): one connection, the settings and usage
// from the store, this computer's minute written to the store and to this computer's copy,
// and the user's figures that the minute changes. The two take turns, each going first every
// other round, and the figure is the median of the rounds' ratios: a busy moment of the machine
// falls on both minutes of one round, and a few such rounds move the median little.
//
// Then the minute with the programs of 20 users recorded against the minute without any, in the
// same run (target: ratio at most 1.3): two loops of 100 users each on the same store; in the
// one, 20 users run three programs each (real processes, copies of this program that only
// wait), have a rule on one of them and the other four computers' lists of today in the store,
// so that every minute charges, writes the list and reads the other computers' lists. It also
// shows the memory of a running QORsvc.exe at rest.
#include "model/Clock.h"
#include "model/Constants.h"
#include "model/Prefs.h"
#include "model/ProgramInfo.h"
#include "model/ProgramRules.h"
#include "model/ProgramUsage.h"
#include "model/Registry.h"
#include "model/UserFigures.h"
#include "service/MinuteLoop.h"
#include "service/ServiceLog.h"
#include "service/ProgramWatch.h"
#include "service/Sessions.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

using namespace vantrel;

namespace {

constexpr int kUsers = 100;
constexpr int kProgramUsers = 20;
constexpr int kProgramsEach = 3;
constexpr int kRounds = 15;
const wchar_t kHere[] = L"BENCH-HERE";
const wchar_t kStore[] = L"\\\\BENCH-STORE";
const wchar_t kStoreKey[] = L"SOFTWARE\\VantrelBench\\STORE";
const wchar_t* const kOthers[] = {L"LAPTOP", L"DESK", L"KITCHEN", L"STUDY"};
const wchar_t* const kSuffix[] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};

std::wstring UserName(int i, const wchar_t* prefix = L"bench") {
    wchar_t name[32];
    swprintf(name, 32, L"%ls%03d", prefix, i);
    return name;
}

class TBenchSessions : public TSessionHost {
public:
    explicit TBenchSessions(const std::vector<std::wstring>& names) {
        for (size_t i = 0; i < names.size(); ++i)
            FList.push_back({static_cast<DWORD>(i + 1), names[i]});
    }
    explicit TBenchSessions(std::vector<TSessionInfo> list) : FList(std::move(list)) {}
    std::vector<TSessionInfo> Sessions() override { return FList; }
    bool ShowMessage(DWORD, const std::wstring&) override { return true; }
    bool Logoff(DWORD) override { return true; }

private:
    std::vector<TSessionInfo> FList;
};

LONG ConnectStore(const std::wstring&, HKEY* root) {
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           root, nullptr);
}

void BuildStore(const std::vector<std::wstring>& names) {
    const int d = TodayWeekday();
    const int n = TodayDayOfYear();
    TQorPrefs prefs;
    prefs.Use24HourClock = true;
    prefs.UseRemoteRegistry = true;
    prefs.RemoteRegistry = kStore;
    SavePrefs(prefs);
    HKEY store = nullptr;
    ConnectStore(kStore, &store);
    for (const auto& name : names) {
        TRegKey key;
        key.Create(store, kUsersKeyPath + name, KEY_SET_VALUE);
        key.WriteBool(L"QorControl", true);
        for (const wchar_t* suffix : kSuffix) {
            key.WriteInt((std::wstring(L"AllowBegin") + suffix).c_str(), 0);
            key.WriteInt((std::wstring(L"AllowEnd") + suffix).c_str(), 24);
            key.WriteInt((std::wstring(L"TimeLimit") + suffix).c_str(), 1440);
        }
        key.WriteInt(L"BonusTime", 0);
        key.WriteInt(L"BonusDayOfYear", 0);
        std::vector<std::wstring> computers(std::begin(kOthers), std::end(kOthers));
        computers.push_back(kHere);
        for (const auto& computer : computers) {
            TRegKey usage;
            usage.Create(store, kUsersKeyPath + name + L"\\Computers\\" + computer, KEY_SET_VALUE);
            usage.WriteInt((std::wstring(L"DayOfYear") + kSuffix[d - 1]).c_str(), n);
            usage.WriteInt((std::wstring(L"TimeUsage") + kSuffix[d - 1]).c_str(), 20);
        }
    }
    RegCloseKey(store);
}

void WriteMinute(HKEY root, const std::wstring& path, const std::wstring& usageName,
                 const std::wstring& dayName, DWORD minutes, DWORD day) {
    HKEY own = nullptr;
    if (RegCreateKeyExW(root, (path + L"\\Computers\\" + kHere).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &own, nullptr) == 0) {
        RegSetValueExW(own, usageName.c_str(), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&minutes), sizeof(minutes));
        RegSetValueExW(own, dayName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&day),
                       sizeof(day));
        RegCloseKey(own);
    }
}

// What a minute changes of the figures the user reads (model/UserFigures.h): the minutes used
// and left, between the clearing and the writing of the time they were written at.
void WriteFigures(const std::wstring& name, DWORD used) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kFiguresKeyPath) + L"\\" + name).c_str(), 0,
                      KEY_SET_VALUE, &key) != 0)
        return;
    FILETIME written{};
    RegSetValueExW(key, L"Written", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&written),
                   sizeof(written));
    const DWORD left = 1000 - used;
    RegSetValueExW(key, L"Used", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&used), sizeof(used));
    RegSetValueExW(key, L"Left", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&left), sizeof(left));
    GetSystemTimeAsFileTime(&written);
    RegSetValueExW(key, L"Written", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&written),
                   sizeof(written));
    RegCloseKey(key);
}

DWORD ReadDword(HKEY key, const wchar_t* name) {
    DWORD data = 0, size = sizeof(data), type = 0;
    RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    return data;
}

// The reads and writes of one minute, written out by hand with nothing around them: the
// preferences, one connection to the store, each user's settings and usage on every computer
// there, this computer's minute written to the store and to this computer's copy, and the
// figures the minute changes for the user to read. The
// copy's settings and other computers' minutes change in no minute here, so are not written.
long long HandWrittenMinute(const std::vector<std::wstring>& names) {
    static const wchar_t* const kPrefs[] = {L"Use24HourClock",          L"DoubleClickIsTimeUsage",
                                            L"RptTimeUsagePerComputer", L"UseRemoteRegistry",
                                            L"RemoteRegistry",          L"MsgNotAllowedText",
                                            L"MsgWarningText",          L"MsgReachedLimitText",
                                            L"DoNotForceLogoff",        L"UseDebugLogging"};
    static const wchar_t* const kSettings[] = {
        L"QorControl",    L"AllowBeginMon", L"AllowBeginTue", L"AllowBeginWed",  L"AllowBeginThu",
        L"AllowBeginFri", L"AllowBeginSat", L"AllowBeginSun", L"AllowEndMon",    L"AllowEndTue",
        L"AllowEndWed",   L"AllowEndThu",   L"AllowEndFri",   L"AllowEndSat",    L"AllowEndSun",
        L"TimeLimitMon",  L"TimeLimitTue",  L"TimeLimitWed",  L"TimeLimitThu",   L"TimeLimitFri",
        L"TimeLimitSat",  L"TimeLimitSun",  L"BonusTime",     L"BonusDayOfYear", L"BonusYear"};
    const int d = TodayWeekday();
    const DWORD n = static_cast<DWORD>(TodayDayOfYear());
    const std::wstring dayName = std::wstring(L"DayOfYear") + kSuffix[d - 1];
    const std::wstring usageName = std::wstring(L"TimeUsage") + kSuffix[d - 1];
    long long sum = 0;
    HKEY prefs = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, 0, KEY_READ, &prefs) == 0) {
        for (const wchar_t* value : kPrefs)
            sum += ReadDword(prefs, value);
        RegCloseKey(prefs);
    }
    HKEY store = nullptr;
    if (ConnectRemoteRegistry(kStore, &store) != 0)
        return sum;
    for (const auto& name : names) {
        const std::wstring path = kUsersKeyPath + name;
        HKEY key = nullptr;
        if (RegOpenKeyExW(store, path.c_str(), 0, KEY_READ, &key) == 0) {
            for (const wchar_t* value : kSettings)
                sum += ReadDword(key, value);
            RegCloseKey(key);
        }
        DWORD mine = 0;
        HKEY computers = nullptr;
        if (RegOpenKeyExW(store, (path + L"\\Computers").c_str(), 0, KEY_READ, &computers) == 0) {
            wchar_t sub[256];
            for (DWORD i = 0;; ++i) {
                DWORD length = 256;
                if (RegEnumKeyExW(computers, i, sub, &length, nullptr, nullptr, nullptr, nullptr))
                    break;
                HKEY computer = nullptr;
                if (RegOpenKeyExW(computers, sub, 0, KEY_READ, &computer) == 0) {
                    if (ReadDword(computer, dayName.c_str()) == n) {
                        const DWORD minutes = ReadDword(computer, usageName.c_str());
                        sum += minutes;
                        if (std::wstring(sub) == kHere)
                            mine = minutes;
                    }
                    RegCloseKey(computer);
                }
            }
            RegCloseKey(computers);
        }
        WriteMinute(store, path, usageName, dayName, mine + 1, n);
        WriteMinute(HKEY_LOCAL_MACHINE, path, usageName, dayName, mine + 1, n);
        WriteFigures(name, mine + 1);
    }
    RegCloseKey(store);
    return sum;
}

double Seconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct TTurns {
    double MedianA = 0, MedianB = 0, MedianRatio = 0, LowRatio = 0, HighRatio = 0;
};

// Each round measures both, the one first in even rounds and the other first in odd ones, so
// that neither always finds the caches as the other left them.
TTurns InTurns(const std::function<void()>& a, const std::function<void()>& b) {
    std::vector<double> timesA, timesB, ratios;
    for (int round = 0; round < kRounds; ++round) {
        double tookA = 0, tookB = 0;
        if (round % 2 == 0) {
            tookA = Seconds(a);
            tookB = Seconds(b);
        } else {
            tookB = Seconds(b);
            tookA = Seconds(a);
        }
        timesA.push_back(tookA);
        timesB.push_back(tookB);
        ratios.push_back(tookA / tookB);
    }
    TTurns turns;
    turns.MedianA = Median(timesA);
    turns.MedianB = Median(timesB);
    turns.MedianRatio = Median(ratios);
    turns.LowRatio = *std::min_element(ratios.begin(), ratios.end());
    turns.HighRatio = *std::max_element(ratios.begin(), ratios.end());
    return turns;
}

std::wstring TempFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder) + name + std::to_wstring(GetCurrentProcessId());
}

// Private bytes and working set of a QORsvc.exe in its console form once it has started.
void MemoryAtRest() {
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring folder = self;
    folder.resize(folder.find_last_of(L'\\'));
    const std::wstring exe = folder + L"\\..\\src\\service\\QORsvc.exe";
    const std::wstring log = TempFile(L"bench-service.log.");
    std::wstring command = L"\"" + exe + L"\" --console --pipe BenchService" +
                           std::to_wstring(GetCurrentProcessId()) + L" --log \"" + log + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        std::printf("QORsvc.exe at rest: cannot start it (error %lu)\n", GetLastError());
        return;
    }
    // Started once its log says so; then a moment for its first check to settle.
    for (int i = 0; i < 200 && GetFileAttributesW(log.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    Sleep(1000);
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(process.hProcess,
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof(counters)))
        std::printf("QORsvc.exe at rest: %8.1f MB working set, %8.1f MB private%s\n",
                    counters.WorkingSetSize / 1048576.0, counters.PrivateUsage / 1048576.0,
                    counters.PrivateUsage == 0 ? " (not reported under Wine)" : "");
    else
        std::printf("QORsvc.exe at rest: no memory figures (error %lu)\n", GetLastError());
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DeleteFileW(log.c_str());
}

// Copies of this program that only wait (--wait), each under a name of its own: a program of
// its own each, known by its folder and name (it has no version information). Ended and deleted
// when the benchmark ends.
class TWaiters {
public:
    ~TWaiters() {
        for (PROCESS_INFORMATION& process : FProcesses) {
            TerminateProcess(process.hProcess, 0);
            WaitForSingleObject(process.hProcess, 5000);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        for (const std::wstring& file : Files)
            DeleteFileW(file.c_str());
    }
    bool Copy(int count) {
        wchar_t self[MAX_PATH + 1] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
        for (int k = 0; k < count; ++k) {
            Files.push_back(TempFile((L"bench-game" + std::to_wstring(k) + L"-").c_str()) +
                            L".exe");
            if (!CopyFileW(self, Files.back().c_str(), FALSE))
                return false;
        }
        return true;
    }
    DWORD Start(const std::wstring& file) {
        std::wstring command = L"\"" + file + L"\" --wait";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(file.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                            nullptr, nullptr, &startup, &process))
            return 0;
        FProcesses.push_back(process);
        return process.dwProcessId;
    }

    std::vector<std::wstring> Files;

private:
    std::vector<PROCESS_INFORMATION> FProcesses;
};

// The minute with the programs of kProgramUsers users recorded against the minute without any.
void ProgramsMinute(const std::vector<std::wstring>& plainNames) {
    std::vector<std::wstring> names;
    for (int i = 0; i < kUsers; ++i)
        names.push_back(UserName(i, L"prog"));
    BuildStore(names);
    TWaiters waiters;
    std::vector<TProgramInfo> programs(kProgramsEach);
    if (!waiters.Copy(kProgramsEach)) {
        std::printf("programs: cannot copy this program (error %lu)\n", GetLastError());
        return;
    }
    for (int k = 0; k < kProgramsEach; ++k)
        ReadProgramInfo(waiters.Files[k], programs[k]);
    // Under Wine every process lies in one session: the users with programs share it, and
    // the processes' owners (the seam) tell whose each is.
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    std::map<DWORD, std::wstring> owners;
    std::vector<TSessionInfo> withPrograms, without;
    HKEY store = nullptr;
    ConnectStore(kStore, &store);
    const SYSTEMTIME today = LocalNow();
    for (int i = 0; i < kUsers; ++i) {
        without.push_back({static_cast<DWORD>(2000 + i), plainNames[i]});
        if (i >= kProgramUsers) {
            withPrograms.push_back({static_cast<DWORD>(1000 + i), names[i]});
            continue;
        }
        withPrograms.push_back({session, names[i]});
        for (const std::wstring& file : waiters.Files)
            owners[waiters.Start(file)] = names[i];
        TProgramRule rule;
        rule.Id = programs[0].Id;
        rule.Name = programs[0].Name;
        for (int& minutes : rule.Minutes)
            minutes = 1440;
        WriteProgramRules(store, names[i], {rule});
        TProgramList list;
        for (const TProgramInfo& program : programs)
            AddProgramMinutes(list, program.Id, program.Name, 5, nullptr);
        for (const wchar_t* other : kOthers)
            WriteProgramUsage(store, names[i], other, today, list);
    }
    SetProcessOwnerSeam([&owners](DWORD pid) {
        auto it = owners.find(pid);
        return it == owners.end() ? std::wstring() : it->second;
    });
    const std::wstring logPath = TempFile(L"bench-programs.log.");
    {
        TServiceLog log(logPath);
        TBenchSessions withHost(withPrograms), withoutHost(without);
        TMinuteLoop withLoop(withHost, log, kHere), withoutLoop(withoutHost, log, kHere);
        withLoop.Tick();
        withoutLoop.Tick();
        const TTurns turns = InTurns([&] { withLoop.Tick(); }, [&] { withoutLoop.Tick(); });
        int recorded = 0;
        for (int i = 0; i < kProgramUsers; ++i) {
            TProgramList list;
            if (ReadProgramUsage(store, names[i], kHere, today, list) &&
                ProgramMinutesOf(list, programs[0].Id) > 0)
                ++recorded;
        }
        std::printf("\none minute: %d users, %d of them running %d programs each (one with a rule, "
                    "%zu computers' lists in the store), median of %d rounds\n",
                    kUsers, kProgramUsers, kProgramsEach, std::size(kOthers) + 1, kRounds);
        std::printf("users whose programs this computer recorded: %d of %d\n", recorded,
                    kProgramUsers);
        std::printf("with programs:       %8.1f ms\n", turns.MedianA * 1000);
        std::printf("without programs:    %8.1f ms\n", turns.MedianB * 1000);
        std::printf("ratio:               %8.2f (target at most 1.30; rounds from %.2f to %.2f)\n",
                    turns.MedianRatio, turns.LowRatio, turns.HighRatio);
    }
    SetProcessOwnerSeam(nullptr);
    RegCloseKey(store);
    DeleteFileW(logPath.c_str());
}

} // namespace

int main() {
    if (wcsstr(GetCommandLineW(), L" --wait")) {
        Sleep(600000); // a program of a user's, for ProgramsMinute; ended by the benchmark
        return 0;
    }
    std::vector<std::wstring> names;
    for (int i = 0; i < kUsers; ++i)
        names.push_back(UserName(i));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kStoreKey);
    SetRemoteRegistrySeam(ConnectStore);
    BuildStore(names);

    TBenchSessions sessions(names);
    const std::wstring logPath = TempFile(L"bench-minute.log.");
    TServiceLog log(logPath);
    TMinuteLoop loop(sessions, log, kHere);
    loop.Tick(); // every record and this computer's copy made once; later minutes reuse them
    if (loop.StoreUnreachable())
        std::printf("the store could not be reached: the figures below compare nothing\n");
    const TTurns turns = InTurns([&] { loop.Tick(); }, [&] { HandWrittenMinute(names); });
    std::printf("one minute: %d users x 5 computers on a network store, median of %d rounds\n",
                kUsers, kRounds);
    std::printf("TMinuteLoop::Tick:   %8.1f ms\n", turns.MedianA * 1000);
    std::printf("hand-written minute: %8.1f ms\n", turns.MedianB * 1000);
    std::printf("ratio:               %8.2f (target at most 1.30; rounds from %.2f to %.2f)\n",
                turns.MedianRatio, turns.LowRatio, turns.HighRatio);
    ProgramsMinute(names);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kFiguresKeyPath);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"System\\QOR");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kStoreKey);
    DeleteFileW(logPath.c_str());
    MemoryAtRest();
    return 0;
}
