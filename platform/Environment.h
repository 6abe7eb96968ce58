#pragma once
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Environment {
 public:
  virtual ~Environment() = default;
  // The variable's value; nullopt when it is not set.
  virtual std::optional<std::wstring> Variable(const std::wstring& name) = 0;
  // Every entry "NAME=value" of the process environment, in its order
  // (Windows also lists hidden entries that begin with "="); nullopt when
  // the system gives no environment block.
  virtual std::optional<std::vector<std::wstring>> Entries() = 0;
};

Environment& HostEnvironment();

}  // namespace platform
