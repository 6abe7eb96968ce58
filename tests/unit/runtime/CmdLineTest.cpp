#include <gtest/gtest.h>

#include "runtime/CmdLine.h"

namespace {

TEST(ClassifyArguments, SlashNameColonValueIsNamedEverythingElsePositional) {
  std::vector<std::wstring> positional{L"stale"};
  sys::env::NamedArguments named{{L"stale", L""}};
  sys::env::ClassifyArguments({L"RunServer", L"/out:C:\\a:b.xml", L"/pipename:", L"/flag", L"word", L""}, positional,
                              named);
  EXPECT_EQ(positional, (std::vector<std::wstring>{L"RunServer", L"word", L""}));
  const sys::env::NamedArguments expected{{L"out", L"C:\\a:b.xml"}, {L"pipename", L""}, {L"flag", L""}};
  EXPECT_EQ(named, expected);
}

}  // namespace
