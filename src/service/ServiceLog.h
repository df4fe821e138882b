#pragma once
// The service's event log: one line per event with the local date and time, rolled over at
// about 1 MB so that it never grows without bound; the file before stays as "<name>.old.log".
#include "win/Lock.h"

#include <cstdint>
#include <string>

namespace vantrel {

class TServiceLog {
public:
    static constexpr uint64_t kDefaultLimit = 1024 * 1024;

    explicit TServiceLog(std::wstring path, uint64_t limit = kDefaultLimit);
    TServiceLog(const TServiceLog&) = delete;
    TServiceLog& operator=(const TServiceLog&) = delete;

    // Appends "yyyy-mm-dd hh:mm:ss  text" (local time of the clock seam). False when the file
    // cannot be written (or stays full past twice the limit); the service goes on without its
    // log then.
    bool Write(const std::wstring& text);

    const std::wstring& Path() const { return FPath; }
    std::wstring OlderPath() const;

    // %ProgramFiles%\QOR\QORevents.log.
    static std::wstring DefaultPath();

private:
    // False when the line must not be appended: the file is full and could be neither rolled
    // over nor emptied. A note to write first when the file was emptied in place.
    bool RollOverIfFull(std::wstring& note);

    std::wstring FPath;
    uint64_t FLimit;
    TCriticalSection FLock;
};

} // namespace vantrel
