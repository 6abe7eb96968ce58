#include <windows.h>

#include "platform/Environment.h"

namespace platform {
namespace {

class WindowsEnvironment : public Environment {
 public:
  // Asks for the size first, then reads into a buffer of that size; the
  // value may change between the calls, so the text is cut at its first NUL.
  std::optional<std::wstring> Variable(const std::wstring& name) override {
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    std::wstring text(size, L'\0');
    GetEnvironmentVariableW(name.c_str(), text.data(), size);
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    return text;
  }

  std::optional<std::vector<std::wstring>> Entries() override {
    wchar_t* block = GetEnvironmentStringsW();
    if (!block) return std::nullopt;
    std::vector<std::wstring> entries;
    for (const wchar_t* entry = block; *entry; entry += entries.back().size() + 1) entries.emplace_back(entry);
    FreeEnvironmentStringsW(block);
    return entries;
  }
};

}  // namespace

Environment& HostEnvironment() {
  static WindowsEnvironment environment;
  return environment;
}

}  // namespace platform
