#include "testing/MemoryMachine.h"

namespace platform {

std::optional<std::wstring> MemoryEnvironment::Variable(const std::wstring& name) {
  const std::wstring prefix = name + L"=";
  for (const auto& entry : entries_) {
    if (!name.empty() && entry.compare(0, prefix.size(), prefix) == 0) return entry.substr(prefix.size());
  }
  return std::nullopt;
}

}  // namespace platform
