#include <gtest/gtest.h>

#include "platform/linux/LinuxRows.h"
#include "testing/MemoryTextFiles.h"

namespace {

using platform::PropertyList;
using platform::linux_text::CivilTime;

// UTC plus a fixed offset, with the civil-from-days algorithm.
CivilTime FixedOffset(int64_t seconds, int offsetMinutes) {
  const int64_t local = seconds + offsetMinutes * 60;
  int64_t days = local / 86400;
  const int64_t rest = local % 86400;
  days += 719468;
  const int64_t era = days / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
  return CivilTime{year, month, day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                   static_cast<int>(rest % 60), 0, offsetMinutes};
}

platform::LinuxHostFacts Host() {
  platform::LinuxHostFacts host;
  host.hostName = "build-7";
  host.userName = "ana";
  host.kernelRelease = "6.1.0-18-amd64";
  host.machine = "x86_64";
  host.ticksPerSecond = 100;
  host.pageSize = 4096;
  host.now = 1700000000;  // 2023-11-14 22:13:20 UTC
  host.lcid = 1033;
  host.localTime = [](int64_t seconds) { return FixedOffset(seconds, 60); };
  return host;
}

std::string Value(const PropertyList& row, const std::wstring& name) {
  for (const auto& [key, value] : row) {
    if (key == name) return std::string(value.begin(), value.end());
  }
  return "<absent>";
}

class LinuxRows : public ::testing::Test {
 protected:
  void SetUp() override {
    files.Add("/etc/os-release",
              "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nVERSION_ID=\"12\"\n");
    files.Add("/proc/meminfo",
              "MemTotal:       16000000 kB\nMemFree:         1000000 kB\nMemAvailable:   12000000 kB\n"
              "SwapTotal:       2000000 kB\nSwapFree:        1500000 kB\n");
    files.Add("/proc/stat", "cpu  1 2 3 4\nbtime 1699990000\n");
    files.Add("/sys/class/dmi/id/sys_vendor", "LENOVO\n");
    files.Add("/sys/class/dmi/id/product_name", "20XW0026GE\n");
    std::string cpuinfo;
    for (int cpu = 0; cpu < 4; ++cpu) {
      cpuinfo += "processor\t: " + std::to_string(cpu) +
                 "\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\nmodel name\t: Intel(R) Xeon(R) "
                 "CPU\nstepping\t: 10\ncpu MHz\t\t: 2799.6\n\n";
      const std::string folder = "/sys/devices/system/cpu/cpu" + std::to_string(cpu);
      files.Add(folder + "/topology/physical_package_id", cpu < 2 ? "0\n" : "1\n");
      files.Add(folder + "/topology/core_cpus_list", std::to_string(cpu) + "\n");
      files.Add(folder + "/cache/index2/level", "2\n");
      files.Add(folder + "/cache/index2/size", "256K\n");
      files.Add(folder + "/cache/index2/shared_cpu_list", std::to_string(cpu) + "\n");
      files.Add(folder + "/cache/index3/level", "3\n");
      files.Add(folder + "/cache/index3/size", "8M\n");
      files.Add(folder + "/cache/index3/shared_cpu_list", cpu < 2 ? "0-1\n" : "2-3\n");
      files.Add(folder + "/cpufreq/cpuinfo_max_freq", "3600000\n");
    }
    files.Add("/proc/cpuinfo", cpuinfo);
    files.Add("/sys/devices/system/cpu/online", "0-3\n");
  }

  platform::MemoryTextFiles files;
};

TEST_F(LinuxRows, OperatingSystemRowInWmiTextForms) {
  files.Add("/proc/1/stat", "1 (init) S 0 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 100 2");
  files.Add("/proc/22/stat", "22 (sh) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 100 2");
  files.Add("/proc/self/stat", "22 (sh) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 100 2");
  const PropertyList row = platform::OperatingSystemRow(files, Host());
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {L"BuildNumber", L"6.1.0-18-amd64"},
      {L"Caption", L"Debian GNU/Linux 12 (bookworm)"},
      {L"CSName", L"build-7"},
      {L"CurrentTimeZone", L"60"},
      {L"FreePhysicalMemory", L"12000000"},
      {L"FreeSpaceInPagingFiles", L"1500000"},
      {L"FreeVirtualMemory", L"13500000"},
      {L"LastBootUpTime", L"20231114202640.000000+060"},
      {L"LocalDateTime", L"20231114231320.000000+060"},
      {L"Locale", L"0409"},
      {L"NumberOfProcesses", L"2"},
      {L"OSArchitecture", L"64-bit"},
      {L"OSLanguage", L"1033"},
      {L"OSType", L"36"},
      {L"SizeStoredInPagingFiles", L"2000000"},
      {L"TotalVirtualMemorySize", L"18000000"},
      {L"TotalVisibleMemorySize", L"16000000"},
      {L"Version", L"12"},
  };
  EXPECT_EQ(row, expected);
}

TEST_F(LinuxRows, OperatingSystemRowFallsBackAndLeavesUnknownsEmpty) {
  files.Remove("/etc/os-release");
  files.Remove("/proc/meminfo");
  files.Remove("/proc/stat");
  files.Add("/usr/lib/os-release", "NAME=Alpine\n");
  auto host = Host();
  host.lcid = 0;
  const PropertyList row = platform::OperatingSystemRow(files, host);
  EXPECT_EQ(Value(row, L"Caption"), "Alpine");
  EXPECT_EQ(Value(row, L"Version"), "");
  EXPECT_EQ(Value(row, L"TotalVisibleMemorySize"), "");
  EXPECT_EQ(Value(row, L"LastBootUpTime"), "");
  EXPECT_EQ(Value(row, L"Locale"), "");
  EXPECT_EQ(Value(row, L"OSLanguage"), "");
}

TEST_F(LinuxRows, OneProcessorRowPerPackageWithSharedCachesCountedOnce) {
  const auto rows = platform::ProcessorRows(files, Host());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Value(rows[0], L"DeviceID"), "CPU0");
  EXPECT_EQ(Value(rows[1], L"DeviceID"), "CPU1");
  EXPECT_EQ(Value(rows[0], L"Caption"), "Intel64 Family 6 Model 158 Stepping 10");
  EXPECT_EQ(Value(rows[0], L"Name"), "Intel(R) Xeon(R) CPU");
  EXPECT_EQ(Value(rows[0], L"Manufacturer"), "GenuineIntel");
  EXPECT_EQ(Value(rows[0], L"NumberOfCores"), "2");
  EXPECT_EQ(Value(rows[0], L"NumberOfLogicalProcessors"), "2");
  EXPECT_EQ(Value(rows[0], L"L2CacheSize"), "512");
  EXPECT_EQ(Value(rows[0], L"L3CacheSize"), "8192");
  EXPECT_EQ(Value(rows[0], L"MaxClockSpeed"), "3600");
  EXPECT_EQ(Value(rows[0], L"CurrentClockSpeed"), "2800");
  EXPECT_EQ(Value(rows[0], L"Architecture"), "9");
  EXPECT_EQ(Value(rows[0], L"Level"), "6");
  EXPECT_EQ(Value(rows[0], L"Revision"), "40458");  // 158 * 256 + 10
  EXPECT_EQ(Value(rows[0], L"SystemName"), "build-7");
}

TEST_F(LinuxRows, ProcessorRowWithoutSysfsComesFromCpuinfo) {
  platform::MemoryTextFiles bare;
  bare.Add("/proc/cpuinfo", "processor\t: 0\nmodel name\t: ARMv8 Processor\n\nprocessor\t: 1\n\n");
  auto host = Host();
  host.machine = "aarch64";
  const auto rows = platform::ProcessorRows(bare, host);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Value(rows[0], L"NumberOfLogicalProcessors"), "2");
  EXPECT_EQ(Value(rows[0], L"Architecture"), "12");
  EXPECT_EQ(Value(rows[0], L"Name"), "ARMv8 Processor");
  EXPECT_EQ(Value(rows[0], L"L2CacheSize"), "");
  EXPECT_EQ(Value(rows[0], L"MaxClockSpeed"), "");
  EXPECT_EQ(Value(rows[0], L"Level"), "");
}

TEST_F(LinuxRows, ComputerSystemRow) {
  const PropertyList row = platform::ComputerSystemRow(files, Host());
  EXPECT_EQ(Value(row, L"Manufacturer"), "LENOVO");
  EXPECT_EQ(Value(row, L"Model"), "20XW0026GE");
  EXPECT_EQ(Value(row, L"Name"), "build-7");
  EXPECT_EQ(Value(row, L"Domain"), "");
  EXPECT_EQ(Value(row, L"UserName"), "build-7\\ana");
  EXPECT_EQ(Value(row, L"TotalPhysicalMemory"), "16384000000");
  EXPECT_EQ(Value(row, L"NumberOfProcessors"), "2");
  EXPECT_EQ(Value(row, L"NumberOfLogicalProcessors"), "4");
  EXPECT_EQ(Value(row, L"SystemType"), "x64-based PC");
}

TEST(MemoryKbOf, FallsBackWhenMemAvailableIsMissingOrImplausible) {
  const std::string common = "MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 300 kB\n"
                             "SReclaimable: 40 kB\nShmem: 90 kB\nSwapTotal: 10 kB\nSwapFree: 5 kB\n";
  EXPECT_EQ(platform::MemoryKbOf(common + "MemAvailable: 700 kB\n").available, 700u);
  EXPECT_EQ(platform::MemoryKbOf(common).available, 400u);
  EXPECT_EQ(platform::MemoryKbOf(common + "MemAvailable: 5000 kB\n").available, 400u);
  const auto memory = platform::MemoryKbOf(common);
  EXPECT_EQ(memory.total, 1000u);
  EXPECT_EQ(memory.swapTotal, 10u);
  EXPECT_EQ(memory.swapFree, 5u);
  EXPECT_EQ(platform::MemoryKbOf("").total, 0u);
}

TEST(ProcessorSummaryOf, UsesWindowsCodes) {
  const std::string intel = "processor\t: 0\ncpu family\t: 6\nmodel\t\t: 158\nstepping\t: 10\n";
  auto summary = platform::ProcessorSummaryOf(intel, "x86_64", 8);
  EXPECT_EQ(summary.count, 8u);
  EXPECT_EQ(summary.type, 8664u);
  EXPECT_EQ(summary.architecture, 9);
  EXPECT_EQ(summary.level, 6);
  EXPECT_EQ(summary.revision, 0x9E0A);
  summary = platform::ProcessorSummaryOf(intel, "i686", 1);
  EXPECT_EQ(summary.type, 586u);
  EXPECT_EQ(summary.architecture, 0);
  summary = platform::ProcessorSummaryOf("processor\t: 0\nCPU part\t: 0xd0c\n", "aarch64", 4);
  EXPECT_EQ(summary.type, 0u);
  EXPECT_EQ(summary.architecture, 12);
  EXPECT_EQ(summary.level, 0);
  EXPECT_EQ(platform::ProcessorSummaryOf("", "riscv64", 1).architecture, 0xFFFF);
}

}  // namespace
