#include "service/UseMeter.h"

#include <bcrypt.h>

#include <algorithm>

namespace vantrel {

bool AnyInUse(const std::vector<TSessionInfo>& sessions) {
    return std::any_of(sessions.begin(), sessions.end(),
                       [](const TSessionInfo& s) { return s.Active && !s.Locked; });
}

void TUseMeter::Look(const std::vector<TSessionInfo>& sessions, ULONGLONG at,
                     ULONGLONG firstSince) {
    std::map<std::wstring, bool, TNameLess> now;
    for (const TSessionInfo& session : sessions) {
        if (session.Username.empty())
            continue;
        bool& inUse = now[session.Username];
        inUse = inUse || (session.Active && !session.Locked);
    }
    // The time up to this look belongs to the state seen at the last one.
    for (auto& [name, use] : FUsers) {
        if (use.InUse && at > use.Since)
            use.Ms += at - use.Since;
        use.Since = at;
        use.InUse = false;
    }
    const ULONGLONG since = FLooked ? FLastLook : std::min(firstSince, at);
    for (const auto& [name, inUse] : now) {
        auto found = FUsers.find(name);
        if (found == FUsers.end()) {
            TUse use;
            if (inUse && at > since)
                use.Ms = at - since;
            found = FUsers.emplace(name, use).first;
        }
        found->second.InUse = inUse;
        found->second.Since = at;
    }
    FLooked = true;
    FLastLook = at;
}

int TUseMeter::Charge(const std::wstring& user, int most) {
    auto found = FUsers.find(user);
    if (found == FUsers.end() || most <= 0)
        return 0;
    ULONGLONG& ms = found->second.Ms;
    const ULONGLONG whole = std::min<ULONGLONG>(ms / FMinuteMs, static_cast<ULONGLONG>(most));
    ms = std::min(ms - whole * FMinuteMs, FMinuteMs - 1);
    return static_cast<int>(whole);
}

bool TUseMeter::InUse(const std::wstring& user) const {
    auto found = FUsers.find(user);
    return found != FUsers.end() && found->second.InUse;
}

ULONGLONG RandomPause(ULONGLONG shortest, ULONGLONG longest) {
    if (longest <= shortest)
        return shortest;
    ULONGLONG draw = GetTickCount64() * 2654435761u; // should the system's generator fail
    BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&draw), sizeof(draw),
                    BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return shortest + draw % (longest - shortest + 1);
}

} // namespace vantrel
