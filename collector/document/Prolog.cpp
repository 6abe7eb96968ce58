#include "collector/document/Prolog.h"

#include <cctype>

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

}  // namespace collector
