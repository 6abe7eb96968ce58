#include "analytics/EventRecord.h"

#include "runtime/Format.h"

namespace qrn::analytics {

std::wstring FormatElapsed(int64_t milliseconds) {
  constexpr int64_t kDay = 86400000, kHour = 3600000, kMinute = 60000, kSecond = 1000;
  int64_t t = milliseconds;
  const int64_t days = t / kDay;
  t -= days * kDay;
  const int64_t hours = t / kHour;
  t -= hours * kHour;
  const int64_t minutes = t / kMinute;
  t -= minutes * kMinute;
  const int64_t seconds = t / kSecond;
  const int64_t rest = t - seconds * kSecond;
  return str::snprintf(L"%dd %d:%02d:%02d.%03d", static_cast<int32_t>(days), static_cast<int32_t>(hours),
                       static_cast<int32_t>(minutes), seconds, rest);
}

}  // namespace qrn::analytics
