#include "Common/CommandLineUtils.h"
#include "Qrn.Tally/Modes.h"
#include "report/ReportBuilder.h"
#include "runtime/Banner.h"

int RunUsage() {
  cmd::WriteLine(version::CmdLineBanner(L"DromikaCmd"));
  cmd::WriteLine(L"Usage: DromikaCmd.exe /out:outfile.dromika");
  return 0;
}

int RunReportMode(const CommandLine& commandLine) {
  if (commandLine.outputPath.empty()) return RunUsage();
  cmd::WriteLine(version::CmdLineBanner(L"DromikaCmd"));
  const ReportBuilder::Progress console = [](const std::wstring& line) { cmd::WriteLine(line); };
  ReportBuilder builder(blockbits::kAll, false);
  builder.Reset();
  const qtl::status saved = builder.RunAllAndSave(commandLine.outputPath, console);
  if (saved.ok()) return 0;
  cmd::WriteLine(saved.text());
  return 1;  // a report that was not saved is a failed run
}
