#include "collector/document/Prescan.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace collector {
namespace {

// Walks the document's characters with zero bytes (UTF-16's high halves of
// ASCII) and a byte order mark left out.
class Cursor {
 public:
  explicit Cursor(std::string_view xml) : xml_(xml) {
    for (std::string_view bom : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
      if (xml_.substr(0, bom.size()) == bom) {
        at_ = bom.size();
        break;
      }
    }
  }

  bool AtEnd() { return Skip(at_) >= xml_.size(); }

  // Whether the characters from here spell `text`, letters in either case.
  bool LooksAt(std::string_view text) const {
    size_t at = at_;
    for (char want : text) {
      at = Skip(at);
      if (at >= xml_.size() || std::toupper(static_cast<unsigned char>(xml_[at])) != want) return false;
      ++at;
    }
    return true;
  }

  void Advance(size_t characters = 1) {
    for (size_t i = 0; i < characters && !AtEnd(); ++i) at_ = Skip(at_) + 1;
  }

  // Passes over everything up to and including `end`; false when it never comes.
  bool SkipPast(std::string_view end) {
    while (!AtEnd() && !LooksAt(end)) Advance();
    if (AtEnd()) return false;
    Advance(end.size());
    return true;
  }

  bool AtBlank() const {
    const size_t at = Skip(at_);
    return at < xml_.size() && (xml_[at] == ' ' || xml_[at] == '\t' || xml_[at] == '\r' || xml_[at] == '\n');
  }

 private:
  size_t Skip(size_t at) const {
    while (at < xml_.size() && xml_[at] == '\0') ++at;
    return at;
  }

  std::string_view xml_;
  size_t at_ = 0;
};

}  // namespace

bool DeclaresDocumentType(std::string_view xml) {
  Cursor cursor(xml);
  while (!cursor.AtEnd()) {
    if (cursor.AtBlank()) {
      cursor.Advance();
    } else if (cursor.LooksAt("<!DOCTYPE")) {
      return true;
    } else if (cursor.LooksAt("<?")) {
      if (!cursor.SkipPast("?>")) return false;
    } else if (cursor.LooksAt("<!--")) {
      cursor.Advance(4);
      if (!cursor.SkipPast("-->")) return false;
    } else {
      return false;  // the root element, or something no parser takes
    }
  }
  return false;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

// Where `end` ends, searching from `at`; the end of `xml` when it never comes.
size_t After(std::string_view xml, size_t at, std::string_view end) {
  const size_t found = xml.find(end, at);
  return found == std::string_view::npos ? xml.size() : found + end.size();
}

// Counts the attributes of the start tag whose name begins at `at`; returns
// where the tag ends.
size_t CountAttributes(std::string_view xml, size_t at, size_t& count) {
  const size_t n = xml.size();
  while (at < n && !IsBlank(xml[at]) && xml[at] != '>' && xml[at] != '/') ++at;  // the element's name
  for (count = 0; at < n;) {
    while (at < n && IsBlank(xml[at])) ++at;
    if (at >= n || xml[at] == '>' || xml[at] == '<') return at;
    if (xml[at] == '/') {
      ++at;
      continue;
    }
    ++count;
    while (at < n && !IsBlank(xml[at]) && xml[at] != '=' && xml[at] != '>' && xml[at] != '<') ++at;
    while (at < n && IsBlank(xml[at])) ++at;
    if (at >= n || xml[at] != '=') continue;
    ++at;
    while (at < n && IsBlank(xml[at])) ++at;
    if (at < n && (xml[at] == '"' || xml[at] == '\'')) {
      const size_t close = xml.find(xml[at], at + 1);
      at = close == std::string_view::npos ? n : close + 1;
    }
  }
  return at;
}

}  // namespace

size_t MarkupEnd(std::string_view xml, size_t open) {
  const std::string_view rest = xml.substr(open);
  if (rest.substr(0, 4) == "<!--") return After(xml, open + 4, "-->");
  if (rest.substr(0, 9) == "<![CDATA[") return After(xml, open + 9, "]]>");
  if (rest.substr(0, 2) == "<?") return After(xml, open + 2, "?>");
  if (rest.substr(0, 2) == "<!" || rest.substr(0, 2) == "</") return After(xml, open + 2, ">");
  size_t count = 0;
  const size_t end = CountAttributes(xml, open + 1, count);
  return end < xml.size() && xml[end] == '>' ? end + 1 : end;
}

StartTags MeasureStartTags(std::string_view xml) {
  StartTags tags;
  for (size_t at = xml.find('<'); at < xml.size(); at = xml.find('<', at)) {
    const std::string_view rest = xml.substr(at, 2);
    if (rest == "<!" || rest == "</" || rest == "<?") {
      at = MarkupEnd(xml, at);
    } else {
      size_t count = 0;
      const size_t start = at;
      at = CountAttributes(xml, at + 1, count);
      tags.mostAttributes = std::max(tags.mostAttributes, count);
      tags.longestBytes = std::max(tags.longestBytes, at - start + 1);
    }
  }
  return tags;
}

bool ReadsAsAscii(std::string_view xml) {
  if (xml.substr(0, 3) == "\xEF\xBB\xBF") xml.remove_prefix(3);
  if (xml.empty() || xml.substr(0, 4).find('\0') != std::string_view::npos) return false;
  const char first = xml[0];
  if (first != '<' && !IsBlank(first)) return false;
  if (xml.substr(0, 5) != "<?xml") return true;
  const std::string_view declaration = xml.substr(0, xml.find("?>"));
  const size_t key = declaration.find("encoding");
  if (key == std::string_view::npos) return true;
  const size_t quote = declaration.find_first_of("\"'", key);
  if (quote == std::string_view::npos) return false;
  const size_t close = declaration.find(declaration[quote], quote + 1);
  std::string name(declaration.substr(quote + 1, close == std::string_view::npos ? 0 : close - quote - 1));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "utf-8" || name == "utf8" || name == "us-ascii" || name == "ascii" ||
         name.rfind("iso-8859-", 0) == 0 || name == "latin1";
}

}  // namespace collector
