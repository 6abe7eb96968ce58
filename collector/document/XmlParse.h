// One pass over a document in memory, as element events: no network, no
// DTD, no entities but XML's own, nothing copied. Parsing straight from
// memory keeps the time linear in the document's size, values of any length
// included (a stream reader feeding the parser in small pieces does not).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "collector/base/Status.h"

namespace collector {

struct XmlAttribute {
  std::string_view name;  // as written: "prefix:name", "xmlns:prefix"
  std::string_view value;
};

// Namespace declarations come first among an element's attributes, then its
// other attributes in document order. Texts are valid during the call only.
class XmlVisitor {
 public:
  virtual ~XmlVisitor() = default;
  // `depth` is 0 for the root. A failing status stops the pass and refuses the document.
  virtual Status StartElement(std::string_view name, const std::vector<XmlAttribute>& attributes, int depth) = 0;
  virtual void EndElement() = 0;
  // Text and CDATA, possibly in several pieces.
  virtual void Text(std::string_view) {}
};

// Calls `visitor` for each element of `xml` (under 2 GiB). Fails with the
// visitor's status, or kInvalid for a document type declaration, or
// kInternal when the parser cannot start. A document that is not well
// formed is no failure: `parseError` says why, as "line N: text", and no
// more events come after the fault.
Status ParseXml(std::string_view xml, XmlVisitor& visitor, std::string& parseError);

}  // namespace collector
