// Feeds a document held in memory to libxml2's push parser a piece at a
// time and hands its elements to a handler as the pieces are parsed. A piece
// never ends inside markup of a document whose bytes read as ASCII: the push
// parser scans what it holds of an unfinished tag again for every piece, so a
// tag split into many pieces would cost the square of its length.
#pragma once
#include <libxml/parser.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace collector {

// The attributes of one start tag as the stream reader would list them: the
// namespace declarations first, then the attributes, names qualified, values
// with references replaced.
class SaxAttributes {
 public:
  SaxAttributes(const xmlChar** namespaces, int namespaceCount, const xmlChar** attributes, int attributeCount)
      : namespaces_(namespaces), namespaceCount_(namespaceCount), attributes_(attributes),
        attributeCount_(attributeCount) {}

  template <class F>
  void ForEach(F&& f) const {
    std::string name, value;
    for (int i = 0; i < namespaceCount_; ++i) {
      const xmlChar* prefix = namespaces_[2 * i];
      name = prefix ? "xmlns:" + std::string(Text(prefix)) : "xmlns";
      f(std::string_view(name), Text(namespaces_[2 * i + 1]));
    }
    for (int i = 0; i < attributeCount_; ++i) {
      const xmlChar* const* a = attributes_ + 5 * i;
      f(Qualified(a[1], a[0], name), Unescaped(a[3], a[4], value));
    }
  }
  size_t size() const { return static_cast<size_t>(namespaceCount_ + attributeCount_); }

  static std::string_view Text(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
  }
  static std::string_view Qualified(const xmlChar* prefix, const xmlChar* local, std::string& scratch);

 private:
  static std::string_view Unescaped(const xmlChar* begin, const xmlChar* end, std::string& scratch);

  const xmlChar** namespaces_;
  int namespaceCount_;
  const xmlChar** attributes_;
  int attributeCount_;
};

class SaxFeed {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void Start(std::string_view name, const SaxAttributes& attributes) = 0;
    virtual void End() = 0;
  };

  // What one piece holds at least; more when markup runs past it.
  static constexpr size_t kPieceBytes = 512;

  // `xml` (under 2 GiB: the caller checks) must outlive the feed. No network,
  // no DTD, no entity but the predefined ones; the first parse error goes to
  // Error() as "line N: text".
  SaxFeed(std::string_view xml, Handler& handler);
  ~SaxFeed();
  SaxFeed(const SaxFeed&) = delete;
  SaxFeed& operator=(const SaxFeed&) = delete;

  bool Started() const { return parser_ != nullptr; }
  // Parses the next piece; false once the document has ended, the parser
  // found it not well formed, or Stop was called.
  bool Next();
  // Ends the parse from inside a handler.
  void Stop();

  bool WellFormed() const;
  bool SawDocumentType() const { return sawDocumentType_; }
  const std::string& Error() const { return error_; }

 private:
  static void OnStart(void* self, const xmlChar* local, const xmlChar* prefix, const xmlChar* uri, int namespaceCount,
                      const xmlChar** namespaces, int attributeCount, int defaulted, const xmlChar** attributes);
  static void OnEnd(void* self, const xmlChar* local, const xmlChar* prefix, const xmlChar* uri);
  static void OnDocumentType(void* self, const xmlChar* name, const xmlChar* publicId, const xmlChar* systemId);
  static void OnError(void* self, xmlErrorPtr error);
  size_t PieceEnd();

  std::string_view xml_;
  Handler& handler_;
  xmlParserCtxtPtr parser_ = nullptr;
  bool splitsMarkup_;  // the bytes do not read as ASCII: pieces of fixed size
  size_t fed_ = 0;
  size_t scanned_ = 0;  // where the markup found so far ends
  bool ended_ = false;
  bool sawDocumentType_ = false;
  std::string error_;
  std::string name_;
};

}  // namespace collector
