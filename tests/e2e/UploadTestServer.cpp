// The server of DromikaCmd with the uploader pointed at a test's own HTTP
// server: the address comes from DROMIKA_TEST_UPLOAD_URL and the time-outs
// from DROMIKA_TEST_UPLOAD_TIMEOUT_MS. Only the tests build this program;
// DromikaCmd itself is steered by nothing but its command line.
#include <cstdlib>
#include <string>

#include "Common/CommandLineUtils.h"
#include "Qrn.Tally/CommandLine.h"
#include "Qrn.Tally/Modes.h"
#include "runtime/App.h"
#include "runtime/CmdLine.h"
#include "runtime/Console.h"
#include "runtime/Str.h"
#include "runtime/Uploader.h"

namespace {

void ApplyTestSettings() {
  if (const char* url = std::getenv("DROMIKA_TEST_UPLOAD_URL")) {
    ws::analytics::impl::SetUploadAddressForTesting(str::as_wstring(url));
  }
  if (const char* timeout = std::getenv("DROMIKA_TEST_UPLOAD_TIMEOUT_MS")) {
    const auto ms = static_cast<uint32_t>(std::strtoul(timeout, nullptr, 10));
    ws::analytics::impl::SetUploadTimeoutsForTesting(ms, ms);
  }
}

}  // namespace

int main() {
  sys::console::SetAsUnicode();
  ApplyTestSettings();
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
