// A small well-formedness check for the report's XML text: balanced tags,
// quoted and unique attributes, known entities, XML characters only.
#pragma once
#include <set>
#include <string>
#include <vector>

namespace testing_xml {

inline bool IsNameChar(wchar_t c, bool first) {
  if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_') return true;
  return !first && ((c >= L'0' && c <= L'9') || c == L'-' || c == L'.');
}

inline bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

class Checker {
 public:
  explicit Checker(const std::wstring& text) : text_(text) {}

  // Empty when well-formed; otherwise what is wrong and where.
  std::string Problem() {
    const size_t declarationEnd = text_.find(L"?>");
    if (text_.compare(0, 5, L"<?xml") == 0) {
      at_ = declarationEnd == std::wstring::npos ? text_.size() : declarationEnd + 2;
    }
    while (at_ < text_.size() && error_.empty()) {
      const wchar_t c = text_[at_];
      if (c == L'<') {
        Tag();
      } else if (c == L'&') {
        Entity();
      } else if (c < 0x20 && !IsBlank(c)) {
        Fail("control character");
      } else {
        ++at_;
      }
    }
    if (error_.empty() && !open_.empty()) Fail("unclosed element");
    if (error_.empty() && roots_ == 0) Fail("no element");
    return error_;
  }

 private:
  void Fail(const char* what) {
    if (error_.empty()) error_ = std::string(what) + " at " + std::to_string(at_);
  }

  std::wstring Name() {
    const size_t start = at_;
    if (at_ < text_.size() && IsNameChar(text_[at_], true)) ++at_;
    while (at_ < text_.size() && IsNameChar(text_[at_], false)) ++at_;
    if (start == at_) Fail("missing name");
    return text_.substr(start, at_ - start);
  }

  void SkipBlanks() {
    while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
  }

  void Entity() {
    const size_t end = text_.find(L';', at_);
    const std::wstring entity = end == std::wstring::npos ? L"" : text_.substr(at_, end - at_ + 1);
    static const std::set<std::wstring> named = {L"&lt;", L"&gt;", L"&amp;", L"&quot;", L"&apos;"};
    bool numeric = entity.size() > 3 && entity[1] == L'#';
    for (size_t i = 2; numeric && i + 1 < entity.size(); ++i) numeric = entity[i] >= L'0' && entity[i] <= L'9';
    if (!named.count(entity) && !numeric) return Fail("bad entity");
    at_ = end + 1;
  }

  void Attribute(std::set<std::wstring>& seen) {
    if (!seen.insert(Name()).second) return Fail("duplicate attribute");
    SkipBlanks();
    if (at_ >= text_.size() || text_[at_] != L'=') return Fail("missing =");
    ++at_;
    SkipBlanks();
    const wchar_t quote = at_ < text_.size() ? text_[at_] : L'\0';
    if (quote != L'"' && quote != L'\'') return Fail("unquoted value");
    for (++at_; at_ < text_.size() && text_[at_] != quote && error_.empty();) {
      if (text_[at_] == L'<') return Fail("< in value");
      if (text_[at_] == L'&') {
        Entity();
      } else {
        ++at_;
      }
    }
    if (at_ >= text_.size()) return Fail("unterminated value");
    ++at_;
  }

  void Tag() {
    ++at_;
    if (at_ < text_.size() && text_[at_] == L'/') {
      ++at_;
      const std::wstring name = Name();
      SkipBlanks();
      if (open_.empty() || open_.back() != name) return Fail("mismatched end tag");
      open_.pop_back();
      if (at_ >= text_.size() || text_[at_] != L'>') return Fail("missing >");
      ++at_;
      return;
    }
    if (open_.empty()) ++roots_;
    const std::wstring name = Name();
    std::set<std::wstring> seen;
    while (error_.empty()) {
      const size_t before = at_;
      SkipBlanks();
      if (text_.compare(at_, 2, L"/>") == 0) {
        at_ += 2;
        return;
      }
      if (text_.compare(at_, 1, L">") == 0) {
        ++at_;
        open_.push_back(name);
        return;
      }
      if (before == at_) return Fail("attribute without a blank before it");
      Attribute(seen);
    }
  }

  const std::wstring& text_;
  size_t at_ = 0;
  int roots_ = 0;
  std::vector<std::wstring> open_;
  std::string error_;
};

inline std::string XmlProblem(const std::wstring& text) { return Checker(text).Problem(); }

}  // namespace testing_xml
