#pragma once
// The one way this program registers its window classes.
#include <windows.h>

namespace vantrel {

// Registers `wc` (cbSize and hInstance are filled in: this module) unless a class of that name
// already exists with the same window procedure. A class of that name with another procedure
// (left by an older copy of this code in another module of the process) is replaced.
bool RegisterWindowClassOnce(WNDCLASSEXW wc);

} // namespace vantrel
