#include "service/ProgramWatch.h"

#include "service/RunningImage.h"
#include "win/Handle.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <mutex>

namespace vantrel {

namespace {

// One process in the list SystemProcessInformation gives, as far as it is read here: the
// documented structure (winternl.h) hides the time the process began among reserved bytes.
struct TProcessEntry {
    ULONG NextEntryOffset;
    ULONG NumberOfThreads;
    LARGE_INTEGER WorkingSetPrivateSize;
    ULONG HardFaultCount;
    ULONG NumberOfThreadsHighWatermark;
    ULONGLONG CycleTime;
    LARGE_INTEGER CreateTime;
    LARGE_INTEGER UserTime;
    LARGE_INTEGER KernelTime;
    USHORT ImageNameLength;
    USHORT ImageNameMaximumLength;
    PWSTR ImageNameBuffer;
    LONG BasePriority;
    HANDLE UniqueProcessId;
    HANDLE InheritedFromUniqueProcessId;
    ULONG HandleCount;
    ULONG SessionId;
};
static_assert(sizeof(void*) != 8 || (offsetof(TProcessEntry, CreateTime) == 32 &&
                                     offsetof(TProcessEntry, UniqueProcessId) == 80 &&
                                     offsetof(TProcessEntry, SessionId) == 100),
              "the layout of the system's process entries");

constexpr ULONG kSystemProcessInformation = 5;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
using TQuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// The list is about 300 bytes a process and 80 a thread: room for a few hundred processes at
// first. The most is far more than a computer can run, and bounds what a flood of processes
// can make the service hold.
constexpr size_t kFirstBuffer = 256 * 1024;
constexpr size_t kMostBuffer = 64 * 1024 * 1024;
// A process whose owner or file could not be told is asked again after this many looks: the
// answer may come later (a file made readable again), yet a process the system never answers
// for costs little.
constexpr ULONGLONG kAskAgainLooks = 10;
// Account names are asked again after this many looks, so that a renamed account is known by
// its new name within the hour.
constexpr ULONGLONG kAccountsKeptLooks = 600;
constexpr DWORD kEndWaitMs = 2000;
constexpr UINT kEndedExitCode = 1;

TQuerySystemInformation QuerySystemInformation() {
    static const auto query = reinterpret_cast<TQuerySystemInformation>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    return query;
}

std::mutex gOwnerLock;
TProcessOwnerSource gOwnerSeam;

TProcessOwnerSource OwnerSeam() {
    std::lock_guard<std::mutex> guard(gOwnerLock);
    return gOwnerSeam;
}

// The service runs as the system, which may open any process once its debugging privilege is
// on: a process that denies everyone access to itself (a program can set that on its own
// process) is still seen and ended. Where the privilege is not held, nothing changes.
void EnableDebugPrivilege() {
    static std::once_flag once;
    std::call_once(once, [] {
        HANDLE raw = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw))
            return;
        THandle token(raw);
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    });
}

bool CreatedOf(HANDLE process, ULONGLONG& created) {
    FILETIME begun{}, ended{}, kernel{}, user{};
    if (!GetProcessTimes(process, &begun, &ended, &kernel, &user))
        return false;
    created = (ULONGLONG(begun.dwHighDateTime) << 32) | begun.dwLowDateTime;
    return true;
}

// The process, opened to be asked about, if it is still the one that began at `created`: a pid
// freed between the list and the question may already belong to a later process.
THandle OpenSameProcess(DWORD pid, ULONGLONG created,
                        DWORD access = PROCESS_QUERY_LIMITED_INFORMATION) {
    THandle process(OpenProcess(access, FALSE, pid));
    ULONGLONG begun = 0;
    if (!process || !CreatedOf(process.Get(), begun) || begun != created)
        return THandle();
    return process;
}

} // namespace

bool OnNetworkPath(const std::wstring& path) {
    std::wstring plain = path;
    if (plain.compare(0, 4, L"\\\\?\\") == 0) {
        plain.erase(0, 4);
        if (plain.compare(0, 4, L"UNC\\") == 0)
            return true;
    }
    if (plain.compare(0, 2, L"\\\\") == 0)
        return true;
    if (plain.size() < 3 || plain[1] != L':')
        return false;
    const wchar_t root[] = {plain[0], L':', L'\\', L'\0'};
    return GetDriveTypeW(root) == DRIVE_REMOTE;
}

namespace {

std::wstring ImagePath(HANDLE process) {
    std::wstring path(MAX_PATH + 1, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process, 0, &path[0], &size)) {
            path.resize(size);
            return path;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= 32768)
            return std::wstring();
        path.resize(32768);
    }
}

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &length) ? std::wstring(name, length) : std::wstring();
}

bool SameFields(const TProgramFields& a, const TProgramFields& b) {
    return a.OriginalFilename == b.OriginalFilename && a.ProductName == b.ProductName &&
           a.FileDescription == b.FileDescription && a.CompanyName == b.CompanyName;
}

} // namespace

void SetProcessOwnerSeam(TProcessOwnerSource source) {
    std::lock_guard<std::mutex> guard(gOwnerLock);
    gOwnerSeam = std::move(source);
}

bool TProgramWatch::Snapshot() {
    const TQuerySystemInformation query = QuerySystemInformation();
    if (!query)
        return false;
    if (FBuffer.empty())
        FBuffer.resize(kFirstBuffer);
    // Processes begin between the call that says how much room the list needs and the next.
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(kSystemProcessInformation, FBuffer.data(),
                                  static_cast<ULONG>(FBuffer.size()), &needed);
        if (status >= 0)
            return true;
        if (status != kInfoLengthMismatch || FBuffer.size() >= kMostBuffer)
            return false;
        size_t size = std::max<size_t>(needed, FBuffer.size());
        size = std::min(size + size / 4, kMostBuffer);
        FBuffer.assign(size, 0);
    }
    return false;
}

std::wstring TProgramWatch::AccountOf(const std::wstring& sid, PSID binary) {
    const auto found = FAccounts.find(sid);
    if (found != FAccounts.end())
        return found->second;
    if (!FComputerAsked) {
        FComputer = ComputerName();
        FComputerSid = AccountDomainSid();
        FComputerAsked = true;
    }
    // Only an identifier that can be this computer's account is looked up: a domain's would be
    // asked of the domain's servers, which may take seconds.
    TListedSession account;
    account.Sid = sid;
    std::wstring result;
    if (FComputerSid.empty() || IsThisComputersAccount(account, FComputer, FComputerSid)) {
        wchar_t name[257] = {};
        wchar_t domain[257] = {};
        DWORD nameLength = 257;
        DWORD domainLength = 257;
        SID_NAME_USE use = SidTypeUnknown;
        if (LookupAccountSidW(nullptr, binary, name, &nameLength, domain, &domainLength, &use)) {
            account.Domain = domain;
            if (IsThisComputersAccount(account, FComputer, FComputerSid))
                result = name;
        }
    }
    FAccounts.emplace(sid, result);
    return result;
}

void TProgramWatch::AskOwner(DWORD pid, TKnown& known) {
    known.OwnerAsked = FLooks;
    if (const TProcessOwnerSource seam = OwnerSeam()) {
        known.Owner = seam(pid);
        known.OwnerKnown = true;
        return;
    }
    const THandle process = OpenSameProcess(pid, known.Created);
    if (!process)
        return;
    HANDLE raw = nullptr;
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD bytes = 0;
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (OpenProcessToken(process.Get(), TOKEN_QUERY, &raw)) {
        const THandle token(raw);
        if (GetTokenInformation(token.Get(), TokenUser, buffer, sizeof(buffer), &bytes))
            sid = reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid;
    }
    // A user may close their token to everyone, the service too, while the debug privilege still
    // opens the process itself: its owner is then the account that made it, which no standard
    // user can change to another's.
    if (!sid) {
        const THandle owned =
            OpenSameProcess(pid, known.Created, PROCESS_QUERY_LIMITED_INFORMATION | READ_CONTROL);
        if (!owned ||
            GetSecurityInfo(owned.Get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &sid,
                            nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
            sid = nullptr;
    }
    const std::wstring text = sid ? SidText(sid) : std::wstring();
    if (!text.empty()) {
        known.Owner = AccountOf(text, sid);
        known.OwnerKnown = true;
    }
    if (descriptor)
        LocalFree(descriptor);
}

void TProgramWatch::AskProgram(DWORD pid, TKnown& known) {
    known.ProgramAsked = FLooks;
    // Its memory may be closed to the service where its name is not (a protected process).
    THandle process =
        OpenSameProcess(pid, known.Created, PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ);
    const bool memoryOpen = process.Valid();
    if (!memoryOpen)
        process = OpenSameProcess(pid, known.Created);
    const std::wstring path = process ? ImagePath(process.Get()) : std::wstring();
    if (path.empty())
        return;
    // The path is where the file was when the process began: the file there now may be another
    // (a running program's file can be renamed and replaced before the first look). The image
    // the process runs tells its program's fields; the file, read once, adds its signer when it
    // still holds the same fields.
    TProgramInfo info;
    TProgramFields file, running;
    // A program run from the network is told by its image alone, so that no look waits for it.
    const bool remote = OnNetworkPath(path);
    known.ProgramRead = !remote && FFiles.Get(path, info, &file);
    const TImageVersion image =
        memoryOpen ? ReadRunningImageFields(process.Get(), running) : TImageVersion::Unread;
    if (image != TImageVersion::Unread && !(known.ProgramRead && SameFields(file, running)))
        info = ProgramInfoOf(running, path);
    // A file that cannot be read (made unreadable, or deleted while it runs), of a process whose
    // memory cannot be read either, still names its program, by its folder and name. The file
    // is read again later.
    else if (!known.ProgramRead)
        info = ProgramInfoOf(TProgramFields{}, path);
    known.Program = std::move(info);
    known.ProgramKnown = true;
    if (remote)
        known.ProgramRead = true; // nothing more to learn from the network
}

std::vector<TRunningProgram> TProgramWatch::Look(const std::vector<TSessionInfo>& sessions) {
    std::vector<TRunningProgram> running;
    EnableDebugPrivilege();
    if (!Snapshot())
        return running;
    ++FLooks;
    if (FLooks % kAccountsKeptLooks == 0 || FAccounts.size() > 1024)
        FAccounts.clear();
    const auto due = [this](ULONGLONG asked) {
        return asked == 0 || FLooks - asked >= kAskAgainLooks;
    };
    for (size_t offset = 0;;) {
        const auto* entry = reinterpret_cast<const TProcessEntry*>(FBuffer.data() + offset);
        const DWORD pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId));
        // Windows gives a session one user; under Wine every process lies in one session, which
        // the minute loop's tests and benchmark list for several users: the owner picks its own.
        const auto sessionOf = [&](const std::wstring* owner) -> const TSessionInfo* {
            for (const TSessionInfo& candidate : sessions)
                if (candidate.Id == entry->SessionId && !candidate.Username.empty() &&
                    (!owner || SameName(*owner, candidate.Username)))
                    return &candidate;
            return nullptr;
        };
        const TSessionInfo* session = sessionOf(nullptr);
        if (pid != 0 && session) {
            const ULONGLONG created = static_cast<ULONGLONG>(entry->CreateTime.QuadPart);
            TKnown& known = FKnown[pid];
            if (known.Created != created)
                known = TKnown{};
            known.Created = created;
            known.Seen = FLooks;
            if (!known.OwnerKnown && due(known.OwnerAsked))
                AskOwner(pid, known);
            if (known.OwnerKnown)
                session = sessionOf(&known.Owner);
            if (known.OwnerKnown && session) {
                if ((!known.ProgramKnown || !known.ProgramRead) && due(known.ProgramAsked))
                    AskProgram(pid, known);
                if (known.ProgramKnown)
                    running.push_back(
                        {pid, created, session->Id, session->Username, known.Program});
            }
        }
        if (entry->NextEntryOffset == 0 ||
            entry->NextEntryOffset > FBuffer.size() - offset - sizeof(TProcessEntry))
            break;
        offset += entry->NextEntryOffset;
    }
    for (auto it = FKnown.begin(); it != FKnown.end();)
        it = it->second.Seen == FLooks ? std::next(it) : FKnown.erase(it);
    return running;
}

bool TProgramWatch::End(const TRunningProgram& process) {
    THandle handle(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                               FALSE, process.Pid));
    if (!handle)
        return GetLastError() == ERROR_INVALID_PARAMETER; // no process has the pid any more
    ULONGLONG created = 0;
    if (!CreatedOf(handle.Get(), created))
        return false;
    // The pid now belongs to a later process: the one that was seen has ended.
    if (created != process.Created)
        return true;
    if (WaitForSingleObject(handle.Get(), 0) == WAIT_OBJECT_0)
        return true;
    TerminateProcess(handle.Get(), kEndedExitCode);
    return WaitForSingleObject(handle.Get(), kEndWaitMs) == WAIT_OBJECT_0;
}

} // namespace vantrel
