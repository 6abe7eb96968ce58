#include "collector/document/SaxFeed.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "collector/document/Prescan.h"

namespace collector {
namespace {

// HUGE lifts libxml2's 10 MB cap on one text or value: the body's own limit
// bounds it. No NOENT: the only references left are the predefined ones.
constexpr int kParserOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;

}  // namespace

std::string_view SaxAttributes::Qualified(const xmlChar* prefix, const xmlChar* local, std::string& scratch) {
  if (!prefix) return Text(local);
  scratch.assign(Text(prefix));
  scratch += ':';
  scratch += Text(local);
  return scratch;
}

// Without entity substitution the parser hands '&' on as "&#38;", and nothing
// else spelled with '&' can reach a value.
std::string_view SaxAttributes::Unescaped(const xmlChar* begin, const xmlChar* end, std::string& scratch) {
  const std::string_view raw(reinterpret_cast<const char*>(begin), static_cast<size_t>(end - begin));
  size_t at = raw.find("&#38;");
  if (at == std::string_view::npos) return raw;
  scratch.clear();
  size_t from = 0;
  for (; at != std::string_view::npos; at = raw.find("&#38;", from)) {
    scratch.append(raw, from, at - from);
    scratch += '&';
    from = at + 5;
  }
  scratch.append(raw, from);
  return scratch;
}

SaxFeed::SaxFeed(std::string_view xml, Handler& handler)
    : xml_(xml), handler_(handler), splitsMarkup_(!ReadsAsAscii(xml)) {
  static std::once_flag init;
  std::call_once(init, [] { xmlInitParser(); });
  xmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  sax.initialized = XML_SAX2_MAGIC;
  sax.startElementNs = OnStart;
  sax.endElementNs = OnEnd;
  sax.internalSubset = OnDocumentType;
  sax.serror = OnError;
  // The first bytes tell the parser the encoding.
  fed_ = std::min<size_t>(xml_.size(), 4);
  parser_ = xmlCreatePushParserCtxt(&sax, this, xml_.data(), static_cast<int>(fed_), nullptr);
  if (parser_) xmlCtxtUseOptions(parser_, kParserOptions);
}

SaxFeed::~SaxFeed() {
  if (parser_) xmlFreeParserCtxt(parser_);
}

bool SaxFeed::WellFormed() const { return parser_ && parser_->wellFormed == 1 && !sawDocumentType_; }

bool SaxFeed::Next() {
  if (ended_ || !parser_) return false;
  const size_t end = PieceEnd();
  const bool last = end >= xml_.size();
  xmlParseChunk(parser_, xml_.data() + fed_, static_cast<int>(end - fed_), last ? 1 : 0);
  fed_ = end;
  ended_ = last || parser_->wellFormed != 1 || parser_->instate == XML_PARSER_EOF;
  return !ended_;
}

void SaxFeed::Stop() {
  ended_ = true;
  xmlStopParser(parser_);
}

// The end of the next piece: kPieceBytes on, or further, to where the
// markup that runs across that point ends.
size_t SaxFeed::PieceEnd() {
  const size_t target = std::min(xml_.size(), fed_ + kPieceBytes);
  if (splitsMarkup_) return target;
  while (scanned_ < target) {
    const size_t open = xml_.substr(0, target).find('<', scanned_);
    if (open == std::string_view::npos) {
      scanned_ = target;
      break;
    }
    scanned_ = MarkupEnd(xml_, open);
  }
  return std::max(target, scanned_);
}

void SaxFeed::OnStart(void* self, const xmlChar* local, const xmlChar* prefix, const xmlChar*, int namespaceCount,
                      const xmlChar** namespaces, int attributeCount, int, const xmlChar** attributes) {
  auto* feed = static_cast<SaxFeed*>(self);
  const std::string_view name = SaxAttributes::Qualified(prefix, local, feed->name_);
  feed->handler_.Start(name, SaxAttributes(namespaces, namespaceCount, attributes, attributeCount));
}

void SaxFeed::OnEnd(void* self, const xmlChar*, const xmlChar*, const xmlChar*) {
  static_cast<SaxFeed*>(self)->handler_.End();
}

// Stopped before the internal subset is read: no entity is ever declared.
void SaxFeed::OnDocumentType(void* self, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* feed = static_cast<SaxFeed*>(self);
  feed->sawDocumentType_ = true;
  feed->Stop();
}

void SaxFeed::OnError(void* self, xmlErrorPtr error) {
  std::string& message = static_cast<SaxFeed*>(self)->error_;
  if (!message.empty() || error == nullptr) return;
  std::string text = error->message ? error->message : "not well formed";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  message = "line " + std::to_string(error->line) + ": " + text;
}

}  // namespace collector
