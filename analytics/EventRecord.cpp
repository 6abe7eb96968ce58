#include "analytics/EventRecord.h"

#include <algorithm>
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

char* PutTwo(char* at, int64_t value) {
  at[0] = static_cast<char>('0' + value / 10);
  at[1] = static_cast<char>('0' + value % 10);
  return at + 2;
}

}  // namespace

// Written out by hand: the events group formats two times per event, and the
// formatter would take most of its time.
char* WriteElapsed(char* at, int64_t milliseconds) {
  constexpr int64_t kDay = 86400000, kMaxDays = 1000000;
  if (milliseconds < 0 || milliseconds / kDay >= kMaxDays) {
    const std::string text = str::as_u8string(FormatElapsed(milliseconds));
    return std::copy(text.begin(), text.begin() + std::min(text.size(), kMaxElapsedChars), at);
  }
  const int64_t rest = milliseconds % kDay;
  at = std::to_chars(at, at + 8, milliseconds / kDay).ptr;
  *at++ = 'd';
  *at++ = ' ';
  at = std::to_chars(at, at + 2, rest / 3600000).ptr;
  *at++ = ':';
  at = PutTwo(at, rest / 60000 % 60);
  *at++ = ':';
  at = PutTwo(at, rest / 1000 % 60);
  *at++ = '.';
  *at++ = static_cast<char>('0' + rest % 1000 / 100);
  return PutTwo(at, rest % 100);
}

}  // namespace qrn::analytics
