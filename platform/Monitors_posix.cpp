#include "platform/Drm.h"
#include "platform/Monitors.h"

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
