#pragma once
// The monitored users of this computer, loaded and saved together through the user store.
#include "model/QorUser.h"
#include "model/Registry.h"
#include "model/UserStore.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

class TQorUsers {
public:
    TQorUsers() = default;
    TQorUsers(const TQorUsers&) = delete;
    TQorUsers& operator=(const TQorUsers&) = delete;

    // Appends a new record with the Default profile.
    TQorUser& Add();
    TQorUser& Items(int index) { return *FItems.at(static_cast<size_t>(index)); }
    const TQorUser& Items(int index) const { return *FItems.at(static_cast<size_t>(index)); }
    int Count() const { return static_cast<int>(FItems.size()); }
    void Clear();

    // Rebuilds on the first call (or while no account was found), else reloads every record
    // in place. True only when every load succeeded.
    bool LoadAll(bool remote, const std::wstring& remoteComputer);
    // Reads today's usage of every record again, from the network store with remote (this
    // computer's registry when it does not answer within a few seconds), and nothing else.
    // False when the network store did not answer.
    bool ReloadUsage(bool remote, const std::wstring& remoteComputer);
    // The same for everything a row shows: the settings (limits, hours, bonus) and today's
    // usage, over the same quick connection. What the records' last load found (LoadState),
    // which decides what may be saved, stays as it was.
    bool ReloadShown(bool remote, const std::wstring& remoteComputer);
    // Builds the records anew from the monitored accounts of this computer and loads them.
    bool Rebuild(bool remote, const std::wstring& remoteComputer);
    // Saves every record that its last load read whole or found new to the store; true only
    // when every save succeeded. A record whose load stopped early is left out: writing it
    // would put old or default values over the ones the store could not give.
    bool SaveAll(bool remote, const std::wstring& remoteComputer);
    // Gives a key to every account that the store has none for, as its record holds it. Each
    // such record is read again first, so a key made meanwhile elsewhere is left as it is.
    bool SaveNewAccounts(bool remote, const std::wstring& remoteComputer);

    const std::vector<std::wstring>& AccountNames() const { return FAccountNames; }

private:
    // Today's usage of every record, and with `settings` its settings too.
    bool Reload(bool remote, const std::wstring& remoteComputer, bool settings);

    // The live reload runs on the window's thread every minute: a network computer that does
    // not answer must not hold the window for the network's own time-out.
    static constexpr DWORD kReloadConnectMs = 2000;
    TTimedConnect FReloadConnect;
    std::vector<std::wstring> FAccountNames;
    std::vector<std::unique_ptr<TQorUser>> FItems;
};

// The accounts that Rebuild lists. Production: the monitored accounts of this computer.
// Tests decide them; an empty function restores the production source.
using TAccountSource = std::function<std::vector<std::wstring>()>;
void SetAccountSourceSeam(TAccountSource source);

} // namespace vantrel
