#include "analytics/EventRecord.h"

#include <charconv>

#include "runtime/Format.h"
#include "runtime/Str.h"

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

namespace {

void AppendDigits(std::string& out, int64_t value, int width) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  if (end - digits < width) out.append(static_cast<size_t>(width - (end - digits)), '0');
  out.append(digits, end);
}

}  // namespace

// Written out by hand: the events group formats two times per event, and the
// formatter would take most of its time.
void AppendElapsed(std::string& out, int64_t milliseconds) {
  constexpr int64_t kDay = 86400000, kMaxDays = 1000000;
  if (milliseconds < 0 || milliseconds / kDay >= kMaxDays) {
    out += str::as_u8string(FormatElapsed(milliseconds));
    return;
  }
  const int64_t rest = milliseconds % kDay;
  AppendDigits(out, milliseconds / kDay, 1);
  out += "d ";
  AppendDigits(out, rest / 3600000, 1);
  out += ':';
  AppendDigits(out, rest / 60000 % 60, 2);
  out += ':';
  AppendDigits(out, rest / 1000 % 60, 2);
  out += '.';
  AppendDigits(out, rest % 1000, 3);
}

}  // namespace qrn::analytics
