#include "Common/CommandLineUtils.h"
#include "Common/TextFile.h"
#include "Qrn.Tally/Modes.h"
#include "report/ReportBuilder.h"
#include "runtime/Banner.h"
#include "runtime/Str.h"

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
  const qtl::status saved = SaveText(commandLine.outputPath, document);
  if (saved.ok()) return 0;
  cmd::WriteLine(saved.text());
  return 1;  // a report that was not saved is a failed run
}
