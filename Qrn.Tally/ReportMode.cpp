#include "Common/CommandLineUtils.h"
#include "Qrn.Tally/Modes.h"
#include "report/ReportBuilder.h"
#include "runtime/Banner.h"

int RunReportMode(const CommandLine& commandLine) {
  cmd::WriteLine(version::CmdLineBanner(L"DromikaCmd"));
  if (commandLine.outputPath.empty()) {
    cmd::WriteLine(L"Usage: DromikaCmd.exe /out:outfile.dromika");
    return 0;
  }
  const ReportBuilder::Progress console = [](const std::wstring& line) { cmd::WriteLine(line); };
  ReportBuilder builder(blockbits::kAll, false);
  builder.Reset();
  const qtl::status saved = builder.RunAllAndSave(commandLine.outputPath, console);
  if (saved.ok()) return 0;
  cmd::WriteLine(saved.text());
  return 1;  // a report that was not saved is a failed run
}
