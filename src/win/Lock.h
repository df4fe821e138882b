#pragma once
// A critical section that lives as long as its owner, and a guard that holds it for a scope, so
// no path (an early return, an exception from push_back) leaves it entered.
#include <windows.h>

namespace vantrel {

class TCriticalSection {
public:
    TCriticalSection() { InitializeCriticalSection(&FSection); }
    ~TCriticalSection() { DeleteCriticalSection(&FSection); }
    TCriticalSection(const TCriticalSection&) = delete;
    TCriticalSection& operator=(const TCriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&FSection); }
    void Leave() { LeaveCriticalSection(&FSection); }

private:
    CRITICAL_SECTION FSection;
};

class TLockGuard {
public:
    explicit TLockGuard(TCriticalSection& section) : FSection(section) { FSection.Enter(); }
    ~TLockGuard() { FSection.Leave(); }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;

private:
    TCriticalSection& FSection;
};

} // namespace vantrel
