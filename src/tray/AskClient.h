#pragma once
// QORtray's side of the service's pipe "QorAsk": one message written, one answer read, each
// waited for only a short while, and nothing else written anywhere. A call runs on a thread of
// its own, so that a service that does not answer never holds the tray's windows.
#include "model/AskMessage.h"
#include "tray/AskTexts.h"
#include "win/Handle.h"

#include <windows.h>

#include <memory>
#include <string>

namespace vantrel {

// How long a call waits for a free instance of the pipe, for its message to be taken, and for
// the answer.
inline constexpr DWORD kAskConnectMs = 1000;
inline constexpr DWORD kAskWriteMs = 2000;
// Longer than the service may take: it answers a message it took within 10 s (the store's 3 s
// and a check of every user's limits included), and a code it used must not read as unanswered.
inline constexpr DWORD kAskAnswerMs = 20000;

struct TAskResult {
    TAskOutcome Outcome = TAskOutcome::NoService;
    TAskAnswer Answer;
};

// Sends `message` (as FormatAskMessage makes it) on \\.\pipe\<pipeName> and reads the answer;
// blocks for at most the three times above.
TAskResult CallAskPipe(const std::wstring& pipeName, const TAskMessage& message);

// One call at a time on a thread: Start posts `doneMessage` to `window` when it ended (also
// after a failure), and Result then holds what it got.
class TAskCall {
public:
    TAskCall() = default;
    // Waits for a call still running (its times bound the wait).
    ~TAskCall() { Wait(); }
    TAskCall(const TAskCall&) = delete;
    TAskCall& operator=(const TAskCall&) = delete;

    // False while another call runs, or when no thread could be had.
    bool Start(const std::wstring& pipeName, const TAskMessage& message, HWND window,
               UINT doneMessage);
    bool Running() const;
    // The call's message and result; valid after the done message.
    const TAskMessage& Message() const { return FMessage; }
    TAskResult Result() const;
    void Wait();

private:
    struct TState;
    static DWORD WINAPI ThreadMain(void* parameter);
    std::shared_ptr<TState> FState;
    TAskMessage FMessage;
    THandle FThread;
};

} // namespace vantrel
