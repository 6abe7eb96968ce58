#include "runtime/Sequence.h"

#include "runtime/Convert.h"
#include "runtime/Str.h"

namespace qrn::grammar {

void Sequence::Encode(std::string& out) const {
  out.clear();
  for (size_t i = 0; i < value.size(); ++i) {
    if (i) out += separator;
    for (char c : value[i]) {
      if (c == separator || c == escape) out += escape;
      out += c;
    }
  }
}

void Sequence::Decode(const std::string& text) {
  std::vector<std::string> items;
  if (!text.empty()) items.emplace_back();
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == separator) {
      items.emplace_back();
    } else if (c != escape) {
      items.back() += c;
    } else if (i + 1 < text.size() && (text[i + 1] == separator || text[i + 1] == escape)) {
      items.back() += text[++i];
    } else {
      ThrowStatus(QrnError::syntax(text), "runtime\\Sequence", __LINE__);
    }
  }
  value.swap(items);
}

namespace {
constexpr size_t kStatusItems = 8;  // message, five texts, file, line
}

std::string EncodeStatus(const qtl::status& s) {
  const qtl::status::detail* d = s.get();
  if (!d) return std::string();
  Sequence sequence;
  sequence.value.push_back(str::as_u8string(d->message));
  for (const auto& text : d->texts) sequence.value.push_back(str::as_u8string(text));
  sequence.value.push_back(d->file);
  sequence.value.push_back(std::to_string(d->line));
  std::string out;
  sequence.Encode(out);
  return out;
}

qtl::status DecodeStatus(const std::string& text) {
  if (text.empty()) return qtl::ok_status();
  Sequence sequence;
  sequence.Decode(text);
  const auto& items = sequence.value;
  int line = 0;
  if (items.size() != kStatusItems || !math::impl::ConvertInt<int>::from_string(line, items[7])) {
    ThrowStatus(QrnError::syntax(text), "runtime\\Sequence", __LINE__);
  }
  qtl::status s = qtl::status::error(str::as_wstring(items[0]));
  for (size_t i = 0; i < 5; ++i) s.mutable_detail()->texts[i] = str::as_wstring(items[1 + i]);
  s.mutable_detail()->file = items[6];
  s.mutable_detail()->line = line;
  return s;
}

}  // namespace qrn::grammar
