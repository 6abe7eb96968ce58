// The collector's log: one line per event on standard output, as JSON (one
// object a line) or as text for a person at a terminal. Lines are written
// whole, from any thread. Callers never pass a token, a cookie or a query
// value: names of tokens, paths and reasons only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace collector {

enum class LogFormat { kText, kJson };

// JSON unless standard output is a terminal.
LogFormat DefaultLogFormat();
void SetLogFormat(LogFormat format);

// One line: the time, the event's name, then its fields in the order added.
//   LogLine("reload").Text("tokens", "kept").Write();
class LogLine {
 public:
  explicit LogLine(std::string_view event);
  LogLine& Text(std::string_view name, std::string_view value);
  LogLine& Number(std::string_view name, int64_t value);
  // The line as the current format writes it, without its line end.
  std::string Format() const;
  void Write() const;

 private:
  struct Field {
    std::string name, value;
    bool number;
  };
  int64_t timeMs_;
  std::string event_;
  std::vector<Field> fields_;
};

// `text` as a JSON string literal: quotes, backslashes and control
// characters escaped, invalid UTF-8 replaced by U+FFFD.
std::string JsonString(std::string_view text);

}  // namespace collector
