// What the parsers make of whole machines is in LinuxRowsTest; here are the edges of the small ones.
#include <gtest/gtest.h>

#include "platform/linux/LinuxText.h"

namespace {

using namespace platform::linux_text;

TEST(LinuxText, SmallFields) {
  EXPECT_EQ(CommandLineOf(std::string("\0\0", 2)), "");
  EXPECT_EQ(ParseCacheSizeKb("65536"), 64u);  // bytes
  for (const char* bad : {"big", "12Q"}) EXPECT_FALSE(ParseCacheSizeKb(bad)) << bad;
  for (const char* bad : {"-1", "self", ""}) EXPECT_FALSE(ParseNumber(bad)) << bad;
}

TEST(WmiForms, DatesTimesAndPriorities) {
  // Dates pad every field and sign the offset.
  EXPECT_EQ(CimDateTime({2024, 3, 7, 9, 5, 2, 250000, -330}), "20240307090502.250000-330");
  EXPECT_EQ(CimDateTime({2024, 3, 7, 9, 5, 2, 0, 0}), "20240307090502.000000+000");
  // Ticks to 100 ns without overflowing.
  EXPECT_EQ(TicksTo100ns(1, 1000), 10000u);
  EXPECT_EQ(TicksTo100ns(18446744073709ull, 100), 1844674407370900000ull);
  EXPECT_EQ(TicksTo100ns(5, 0), 0u);
  // Nice and policy to base priority classes.
  const int cases[][3] = {{0, 0, 8}, {5, 0, 6},  {19, 0, 4}, {-5, 0, 10},
                          {-20, 0, 13}, {0, 1, 24}, {0, 2, 24}, {0, 5, 4}};  // nice, policy, priority
  for (const auto& c : cases) EXPECT_EQ(WindowsPriority(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

}  // namespace
