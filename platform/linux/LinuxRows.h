// The rows of the management classes as Linux can fill them: Windows property
// names, each value in the text form WMI gives that property. What cannot be
// read is written empty, as WMI writes a null value.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Management.h"
#include "platform/SystemInfo.h"
#include "platform/linux/LinuxText.h"
#include "platform/linux/TextFiles.h"

namespace platform {

// The facts that do not come from files, gathered once per query.
struct LinuxHostFacts {
  std::string hostName;
  std::string domainName;     // empty when the machine has none
  std::string userName;       // the user running the report
  std::string kernelRelease;  // uname().release
  std::string machine;        // uname().machine
  long ticksPerSecond = 100;
  long pageSize = 4096;
  int64_t now = 0;    // seconds since 1970
  uint32_t lcid = 0;  // the user's locale; 0 when unknown
  // Local time (with its offset from UTC) of a moment in seconds since 1970.
  std::function<linux_text::CivilTime(int64_t)> localTime;
};

// Memory in kilobytes, the unit of /proc/meminfo and of WMI's memory sizes.
struct MemoryKb {
  uint64_t total = 0;
  uint64_t available = 0;
  uint64_t swapTotal = 0;
  uint64_t swapFree = 0;
};
// MemAvailable, or when it is absent or implausible
// MemFree + Buffers + Cached + SReclaimable - Shmem.
MemoryKb MemoryKbOf(const std::string& meminfo);

// Windows' processor architecture code for a uname machine: 9 x64, 12 ARM64,
// 0 x86, 5 ARM; 0xFFFF when unknown.
uint16_t WindowsArchitecture(const std::string& machine);

// GetSystemInfo's summary from /proc/cpuinfo and uname's machine name, with
// Windows' type and architecture codes; level and revision on x86 only.
ProcessorSummary ProcessorSummaryOf(const std::string& cpuinfo, const std::string& machine, uint32_t count);

// Appends one property, widening its UTF-8 name and value.
void AddProperty(PropertyList& row, const char* name, const std::string& value);

PropertyList OperatingSystemRow(TextFiles& files, const LinuxHostFacts& host);
PropertyList ComputerSystemRow(TextFiles& files, const LinuxHostFacts& host);
// One row per physical package, as Windows gives one per socket.
std::vector<PropertyList> ProcessorRows(TextFiles& files, const LinuxHostFacts& host);
// One row per numeric folder of /proc, in process id order. A process that
// cannot be read, or that ends while it is read, keeps what was read.
std::vector<PropertyList> ProcessRows(TextFiles& files, const LinuxHostFacts& host);

}  // namespace platform
