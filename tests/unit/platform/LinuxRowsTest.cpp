#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "platform/linux/LinuxRows.h"
#include "runtime/Str.h"
#include "testing/Fixture.h"
#include "testing/MemoryTextFiles.h"

namespace {

using namespace platform;

LinuxHostFacts Host(const std::string& machine = "x86_64", uint32_t lcid = 1033) {
  LinuxHostFacts host{"build-7", "", "ana", "6.1.0-18-amd64", machine, 100, 4096, 1700000000, lcid, nullptr};
  // One hour east of UTC; every moment asked for is on 2023-11-14 (UTC midnight 1699920000).
  host.localTime = [](int64_t seconds) {
    const int local = static_cast<int>(seconds - 1699920000 + 3600);
    return linux_text::CivilTime{2023, 11, 14, local / 3600, local / 60 % 60, local % 60, 0, 60};
  };
  return host;
}

// A machine's files; the format is told at the top of tests/data/platform/laptop.files.
void Load(MemoryTextFiles& files, const std::string& fixture) {
  std::istringstream lines(testing::ReadFixture(fixture));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::string path = line.substr(0, line.find(' ')), rest = line.substr(path.size());
    std::string text;
    for (size_t i = std::min<size_t>(3, rest.size()); i < rest.size(); ++i) {
      const bool escape = rest[i] == '\\' && i + 1 < rest.size();
      const char c = escape ? rest[++i] : rest[i];
      text += !escape ? c : c == 'n' ? '\n' : c == 't' ? '\t' : c == '0' ? '\0' : c;
    }
    if (rest == " denied") files.AddDenied(path);
    else if (rest.rfind(" -> ", 0) == 0) files.AddLink(path, rest.substr(4));
    else files.Add(path, text);
  }
}

std::string Text(const std::string& wmiClass, const std::vector<PropertyList>& rows) {
  std::string text;
  for (const auto& row : rows) {
    text += "[" + wmiClass + "]\n";
    for (const auto& [name, value] : row) text += str::as_u8string(name) + "=" + str::as_u8string(value) + "\n";
    text += "\n";
  }
  return text;
}

std::string AllRows(TextFiles& files, const LinuxHostFacts& host) {
  return Text("Win32_OperatingSystem", {OperatingSystemRow(files, host)}) +
         Text("Win32_ComputerSystem", {ComputerSystemRow(files, host)}) +
         Text("Win32_Processor", ProcessorRows(files, host)) + Text("Win32_Process", ProcessRows(files, host));
}

TEST(LinuxRows, EachMachineInWmiTextForms) {
  // The bare machine has no sysfs, meminfo, boot time or /etc/os-release: what cannot be read stays empty.
  for (const auto& [name, machine, lcid] : {std::tuple("laptop", "x86_64", 1033), std::tuple("bare", "aarch64", 0)}) {
    MemoryTextFiles files;
    Load(files, std::string("platform/") + name + ".files");
    EXPECT_EQ(AllRows(files, Host(machine, lcid)), testing::ReadFixture(std::string("platform/") + name + ".rows"));
  }
  MemoryTextFiles none;
  EXPECT_TRUE(ProcessRows(none, Host()).empty());
}

// The files of a process vanish as soon as its stat has been read: the row keeps the stat's fields.
struct ExitingProcesses : MemoryTextFiles {
  std::optional<std::string> Read(const std::string& path) override {
    auto text = MemoryTextFiles::Read(path);
    if (text && path != "/proc/stat" && path.size() > 5 && path.compare(path.size() - 5, 5, "/stat") == 0) {
      Remove(path.substr(0, path.size() - 5));
    }
    return text;
  }
};

TEST(LinuxRows, ProcessEndingMidReadKeepsItsStatFields) {
  ExitingProcesses files;
  Load(files, "platform/exiting.files");
  EXPECT_EQ(Text("Win32_Process", ProcessRows(files, Host())), testing::ReadFixture("platform/exiting.rows"));
}

TEST(MemoryKbOf, FallsBackWhenMemAvailableIsMissingOrImplausible) {
  const std::string common = "MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 300 kB\ngarbage line\n"
                             "SReclaimable: 40 kB\nShmem: 90 kB\nSwapTotal: 10 kB\nSwapFree: 5 kB\n";
  const std::pair<std::string, uint64_t> cases[] = {{common + "MemAvailable: 700 kB\n", 700}, {common, 400},
                                                    {common + "MemAvailable: 5000 kB\n", 400},
                                                    {"MemTotal: 10 kB\nMemFree: 50 kB\n", 10}, {"Shmem: 5 kB\n", 0}};
  for (const auto& [meminfo, available] : cases) EXPECT_EQ(MemoryKbOf(meminfo).available, available) << meminfo;
  const auto m = MemoryKbOf(common);
  EXPECT_EQ(std::vector<uint64_t>({m.total, m.swapTotal, m.swapFree}), std::vector<uint64_t>({1000, 10, 5}));
}

TEST(ProcessorSummaryOf, UsesWindowsCodes) {
  const std::string intel = "processor\t: 0\ncpu family\t: 6\nmodel\t\t: 158\nstepping\t: 10\n";
  const std::string cases[][3] = {  // cpuinfo, machine, "type architecture level revision"
      {intel, "x86_64", "8664 9 6 40458"},     {intel, "i686", "586 0 6 40458"},
      {"cpu family\t: 4\n", "i486", "486 0 4 0"}, {"cpu family\t: 3\n", "i386", "386 0 3 0"},
      {"processor\t: 0\nCPU part\t: 0xd0c\n", "aarch64", "0 12 0 0"}, {"", "armv7l", "0 5 0 0"},
      {"", "riscv64", "0 65535 0 0"}};
  for (const auto& [cpuinfo, machine, expected] : cases) {
    const auto s = ProcessorSummaryOf(cpuinfo, machine, 8);
    std::ostringstream codes;
    codes << s.count << " " << s.type << " " << s.architecture << " " << s.level << " " << s.revision;
    EXPECT_EQ(codes.str(), "8 " + expected) << machine;
  }
}

}  // namespace
