// Which Authorization headers let a caller in, and with which scopes.
#include <gtest/gtest.h>

#include <fstream>

#include "collector/http/Tokens.h"
#include "testing/TempFolder.h"

namespace collector {
namespace {

// The scheme's name is case-insensitive, as HTTP has it; the token is not.
// A token alone keeps its old meaning; a name stands in for the token.
TEST(Tokens, AcceptOnlyTheSchemeAndAWholeKnownTokenWithItsScopes) {
  const testing::TempFolder folder;
  const auto path = (folder.Root() / "tokens").string();
  std::ofstream(path)
      << "# senders\n  right-token \n \t \nother ingest # clients\nboss read admin\t#  ops \nhash#in ingest\n";
  Tokens tokens;
  ASSERT_TRUE(tokens.Load(path).ok());
  ASSERT_TRUE(tokens.Required());
  const std::pair<const char*, unsigned> cases[] = {
      {"Bearer right-token", kIngest | kRead},
      {"Bearer other", kIngest},
      {"Bearer  right-token \t", kIngest | kRead},
      {"", 0},
      {"Bearer", 0},
      {"Bearer ", 0},
      {"Bearer  \t ", 0},
      {"Bearer right-token junk", 0},
      {"Bearer right-token other", 0},
      {"Bearer right-toke", 0},
      {"Bearer r", 0},
      {"Bearer right-tokenx", 0},
      {"Bearer RIGHT-TOKEN", 0},
      {"bearer right-token", kIngest | kRead},
      {"BEARER boss", kRead | kAdmin},
      {"Basic right-token", 0},
      {"right-token", 0},
      {"Bearer # senders", 0},
      {"Bearer other ingest", 0},
      {"Bearer clients", 0},
  };
  for (const auto& [header, scopes] : cases) {
    const auto caller = tokens.FromHeader(header);
    EXPECT_EQ(caller ? caller->scopes : 0u, scopes) << '"' << header << '"';
  }
  EXPECT_EQ(tokens.Find("other")->name, "clients");
  EXPECT_EQ(tokens.Find("boss")->name, "ops");
  EXPECT_EQ(tokens.Find("right-token")->name, "token on line 2");
  EXPECT_EQ(tokens.Find("hash#in")->scopes, kIngest);

  // A file that does not load leaves every token loaded before in use; one
  // that does replaces them all.
  std::ofstream(path) << "# only a comment\n\n";
  EXPECT_FALSE(tokens.Load(path).ok());
  EXPECT_FALSE(tokens.Load(path + ".missing").ok());
  std::ofstream(path) << "next ingest\ntoken reed\n";
  EXPECT_FALSE(tokens.Load(path).ok());
  EXPECT_TRUE(tokens.Find("other") && !tokens.Find("next"));
  std::ofstream(path) << "next ingest\n";
  ASSERT_TRUE(tokens.Load(path).ok());
  EXPECT_TRUE(!tokens.Find("other") && tokens.Find("next") && tokens.Count() == 1);
}

}  // namespace
}  // namespace collector
