#pragma once
// This computer's network name, the accounts to monitor and the administrator check.
#include <string>
#include <vector>

namespace vantrel {

// The computer name of the workstation information (level 100); empty when the call fails.
std::wstring GetWorkstationName();
// Appends the names of all user accounts of server (empty: this computer), in system order.
void EnumerateAccounts(const std::wstring& server, std::vector<std::wstring>& list);
// Removes built-in and service accounts, recognised by name prefix (case-sensitive).
void RemoveExcludedAccounts(std::vector<std::wstring>& list);
// EnumerateAccounts, then RemoveExcludedAccounts.
void ListMonitoredAccounts(const std::wstring& server, std::vector<std::wstring>& list);
// True when the running program's token holds the built-in Administrators group.
bool IsAdministrator();

} // namespace vantrel
