#include "platform/linux/Drm.h"

#include <algorithm>
#include <cstdio>

#include "platform/linux/LinuxText.h"
#include "runtime/Str.h"

namespace platform {
namespace {

const char kDrmFolder[] = "/sys/class/drm/";
constexpr size_t kEdidBlock = 128;
constexpr size_t kDescriptors[] = {0x36, 0x48, 0x5A, 0x6C};

bool ValidEdid(const std::string& edid) {
  static const unsigned char header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  if (edid.size() < kEdidBlock || !std::equal(header, header + 8, edid.begin(), [](unsigned char h, char c) {
        return h == static_cast<unsigned char>(c);
      })) {
    return false;
  }
  unsigned sum = 0;
  for (size_t i = 0; i < kEdidBlock; ++i) sum += static_cast<unsigned char>(edid[i]);
  return sum % 256 == 0;
}

// "card0-HDMI-A-1" is a connector of "card0"; "card0" and "renderD128" are not connectors.
std::optional<std::string> CardOf(const std::string& entry) {
  const size_t dash = entry.find('-');
  if (entry.compare(0, 4, "card") != 0 || dash == std::string::npos || dash == 4) return std::nullopt;
  return entry.substr(0, dash);
}

std::wstring CardName(TextFiles& files, const std::string& card) {
  auto driver = files.Link(kDrmFolder + card + "/device/driver");
  if (!driver || driver->empty()) return str::as_wstring(card);
  return str::as_wstring(driver->substr(driver->rfind('/') + 1));
}

// EDID text is code page 437, which agrees with ASCII; each byte stays one character.
std::wstring Widen(const std::string& bytes) {
  std::wstring text;
  for (char c : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return text;
}

void ReadMode(const std::string& modes, MonitorInfo& monitor) {
  int width = 0, height = 0;
  if (std::sscanf(linux_text::FirstLine(modes).c_str(), "%dx%d", &width, &height) == 2) {
    monitor.width = width;
    monitor.height = height;
  }
}

}  // namespace

std::optional<std::string> EdidMonitorName(const std::string& edid) {
  if (!ValidEdid(edid)) return std::nullopt;
  for (size_t at : kDescriptors) {
    const auto* d = reinterpret_cast<const unsigned char*>(edid.data() + at);
    if (d[0] != 0 || d[1] != 0 || d[2] != 0 || d[3] != 0xFC) continue;
    std::string name;
    for (size_t i = 5; i < 18 && d[i] != 0x0A; ++i) name += static_cast<char>(d[i]);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
  }
  return std::nullopt;
}

std::vector<MonitorInfo> DrmMonitors(TextFiles& files) {
  auto entries = files.List(kDrmFolder).value_or(std::vector<std::string>());
  std::sort(entries.begin(), entries.end());
  std::vector<MonitorInfo> monitors;
  for (const auto& entry : entries) {
    const auto card = CardOf(entry);
    const std::string folder = kDrmFolder + entry + "/";
    if (!card || linux_text::FirstLine(files.Read(folder + "status").value_or("")) != "connected") continue;
    MonitorInfo monitor;
    ReadMode(files.Read(folder + "modes").value_or(""), monitor);
    const auto name = EdidMonitorName(files.Read(folder + "edid").value_or(""));
    monitor.monitorDescription = Widen(name && !name->empty() ? *name : entry.substr(card->size() + 1));
    monitor.cardDescription = CardName(files, *card);
    monitor.primary = monitors.empty();
    monitors.push_back(monitor);
  }
  return monitors;
}

}  // namespace platform
