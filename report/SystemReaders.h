// Readers of single system facts that the builder and several blocks share.
#pragma once
#include <cstdint>
#include <string>

#include "platform/Registry.h"

namespace platform {
class Environment;
class Program;
}  // namespace platform

// The variable's value; empty when it is not set.
std::wstring GetEnvVar(platform::Environment& environment, const std::wstring& name);

// The file version of a program or library into out (emptied first); returns
// the Windows Installer result, 0 on success.
uint32_t GetFileVersion(platform::Program& program, const std::wstring& path, std::wstring& out);

// A REG_SZ or REG_EXPAND_SZ value (unexpanded) into out, up to its first NUL;
// false, with out unchanged, for a missing key or value or another type.
bool ReadRegistryString(platform::Registry& registry, platform::RegistryRoot root, const std::wstring& subkey,
                        const std::wstring& valueName, std::wstring& out,
                        platform::RegistryView view = platform::RegistryView::kDefault);
