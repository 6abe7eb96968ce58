// The text of a management property value, by its variant type. The COM
// backend copies each VARIANT into a VariantValue; the rules live here so
// that every host runs and tests the same conversion.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum VariantType : uint16_t {
  kVtEmpty = 0,
  kVtNull = 1,
  kVtI2 = 2,
  kVtI4 = 3,
  kVtR4 = 4,
  kVtR8 = 5,
  kVtDate = 7,
  kVtBstr = 8,
  kVtBool = 11,
  kVtUi1 = 17,
  kVtUi2 = 18,
  kVtUi4 = 19,
  kVtArray = 0x2000,
  kVtBstrArray = kVtArray | kVtBstr,
};

struct VariantValue {
  uint16_t type = kVtEmpty;
  int64_t integer = 0;  // the integer types and VT_BOOL, read with the variant field's own type
  double real = 0;      // VT_R4 and VT_R8
  std::wstring text;    // VT_BSTR
  std::vector<std::wstring> elements;  // VT_ARRAY | VT_BSTR: the elements that could be fetched
};

// Decimal integers, "TRUE"/"FALSE", 7 or 16 significant digits for reals,
// "date" for a date, string elements joined with ","; empty for null,
// empty and every other type.
std::wstring VariantText(const VariantValue& value);

}  // namespace platform
