#pragma once
// The programs running in the users' sessions, as the service sees them at each look: one list
// of the system's processes, and for a process not seen before its account and its program,
// read once from the image it runs and its file (model/ProgramInfo.h, service/RunningImage.h).
// Processes of the system's accounts and of other users are not the user's, even in the user's
// session. It also ends a process that its user may not run now.
#include "model/ProgramInfo.h"
#include "service/Sessions.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vantrel {

// One process of a user in one of the user's sessions, with its program.
struct TRunningProgram {
    DWORD Pid = 0;
    // When the process began (FILETIME units): with the pid, what tells a process from a later
    // one that got the same number.
    ULONGLONG Created = 0;
    DWORD Session = 0;
    // The session's user (as TSessionInfo names it).
    std::wstring User;
    TProgramInfo Program;
};

// The account that runs a process, as "name" of this computer's accounts (empty for the
// system's accounts and for anyone the system will not tell). Production asks the process's
// token; under Wine every process runs as one user, so tests name the owners themselves. An
// empty function restores the system's answer.
using TProcessOwnerSource = std::function<std::wstring(DWORD pid)>;
void SetProcessOwnerSeam(TProcessOwnerSource source);

// A file on another computer (a UNC path or a network drive), which may answer as slowly as
// whoever serves it likes: a user can serve one from a program of their own (WebDAV on a port of
// their own, say). The look never reads such a file; the program's image tells it.
bool OnNetworkPath(const std::wstring& path);

class TProgramWatch {
public:
    TProgramWatch() = default;
    TProgramWatch(const TProgramWatch&) = delete;
    TProgramWatch& operator=(const TProgramWatch&) = delete;

    // The processes of the sessions' users in those sessions. A process is asked for its account
    // and file once; what is learnt is kept while the process lives.
    std::vector<TRunningProgram> Look(const std::vector<TSessionInfo>& sessions);
    // Ends the process, if it is still the one that was seen; true when it has ended (or was
    // gone already).
    bool End(const TRunningProgram& process);

private:
    // What is known of a process of a user's session while it lives.
    struct TKnown {
        ULONGLONG Created = 0;
        // The last look that saw it; an entry that a look did not see is dropped.
        ULONGLONG Seen = 0;
        // The look that last asked for its owner or program (0: not yet asked).
        ULONGLONG OwnerAsked = 0;
        ULONGLONG ProgramAsked = 0;
        bool OwnerKnown = false;
        bool ProgramKnown = false;
        // Its file was read (else the program is known by its image or its path only, and asked
        // again).
        bool ProgramRead = false;
        std::wstring Owner;
        TProgramInfo Program;
    };
    bool Snapshot();
    void AskOwner(DWORD pid, TKnown& known);
    void AskProgram(DWORD pid, TKnown& known);
    std::wstring AccountOf(const std::wstring& sid, PSID binary);

    std::vector<BYTE> FBuffer;
    ULONGLONG FLooks = 0;
    std::map<DWORD, TKnown> FKnown;
    // Account names by security identifier, asked once (empty: not this computer's account).
    std::map<std::wstring, std::wstring> FAccounts;
    std::wstring FComputer;
    std::wstring FComputerSid;
    bool FComputerAsked = false;
    TProgramInfoCache FFiles;
};

} // namespace vantrel
