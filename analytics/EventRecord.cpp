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

// `value` in at least `width` digits, written at `at`; returns the end.
char* PutDigits(char* at, int64_t value, int width) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (auto n = end - digits; n < width; ++n) *at++ = '0';
  for (const char* d = digits; d < end; ++d) *at++ = *d;
  return at;
}

}  // namespace

// Written out by hand into a small buffer: the events group formats two
// times per event, and the formatter would take most of its time.
void AppendElapsed(std::string& out, int64_t milliseconds) {
  constexpr int64_t kDay = 86400000, kMaxDays = 1000000;
  if (milliseconds < 0 || milliseconds / kDay >= kMaxDays) {
    out += str::as_u8string(FormatElapsed(milliseconds));
    return;
  }
  const int64_t rest = milliseconds % kDay;
  char text[32];
  char* at = PutDigits(text, milliseconds / kDay, 1);
  *at++ = 'd';
  *at++ = ' ';
  at = PutDigits(at, rest / 3600000, 1);
  *at++ = ':';
  at = PutDigits(at, rest / 60000 % 60, 2);
  *at++ = ':';
  at = PutDigits(at, rest / 1000 % 60, 2);
  *at++ = '.';
  at = PutDigits(at, rest % 1000, 3);
  out.append(text, at);
}

}  // namespace qrn::analytics
