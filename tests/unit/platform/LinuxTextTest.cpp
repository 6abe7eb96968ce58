// The parsers one by one; what they make of a whole machine is in LinuxRowsTest.
#include <gtest/gtest.h>

#include "platform/linux/LinuxText.h"

namespace {

using namespace platform::linux_text;

TEST(ParseOsRelease, UnquotesAndSkipsWhatIsNotAnAssignment) {
  const auto values = ParseOsRelease(
      "# comment\nPRETTY_NAME=\"Debian 12\"\nVERSION_ID='12'\nID=debian\nNAME=\"Say \\\"hi\\\" \\\\ \"\n"
      "BROKEN=\"no end\n=nothing\n\n");
  const std::map<std::string, std::string> expected = {
      {"PRETTY_NAME", "Debian 12"}, {"VERSION_ID", "12"}, {"ID", "debian"}, {"NAME", "Say \"hi\" \\ "}};
  EXPECT_EQ(values, expected);
}

TEST(ParseProcessStat, RefusesTruncatedLinesAndReadsTheState) {
  EXPECT_FALSE(ParseProcessStat(""));
  EXPECT_FALSE(ParseProcessStat("12 (cut"));
  EXPECT_FALSE(ParseProcessStat("12 (short) S 1 2 3"));
  EXPECT_EQ(ParseProcessStat("7 (a) Z 0 0 0 0 -1 0 0 0 0 0 1 2 0 0 20 0 1 0 5 100 2")->state, 'Z');
}

TEST(LinuxText, SmallFields) {
  EXPECT_EQ(ParseBootTime("cpu  1 2 3\nintr 5\nbtime 1700000000\nprocesses 9\n"), 1700000000);
  EXPECT_EQ(CommandLineOf(std::string("\0\0", 2)), "");
  EXPECT_EQ(CommandLineOf(""), "");
  EXPECT_EQ(ParseCpuList("0-3,8,10-11\n"), (std::vector<int>{0, 1, 2, 3, 8, 10, 11}));
  EXPECT_EQ(ParseCpuList("5"), (std::vector<int>{5}));
  for (const char* bad : {"3-1", "a-b", "1-2x"}) EXPECT_TRUE(ParseCpuList(bad).empty()) << bad;
  EXPECT_EQ(ParseCacheSizeKb("32K\n"), 32u);
  EXPECT_EQ(ParseCacheSizeKb("65536"), 64u);  // bytes
  EXPECT_FALSE(ParseCacheSizeKb("big"));
  EXPECT_FALSE(ParseCacheSizeKb("12Q"));
  EXPECT_EQ(ParseNumber(" 42\n"), 42u);
  for (const char* bad : {"-1", "self", ""}) EXPECT_FALSE(ParseNumber(bad)) << bad;
}

TEST(WmiForms, DatesTimesAndPriorities) {
  // Dates pad every field and sign the offset.
  CivilTime t{2024, 3, 7, 9, 5, 2, 250000, -330};
  EXPECT_EQ(CimDateTime(t), "20240307090502.250000-330");
  t.offsetMinutes = t.microsecond = 0;
  EXPECT_EQ(CimDateTime(t), "20240307090502.000000+000");
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
