// Monitors, locale and system facts held in memory, for tests.
#pragma once
#include <map>
#include <utility>
#include <vector>

#include "platform/Locale.h"
#include "platform/Monitors.h"
#include "platform/SystemInfo.h"

namespace platform {

class MemoryMonitors : public Monitors {
 public:
  std::vector<MonitorInfo> monitors;
  std::vector<MonitorInfo> List() override { return monitors; }
};

// Items are stored per LCID; kLocaleUserDefault reads the user's LCID.
class MemoryLocale : public Locale {
 public:
  uint32_t userLcid = 0;
  void Set(uint32_t lcid, uint32_t item, std::wstring text) { items_[{lcid, item}] = std::move(text); }

  uint32_t UserDefaultLcid() override { return userLcid; }
  std::optional<std::wstring> Info(uint32_t lcid, uint32_t item) override {
    auto found = items_.find({lcid == kLocaleUserDefault ? userLcid : lcid, item});
    return found == items_.end() ? std::nullopt : std::optional<std::wstring>(found->second);
  }

 private:
  std::map<std::pair<uint32_t, uint32_t>, std::wstring> items_;
};

class MemorySystemInfo : public SystemInfo {
 public:
  ProcessorSummary processors;
  MemoryFigures memory;
  TimeTexts time;

  ProcessorSummary Processors() override { return processors; }
  MemoryFigures Memory() override { return memory; }
  TimeTexts LocalTime() override { return time; }
};

}  // namespace platform
