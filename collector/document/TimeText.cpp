#include "collector/document/TimeText.h"

#include <cstdio>
#include <ctime>

#include "collector/base/WholeNumber.h"

namespace collector {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, counted in 400-year eras.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool Digits(std::string_view text, size_t at, size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::string FormatUtc(int64_t unixMs) {
  const time_t seconds = static_cast<time_t>(unixMs >= 0 ? unixMs / 1000 : (unixMs - 999) / 1000);
  const int millis = static_cast<int>(unixMs - int64_t{seconds} * 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
  return text;
}

std::optional<int64_t> ParseUtc(std::string_view text) {
  if (auto number = ParseWholeNumber(text)) return number;
  if (!text.empty() && text.back() == 'Z') text.remove_suffix(1);
  int year, month, day, hour = 0, minute = 0, second = 0, millis = 0;
  if (!Digits(text, 0, 4, year) || text.size() < 10 || text[4] != '-' || !Digits(text, 5, 2, month) ||
      text[7] != '-' || !Digits(text, 8, 2, day) || month < 1 || month > 12 || day < 1 || day > 31) {
    return std::nullopt;
  }
  if (text.size() > 10) {
    if (text.size() < 16 || text[10] != 'T' || !Digits(text, 11, 2, hour) || text[13] != ':' ||
        !Digits(text, 14, 2, minute) || hour > 23 || minute > 59) {
      return std::nullopt;
    }
    if (text.size() > 16 && (text.size() < 19 || text[16] != ':' || !Digits(text, 17, 2, second) || second > 60)) {
      return std::nullopt;
    }
    if (text.size() > 19 && (text.size() != 23 || text[19] != '.' || !Digits(text, 20, 3, millis))) {
      return std::nullopt;
    }
  }
  const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return ((days * 24 + hour) * 60 + minute) * 60000 + second * 1000 + millis;
}

}  // namespace collector
