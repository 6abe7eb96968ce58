#include "platform/Locale.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(PosixLocaleName, FollowsPosixPrecedenceWithEmptyValuesUnset) {
  const std::pair<std::map<std::string, std::string>, std::string> cases[] = {
      {{}, "C"}, {{{"LANG", "de_DE.UTF-8"}}, "de_DE.UTF-8"}, {{{"LC_ALL", ""}, {"LANG", "de_DE.UTF-8"}}, "de_DE.UTF-8"},
      {{{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", ""}}, "C"}, {{{"LC_ALL", ""}, {"LC_MESSAGES", "fr_FR"}}, "fr_FR"},
      {{{"LC_ALL", "ja_JP"}, {"LC_MESSAGES", "fr_FR"}, {"LANG", "de_DE"}}, "ja_JP"},
      {{{"LC_MESSAGES", "fr_FR"}, {"LANG", "de_DE"}}, "fr_FR"}, {{{"LC_NUMERIC", "it_IT"}, {"LANG", "de"}}, "de"}};
  for (const auto& [environment, expected] : cases) {
    const auto lookup = [&environment = environment](const char* name) -> const char* {
      const auto found = environment.find(name);
      return found == environment.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(platform::PosixLocaleName("LC_MESSAGES", lookup), expected) << expected;
  }
  for (const auto& [name, id] : std::map<std::string, std::string>{
           {"de_DE.UTF-8", "de_DE"}, {"de_DE.UTF-8@euro", "de_DE"}, {"sr_RS@latin", "sr_RS"}, {"fr", "fr"},
           {"C", "en_US_POSIX"}, {"C.UTF-8", "en_US_POSIX"}, {"POSIX", "en_US_POSIX"}, {"", "en_US_POSIX"}}) {
    EXPECT_EQ(platform::IcuLocaleId(name), id) << name;  // without code set or modifier; the C locale mapped
  }
}

}  // namespace
