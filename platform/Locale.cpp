#include "platform/Locale.h"

namespace platform {

std::wstring ListSeparatorFor(const std::wstring& decimalSeparator) {
  return decimalSeparator == L"," ? L";" : L",";
}

}  // namespace platform
