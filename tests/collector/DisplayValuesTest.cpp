// Stored values as a person reads them, and stored text that is not what
// its property should hold left as it is.
#include <gtest/gtest.h>

#include "collector/pages/DisplayValues.h"

namespace collector::pages {
namespace {

TEST(DisplayValues, ReadableWhereTheValueIsWhatItsPropertyHolds) {
  const std::tuple<const char*, const char*, std::string> cases[] = {
      {"LastBootUpTime", "20261207002928.000000+000", "2026-12-07 00:29:28 (UTC+0)"},
      {"LocalDateTime", "20261207002928.000000-060", "2026-12-07 00:29:28 (UTC-1)"},
      {"LastBootUpTime", "2026120700292", ""},
      {"FreePhysicalMemory", "2048", "2.0 MiB"},  // counted in KiB
      {"TotalPhysicalMemory", "2048", "2.0 KiB"},  // counted in bytes
      {"TotalPhysicalMemory", "-5", ""},
      {"Architecture", "9", "x64"},
      {"Architecture", "77", ""},
      {"Locale", "0407", "de-DE — German (Germany)"},  // hexadecimal
      {"OSLanguage", "1031", "de-DE — German (Germany)"},  // decimal
      {"DriveType", "3", "local disk"},
      {"Caption", "0407", ""},
  };
  for (const auto& [field, value, shown] : cases) EXPECT_EQ(DisplayValue(field, value), shown) << field << "=" << value;
  EXPECT_EQ(ValueCell("DriveType", "3"), "<td data-v=\"3\" title=\"3\">local disk</td>");
  EXPECT_EQ(ValueCell("Caption", "<b>\"x\""), "<td>&lt;b&gt;&quot;x&quot;</td>");
}

}  // namespace
}  // namespace collector::pages
