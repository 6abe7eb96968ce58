#include "report/SystemReaders.h"

#include "platform/Environment.h"
#include "platform/Program.h"

std::wstring GetEnvVar(platform::Environment& environment, const std::wstring& name) {
  return environment.Variable(name).value_or(std::wstring());
}

uint32_t GetFileVersion(platform::Program& program, const std::wstring& path, std::wstring& out) {
  out.clear();
  return program.FileVersion(path, out);
}

bool ReadRegistryString(platform::Registry& registry, platform::RegistryRoot root, const std::wstring& subkey,
                        const std::wstring& valueName, std::wstring& out, platform::RegistryView view) {
  auto value = registry.QueryValue(root, subkey, valueName, view);
  if (!value || (value->type != platform::kRegSz && value->type != platform::kRegExpandSz)) return false;
  out = value->data.size() <= 1 ? std::wstring() : platform::TextOfRegistryData(value->data);
  return true;
}
