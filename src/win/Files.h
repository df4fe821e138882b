#pragma once
// Environment variables, full paths and file tests, with buffers of whatever size they need.
#include <windows.h>

#include <string>

namespace vantrel {

// The variable's value; empty when it is not set (or set to nothing).
std::wstring EnvironmentVariable(const wchar_t* name);
// The absolute form of a path; the path unchanged when the system cannot make one.
std::wstring FullPath(const std::wstring& path);
// True for an existing file; false for a folder or nothing.
bool FileExists(const std::wstring& path);

} // namespace vantrel
