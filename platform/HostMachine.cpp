#include "platform/Drives.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Machine.h"
#include "platform/Management.h"
#include "platform/Monitors.h"
#include "platform/Network.h"
#include "platform/Program.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

namespace platform {

const Machine& HostMachine() {
  static const Machine machine = [] {
    Machine m;
    m.files = &HostFileSystem();
    m.registry = &HostRegistry();
    m.environment = &HostEnvironment();
    m.program = &HostProgram();
    m.management = &HostManagement();
    m.monitors = &HostMonitors();
    m.locale = &HostLocale();
    m.system = &HostSystemInfo();
    m.drives = &HostDrives();
    m.network = &HostNetwork();
    return m;
  }();
  return machine;
}

}  // namespace platform
