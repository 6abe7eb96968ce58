#include <gtest/gtest.h>

#include "platform/linux/LinuxRows.h"
#include "testing/MemoryTextFiles.h"

namespace {

using platform::PropertyList;

platform::LinuxHostFacts Host() {
  platform::LinuxHostFacts host;
  host.hostName = "build-7";
  host.ticksPerSecond = 100;
  host.pageSize = 4096;
  // Boot at 2023-11-14 19:26:40 UTC, written one hour east.
  host.localTime = [](int64_t seconds) {
    platform::linux_text::CivilTime t{2023, 11, 14, 20, 26, 40, 0, 60};
    const int64_t since = seconds - 1699990000;
    t.second += static_cast<int>(since % 60);
    t.minute += static_cast<int>(since / 60);
    return t;
  };
  return host;
}

std::wstring Value(const PropertyList& row, const std::wstring& name) {
  for (const auto& [key, value] : row) {
    if (key == name) return value;
  }
  return L"<absent>";
}

class LinuxProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    files.Add("/proc/stat", "cpu 1 2 3\nbtime 1699990000\n");
    files.Add("/proc/meminfo", "MemTotal: 1 kB\n");
    files.Add("/proc/self/stat", "ignored");
  }
  void AddProcess(const std::string& id, const std::string& stat) { files.Add("/proc/" + id + "/stat", stat); }

  platform::MemoryTextFiles files;
};

TEST_F(LinuxProcesses, FullRowInWmiTextForms) {
  AddProcess("812",
             "812 (python3) S 1 812 812 0 -1 4194304 1500 0 12 0 250 75 0 0 20 0 3 0 1234 10485760 512 "
             "18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 1 0 0 0 0 0");
  files.Add("/proc/812/cmdline", std::string("python3\0-m\0http.server\0", 24));
  files.AddLink("/proc/812/exe", "/usr/bin/python3.11");
  files.Add("/proc/812/fd/0", "");
  files.Add("/proc/812/fd/1", "");
  files.Add("/proc/812/fd/2", "");
  const auto rows = platform::ProcessRows(files, Host());
  ASSERT_EQ(rows.size(), 1u);
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {L"Caption", L"python3"},
      {L"CommandLine", L"python3 -m http.server"},
      {L"CreationClassName", L"Win32_Process"},
      {L"CreationDate", L"20231114202652.340000+060"},
      {L"CSCreationClassName", L"Win32_ComputerSystem"},
      {L"CSName", L"build-7"},
      {L"Description", L"python3"},
      {L"ExecutablePath", L"/usr/bin/python3.11"},
      {L"Handle", L"812"},
      {L"HandleCount", L"3"},
      {L"KernelModeTime", L"7500000"},
      {L"Name", L"python3"},
      {L"OSCreationClassName", L"Win32_OperatingSystem"},
      {L"PageFaults", L"1512"},
      {L"ParentProcessId", L"1"},
      {L"Priority", L"8"},
      {L"ProcessId", L"812"},
      {L"ThreadCount", L"3"},
      {L"UserModeTime", L"25000000"},
      {L"VirtualSize", L"10485760"},
      {L"WorkingSetSize", L"2097152"},
  };
  EXPECT_EQ(rows[0], expected);
}

TEST_F(LinuxProcesses, RowsComeInProcessIdOrder) {
  for (const char* id : {"100", "9", "20"}) {
    AddProcess(id, std::string(id) + " (p) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 100 2");
  }
  const auto rows = platform::ProcessRows(files, Host());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Value(rows[0], L"ProcessId"), L"9");
  EXPECT_EQ(Value(rows[1], L"ProcessId"), L"20");
  EXPECT_EQ(Value(rows[2], L"ProcessId"), L"100");
}

// Another user's process: exe and fd are denied; a kernel thread has an empty cmdline.
TEST_F(LinuxProcesses, UnreadablePartsStayEmpty) {
  AddProcess("2", "2 (kthreadd) S 0 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 0 0");
  files.Add("/proc/2/cmdline", "");
  files.AddDenied("/proc/2/exe");
  files.AddDenied("/proc/2/fd");
  const auto rows = platform::ProcessRows(files, Host());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Value(rows[0], L"Name"), L"kthreadd");
  EXPECT_EQ(Value(rows[0], L"CommandLine"), L"");
  EXPECT_EQ(Value(rows[0], L"ExecutablePath"), L"");
  EXPECT_EQ(Value(rows[0], L"HandleCount"), L"");
  EXPECT_EQ(Value(rows[0], L"ParentProcessId"), L"0");
}

// A process that ends between the listing of /proc and the reading of its
// files keeps its id and what was read; the rows of the others are kept.
TEST_F(LinuxProcesses, VanishedProcessKeepsWhatWasRead) {
  AddProcess("5", "5 (alive) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 100 2");
  files.AddDenied("/proc/6/stat");      // listed, gone by the time it is read
  files.Add("/proc/7/stat", "7 (trunc");  // read while the kernel tore it down
  files.Add("/proc/7/cmdline", std::string("half\0", 5));
  const auto rows = platform::ProcessRows(files, Host());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Value(rows[0], L"Name"), L"alive");
  EXPECT_EQ(Value(rows[1], L"ProcessId"), L"6");
  EXPECT_EQ(Value(rows[1], L"Name"), L"");
  EXPECT_EQ(Value(rows[1], L"CSName"), L"build-7");
  EXPECT_EQ(Value(rows[2], L"ProcessId"), L"7");
  EXPECT_EQ(Value(rows[2], L"Name"), L"");
  EXPECT_EQ(Value(rows[2], L"CommandLine"), L"half");
  EXPECT_EQ(rows[1].size(), rows[0].size());
}

// The files of a process vanish as soon as its stat has been read.
class ExitingProcesses : public platform::MemoryTextFiles {
 public:
  std::optional<std::string> Read(const std::string& path) override {
    auto text = MemoryTextFiles::Read(path);
    const size_t end = path.rfind("/stat");
    if (text && end != std::string::npos && end + 5 == path.size() && path != "/proc/stat") {
      Remove(path.substr(0, end));
    }
    return text;
  }
};

TEST_F(LinuxProcesses, ProcessEndingMidReadKeepsItsStatFields) {
  ExitingProcesses exiting;
  exiting.Add("/proc/stat", "btime 1699990000\n");
  for (const std::string id : {"30", "31"}) {
    exiting.Add("/proc/" + id + "/stat", id + " (short) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 100 2");
    exiting.Add("/proc/" + id + "/cmdline", "short");
    exiting.AddLink("/proc/" + id + "/exe", "/bin/short");
    exiting.Add("/proc/" + id + "/fd/0", "");
  }
  const auto rows = platform::ProcessRows(exiting, Host());
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& row : rows) {
    EXPECT_EQ(Value(row, L"Name"), L"short");
    EXPECT_EQ(Value(row, L"ThreadCount"), L"1");
    EXPECT_EQ(Value(row, L"CommandLine"), L"");
    EXPECT_EQ(Value(row, L"ExecutablePath"), L"");
    EXPECT_EQ(Value(row, L"HandleCount"), L"");
  }
}

TEST_F(LinuxProcesses, NoProcFolderGivesNoRows) {
  platform::MemoryTextFiles empty;
  EXPECT_TRUE(platform::ProcessRows(empty, Host()).empty());
}

}  // namespace
