#include <gtest/gtest.h>

#include "platform/linux/LinuxText.h"

namespace {

using namespace platform::linux_text;

TEST(ParseOsRelease, UnquotesAndSkipsWhatIsNotAnAssignment) {
  const auto values = ParseOsRelease(
      "# comment\n"
      "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
      "VERSION_ID='12'\n"
      "ID=debian\n"
      "NAME=\"Say \\\"hi\\\" \\\\ \"\n"
      "BROKEN=\"no end\n"
      "=nothing\n"
      "\n");
  EXPECT_EQ(values.at("PRETTY_NAME"), "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(values.at("VERSION_ID"), "12");
  EXPECT_EQ(values.at("ID"), "debian");
  EXPECT_EQ(values.at("NAME"), "Say \"hi\" \\ ");
  EXPECT_EQ(values.count("BROKEN"), 0u);
  EXPECT_EQ(values.size(), 4u);
}

TEST(ParseMeminfo, KeepsTheNumbersAsWritten) {
  const auto values = ParseMeminfo(
      "MemTotal:       24683772 kB\n"
      "MemAvailable:   23755856 kB\n"
      "HugePages_Total:       0\n"
      "garbage line\n");
  EXPECT_EQ(values.at("MemTotal"), 24683772u);
  EXPECT_EQ(values.at("MemAvailable"), 23755856u);
  EXPECT_EQ(values.at("HugePages_Total"), 0u);
  EXPECT_EQ(values.size(), 3u);
}

TEST(ParseCpuinfo, OneMapPerProcessorBlock) {
  const auto blocks = ParseCpuinfo(
      "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i7 CPU @ 2.80GHz\n\n"
      "processor\t: 1\nvendor_id\t: GenuineIntel\nflags\t\t:\n\n\n");
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0].at("model name"), "Intel(R) Core(TM) i7 CPU @ 2.80GHz");
  EXPECT_EQ(blocks[1].at("processor"), "1");
  EXPECT_EQ(blocks[1].at("flags"), "");
  EXPECT_TRUE(ParseCpuinfo("").empty());
}

// A process may name itself with blanks and parentheses; only the last ')' ends the name.
TEST(ParseProcessStat, NameRunsToTheLastParenthesis) {
  const auto stat = ParseProcessStat(
      "4242 (my (odd) name) S 1 4242 4242 0 -1 4194560 1500 0 12 0 250 75 0 0 20 -5 3 0 123456 10485760 512 "
      "18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 1 0 0 0 0 0\n");
  ASSERT_TRUE(stat);
  EXPECT_EQ(stat->name, "my (odd) name");
  EXPECT_EQ(stat->state, 'S');
  EXPECT_EQ(stat->parentId, 1);
  EXPECT_EQ(stat->minorFaults, 1500u);
  EXPECT_EQ(stat->majorFaults, 12u);
  EXPECT_EQ(stat->userTicks, 250u);
  EXPECT_EQ(stat->kernelTicks, 75u);
  EXPECT_EQ(stat->nice, -5);
  EXPECT_EQ(stat->threads, 3);
  EXPECT_EQ(stat->startTicks, 123456u);
  EXPECT_EQ(stat->virtualBytes, 10485760u);
  EXPECT_EQ(stat->residentPages, 512u);
  EXPECT_EQ(stat->policy, 0);
}

TEST(ParseProcessStat, RefusesTruncatedLinesAndToleratesOldKernels) {
  EXPECT_FALSE(ParseProcessStat(""));
  EXPECT_FALSE(ParseProcessStat("12 (cut"));
  EXPECT_FALSE(ParseProcessStat("12 (short) S 1 2 3"));
  // Without the fields after rss (old kernels) the policy stays 0.
  const auto old = ParseProcessStat("7 (init) S 0 0 0 0 -1 0 0 0 0 0 1 2 0 0 20 0 1 0 5 100 2");
  ASSERT_TRUE(old);
  EXPECT_EQ(old->residentPages, 2u);
  EXPECT_EQ(old->policy, 0);
}

TEST(ParseBootTime, FindsTheBtimeLine) {
  EXPECT_EQ(ParseBootTime("cpu  1 2 3\nintr 5\nbtime 1700000000\nprocesses 9\n"), 1700000000);
  EXPECT_FALSE(ParseBootTime("cpu 1 2 3\n"));
}

TEST(CommandLineOf, JoinsArgumentsWithBlanks) {
  EXPECT_EQ(CommandLineOf(std::string("/bin/sh\0-c\0echo hi\0", 20)), "/bin/sh -c echo hi");
  EXPECT_EQ(CommandLineOf(std::string("\0\0", 2)), "");
  EXPECT_EQ(CommandLineOf(""), "");
  EXPECT_EQ(CommandLineOf("rewritten title: worker"), "rewritten title: worker");
}

TEST(ParseCpuList, ExpandsRangesAndRefusesNonsense) {
  EXPECT_EQ(ParseCpuList("0-3,8,10-11\n"), (std::vector<int>{0, 1, 2, 3, 8, 10, 11}));
  EXPECT_EQ(ParseCpuList("5"), (std::vector<int>{5}));
  EXPECT_TRUE(ParseCpuList("3-1").empty());
  EXPECT_TRUE(ParseCpuList("a-b").empty());
  EXPECT_TRUE(ParseCpuList("1-2x").empty());
}

TEST(ParseCacheSizeKb, ReadsTheUnit) {
  EXPECT_EQ(ParseCacheSizeKb("32K\n"), 32u);
  EXPECT_EQ(ParseCacheSizeKb("2M"), 2048u);
  EXPECT_EQ(ParseCacheSizeKb("65536"), 64u);
  EXPECT_FALSE(ParseCacheSizeKb("big"));
  EXPECT_FALSE(ParseCacheSizeKb("12Q"));
}

TEST(ParseNumber, AcceptsOnlyDigits) {
  EXPECT_EQ(ParseNumber(" 42\n"), 42u);
  EXPECT_FALSE(ParseNumber("-1"));
  EXPECT_FALSE(ParseNumber("self"));
  EXPECT_FALSE(ParseNumber(""));
}

TEST(CimDateTime, PadsEveryFieldAndSignsTheOffset) {
  CivilTime t{2024, 3, 7, 9, 5, 2, 250000, 60};
  EXPECT_EQ(CimDateTime(t), "20240307090502.250000+060");
  t.offsetMinutes = -330;
  EXPECT_EQ(CimDateTime(t), "20240307090502.250000-330");
  t.offsetMinutes = 0;
  t.microsecond = 0;
  EXPECT_EQ(CimDateTime(t), "20240307090502.000000+000");
}

TEST(TicksTo100ns, ConvertsWithoutOverflowing) {
  EXPECT_EQ(TicksTo100ns(250, 100), 25000000u);
  EXPECT_EQ(TicksTo100ns(1, 1000), 10000u);
  EXPECT_EQ(TicksTo100ns(18446744073709ull, 100), 1844674407370900000ull);
  EXPECT_EQ(TicksTo100ns(5, 0), 0u);
}

TEST(WindowsPriority, MapsNiceAndPolicyToBasePriorityClasses) {
  EXPECT_EQ(WindowsPriority(0, 0), 8);
  EXPECT_EQ(WindowsPriority(5, 0), 6);
  EXPECT_EQ(WindowsPriority(19, 0), 4);
  EXPECT_EQ(WindowsPriority(-5, 0), 10);
  EXPECT_EQ(WindowsPriority(-20, 0), 13);
  EXPECT_EQ(WindowsPriority(0, 1), 24);
  EXPECT_EQ(WindowsPriority(0, 2), 24);
  EXPECT_EQ(WindowsPriority(0, 5), 4);
}

}  // namespace
