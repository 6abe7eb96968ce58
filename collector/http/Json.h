// A small JSON writer for the API's answers. Every text goes through Quote,
// so nothing a sender or a query put in a value can break out of it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace collector {

// The text as a JSON string literal; control characters, quotes, '<', '>'
// and '&' escaped, and invalid UTF-8 replaced by U+FFFD.
std::string Quote(std::string_view text);

// Builds one JSON value; the caller keeps objects and arrays balanced.
class JsonWriter {
 public:
  // An object as the value or the next array element.
  JsonWriter& Open() { return Key({}).Raw("{", true); }
  JsonWriter& Close() { return Raw("}", false); }
  JsonWriter& OpenArray(std::string_view key);
  JsonWriter& CloseArray() { return Raw("]", false); }
  JsonWriter& OpenObject(std::string_view key);
  JsonWriter& Field(std::string_view key, std::string_view text);
  JsonWriter& Field(std::string_view key, const char* text) { return Field(key, std::string_view(text)); }
  JsonWriter& Field(std::string_view key, int64_t number);
  JsonWriter& Field(std::string_view key, const std::optional<int64_t>& number);
  JsonWriter& Field(std::string_view key, bool flag);
  // A number with one decimal, or null.
  JsonWriter& Decimal(std::string_view key, const std::optional<double>& number);
  // A text as the next array element.
  JsonWriter& Value(std::string_view text) { return Key({}).Raw(Quote(text), false); }
  // A number as the next array element.
  JsonWriter& Value(int64_t number) { return Key({}).Raw(std::to_string(number), false); }
  const std::string& Text() const { return out_; }

 private:
  JsonWriter& Key(std::string_view key);
  JsonWriter& Raw(std::string_view text, bool opens);
  std::string out_;
  bool first_ = true;
};

// {"error": message}
std::string ErrorJson(std::string_view message);

}  // namespace collector
