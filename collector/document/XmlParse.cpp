#include "collector/document/XmlParse.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace collector {
namespace {

// HUGE lifts libxml2's 10 MB cap on one text or value: the body's own limit
// bounds them, and the callers bound depth, attributes and rows.
constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;

std::string_view Text(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

void AppendQualified(std::string& out, const xmlChar* prefix, std::string_view local) {
  out.clear();
  if (prefix) (out += Text(prefix)) += ':';
  out += local;
}

// Turns the parser's callbacks into the visitor's events.
class Pass {
 public:
  Pass(XmlVisitor& visitor, std::string& parseError) : visitor_(visitor), parseError_(parseError) {}

  Status Run(xmlParserCtxtPtr ctxt, std::string_view xml);

 private:
  static Pass& Of(void* ctx) { return *static_cast<Pass*>(static_cast<xmlParserCtxtPtr>(ctx)->_private); }

  static void OnStart(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar*, int namespaces,
                      const xmlChar** ns, int attributes, int, const xmlChar** at) {
    Pass& pass = Of(ctx);
    pass.names_.resize(static_cast<size_t>(namespaces + attributes) + 1);
    pass.attributes_.clear();
    size_t n = 1;
    for (int i = 0; i < namespaces; ++i, ++n) {
      std::string& name = pass.names_[n];
      name = ns[2 * i] ? "xmlns:" + std::string(Text(ns[2 * i])) : "xmlns";
      pass.attributes_.push_back({name, Text(ns[2 * i + 1])});
    }
    for (int i = 0; i < attributes; ++i, ++n) {
      AppendQualified(pass.names_[n], at[5 * i + 1], Text(at[5 * i]));
      const auto* begin = reinterpret_cast<const char*>(at[5 * i + 3]);
      pass.attributes_.push_back({pass.names_[n], std::string_view(begin, at[5 * i + 4] - at[5 * i + 3])});
    }
    AppendQualified(pass.names_[0], prefix, Text(localname));
    pass.Stop(pass.visitor_.StartElement(pass.names_[0], pass.attributes_, pass.depth_++), ctx);
  }

  static void OnEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    Pass& pass = Of(ctx);
    --pass.depth_;
    pass.visitor_.EndElement();
  }

  static void OnText(void* ctx, const xmlChar* text, int length) {
    Of(ctx).visitor_.Text(std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(length)));
  }

  static void OnDocumentType(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    Of(ctx).Stop(Invalid("a document type declaration is not accepted"), ctx);
  }

  static void OnError(void* ctx, xmlErrorPtr error) {
    std::string& message = Of(ctx).parseError_;
    if (!message.empty() || error == nullptr) return;
    std::string text = error->message ? error->message : "not well formed";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    message = "line " + std::to_string(error->line) + ": " + text;
  }

  void Stop(Status status, void* ctx) {
    if (status.ok() || !refusal_.ok()) return;
    refusal_ = std::move(status);
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
  }

  XmlVisitor& visitor_;
  std::string& parseError_;
  Status refusal_;
  int depth_ = 0;
  std::vector<std::string> names_;  // the element's name, then each attribute's
  std::vector<XmlAttribute> attributes_;
};

struct MemorySource {
  std::string_view rest;
  static int Read(void* context, char* buffer, int length) {
    auto& source = *static_cast<MemorySource*>(context);
    const size_t count = std::min(source.rest.size(), static_cast<size_t>(std::max(length, 0)));
    std::memcpy(buffer, source.rest.data(), count);
    source.rest.remove_prefix(count);
    return static_cast<int>(count);
  }
};

struct ContextFree {
  void operator()(xmlParserCtxtPtr ctxt) const { xmlFreeParserCtxt(ctxt); }
};

Status Pass::Run(xmlParserCtxtPtr ctxt, std::string_view xml) {
  xmlSAXHandler& sax = *ctxt->sax;
  sax = xmlSAXHandler{};
  sax.initialized = XML_SAX2_MAGIC;
  sax.startElementNs = OnStart;
  sax.endElementNs = OnEnd;
  sax.characters = OnText;
  sax.cdataBlock = OnText;
  sax.internalSubset = OnDocumentType;
  sax.serror = OnError;
  ctxt->_private = this;
  ctxt->userData = ctxt;  // what every callback is handed
  // The parser pulls the bytes in small pieces and lets go of what it has
  // read, so the document is never copied whole.
  MemorySource source{xml};
  xmlCtxtUseOptions(ctxt, kOptions);
  xmlParserInputBufferPtr buffer =
      xmlParserInputBufferCreateIO(MemorySource::Read, nullptr, &source, XML_CHAR_ENCODING_NONE);
  if (!buffer) return {StatusCode::kInternal, "cannot start the XML parser"};
  xmlParserInputPtr input = xmlNewIOInputStream(ctxt, buffer, XML_CHAR_ENCODING_NONE);
  if (!input) {
    xmlFreeParserInputBuffer(buffer);
    return {StatusCode::kInternal, "cannot start the XML parser"};
  }
  inputPush(ctxt, input);
  xmlParseDocument(ctxt);
  if (!refusal_.ok()) return refusal_;
  if (!ctxt->wellFormed && parseError_.empty()) parseError_ = "not well formed";
  return {};
}

}  // namespace

Status ParseXml(std::string_view xml, XmlVisitor& visitor, std::string& parseError) {
  static std::once_flag init;
  std::call_once(init, [] { xmlInitParser(); });
  parseError.clear();
  if (xml.size() >= (1u << 31)) return {StatusCode::kTooLarge, "the document is too large to read"};
  const std::unique_ptr<xmlParserCtxt, ContextFree> ctxt(xmlNewParserCtxt());
  if (!ctxt) return {StatusCode::kInternal, "cannot start the XML parser"};
  Pass pass(visitor, parseError);
  return pass.Run(ctxt.get(), xml);
}

}  // namespace collector
