#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "Qrn.Tally/CommandLine.h"
#include "Qrn.Tally/RunGuard.h"
#include "runtime/Status.h"

namespace {

std::wstring Failure(const std::vector<std::wstring>& positional, const sys::env::NamedArguments& named) {
  try {
    CommandLine().Assign(positional, named);
  } catch (const qtl::status_exception& e) {
    return e.get_status().text();
  }
  return L"";
}

TEST(CommandLine, TakesRunServerAndTheTwoOptionsAndRejectsAnythingElseByExactName) {
  CommandLine commandLine;
  commandLine.Assign({L"RunServer", L"RunServer"}, {{L"out", L"a"}, {L"pipename", L"p"}, {L"out", L"b"}});
  EXPECT_TRUE(commandLine.serverFlag);
  EXPECT_EQ(commandLine.pipeName, L"p");
  EXPECT_EQ(commandLine.outputPath, L"b");
  EXPECT_EQ(Failure({L"runserver"}, {}),
            L"Internal error; CommandLine::Assign; unrecognised argument: runserver (Qrn.Tally\\Qrn.Tally:356)");
  EXPECT_EQ(Failure({}, {{L"Out", L"x"}}),
            L"Internal error; CommandLine::Assign; unrecognised argument: /Out (Qrn.Tally\\Qrn.Tally:376)");
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
