#pragma once
// The service as one object, whether the service manager or a console runs it: its log, the
// minute loop and the pipe on which the administration program announces every change.
#include "service/MinuteLoop.h"
#include "service/ServiceLog.h"
#include "service/Sessions.h"

#include <windows.h>

#include <functional>
#include <string>

namespace vantrel {

struct TServiceOptions {
    std::wstring PipeName;     // empty: "QorPipe"
    std::wstring LogPath;      // empty: %ProgramFiles%\QOR\QORevents.log
    DWORD MinuteMs = 60000;    // a shorter minute for tests and demonstrations
    std::wstring ThisComputer; // empty: this computer's network name
};

class TQorService {
public:
    TQorService(TSessionHost& host, TServiceOptions options);
    TQorService(const TQorService&) = delete;
    TQorService& operator=(const TQorService&) = delete;

    // Serves the pipe and runs a minute at a time until stopEvent is signalled; `serving` is
    // called once the pipe is served. False when the pipe cannot be served (the log says why).
    bool Run(HANDLE stopEvent, const std::function<void()>& serving = {});

    TServiceLog& Log() { return FLog; }
    const TServiceOptions& Options() const { return FOptions; }

private:
    TServiceOptions FOptions;
    TServiceLog FLog;
    TMinuteLoop FLoop;
};

} // namespace vantrel
