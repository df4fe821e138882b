#pragma once
// The warning shown before the time limit ends: a text of the preferences in which one "%d"
// stands for the minutes left and "%%" for a percent sign. The administration program checks
// the text with WarningTextProblem; the service shows it through ExpandWarningText. The text is
// never passed to a formatting function as a format.
#include <string>

namespace vantrel {

// Empty when `text` holds "%d" at most once and no other conversion ("%%" is a percent sign).
// Otherwise the offending piece of the text (such as "%s", or "%d" when it is there a second
// time).
std::wstring WarningTextProblem(const std::wstring& text);

// `text` with "%%" as "%" and its "%d" as `minutes`. A text WarningTextProblem finds fault
// with is returned as it stands.
std::wstring ExpandWarningText(const std::wstring& text, int minutes);

} // namespace vantrel
