#include <gtest/gtest.h>

#include "Qrn.Tally/CommandLine.h"
#include "runtime/Status.h"

namespace {

std::wstring Failure(const std::vector<std::wstring>& positional, const sys::env::NamedArguments& named) {
  CommandLine commandLine;
  try {
    commandLine.Assign(positional, named);
  } catch (const qtl::status_exception& e) {
    return e.get_status().text();
  }
  return L"";
}

TEST(CommandLine, TakesRunServerAndTheTwoOptions) {
  CommandLine commandLine;
  commandLine.Assign({L"RunServer", L"RunServer"}, {{L"out", L"a"}, {L"pipename", L"p"}, {L"out", L"b"}});
  EXPECT_TRUE(commandLine.serverFlag);
  EXPECT_EQ(commandLine.pipeName, L"p");
  EXPECT_EQ(commandLine.outputPath, L"b");
}

TEST(CommandLine, RejectsAnythingElseByExactName) {
  EXPECT_EQ(Failure({L"runserver"}, {}),
            L"Internal error; CommandLine::Assign; unrecognised argument: runserver (Qrn.Tally\\Qrn.Tally:356)");
  EXPECT_EQ(Failure({}, {{L"Out", L"x"}}),
            L"Internal error; CommandLine::Assign; unrecognised argument: /Out (Qrn.Tally\\Qrn.Tally:376)");
  EXPECT_EQ(Failure({L"RunServer"}, {{L"pipename", L"p"}}), L"");
}

}  // namespace
