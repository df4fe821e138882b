#include "service/ServiceLog.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "win/Files.h"
#include "win/Handle.h"
#include "win/SystemError.h"

#include <windows.h>

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

} // namespace

TServiceLog::TServiceLog(std::wstring path, uint64_t limit)
    : FPath(std::move(path)), FLimit(limit) {}

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

bool TServiceLog::RollOverIfFull(std::wstring& note) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(FPath.c_str(), GetFileExInfoStandard, &data))
        return true;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size < FLimit)
        return true;
    if (MoveFileExW(FPath.c_str(), OlderPath().c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    // Another program holds one of the files open without letting it be deleted: the log
    // starts again in the same file rather than grow.
    const DWORD moveError = GetLastError();
    const THandle file(CreateFileW(FPath.c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        note = L"The log could not be rolled over (error " + std::to_wstring(moveError) +
               L"); it starts again here";
        return true;
    }
    return size < 2 * FLimit;
}

bool TServiceLog::Write(const std::wstring& text) {
    const SYSTEMTIME now = LocalNow();
    wchar_t stamp[32];
    std::swprintf(stamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u  ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    std::wstring line = stamp;
    // One event, one line: a line break inside a text (a message of the preferences) would
    // start a line that looks like an event of its own.
    for (wchar_t c : text)
        line += (c == L'\r' || c == L'\n') ? L' ' : c;
    std::string bytes = ToUtf8(line) + "\r\n";

    TLockGuard guard(FLock);
    std::wstring note;
    if (!RollOverIfFull(note))
        return false;
    if (!note.empty())
        bytes = ToUtf8(std::wstring(stamp) + note) + "\r\n" + bytes;
    CreateFolderOf(FPath);
    const THandle file(CreateFileW(FPath.c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

} // namespace vantrel
