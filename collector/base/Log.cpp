#include "collector/base/Log.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "collector/base/Clock.h"

namespace collector {
namespace {

std::atomic<LogFormat> format{LogFormat::kJson};
std::mutex writing;

std::string UtcText(int64_t ms) {
  const time_t seconds = static_cast<time_t>(ms / 1000);
  tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
  return text;
}

// The length of the valid UTF-8 sequence at `at`, 0 when there is none.
size_t SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const size_t length = lead < 0x80                   ? 1
                        : lead >= 0xc2 && lead < 0xe0 ? 2
                        : lead >= 0xe0 && lead < 0xf0 ? 3
                        : lead >= 0xf0 && lead < 0xf5 ? 4
                                                      : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xc0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and values past U+10FFFF.
  if (length == 3 && ((lead == 0xe0 && byte(at + 1) < 0xa0) || (lead == 0xed && byte(at + 1) >= 0xa0))) return 0;
  if (length == 4 && ((lead == 0xf0 && byte(at + 1) < 0x90) || (lead == 0xf4 && byte(at + 1) >= 0x90))) return 0;
  return length;
}

// A text value needs quotes in a text line when it is empty or holds a
// blank, a quote, an equals sign or anything that is not printable ASCII.
bool Bare(std::string_view value) {
  if (value.empty()) return false;
  for (const char c : value) {
    if (c <= ' ' || c == '"' || c == '=' || c == '\\' || static_cast<unsigned char>(c) >= 0x7f) return false;
  }
  return true;
}

}  // namespace

LogFormat DefaultLogFormat() { return isatty(STDOUT_FILENO) ? LogFormat::kText : LogFormat::kJson; }

void SetLogFormat(LogFormat chosen) { format = chosen; }

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const size_t length = SequenceLength(text, at);
    if (length == 0) {
      out += "\\ufffd";
      ++at;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out + "\"";
}

LogLine::LogLine(std::string_view event) : timeMs_(NowMs()), event_(event) {}

LogLine& LogLine::Text(std::string_view name, std::string_view value) {
  fields_.push_back({std::string(name), std::string(value), false});
  return *this;
}

LogLine& LogLine::Number(std::string_view name, int64_t value) {
  fields_.push_back({std::string(name), std::to_string(value), true});
  return *this;
}

std::string LogLine::Format() const {
  const std::string time = UtcText(timeMs_);
  if (format == LogFormat::kJson) {
    std::string line = "{\"time\":\"" + time + "\",\"event\":" + JsonString(event_);
    for (const Field& field : fields_) {
      line += "," + JsonString(field.name) + ":" + (field.number ? field.value : JsonString(field.value));
    }
    return line + "}";
  }
  std::string line = time + " " + event_;
  for (const Field& field : fields_) {
    line += " " + field.name + "=" + (field.number || Bare(field.value) ? field.value : JsonString(field.value));
  }
  return line;
}

void LogLine::Write() const {
  const std::string line = Format() + "\n";
  const std::lock_guard<std::mutex> lock(writing);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace collector
