#pragma once
// Runs a function when the scope ends, however it ends, unless dismissed first.
#include <utility>

namespace vantrel {

template <class TFunction> class TScopeExit {
public:
    explicit TScopeExit(TFunction function) : FFunction(std::move(function)) {}
    ~TScopeExit() {
        if (FActive)
            FFunction();
    }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

    void Dismiss() { FActive = false; }

private:
    TFunction FFunction;
    bool FActive = true;
};

// auto closeAll = ScopeExit([&] { ... });
template <class TFunction> TScopeExit<TFunction> ScopeExit(TFunction function) {
    return TScopeExit<TFunction>(std::move(function));
}

} // namespace vantrel
