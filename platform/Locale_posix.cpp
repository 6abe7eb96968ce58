// Windows locale facts from ICU. The locale comes from LC_ALL, LC_MESSAGES
// or LANG; "C" and "POSIX" map to en_US_POSIX, whose LCID is the invariant
// locale.
#include <unicode/uloc.h>
#include <unicode/unum.h>

#include <cstdlib>

#include "platform/Locale.h"

namespace platform {
namespace {

std::wstring Widen(const UChar* text, int32_t length) {
  std::wstring out;
  for (int32_t i = 0; i < length; ++i) {
    const char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length) {
      out += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00));
    } else {
      out += static_cast<wchar_t>(unit);
    }
  }
  return out;
}

std::optional<std::string> LocaleOfLcid(uint32_t lcid) {
  char name[ULOC_FULLNAME_CAPACITY] = "";
  UErrorCode error = U_ZERO_ERROR;
  const int32_t length = uloc_getLocaleForLCID(lcid, name, sizeof name, &error);
  if (U_FAILURE(error) || length <= 0 || error == U_STRING_NOT_TERMINATED_WARNING) return std::nullopt;
  return std::string(name);
}

// English display names; a name ICU only makes up from the code is no name.
std::optional<std::wstring> EnglishName(const std::string& locale, bool country) {
  UChar text[128];
  UErrorCode error = U_ZERO_ERROR;
  const int32_t length = country ? uloc_getDisplayCountry(locale.c_str(), "en", text, 128, &error)
                                 : uloc_getDisplayLanguage(locale.c_str(), "en", text, 128, &error);
  if (U_FAILURE(error) || error == U_USING_DEFAULT_WARNING || length <= 0 || length >= 128) return std::nullopt;
  return Widen(text, length);
}

std::optional<std::wstring> NumberSymbol(const std::string& locale, UNumberFormatSymbol symbol) {
  UErrorCode error = U_ZERO_ERROR;
  UNumberFormat* format = unum_open(UNUM_DECIMAL, nullptr, 0, locale.c_str(), nullptr, &error);
  if (U_FAILURE(error)) return std::nullopt;
  UChar text[16];
  const int32_t length = unum_getSymbol(format, symbol, text, 16, &error);
  unum_close(format);
  if (U_FAILURE(error) || length <= 0 || length >= 16) return std::nullopt;
  return Widen(text, length);
}

class IcuLocale : public Locale {
 public:
  IcuLocale(std::string name, uint32_t lcid) : name_(std::move(name)), lcid_(lcid) {}

  uint32_t UserDefaultLcid() override { return lcid_; }

  std::optional<std::wstring> Info(uint32_t lcid, uint32_t item) override {
    const bool own = lcid == kLocaleUserDefault || lcid == kLocaleSystemDefault || (lcid == lcid_ && lcid != 0);
    const uint32_t effective = own ? lcid_ : lcid;
    if (effective == kLocaleInvariant && item == kLocaleSEngLanguage) return L"Invariant Language";
    if (effective == kLocaleInvariant && item == kLocaleSEngCountry) return L"Invariant Country";
    auto locale = own ? std::optional<std::string>(name_) : LocaleOfLcid(lcid);
    if (!locale || (effective == 0 && !own)) return std::nullopt;
    switch (item) {
      case kLocaleSEngLanguage: return EnglishName(*locale, false);
      case kLocaleSEngCountry: return EnglishName(*locale, true);
      case kLocaleSDecimal: return NumberSymbol(*locale, UNUM_DECIMAL_SEPARATOR_SYMBOL);
      case kLocaleSThousand: return NumberSymbol(*locale, UNUM_GROUPING_SEPARATOR_SYMBOL);
      case kLocaleSList: {
        auto decimal = NumberSymbol(*locale, UNUM_DECIMAL_SEPARATOR_SYMBOL);
        return decimal ? std::optional<std::wstring>(ListSeparatorFor(*decimal)) : std::nullopt;
      }
      default: return std::nullopt;
    }
  }

 private:
  std::string name_;
  uint32_t lcid_;
};

}  // namespace

Locale& HostLocale() {
  static IcuLocale locale = [] {
    // ICU's own default treats a variable set to the empty text as set.
    const std::string id = IcuLocaleId(PosixLocaleName("LC_MESSAGES", [](const char* name) { return std::getenv(name); }));
    char canonical[ULOC_FULLNAME_CAPACITY] = "";
    UErrorCode error = U_ZERO_ERROR;
    uloc_canonicalize(id.c_str(), canonical, sizeof canonical, &error);
    const std::string name = U_SUCCESS(error) ? canonical : id;
    return IcuLocale(name, uloc_getLCID(name.c_str()));
  }();
  return locale;
}

std::unique_ptr<Locale> NamedLocale(const std::wstring& name) {
  std::string narrow;
  for (wchar_t c : name) narrow += static_cast<char>(c == L'-' ? L'_' : c);
  char canonical[ULOC_FULLNAME_CAPACITY] = "";
  UErrorCode error = U_ZERO_ERROR;
  uloc_canonicalize(narrow.c_str(), canonical, sizeof canonical, &error);
  const uint32_t lcid = U_SUCCESS(error) ? uloc_getLCID(canonical) : 0;
  if (lcid == 0) return nullptr;
  return std::make_unique<IcuLocale>(canonical, lcid);
}

}  // namespace platform
