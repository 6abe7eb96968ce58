// Which Authorization headers let a sender in.
#include <gtest/gtest.h>

#include <fstream>

#include "collector/http/Tokens.h"
#include "testing/TempFolder.h"

namespace collector {
namespace {

// The scheme's name is case-insensitive, as HTTP has it; the token is not.
TEST(Tokens, AcceptOnlyTheSchemeAndAWholeKnownToken) {
  const testing::TempFolder folder;
  const auto path = (folder.Root() / "tokens").string();
  std::ofstream(path) << "# senders\n  right-token \n \t \nother\n";
  Tokens tokens;
  ASSERT_TRUE(tokens.Load(path).ok());
  ASSERT_TRUE(tokens.Required());
  const std::pair<const char*, bool> cases[] = {
      {"Bearer right-token", true},        {"Bearer other", true},
      {"Bearer  right-token \t", true},    {"", false},
      {"Bearer", false},                   {"Bearer ", false},
      {"Bearer  \t ", false},              {"Bearer right-token junk", false},
      {"Bearer right-token other", false}, {"Bearer right-toke", false},
      {"Bearer r", false},                 {"Bearer right-tokenx", false},
      {"Bearer RIGHT-TOKEN", false},       {"bearer right-token", true},
      {"BEARER other", true},              {"Basic right-token", false},
      {"right-token", false},              {"Bearer # senders", false},
  };
  for (const auto& [header, accepted] : cases) EXPECT_EQ(tokens.Accepts(header), accepted) << '"' << header << '"';

  std::ofstream(path) << "# only a comment\n\n";
  EXPECT_FALSE(Tokens().Load(path).ok());
  EXPECT_FALSE(Tokens().Load(path + ".missing").ok());
}

}  // namespace
}  // namespace collector
