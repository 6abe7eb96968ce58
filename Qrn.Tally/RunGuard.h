#pragma once
#include <functional>

// Runs a mode and returns its exit code. Whatever it throws (a status, a
// standard exception, a COM error, anything) ends as one status line on
// standard error and exit code 1 instead of an abnormal end.
int RunGuarded(const std::function<int()>& mode);
