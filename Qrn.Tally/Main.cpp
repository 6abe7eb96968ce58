#include <string>
#include <vector>

#include "Common/CommandLineUtils.h"
#include "Qrn.Tally/CommandLine.h"
#include "Qrn.Tally/Modes.h"
#include "Qrn.Tally/RunGuard.h"
#include "runtime/App.h"
#include "runtime/CmdLine.h"
#include "runtime/Console.h"
#include "runtime/Status.h"

namespace {

int Run() {
  return RunGuarded([] {
    std::vector<std::wstring> positional;
    sys::env::NamedArguments named;
    sys::env::GetCmdLineArguments(positional, named);
    CommandLine commandLine;
    commandLine.Assign(positional, named);
    if (commandLine.helpFlag) return RunUsage();
    return commandLine.serverFlag ? RunServerMode(commandLine) : RunReportMode(commandLine);
  });
}

}  // namespace

// The arguments come from the process's own command line (sys::env), which
// keeps Unicode on Windows, so main's are not used.
int main() {
  sys::console::GuardStandardStreams();
  sys::console::SetAsUnicode();
  const int exitCode = Run();
  (void)App::Instance().OnExit();
  return exitCode;
}
