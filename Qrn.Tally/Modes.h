#pragma once
#include "Qrn.Tally/CommandLine.h"

// Each returns the exit code; a qtl::status_exception passes to the caller.
int RunReportMode(const CommandLine& commandLine);
int RunServerMode(const CommandLine& commandLine);
// The banner and the usage line: no arguments in report mode, or a request for help.
int RunUsage();
