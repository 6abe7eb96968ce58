#include "collector/http/Json.h"

#include <cmath>
#include <cstdio>

namespace collector {
namespace {

// Length of the valid UTF-8 sequence at `at`, or 0.
size_t Utf8Length(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and values past U+10FFFF.
  const unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second > 0x8F)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string Quote(std::string_view text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t length = Utf8Length(text, i);
      out.append(length ? text.substr(i, length) : std::string_view("\\ufffd"));
      i += length ? length : 1;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        // '<', '>' and '&' too, so an answer pasted into a page stays inert.
        if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

JsonWriter& JsonWriter::Raw(std::string_view text, bool opens) {
  out_ += text;
  first_ = opens;
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
  if (!first_) out_ += ",";
  first_ = false;
  if (!key.empty()) out_ += Quote(key) + ":";
  return *this;
}

JsonWriter& JsonWriter::OpenArray(std::string_view key) {
  Key(key);
  return Raw("[", true);
}

JsonWriter& JsonWriter::OpenObject(std::string_view key) {
  Key(key);
  return Raw("{", true);
}

JsonWriter& JsonWriter::Field(std::string_view key, std::string_view text) {
  Key(key);
  out_ += Quote(text);
  return *this;
}

JsonWriter& JsonWriter::Field(std::string_view key, int64_t number) {
  Key(key);
  out_ += std::to_string(number);
  return *this;
}

JsonWriter& JsonWriter::Field(std::string_view key, const std::optional<int64_t>& number) {
  Key(key);
  out_ += number ? std::to_string(*number) : "null";
  return *this;
}

JsonWriter& JsonWriter::Decimal(std::string_view key, const std::optional<double>& number) {
  Key(key);
  char text[32] = "null";
  if (number && std::isfinite(*number)) std::snprintf(text, sizeof text, "%.1f", *number);
  out_ += text;
  return *this;
}

JsonWriter& JsonWriter::Field(std::string_view key, bool flag) {
  Key(key);
  out_ += flag ? "true" : "false";
  return *this;
}

std::string ErrorJson(std::string_view message) { return JsonWriter().Open().Field("error", message).Close().Text(); }

}  // namespace collector
