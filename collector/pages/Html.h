// Small pieces every page is built from: escaping, numbers and the page frame.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace collector::pages {

// Text from a document or the store, made safe for HTML text and for quoted
// attribute values alike: & < > " ' become references; bytes that cannot
// appear in HTML (controls other than tab and line ends) become U+FFFD.
std::string Escape(std::string_view text);
void AppendEscaped(std::string& out, std::string_view text);

// A path segment or query value, percent-encoded (then safe in an attribute).
std::string UrlEncode(std::string_view text);

// 1536 -> "1.5 KiB".
std::string Bytes(int64_t bytes);
// Milliseconds -> "1.2 s", "340 ms", "2.5 min".
std::string Millis(int64_t ms);

// How the page brings its stylesheet and script: served pages link the
// collector's own paths; a rendered file carries them inline.
enum class Assets { kLinked, kInline };

// The start of a page up to the opening of <main>, and its end.
std::string PageStart(std::string_view title, Assets assets);
std::string PageEnd();

extern const char* const kStylesheet;
extern const char* const kScript;
constexpr const char* kStylePath = "/static/collector.css";
constexpr const char* kScriptPath = "/static/collector.js";

}  // namespace collector::pages
