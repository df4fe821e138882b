#include "service/ServiceLog.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "win/Files.h"
#include "win/SystemError.h"

#include <aclapi.h>
#include <sddl.h>

#include <cwchar>

namespace vantrel {

namespace {

void CreateFolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash == 0)
        return;
    const std::wstring folder = path.substr(0, slash);
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
        return;
    CreateFolderOf(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
}

// "yyyy-mm-dd hh:mm:ss  " of the clock seam's local time.
void Stamp(wchar_t (&stamp)[32]) {
    const SYSTEMTIME now = LocalNow();
    std::swprintf(stamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u  ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
}

// Puts the number's last `digits` decimal digits at `out`.
wchar_t* PutDigits(wchar_t* out, unsigned number, int digits) {
    for (int i = digits - 1; i >= 0; --i, number /= 10)
        out[i] = static_cast<wchar_t>(L'0' + number % 10);
    return out + digits;
}

// "yyyy-mm-dd hh:mm:ss UTC  " of the system's clock, made without taking any memory: the local
// time would need the recorded zone from the registry.
wchar_t* PutUtcStamp(wchar_t* out) {
    SYSTEMTIME t{};
    GetSystemTime(&t);
    const struct {
        unsigned Value;
        int Digits;
        wchar_t After;
    } parts[] = {{t.wYear, 4, L'-'}, {t.wMonth, 2, L'-'},  {t.wDay, 2, L' '},
                 {t.wHour, 2, L':'}, {t.wMinute, 2, L':'}, {t.wSecond, 2, L' '}};
    for (const auto& part : parts) {
        out = PutDigits(out, part.Value, part.Digits);
        *out++ = part.After;
    }
    for (const wchar_t* mark = L"UTC  "; *mark; ++mark)
        *out++ = *mark;
    return out;
}

// Whether the file's access list lets anyone but SYSTEM, the Administrators and its owner in
// (an earlier version's log inherited read access for Users from its folder).
bool OpenToOthers(const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool open = dacl == nullptr; // no list at all: everybody may do everything
    for (DWORD i = 0; dacl && i < dacl->AceCount && !open; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        PSID sid = &reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart;
        open = !IsWellKnownSid(sid, WinLocalSystemSid) &&
               !IsWellKnownSid(sid, WinBuiltinAdministratorsSid) &&
               !(owner && EqualSid(sid, owner));
    }
    LocalFree(descriptor);
    return open;
}

void Restrict(const std::wstring& path, PSECURITY_DESCRIPTOR security) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!security || !GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted) ||
        !OpenToOthers(path))
        return;
    SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, dacl, nullptr);
}

// Appending only. Others may read it, and write beside it, but not delete or rename it; and
// since this handle writes, nobody can open it later without letting it write.
HANDLE OpenForAppending(const std::wstring& path, PSECURITY_DESCRIPTOR security) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), security, FALSE};
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       security ? &attributes : nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

} // namespace

TServiceLog::TServiceLog(std::wstring path, uint64_t limit)
    : FPath(std::move(path)), FLimit(limit) {
    // Protected: nothing is inherited from the folder, where Users may read.
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)",
                                                              SDDL_REVISION_1, &FSecurity, nullptr))
        FSecurity = nullptr;
}

TServiceLog::~TServiceLog() {
    FFile.Close();
    if (FSecurity)
        LocalFree(FSecurity);
}

std::wstring TServiceLog::DefaultPath() {
    std::wstring base = EnvironmentVariable(L"ProgramFiles");
    if (base.empty())
        base = L"C:\\Program Files";
    return base + L"\\QOR\\" + kEventLogFileName;
}

std::wstring TServiceLog::OlderPath() const {
    const size_t dot = FPath.find_last_of(L'.');
    const size_t slash = FPath.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return FPath + L".old";
    return FPath.substr(0, dot) + L".old" + FPath.substr(dot);
}

bool TServiceLog::OpenLocked() {
    if (FFile)
        return true;
    if (!FOlderChecked) {
        FOlderChecked = true;
        if (FileExists(OlderPath()))
            Restrict(OlderPath(), FSecurity);
    }
    CreateFolderOf(FPath);
    // The security given applies only to a file made now; one from before is corrected first,
    // whatever another program holding it shares (the sharing mode does not guard the access
    // list), so that nobody can open it afresh once that handle is gone.
    if (FileExists(FPath))
        Restrict(FPath, FSecurity);
    FFile.Reset(OpenForAppending(FPath, FSecurity));
    return FFile.Valid();
}

void TServiceLog::RollOverIfFull(std::wstring& note) {
    LARGE_INTEGER size{};
    if (!OpenLocked() || !GetFileSizeEx(FFile.Get(), &size) ||
        static_cast<uint64_t>(size.QuadPart) < FLimit)
        return;
    FFile.Close();
    if (MoveFileExW(FPath.c_str(), OlderPath().c_str(), MOVEFILE_REPLACE_EXISTING)) {
        FRollOverFailed = false;
        return;
    }
    const DWORD error = GetLastError();
    if (!FRollOverFailed)
        note = L"The log could not be rolled over (error " + std::to_wstring(error) + L": " +
               SystemErrorText(error) + L"); it grows past its limit until it can";
    FRollOverFailed = true;
}

bool TServiceLog::AppendLocked(const char* bytes, DWORD size) {
    DWORD written = 0;
    if (FFile && WriteFile(FFile.Get(), bytes, size, &written, nullptr) && written == size)
        return true;
    // A broken handle (the volume went away) is opened afresh for the next line.
    FFile.Close();
    ++FLost;
    return false;
}

bool TServiceLog::Write(const std::wstring& text) noexcept {
    try {
        wchar_t stamp[32];
        Stamp(stamp);
        std::wstring line = stamp;
        // One event, one line: a line break inside a text (a message of the preferences) would
        // start a line that looks like an event of its own.
        for (wchar_t c : text)
            line += (c == L'\r' || c == L'\n') ? L' ' : c;
        std::string bytes = ToUtf8(line) + "\r\n";

        TLockGuard guard(FLock);
        std::wstring note;
        RollOverIfFull(note);
        if (!OpenLocked()) {
            // Held back, within bounds, until the file can be opened: a program that holds a
            // log from before its access list was corrected, without sharing writing, keeps it
            // shut until that program ends (at the latest when its user is logged off).
            const DWORD error = GetLastError();
            if (FHeld.size() + bytes.size() <= kHeldLimit) {
                FHeld += bytes;
                ++FHeldLines;
                FHeldError = error;
            } else {
                ++FLost;
            }
            return false;
        }
        if (FHeldLines > 0)
            note = std::to_wstring(FHeldLines) +
                   L" line(s) above were held back while the log could not be opened (error " +
                   std::to_wstring(FHeldError) + L": " + SystemErrorText(FHeldError) + L")" +
                   (note.empty() ? L"" : L"; ") + note;
        if (FLost > 0)
            note += (note.empty() ? L"" : L"; ") + std::to_wstring(FLost) +
                    L" line(s) of the log could not be written before this one";
        if (!note.empty())
            bytes = ToUtf8(std::wstring(stamp) + note) + "\r\n" + bytes;
        bytes.insert(0, FHeld);
        const unsigned lost = FLost;
        if (!AppendLocked(bytes.data(), static_cast<DWORD>(bytes.size())))
            return false;
        FLost -= lost;
        FHeld.clear();
        FHeldLines = 0;
        return true;
    } catch (...) {
        return WriteFixed(L"A line of the log was lost: there was no memory left to write it");
    }
}

bool TServiceLog::WriteFixed(const wchar_t* text) noexcept {
    wchar_t line[448];
    wchar_t* end = PutUtcStamp(line);
    for (int i = 0; i < 400 && text[i]; ++i)
        *end++ = text[i];
    *end++ = L'\r';
    *end++ = L'\n';
    *end = L'\0';
    char bytes[448 * 3];
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof(bytes), nullptr, nullptr);
    if (size <= 1)
        return false;
    TLockGuard guard(FLock);
    if (!FFile)
        FFile.Reset(OpenForAppending(FPath, FSecurity));
    return AppendLocked(bytes, static_cast<DWORD>(size - 1));
}

} // namespace vantrel
