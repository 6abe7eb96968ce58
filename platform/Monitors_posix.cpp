#include "platform/Monitors.h"
#include "platform/linux/Drm.h"

namespace platform {
namespace {

class LinuxMonitors : public Monitors {
 public:
  std::vector<MonitorInfo> List() override { return DrmMonitors(HostTextFiles()); }
};

}  // namespace

Monitors& HostMonitors() {
  static LinuxMonitors monitors;
  return monitors;
}

}  // namespace platform
