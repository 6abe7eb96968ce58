#include "Common/CommandLineUtils.h"
#include "Common/TextFile.h"
#include "Qrn.Tally/Modes.h"
#include "report/ReportBuilder.h"
#include "runtime/Banner.h"
#include "runtime/Str.h"
#include "runtime/SystemError.h"

namespace {
constexpr BlockMask kAllBlocks = 0x0FFFFFFF;
}

int RunReportMode(const CommandLine& commandLine) {
  cmd::WriteLine(version::CmdLineBanner(L"DromikaCmd"));
  if (commandLine.outputPath.empty()) {
    cmd::WriteLine(L"Usage: DromikaCmd.exe /out:outfile.dromika");
    return 0;
  }
  ReportBuilder builder(kAllBlocks, false);
  builder.Reset();
  while (builder.HasMore()) {
    cmd::WriteLine(builder.CurrentMessage());
    builder.RunCurrent();
  }
  std::wstring document = builder.GetDocument();
  str::replace_all(document, std::wstring(L"\r"), std::wstring());

  cmd::WriteLine(L"Saving to " + commandLine.outputPath);
  if (SaveTextToFile(commandLine.outputPath, document)) return 0;
  const uint32_t error = sys::LastErrorCode();
  cmd::WriteLine(L"Unable to save to " + commandLine.outputPath + L": " + str::as_wstring(QRNErrMsg(error)));
  return 1;  // a report that was not saved is a failed run
}
