#include <gtest/gtest.h>

#include <map>

#include "platform/Locale.h"

namespace {

TEST(PosixLocaleName, FollowsPosixPrecedenceWithEmptyValuesUnset) {
  using Environment = std::map<std::string, std::string>;
  const std::vector<std::pair<Environment, std::string>> cases = {
      {{}, "C"},
      {{{"LANG", "de_DE.UTF-8"}}, "de_DE.UTF-8"},
      {{{"LC_ALL", ""}, {"LANG", "de_DE.UTF-8"}}, "de_DE.UTF-8"},
      {{{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", ""}}, "C"},
      {{{"LC_MESSAGES", "fr_FR"}, {"LANG", "de_DE"}}, "fr_FR"},
      {{{"LC_ALL", "ja_JP"}, {"LC_MESSAGES", "fr_FR"}, {"LANG", "de_DE"}}, "ja_JP"},
      {{{"LC_ALL", ""}, {"LC_MESSAGES", "fr_FR"}}, "fr_FR"},
      {{{"LC_NUMERIC", "it_IT"}, {"LANG", "de_DE"}}, "de_DE"},
  };
  for (const auto& [environment, expected] : cases) {
    const auto lookup = [&environment = environment](const char* name) -> const char* {
      const auto found = environment.find(name);
      return found == environment.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(platform::PosixLocaleName("LC_MESSAGES", lookup), expected) << expected;
  }
}

TEST(IcuLocaleId, DropsCodeSetAndModifierAndMapsTheCLocale) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"de_DE.UTF-8", "de_DE"}, {"de_DE.UTF-8@euro", "de_DE"}, {"sr_RS@latin", "sr_RS"}, {"fr", "fr"},
      {"C", "en_US_POSIX"},     {"C.UTF-8", "en_US_POSIX"},    {"POSIX", "en_US_POSIX"}, {"", "en_US_POSIX"},
  };
  for (const auto& [name, id] : cases) EXPECT_EQ(platform::IcuLocaleId(name), id) << name;
}

}  // namespace
