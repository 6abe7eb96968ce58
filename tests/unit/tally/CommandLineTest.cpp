#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "Qrn.Tally/CommandLine.h"
#include "Qrn.Tally/RunGuard.h"
#include "runtime/Status.h"

namespace {

// Words and options spelled otherwise are refused end to end (report_mode_test.py).
TEST(CommandLine, TakesRunServerAndTheTwoOptionsTheLastOneWinning) {
  CommandLine commandLine;
  commandLine.Assign({L"RunServer", L"RunServer"}, {{L"out", L"a"}, {L"pipename", L"p"}, {L"out", L"b"}});
  EXPECT_TRUE(commandLine.serverFlag && commandLine.pipeName == L"p" && commandLine.outputPath == L"b");
}

struct NotAnException {};

TEST(RunGuarded, EveryExceptionEndsAsOneStatusLineAndExitOne) {
  const std::pair<std::function<int()>, std::string> cases[] = {
      {[]() -> int { ThrowStatus(QrnError::syntax("x"), "f", 1); }, "Syntax error"},
      {[]() -> int { throw std::runtime_error("broken block"); }, "Unexpected exception; broken block"},
      {[]() -> int { throw NotAnException(); }, "Unexpected exception; unknown exception"},
  };
  for (const auto& [mode, expected] : cases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunGuarded(mode), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind(expected, 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
  EXPECT_EQ(RunGuarded([] { return 7; }), 7);
}

}  // namespace
