#include <gtest/gtest.h>

#include "platform/Locale.h"
#include "runtime/Str.h"

namespace {

using platform::kLocaleUserDefault;

std::wstring InfoOf(platform::Locale& locale, uint32_t lcid, uint32_t item) {
  return locale.Info(lcid, item).value_or(L"<none>");
}

TEST(HostLocale, EnglishNamesOfKnownLocales) {
  auto& locale = platform::HostLocale();
  EXPECT_EQ(InfoOf(locale, 0x0409, platform::kLocaleSEngLanguage), L"English");
  EXPECT_EQ(InfoOf(locale, 0x0409, platform::kLocaleSEngCountry), L"United States");
  EXPECT_EQ(InfoOf(locale, 0x0407, platform::kLocaleSEngLanguage), L"German");
  EXPECT_EQ(InfoOf(locale, 0x0407, platform::kLocaleSEngCountry), L"Germany");
  EXPECT_EQ(InfoOf(locale, 0x040C, platform::kLocaleSEngLanguage), L"French");
  EXPECT_EQ(InfoOf(locale, 0x007F, platform::kLocaleSEngLanguage), L"Invariant Language");
  EXPECT_EQ(InfoOf(locale, 0x007F, platform::kLocaleSEngCountry), L"Invariant Country");
}

TEST(HostLocale, NamedLocaleStandsInForTheUsers) {
  auto german = platform::NamedLocale(L"de-DE");
  ASSERT_NE(german, nullptr);
  EXPECT_EQ(german->UserDefaultLcid(), 0x0407u);
  EXPECT_EQ(InfoOf(*german, german->UserDefaultLcid(), platform::kLocaleSEngLanguage), L"German");
  EXPECT_EQ(InfoOf(*german, kLocaleUserDefault, platform::kLocaleSDecimal), L",");
  EXPECT_EQ(InfoOf(*german, kLocaleUserDefault, platform::kLocaleSThousand), L".");
  EXPECT_EQ(InfoOf(*german, kLocaleUserDefault, platform::kLocaleSList), L";");

  auto american = platform::NamedLocale(L"en-US");
  ASSERT_NE(american, nullptr);
  EXPECT_EQ(american->UserDefaultLcid(), 0x0409u);
  EXPECT_EQ(InfoOf(*american, kLocaleUserDefault, platform::kLocaleSDecimal), L".");
  EXPECT_EQ(InfoOf(*american, kLocaleUserDefault, platform::kLocaleSThousand), L",");
  EXPECT_EQ(InfoOf(*american, kLocaleUserDefault, platform::kLocaleSList), L",");
}

TEST(HostLocale, UsersLocaleAnswersForItself) {
  auto& locale = platform::HostLocale();
  const uint32_t lcid = locale.UserDefaultLcid();
  EXPECT_EQ(locale.Info(lcid, platform::kLocaleSEngLanguage),
            locale.Info(kLocaleUserDefault, platform::kLocaleSEngLanguage));
  EXPECT_TRUE(locale.Info(kLocaleUserDefault, platform::kLocaleSDecimal));
}

TEST(ListSeparatorFor, FollowsTheDecimalSeparator) {
  EXPECT_EQ(platform::ListSeparatorFor(L","), L";");
  EXPECT_EQ(platform::ListSeparatorFor(L"."), L",");
  EXPECT_EQ(platform::ListSeparatorFor(L""), L",");
}

}  // namespace
