#pragma once
// The service as one object, whether the service manager or a console runs it: its log, the
// minute loop, the pipe on which the administration program announces every change and the way
// in for the limited users' requests (service/AskServer.h).
#include "model/ServiceNews.h"
#include "service/MinuteLoop.h"
#include "service/ServiceLog.h"
#include "service/Sessions.h"
#include "win/Handle.h"

#include <windows.h>

#include <functional>
#include <string>

namespace vantrel {

class TAskServer;
class TPipeServer;

struct TServiceOptions {
    std::wstring PipeName;     // empty: "QorPipe"
    std::wstring AskPipeName;  // the way in for requests; empty: "QorAsk"
    std::wstring LogPath;      // empty: %ProgramFiles%\QOR\QORevents.log
    DWORD MinuteMs = 60000;    // a shorter minute for tests and demonstrations
    std::wstring ThisComputer; // empty: this computer's name
};

class TQorService {
public:
    // The most minutes one tick counts. A tick is late by the store's deadline at most, far
    // less than this; a longer gap on a clock that stands still while the computer sleeps means
    // the service itself was held (a paused virtual machine, a debugger), while nobody could
    // use the computer either.
    static constexpr int kMaxMinutesPerTick = 5;

    TQorService(TSessionHost& host, TServiceOptions options);
    TQorService(const TQorService&) = delete;
    TQorService& operator=(const TQorService&) = delete;

    // Runs a minute at a time until stopEvent is signalled. The pipe is served when it can be;
    // while another program holds its name the minutes are counted all the same and serving is
    // tried again every minute. While another service of an administrator's runs for the same
    // pipe, this one waits for it to end. `running` is called once, as soon as it runs (or
    // waits). False only when it cannot run at all (the log says why).
    bool Run(HANDLE stopEvent, const std::function<void()>& running = {});

    // The system reported a change of a session (a lock, an unlock, a logon, a logoff, a
    // connect, a disconnect): the sessions are looked at at once. Any thread may call it.
    void SessionChanged();

    TServiceLog& Log() { return FLog; }
    const TServiceOptions& Options() const { return FOptions; }

private:
    // Takes the guard of the pipe name (`owned`), or ignores one that is not an administrator's;
    // false when stopped while waiting for another service.
    bool TakeGuard(HANDLE stopEvent, const std::function<void()>& running, THandle& guard,
                   bool& owned);
    // Serves the pipe unless another program does; says once which process holds it.
    bool TryServe(TPipeServer& pipe);
    // Serves the way in for requests; says once why it cannot.
    bool TryServeAsk(TAskServer& ask);
    // Runs one piece of the minute's work; nothing it throws goes further.
    template <typename TWork> void Guarded(TWork&& work) noexcept;
    // Tells every connected program what was just done (ServiceNews.h), and keeps the state
    // for the programs that connect later.
    void Tell(TPipeServer& pipe, TNewsKind kind, bool counted);

    // Looks at the sessions come between minutes, this far apart at the most and the least
    // (in parts of a minute), at times drawn by chance.
    static constexpr ULONGLONG kLooksPerMinuteMost = 30;
    static constexpr ULONGLONG kLooksPerMinuteLeast = 10;

    TServiceOptions FOptions;
    THandle FSessionEvent;
    TServiceLog FLog;
    TMinuteLoop FLoop;
    bool FHolderTold = false;
    bool FAskFailureTold = false;
    TServiceNews FNews;
};

} // namespace vantrel
