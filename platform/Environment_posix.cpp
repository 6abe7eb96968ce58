#include <cstdlib>

#include "platform/Environment.h"
#include "runtime/Str.h"

extern char** environ;

namespace platform {
namespace {

class PosixEnvironment : public Environment {
 public:
  std::optional<std::wstring> Variable(const std::wstring& name) override {
    const char* value = std::getenv(str::as_u8string(name).c_str());
    if (!value) return std::nullopt;
    return str::as_wstring(value);
  }
  std::optional<std::vector<std::wstring>> Entries() override {
    if (!environ) return std::nullopt;
    std::vector<std::wstring> entries;
    for (char** entry = environ; *entry; ++entry) entries.push_back(str::as_wstring(*entry));
    return entries;
  }
};

}  // namespace

Environment& HostEnvironment() {
  static PosixEnvironment environment;
  return environment;
}

}  // namespace platform
