// The server of DromikaCmd with the uploader's time-outs shortened to
// DROMIKA_TEST_UPLOAD_TIMEOUT_MS, so that tests of a slow peer end soon, and
// its spool in DROMIKA_TEST_UPLOAD_SPOOL (wine sets the user's folders
// itself). Only the tests build this program.
#include <cstdlib>
#include <string>

#include "Common/CommandLineUtils.h"
#include "Qrn.Tally/CommandLine.h"
#include "Qrn.Tally/Modes.h"
#include "runtime/App.h"
#include "runtime/CmdLine.h"
#include "runtime/Console.h"
#include "runtime/PathBytes.h"
#include "runtime/Uploader.h"

int main() {
  sys::console::SetAsUnicode();
  if (const char* timeout = std::getenv("DROMIKA_TEST_UPLOAD_TIMEOUT_MS")) {
    const auto ms = static_cast<uint32_t>(std::strtoul(timeout, nullptr, 10));
    ws::analytics::impl::SetUploadTimeoutsForTesting(ms, ms);
  }
  if (const char* spool = std::getenv("DROMIKA_TEST_UPLOAD_SPOOL")) {
    ws::analytics::impl::SetUploadSpoolForTesting(sys::path::FromHostBytes(spool));
  }
  int exitCode = 0;
  try {
    std::vector<std::wstring> positional;
    sys::env::NamedArguments named;
    sys::env::GetCmdLineArguments(positional, named);
    CommandLine commandLine;
    commandLine.Assign(positional, named);
    exitCode = RunServerMode(commandLine);
  } catch (const qtl::status_exception& e) {
    cmd::WriteErrorLine(e.get_status().text());
    exitCode = 1;
  }
  (void)App::Instance().OnExit();
  return exitCode;
}
