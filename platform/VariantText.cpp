#include "platform/VariantText.h"

#include "runtime/Convert.h"
#include "runtime/Str.h"

namespace platform {
namespace {

template <class T>
std::wstring IntegerText(int64_t value) {
  std::wstring text;
  math::impl::ConvertInt<T>::to_string(text, static_cast<T>(value), 10);
  return text;
}

template <class T>
std::wstring RealText(double value, int digits) {
  std::wstring text;
  math::impl::ConvertFloat<T>::to_string(text, static_cast<T>(value), digits, math::RoundType::kNearest);
  return text;
}

}  // namespace

// Windows' long and unsigned long are 32 bits wide; int32_t and uint32_t keep
// that width on every host, so a VT_I4 holding 2147483648 reads negative.
std::wstring VariantText(const VariantValue& value) {
  switch (value.type) {
    case kVtI2: return IntegerText<int16_t>(value.integer);
    case kVtI4: return IntegerText<int32_t>(value.integer);
    case kVtR4: return RealText<float>(value.real, 7);
    case kVtR8: return RealText<double>(value.real, 16);
    case kVtDate: return L"date";
    case kVtBstr: return value.text;
    case kVtBool: return value.integer != 0 ? L"TRUE" : L"FALSE";
    case kVtUi1: return IntegerText<uint8_t>(value.integer);
    case kVtUi2: return IntegerText<uint16_t>(value.integer);
    case kVtUi4: return IntegerText<uint32_t>(value.integer);
    case kVtBstrArray: return str::join(value.elements, std::wstring(L","));
    default: return std::wstring();
  }
}

}  // namespace platform
