// Rows of Win32_Process from /proc. Processes come and go while the listing
// runs: every read may fail, and a row keeps whatever was read before.
#include <algorithm>
#include <map>

#include "platform/linux/LinuxRows.h"

namespace platform {

using namespace linux_text;

namespace {

// Every row carries the same properties; those that cannot be read stay
// empty, as WMI writes a null value.
const char* const kProcessProperties[] = {
    "Caption",        "CommandLine",         "CreationClassName", "CreationDate",  "CSCreationClassName",
    "CSName",         "Description",         "ExecutablePath",    "Handle",        "HandleCount",
    "KernelModeTime", "Name",                "OSCreationClassName", "PageFaults",  "ParentProcessId",
    "Priority",       "ProcessId",           "ThreadCount",       "UserModeTime",  "VirtualSize",
    "WorkingSetSize",
};

class ProcessRow {
 public:
  void Set(const char* name, std::string value) { values_[name] = std::move(value); }
  PropertyList Take() const {
    PropertyList row;
    for (const char* name : kProcessProperties) {
      auto found = values_.find(name);
      AddProperty(row, name, found == values_.end() ? std::string() : found->second);
    }
    return row;
  }

 private:
  std::map<std::string, std::string> values_;
};

std::vector<uint64_t> ProcessIds(TextFiles& files) {
  std::vector<uint64_t> ids;
  for (const auto& name : files.List("/proc").value_or(std::vector<std::string>())) {
    if (auto id = ParseNumber(name); id && name.find_first_not_of("0123456789") == std::string::npos) {
      ids.push_back(*id);
    }
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

void FromStat(ProcessRow& row, const ProcessStat& stat, std::optional<int64_t> bootTime, const LinuxHostFacts& host) {
  row.Set("Caption", stat.name);
  row.Set("Description", stat.name);
  row.Set("Name", stat.name);
  row.Set("ParentProcessId", std::to_string(stat.parentId));
  row.Set("ThreadCount", std::to_string(stat.threads));
  row.Set("UserModeTime", std::to_string(TicksTo100ns(stat.userTicks, host.ticksPerSecond)));
  row.Set("KernelModeTime", std::to_string(TicksTo100ns(stat.kernelTicks, host.ticksPerSecond)));
  row.Set("PageFaults", std::to_string(stat.minorFaults + stat.majorFaults));
  row.Set("Priority", std::to_string(WindowsPriority(stat.nice, stat.policy)));
  row.Set("VirtualSize", std::to_string(stat.virtualBytes));
  row.Set("WorkingSetSize", std::to_string(stat.residentPages * static_cast<uint64_t>(host.pageSize)));
  if (bootTime && host.localTime && host.ticksPerSecond > 0) {
    const uint64_t hz = static_cast<uint64_t>(host.ticksPerSecond);
    CivilTime start = host.localTime(*bootTime + static_cast<int64_t>(stat.startTicks / hz));
    start.microsecond = static_cast<int>(stat.startTicks % hz * 1000000 / hz);
    row.Set("CreationDate", CimDateTime(start));
  }
}

PropertyList ReadProcess(TextFiles& files, uint64_t id, std::optional<int64_t> bootTime, const LinuxHostFacts& host) {
  const std::string folder = "/proc/" + std::to_string(id) + "/";
  ProcessRow row;
  row.Set("CreationClassName", "Win32_Process");
  row.Set("CSCreationClassName", "Win32_ComputerSystem");
  row.Set("OSCreationClassName", "Win32_OperatingSystem");
  row.Set("CSName", host.hostName);
  row.Set("Handle", std::to_string(id));
  row.Set("ProcessId", std::to_string(id));
  auto statText = files.Read(folder + "stat");
  if (auto stat = statText ? ParseProcessStat(*statText) : std::nullopt) {
    FromStat(row, *stat, bootTime, host);
  }
  if (auto cmdline = files.Read(folder + "cmdline")) row.Set("CommandLine", CommandLineOf(*cmdline));
  if (auto exe = files.Link(folder + "exe")) row.Set("ExecutablePath", *exe);
  if (auto handles = files.List(folder + "fd")) row.Set("HandleCount", std::to_string(handles->size()));
  return row.Take();
}

}  // namespace

std::vector<PropertyList> ProcessRows(TextFiles& files, const LinuxHostFacts& host) {
  const auto bootTime = ParseBootTime(files.Read("/proc/stat").value_or(std::string()));
  std::vector<PropertyList> rows;
  for (uint64_t id : ProcessIds(files)) rows.push_back(ReadProcess(files, id, bootTime, host));
  return rows;
}

}  // namespace platform
