#include <windows.h>

#include "platform/Monitors.h"

namespace platform {
namespace {

MonitorInfo Describe(HMONITOR monitor) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;  // 104
  GetMonitorInfoW(monitor, &info);  // a failed call leaves the zeroed rectangle

  MonitorInfo described;
  DISPLAY_DEVICEW device{};
  device.cb = sizeof device;  // 840
  if (EnumDisplayDevicesW(info.szDevice, 0, &device, 0)) described.monitorDescription = device.DeviceString;
  // The adapter whose device name is the monitor's; a later match wins.
  DISPLAY_DEVICEW adapter{};
  adapter.cb = sizeof adapter;
  for (DWORD index = 0; EnumDisplayDevicesW(nullptr, index, &adapter, 0); ++index) {
    if (wcscmp(adapter.DeviceName, info.szDevice) == 0) described.cardDescription = adapter.DeviceString;
  }
  described.width = info.rcMonitor.right - info.rcMonitor.left;
  described.height = info.rcMonitor.bottom - info.rcMonitor.top;
  described.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
  return described;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  reinterpret_cast<std::vector<MonitorInfo>*>(list)->push_back(Describe(monitor));
  return TRUE;
}

class WindowsMonitors : public Monitors {
 public:
  std::vector<MonitorInfo> List() override {
    std::vector<MonitorInfo> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
  }
};

}  // namespace

Monitors& HostMonitors() {
  static WindowsMonitors monitors;
  return monitors;
}

}  // namespace platform
