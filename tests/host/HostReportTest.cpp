// The report of this machine, written block by block straight to its file
// (report mode) and saved whole from the builder's text (server mode).
#include <gtest/gtest.h>

#include <sstream>

#include "report/ReportBuilder.h"
#include "testing/TempFolder.h"

namespace {

// Without what changes from one run to the next: the processes (whose
// command lines may span lines), free memory and space, and the clock.
std::string WithoutVolatileLines(const std::string& document) {
  std::istringstream lines(document);
  std::string kept;
  bool inProcesses = false;
  for (std::string line; std::getline(lines, line);) {
    inProcesses = inProcesses || line.find("<processes>") != std::string::npos;
    bool moves = inProcesses;
    for (const char* mark : {"<Win32_OperatingSystem ", "<memory ", "<disk ", "<time "}) {
      moves = moves || line.find(mark) != std::string::npos;
    }
    if (!moves) kept += line + "\n";
    inProcesses = inProcesses && line.find("</processes>") == std::string::npos;
  }
  return kept;
}

TEST(HostReport, StreamedToTheFileItIsTheDocumentSavedWhole) {
  testing::TempFolder folder;
  std::vector<std::wstring> lines[2];
  ReportBuilder whole(blockbits::kAll, false);
  whole.Reset();
  whole.RunAll([&](const std::wstring& line) { lines[0].push_back(line); });
  ASSERT_TRUE(
      whole.SaveDocument(folder.Path(L"whole.xml"), [&](const std::wstring& line) { lines[0].push_back(line); }).ok());
  ReportBuilder streamed(blockbits::kAll, false);
  streamed.Reset();
  const auto progress = [&](const std::wstring& line) { lines[1].push_back(line); };
  ASSERT_TRUE(streamed.RunAllAndSave(folder.Path(L"streamed.xml"), progress).ok());
  EXPECT_EQ(lines[1].back(), L"Saving to " + folder.Path(L"streamed.xml"));
  lines[1].back() = lines[0].back();
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_TRUE(streamed.BlockText().empty());
  EXPECT_EQ(WithoutVolatileLines(folder.Read(L"streamed.xml")), WithoutVolatileLines(folder.Read(L"whole.xml")));
}

}  // namespace
