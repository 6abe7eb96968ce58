// What `tally-client --help` prints: the usage, the calls of the line
// language with their argument types, and the standard-group bits.
#pragma once
#include <string>

namespace tally::script {

std::wstring HelpText();

}  // namespace tally::script
