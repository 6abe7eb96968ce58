#pragma once
#include <string>

namespace cmd {
// Writes text and a line feed to standard output, then hands the same text
// to the diagnostic log. Never fails.
void WriteLine(std::wstring text);
// Writes text and a line feed to standard error.
void WriteErrorLine(std::wstring text);
}  // namespace cmd
