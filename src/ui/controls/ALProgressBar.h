#pragma once
// Gradient progress bar (being built).
namespace vantrel {
class TALProgressBar {
public:
    TALProgressBar();
    ~TALProgressBar();
};
} // namespace vantrel
