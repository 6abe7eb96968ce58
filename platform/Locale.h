// Locale facts: the user's locale as a Windows LCID and the texts Windows
// keeps for each locale. Linux maps its locale (LC_ALL, LC_MESSAGES, LANG)
// with ICU; the C and POSIX locales are the invariant locale 0x7F.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// Locale identifiers and items, with Windows' values.
constexpr uint32_t kLocaleUserDefault = 0x400;
constexpr uint32_t kLocaleSystemDefault = 0x800;
constexpr uint32_t kLocaleInvariant = 0x7F;
enum LocaleItem : uint32_t {
  kLocaleSList = 0x0C,
  kLocaleSDecimal = 0x0E,
  kLocaleSThousand = 0x0F,
  kLocaleSEngLanguage = 0x1001,
  kLocaleSEngCountry = 0x1002,
};

class Locale {
 public:
  virtual ~Locale() = default;
  // The user's default locale (GetUserDefaultLCID); 0 when it has none.
  virtual uint32_t UserDefaultLcid() = 0;
  // One item of a locale, as GetLocaleInfoW gives it; nullopt when the locale
  // or the item is unknown. kLocaleUserDefault names the user's locale.
  virtual std::optional<std::wstring> Info(uint32_t lcid, uint32_t item) = 0;
};

Locale& HostLocale();

// The host's locale data for a named locale ("de-DE") standing in for the
// user's; null when the host does not know the name.
std::unique_ptr<Locale> NamedLocale(const std::wstring& name);

// Neither POSIX nor ICU has a list separator. Linux uses Windows' own
// convention: ";" where the decimal separator is ",", otherwise ",".
std::wstring ListSeparatorFor(const std::wstring& decimalSeparator);

// The locale POSIX gives a category ("LC_MESSAGES") from the environment:
// LC_ALL, then the category's own variable, then LANG, where a variable set
// to the empty text counts as unset; "C" when none is set. `lookup` is getenv.
std::string PosixLocaleName(const char* category, const std::function<const char*(const char*)>& lookup);

// The ICU locale id of a POSIX locale name: the code set and modifier go
// ("de_DE.UTF-8@euro" is "de_DE"); C and POSIX are "en_US_POSIX".
std::string IcuLocaleId(const std::string& posixName);

}  // namespace platform
