#include <windows.h>

#include "platform/Locale.h"

namespace platform {
namespace {

class WindowsLocale : public Locale {
 public:
  // lcid 0 stands for the user's own default locale.
  explicit WindowsLocale(LCID lcid = 0) : lcid_(lcid) {}

  uint32_t UserDefaultLcid() override { return lcid_ ? lcid_ : GetUserDefaultLCID(); }

  // Asks for the length first, then reads into a buffer of that length.
  std::optional<std::wstring> Info(uint32_t lcid, uint32_t item) override {
    const LCID effective = lcid == kLocaleUserDefault && lcid_ ? lcid_ : lcid;
    const int length = GetLocaleInfoW(effective, item, nullptr, 0);
    if (length < 1) return std::nullopt;
    std::wstring text(static_cast<size_t>(length), L'\0');
    if (GetLocaleInfoW(effective, item, text.data(), length) <= 0) return std::nullopt;
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    return text;
  }

 private:
  LCID lcid_;
};

}  // namespace

Locale& HostLocale() {
  static WindowsLocale locale;
  return locale;
}

std::unique_ptr<Locale> NamedLocale(const std::wstring& name) {
  const LCID lcid = LocaleNameToLCID(name.c_str(), 0);
  if (lcid == 0) return nullptr;
  return std::make_unique<WindowsLocale>(lcid);
}

}  // namespace platform
