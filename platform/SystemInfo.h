// Processor summary, memory figures and the local time, as Windows'
// GetSystemInfo, GlobalMemoryStatusEx, wcsftime and the time zone give them.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

struct ProcessorSummary {
  uint32_t count = 0;         // logical processors
  uint32_t type = 0;          // Windows' processor type: 586 x86, 8664 x64; 0 when it has none
  uint16_t architecture = 0;  // Windows' architecture code: 0 x86, 5 ARM, 9 x64, 12 ARM64
  uint16_t level = 0;         // x86: the family
  uint16_t revision = 0;      // x86: model * 256 + stepping
};

struct MemoryFigures {
  uint64_t totalPhys = 0;
  uint64_t totalPageFile = 0;  // the commit limit: physical memory plus page files
  uint64_t availPageFile = 0;
};

struct TimeTexts {
  std::wstring time;  // "%H:%M:%S"
  std::wstring date;  // "%d/%m/%Y"
  // Windows: the standard or daylight name of GetDynamicTimeZoneInformation,
  // as the time is now in one or the other; Linux: "%Z".
  std::wstring zone;
};

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  virtual ProcessorSummary Processors() = 0;
  // Zeros where the system does not answer.
  virtual MemoryFigures Memory() = 0;
  virtual TimeTexts LocalTime() = 0;
};

SystemInfo& HostSystemInfo();

}  // namespace platform
