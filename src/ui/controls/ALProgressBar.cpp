#include "ui/controls/ALProgressBar.h"
namespace vantrel {
TALProgressBar::TALProgressBar() = default;
TALProgressBar::~TALProgressBar() = default;
} // namespace vantrel
