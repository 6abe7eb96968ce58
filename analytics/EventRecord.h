// One tracked event and the text form of its times.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace qrn::analytics {

// A million events are held until the document is written, so a record is
// small: its name is an index into the service's table of names.
struct EventRecord {
  // The value of an event that carries none.
  static constexpr unsigned int NoValue = 0xFFFFFFFF;
  // A time that was never measured.
  static constexpr int64_t NotSet = std::numeric_limits<int64_t>::min();

  uint32_t name = 0;  // the index of the name the client gave
  unsigned int value = 0;
  int64_t eventtime = NotSet;  // milliseconds from the service's start to the event
  int64_t elapsed = NotSet;    // milliseconds a timed event lasted

  bool HasValue() const { return value != NoValue && value != 0; }
  static bool IsSet(int64_t time) { return time != NotSet; }
};

// "1d 1:01:01.001": days, hours, minutes, seconds and milliseconds of a
// millisecond count, each field truncated toward zero.
std::wstring FormatElapsed(int64_t milliseconds);
// FormatElapsed's text, as UTF-8, written at `at`; returns its end. It takes
// at most kMaxElapsedChars.
constexpr size_t kMaxElapsedChars = 48;
char* WriteElapsed(char* at, int64_t milliseconds);

}  // namespace qrn::analytics
