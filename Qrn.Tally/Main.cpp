#include <string>
#include <vector>

#include "Common/CommandLineUtils.h"
#include "Qrn.Tally/CommandLine.h"
#include "Qrn.Tally/Modes.h"
#include "runtime/App.h"
#include "runtime/CmdLine.h"
#include "runtime/Console.h"
#include "runtime/Status.h"

namespace {

int Run() {
  int exitCode = 0;
  std::vector<std::wstring> positional;
  sys::env::NamedArguments named;
  try {
    sys::env::GetCmdLineArguments(positional, named);
    CommandLine commandLine;
    commandLine.Assign(positional, named);
    exitCode = commandLine.serverFlag ? RunServerMode(commandLine) : RunReportMode(commandLine);
  } catch (const qtl::status_exception& e) {
    cmd::WriteErrorLine(e.get_status().text());
    exitCode = 1;
  }
  return exitCode;
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
