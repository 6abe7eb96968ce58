#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Qrn.Tally/Modes.h"
#include "runtime/Log.h"

namespace {

// Console lines that cmd::WriteLine hands to the log while the test runs.
class ConsoleLines {
 public:
  ConsoleLines() {
    qrn::diag::SetLogSink([this](const qrn::diag::LogRecord&, const std::wstring& text) { lines.push_back(text); });
  }
  ~ConsoleLines() { qrn::diag::SetLogSink(nullptr); }
  std::vector<std::wstring> lines;
};

TEST(ServerMode, AnEndpointNobodyHoldsEndsWithExitCodeOneAndPrintsNothing) {
  ConsoleLines console;
  CommandLine commandLine;
  commandLine.serverFlag = true;
  commandLine.pipeName = L"dromika-absent-" + std::to_wstring(std::random_device{}());
  EXPECT_EQ(RunServerMode(commandLine), 1);
  EXPECT_TRUE(console.lines.empty());
}

TEST(ServerMode, WithoutAPipeNameTheConnectionFailsAndTheExitCodeIsOne) {
  ConsoleLines console;
  CommandLine commandLine;
  commandLine.serverFlag = true;
  EXPECT_EQ(RunServerMode(commandLine), 1);
  EXPECT_TRUE(console.lines.empty());
}

}  // namespace
