// Monitors of a Linux machine from its DRM connectors (/sys/class/drm).
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/Monitors.h"
#include "platform/linux/TextFiles.h"

namespace platform {

// The monitor name (descriptor tag 0xFC) of an EDID block; nullopt when the
// block is short, its header or checksum is wrong, or it names no monitor.
std::optional<std::string> EdidMonitorName(const std::string& edid);

// One entry per connector whose status is "connected", in name order: the
// preferred (first) mode, the EDID monitor name or else the connector's
// name, and the card's driver name or else the card's name. The first one
// is the primary monitor.
std::vector<MonitorInfo> DrmMonitors(TextFiles& files);

}  // namespace platform
