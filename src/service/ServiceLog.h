#pragma once
// The service's event log: one line per event with the local date and time, rolled over at
// about 1 MB so that it does not grow without bound; the file before stays as "<name>.old.log".
// Both files are for SYSTEM and the Administrators alone, and the service keeps the log open
// while it runs, so that no other program can hold it shut, empty it or take it away.
#include "win/Handle.h"
#include "win/Lock.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace vantrel {

class TServiceLog {
public:
    static constexpr uint64_t kDefaultLimit = 1024 * 1024;

    explicit TServiceLog(std::wstring path, uint64_t limit = kDefaultLimit);
    ~TServiceLog();
    TServiceLog(const TServiceLog&) = delete;
    TServiceLog& operator=(const TServiceLog&) = delete;

    // Appends "yyyy-mm-dd hh:mm:ss  text" (local time of the clock seam). False when the file
    // cannot be written; the service goes on without its log then. While the file cannot be
    // opened (another program holds it), the lines are held back and written with the next.
    bool Write(const std::wstring& text) noexcept;
    // The same for a fixed text, without taking any memory: the last word when there is none
    // left. Its time is the system's in UTC, marked so ("yyyy-mm-dd hh:mm:ss UTC  text"). Neither
    // rolls over nor makes the folder; a text beyond 400 characters is cut.
    bool WriteFixed(const wchar_t* text) noexcept;

    const std::wstring& Path() const { return FPath; }
    std::wstring OlderPath() const;

    // %ProgramFiles%\QOR\QORevents.log.
    static std::wstring DefaultPath();

private:
    // With FLock held: the file open for appending, made (or corrected) for SYSTEM and the
    // Administrators only. False when it cannot be opened.
    bool OpenLocked();
    // With FLock held: when the file has reached the limit, it becomes the older file. One that
    // cannot be moved (another program holds one of them without sharing deletion) is never
    // emptied: it grows until it can be moved, and `note` says so once.
    void RollOverIfFull(std::wstring& note);
    bool AppendLocked(const char* bytes, DWORD size);

    std::wstring FPath;
    uint64_t FLimit;
    TCriticalSection FLock;
    THandle FFile;
    PSECURITY_DESCRIPTOR FSecurity = nullptr;
    bool FOlderChecked = false;
    bool FRollOverFailed = false;
    // Lines that could not be written, told with the next line that can.
    unsigned FLost = 0;
    // Lines kept while the file could not be opened, written before the next line that can be,
    // up to kHeldLimit bytes (those beyond are lost, and counted).
    static constexpr size_t kHeldLimit = 64 * 1024;
    std::string FHeld;
    unsigned FHeldLines = 0;
    DWORD FHeldError = 0;
};

} // namespace vantrel
