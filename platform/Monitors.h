// The monitors attached to the machine, with the graphics adapters that drive them.
#pragma once
#include <string>
#include <vector>

namespace platform {

struct MonitorInfo {
  int width = 0;
  int height = 0;
  std::wstring monitorDescription;  // Windows: the monitor device's text; Linux: the EDID name
  std::wstring cardDescription;     // empty when no adapter claims the monitor
  bool primary = false;
};

class Monitors {
 public:
  virtual ~Monitors() = default;
  // In the order the system enumerates them; empty without a display.
  virtual std::vector<MonitorInfo> List() = 0;
};

Monitors& HostMonitors();

}  // namespace platform
