#include "platform/linux/LinuxRows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "runtime/Str.h"

namespace platform {

using namespace linux_text;

void AddProperty(PropertyList& row, const char* name, const std::string& value) {
  row.emplace_back(str::as_wstring(name), str::as_wstring(value));
}

namespace {

const char kCpuFolder[] = "/sys/devices/system/cpu/";

std::string ReadOr(TextFiles& files, const std::string& path, const std::string& fallback = std::string()) {
  auto text = files.Read(path);
  return text ? FirstLine(*text) : fallback;
}

std::string Decimal(uint64_t value) { return std::to_string(value); }

std::string Cim(const LinuxHostFacts& host, int64_t seconds) {
  return host.localTime ? CimDateTime(host.localTime(seconds)) : std::string();
}

bool Is64Bit(const std::string& machine) {
  return machine == "x86_64" || machine == "aarch64" || machine.find("64") != std::string::npos;
}

std::string OsArchitecture(const std::string& machine) {
  if (machine == "aarch64") return "ARM 64-bit Processor";
  if (machine.empty()) return std::string();
  return Is64Bit(machine) ? "64-bit" : "32-bit";
}

std::string SystemType(const std::string& machine) {
  if (machine == "x86_64") return "x64-based PC";
  if (machine == "aarch64") return "ARM64-based PC";
  if (machine.size() == 4 && machine[0] == 'i' && machine.compare(2, 2, "86") == 0) return "X86-based PC";
  return machine;
}

std::map<std::string, std::string> OsRelease(TextFiles& files) {
  auto text = files.Read("/etc/os-release");
  if (!text) text = files.Read("/usr/lib/os-release");
  return text ? ParseOsRelease(*text) : std::map<std::string, std::string>();
}

std::string Value(const std::map<std::string, std::string>& values, const std::string& key) {
  auto found = values.find(key);
  return found == values.end() ? std::string() : found->second;
}

size_t ProcessCount(TextFiles& files) {
  size_t count = 0;
  for (const auto& name : files.List("/proc").value_or(std::vector<std::string>())) {
    if (ParseNumber(name)) ++count;
  }
  return count;
}

}  // namespace

MemoryKb MemoryKbOf(const std::string& meminfo) {
  auto values = ParseMeminfo(meminfo);
  auto at = [&](const char* key) { return values.count(key) ? values[key] : 0; };
  MemoryKb memory{at("MemTotal"), at("MemAvailable"), at("SwapTotal"), at("SwapFree")};
  if (!values.count("MemAvailable") || memory.available > memory.total) {
    const uint64_t counted = at("MemFree") + at("Buffers") + at("Cached") + at("SReclaimable");
    memory.available = counted > at("Shmem") ? counted - at("Shmem") : 0;
    if (memory.available > memory.total) memory.available = memory.total;
  }
  return memory;
}

uint16_t WindowsArchitecture(const std::string& machine) {
  if (machine == "x86_64") return 9;
  if (machine == "aarch64") return 12;
  if (machine.size() == 4 && machine[0] == 'i' && machine.compare(2, 2, "86") == 0) return 0;
  if (machine.compare(0, 3, "arm") == 0) return 5;
  return 0xFFFF;
}

ProcessorSummary ProcessorSummaryOf(const std::string& cpuinfo, const std::string& machine, uint32_t count) {
  const auto info = ParseCpuinfo(cpuinfo);
  const auto first = info.empty() ? std::map<std::string, std::string>() : info.front();
  ProcessorSummary summary;
  summary.count = count;
  summary.architecture = WindowsArchitecture(machine);
  const auto family = ParseNumber(Value(first, "cpu family"));
  if (family) {
    summary.level = static_cast<uint16_t>(*family);
    const uint64_t model = ParseNumber(Value(first, "model")).value_or(0);
    summary.revision = static_cast<uint16_t>(model << 8 | ParseNumber(Value(first, "stepping")).value_or(0));
  }
  if (summary.architecture == 9) summary.type = 8664;
  if (summary.architecture == 0) summary.type = family.value_or(5) >= 5 ? 586 : *family == 4 ? 486 : 386;
  return summary;
}

PropertyList OperatingSystemRow(TextFiles& files, const LinuxHostFacts& host) {
  const auto release = OsRelease(files);
  const MemoryKb memory = MemoryKbOf(files.Read("/proc/meminfo").value_or(std::string()));
  const bool haveMemory = memory.total != 0;
  auto kb = [&](uint64_t value) { return haveMemory ? Decimal(value) : std::string(); };
  const auto boot = ParseBootTime(files.Read("/proc/stat").value_or(std::string()));
  const CivilTime now = host.localTime ? host.localTime(host.now) : CivilTime();
  char locale[16] = "";
  if (host.lcid != 0) std::snprintf(locale, sizeof locale, "%04x", static_cast<unsigned>(host.lcid));

  PropertyList row;
  AddProperty(row, "BuildNumber", host.kernelRelease);
  AddProperty(row, "Caption", Value(release, release.count("PRETTY_NAME") ? "PRETTY_NAME" : "NAME"));
  AddProperty(row, "CSName", host.hostName);
  AddProperty(row, "CurrentTimeZone", host.localTime ? std::to_string(now.offsetMinutes) : std::string());
  AddProperty(row, "FreePhysicalMemory", kb(memory.available));
  AddProperty(row, "FreeSpaceInPagingFiles", kb(memory.swapFree));
  AddProperty(row, "FreeVirtualMemory", kb(memory.available + memory.swapFree));
  AddProperty(row, "LastBootUpTime", boot ? Cim(host, *boot) : std::string());
  AddProperty(row, "LocalDateTime", Cim(host, host.now));
  AddProperty(row, "Locale", locale);
  AddProperty(row, "NumberOfProcesses", Decimal(ProcessCount(files)));
  AddProperty(row, "OSArchitecture", OsArchitecture(host.machine));
  AddProperty(row, "OSLanguage", host.lcid != 0 ? Decimal(host.lcid) : std::string());
  AddProperty(row, "OSType", "36");  // CIM's code for Linux
  AddProperty(row, "SizeStoredInPagingFiles", kb(memory.swapTotal));
  AddProperty(row, "TotalVirtualMemorySize", kb(memory.total + memory.swapTotal));
  AddProperty(row, "TotalVisibleMemorySize", kb(memory.total));
  AddProperty(row, "Version", Value(release, "VERSION_ID"));
  return row;
}

namespace {

// CPU numbers by physical package, from sysfs; from /proc/cpuinfo when sysfs
// has no topology (then all in package 0).
using CpuInfo = std::vector<std::map<std::string, std::string>>;

std::map<int, std::vector<int>> Packages(TextFiles& files, const CpuInfo& info) {
  std::map<int, std::vector<int>> packages;
  for (const auto& name : files.List(kCpuFolder).value_or(std::vector<std::string>())) {
    auto number = name.compare(0, 3, "cpu") == 0 ? ParseNumber(name.substr(3)) : std::nullopt;
    if (!number) continue;
    const std::string id = ReadOr(files, kCpuFolder + name + "/topology/physical_package_id", "0");
    packages[static_cast<int>(ParseNumber(id).value_or(0))].push_back(static_cast<int>(*number));
  }
  if (packages.empty()) {
    for (size_t i = 0; i < info.size(); ++i) packages[0].push_back(static_cast<int>(i));
  }
  for (auto& package : packages) std::sort(package.second.begin(), package.second.end());
  return packages;
}

// The /proc/cpuinfo block of a CPU (offline CPUs have none), else the first.
std::map<std::string, std::string> BlockOf(const CpuInfo& info, int cpu) {
  for (const auto& block : info) {
    if (Value(block, "processor") == std::to_string(cpu)) return block;
  }
  return info.empty() ? std::map<std::string, std::string>() : info.front();
}

std::string CpuPath(int cpu, const std::string& rest) { return kCpuFolder + ("cpu" + std::to_string(cpu)) + rest; }

size_t CoreCount(TextFiles& files, const std::vector<int>& cpus) {
  std::set<std::string> cores;
  for (int cpu : cpus) {
    auto siblings = files.Read(CpuPath(cpu, "/topology/core_cpus_list"));
    if (!siblings) siblings = files.Read(CpuPath(cpu, "/topology/thread_siblings_list"));
    if (siblings) cores.insert(FirstLine(*siblings));
  }
  return cores.empty() ? cpus.size() : cores.size();
}

// Each cache counted once per set of CPUs sharing it.
std::string CacheKb(TextFiles& files, const std::vector<int>& cpus, const std::string& level) {
  std::set<std::string> seen;
  uint64_t total = 0;
  for (int cpu : cpus) {
    const std::string folder = CpuPath(cpu, "/cache/");
    for (const auto& index : files.List(folder).value_or(std::vector<std::string>())) {
      if (index.compare(0, 5, "index") != 0 || ReadOr(files, folder + index + "/level") != level) continue;
      const std::string shared = ReadOr(files, folder + index + "/shared_cpu_list", std::to_string(cpu));
      auto size = ParseCacheSizeKb(ReadOr(files, folder + index + "/size"));
      if (size && seen.insert(shared).second) total += *size;
    }
  }
  return seen.empty() ? std::string() : Decimal(total);
}

std::string MegaHertz(TextFiles& files, int cpu, const char* file) {
  auto khz = ParseNumber(ReadOr(files, CpuPath(cpu, std::string("/cpufreq/") + file)));
  return khz ? Decimal(*khz / 1000) : std::string();
}

std::string X86Caption(const std::map<std::string, std::string>& info, const std::string& machine) {
  const std::string family = Value(info, "cpu family");
  if (family.empty()) return machine;
  const std::string vendor = Value(info, "vendor_id");
  const char* kind = machine != "x86_64" ? "x86" : vendor == "AuthenticAMD" ? "AMD64" : "Intel64";
  return std::string(kind) + " Family " + family + " Model " + Value(info, "model") + " Stepping " +
         Value(info, "stepping");
}

}  // namespace

std::vector<PropertyList> ProcessorRows(TextFiles& files, const LinuxHostFacts& host) {
  const auto info = ParseCpuinfo(files.Read("/proc/cpuinfo").value_or(std::string()));
  std::vector<PropertyList> rows;
  for (const auto& [id, cpus] : Packages(files, info)) {
    const int first = cpus.front();
    const auto block = BlockOf(info, first);
    const uint64_t family = ParseNumber(Value(block, "cpu family")).value_or(0);
    const uint64_t model = ParseNumber(Value(block, "model")).value_or(0);
    const uint64_t stepping = ParseNumber(Value(block, "stepping")).value_or(0);
    const bool x86 = !Value(block, "cpu family").empty();
    std::string current = MegaHertz(files, first, "scaling_cur_freq");
    if (current.empty() && !Value(block, "cpu MHz").empty()) {
      current = Decimal(static_cast<uint64_t>(std::strtod(Value(block, "cpu MHz").c_str(), nullptr) + 0.5));
    }
    PropertyList row;
    AddProperty(row, "AddressWidth", Is64Bit(host.machine) ? "64" : "32");
    AddProperty(row, "Architecture", Decimal(WindowsArchitecture(host.machine)));
    AddProperty(row, "Caption", X86Caption(block, host.machine));
    AddProperty(row, "CurrentClockSpeed", current);
    AddProperty(row, "DataWidth", Is64Bit(host.machine) ? "64" : "32");
    AddProperty(row, "Description", X86Caption(block, host.machine));
    AddProperty(row, "DeviceID", "CPU" + std::to_string(rows.size()));
    AddProperty(row, "L2CacheSize", CacheKb(files, cpus, "2"));
    AddProperty(row, "L3CacheSize", CacheKb(files, cpus, "3"));
    AddProperty(row, "Level", x86 ? Decimal(family) : std::string());
    AddProperty(row, "Manufacturer", Value(block, "vendor_id"));
    AddProperty(row, "MaxClockSpeed", MegaHertz(files, first, "cpuinfo_max_freq"));
    AddProperty(row, "Name", Value(block, "model name"));
    AddProperty(row, "NumberOfCores", Decimal(CoreCount(files, cpus)));
    AddProperty(row, "NumberOfLogicalProcessors", Decimal(cpus.size()));
    AddProperty(row, "Revision", x86 ? Decimal(model << 8 | stepping) : std::string());
    AddProperty(row, "Stepping", Value(block, "stepping"));
    AddProperty(row, "SystemName", host.hostName);
    rows.push_back(std::move(row));
  }
  return rows;
}

PropertyList ComputerSystemRow(TextFiles& files, const LinuxHostFacts& host) {
  const MemoryKb memory = MemoryKbOf(files.Read("/proc/meminfo").value_or(std::string()));
  const auto info = ParseCpuinfo(files.Read("/proc/cpuinfo").value_or(std::string()));
  const auto packages = Packages(files, info);
  size_t logical = 0;
  for (const auto& package : packages) logical += package.second.size();
  PropertyList row;
  AddProperty(row, "Caption", host.hostName);
  AddProperty(row, "DNSHostName", host.hostName);
  AddProperty(row, "Domain", host.domainName);
  AddProperty(row, "Manufacturer", ReadOr(files, "/sys/class/dmi/id/sys_vendor"));
  AddProperty(row, "Model", ReadOr(files, "/sys/class/dmi/id/product_name"));
  AddProperty(row, "Name", host.hostName);
  AddProperty(row, "NumberOfLogicalProcessors", Decimal(logical));
  AddProperty(row, "NumberOfProcessors", Decimal(packages.size()));
  AddProperty(row, "SystemType", SystemType(host.machine));
  AddProperty(row, "TotalPhysicalMemory", memory.total ? Decimal(memory.total * 1024) : std::string());
  AddProperty(row, "UserName", host.userName.empty() ? std::string() : host.hostName + "\\" + host.userName);
  return row;
}

}  // namespace platform
