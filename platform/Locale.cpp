#include "platform/Locale.h"

namespace platform {

std::wstring ListSeparatorFor(const std::wstring& decimalSeparator) {
  return decimalSeparator == L"," ? L";" : L",";
}

std::string PosixLocaleName(const char* category, const std::function<const char*(const char*)>& lookup) {
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const char* value = lookup(variable);
    if (value && *value) return value;
  }
  return "C";
}

std::string IcuLocaleId(const std::string& posixName) {
  const std::string name = posixName.substr(0, posixName.find_first_of(".@"));
  return name.empty() || name == "C" || name == "POSIX" ? "en_US_POSIX" : name;
}

}  // namespace platform
