#include "testing/MemoryMachine.h"

namespace platform {

void MemoryEnvironment::Set(const std::wstring& name, const std::wstring& value) {
  const std::wstring prefix = name + L"=";
  for (auto& entry : entries_) {
    if (entry.compare(0, prefix.size(), prefix) == 0) {
      entry = prefix + value;
      return;
    }
  }
  entries_.push_back(prefix + value);
}

std::optional<std::wstring> MemoryEnvironment::Variable(const std::wstring& name) {
  const std::wstring prefix = name + L"=";
  for (const auto& entry : entries_) {
    if (!name.empty() && entry.compare(0, prefix.size(), prefix) == 0) return entry.substr(prefix.size());
  }
  return std::nullopt;
}

std::optional<std::vector<std::wstring>> MemoryEnvironment::Entries() {
  if (missing_) return std::nullopt;
  return entries_;
}

uint32_t MemoryProgram::FileVersion(const std::wstring& path, std::wstring& out) {
  out.clear();
  auto found = versions.find(path);
  if (found == versions.end()) return kErrorFileInvalid;
  out = found->second;
  return 0;
}

std::optional<std::wstring> MemoryLocale::Info(uint32_t lcid, uint32_t item) {
  auto found = items_.find({lcid == kLocaleUserDefault ? userLcid : lcid, item});
  if (found == items_.end()) return std::nullopt;
  return found->second;
}

MemoryMachine::MemoryMachine(MemoryFileSystem::Style style) : files(style) {
  machine_.files = &files;
  machine_.registry = &registry;
  machine_.environment = &environment;
  machine_.program = &program;
  machine_.management = &management;
  machine_.monitors = &monitors;
  machine_.locale = &locale;
  machine_.system = &system;
  machine_.drives = &drives;
  machine_.network = &network;
}

}  // namespace platform
