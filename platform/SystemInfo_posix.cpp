#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <ctime>

#include "platform/SystemInfo.h"
#include "platform/linux/LinuxRows.h"
#include "runtime/Str.h"

namespace platform {
namespace {

std::wstring Formatted(const char* format, const struct tm& local) {
  char buffer[512];
  const size_t length = strftime(buffer, sizeof buffer, format, &local);
  const std::wstring text = str::as_wstring(std::string(buffer, length));
  return text.size() < 128 ? text : std::wstring();
}

MemoryFigures FromSysinfo() {
  struct sysinfo info {};
  if (sysinfo(&info) != 0) return {};
  const uint64_t unit = info.mem_unit ? info.mem_unit : 1;
  return {info.totalram * unit, (info.totalram + info.totalswap) * unit,
          (info.freeram + info.bufferram + info.freeswap) * unit};
}

class LinuxSystemInfo : public SystemInfo {
 public:
  ProcessorSummary Processors() override {
    struct utsname names {};
    uname(&names);
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return ProcessorSummaryOf(HostTextFiles().Read("/proc/cpuinfo").value_or(""), names.machine,
                              online > 0 ? static_cast<uint32_t>(online) : 0);
  }

  // Windows' page-file total is the commit limit, physical memory plus page
  // files; Linux's counterpart is memory plus swap, and what is available of it.
  MemoryFigures Memory() override {
    auto meminfo = HostTextFiles().Read("/proc/meminfo");
    const MemoryKb memory = MemoryKbOf(meminfo.value_or(""));
    if (memory.total == 0) return FromSysinfo();
    return {memory.total * 1024, (memory.total + memory.swapTotal) * 1024,
            (memory.available + memory.swapFree) * 1024};
  }

  TimeTexts LocalTime() override {
    tzset();
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return {Formatted("%H:%M:%S", local), Formatted("%d/%m/%Y", local), Formatted("%Z", local)};
  }
};

}  // namespace

SystemInfo& HostSystemInfo() {
  static LinuxSystemInfo info;
  return info;
}

}  // namespace platform
