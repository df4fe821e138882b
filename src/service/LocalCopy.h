#pragma once
// This computer's copy of a network store: what the service last read there, kept in this
// computer's registry in the layout of the program's own local copy (the user's settings under
// the user's key, each computer's minutes of today under its entry). A start while the network
// store cannot be reached enforces from it, so that taking a computer off the network gives
// nobody the day again. This computer's own minutes are written there by the minute itself.
#include "model/QorUser.h"
#include "service/Sessions.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>

namespace vantrel {

class TLocalCopy {
public:
    explicit TLocalCopy(std::wstring thisComputer) : FThisComputer(std::move(thisComputer)) {}
    TLocalCopy(const TLocalCopy&) = delete;
    TLocalCopy& operator=(const TLocalCopy&) = delete;

    // Keeps the settings of a user just read from the network store and the minutes it holds of
    // the day for the computers other than this one. Only what differs from what this object
    // kept before is written: a minute of a hundred users rewrites nothing that did not change.
    // False when a write failed (the others are still made, and the failed ones tried again at
    // the next call).
    // The settings are not written over a change saved on this computer that is still to go to
    // the store (model/UserStore.h, WritePendingChange).
    bool Keep(const TQorUser& user, const std::map<std::wstring, int>& computers, int weekday,
              int dayOfYear);
    // Forgets what was kept of the user, whose copy was written by someone else: the next Keep
    // writes the settings again.
    void Forget(const std::wstring& user) { FKept.erase(user); }

private:
    struct TKept {
        std::unique_ptr<TQorUser> Settings;
        std::map<std::wstring, int, TNameLess> Minutes;
        int Weekday = 0;
        int DayOfYear = 0;
    };

    std::wstring FThisComputer;
    std::map<std::wstring, TKept, TNameLess> FKept;
};

} // namespace vantrel
