// The streaming XML reader every pass over an untrusted document uses: no
// network, no DTD loading, no entity substitution, no default attributes from
// a DTD. A text may be as long as the document; callers bound the rest.
#pragma once
#include <libxml/xmlreader.h>

#include <memory>
#include <string>
#include <string_view>

namespace collector {

struct XmlReaderCloser {
  void operator()(xmlTextReaderPtr reader) const { xmlFreeTextReader(reader); }
};
using XmlReader = std::unique_ptr<xmlTextReader, XmlReaderCloser>;

// A reader over `xml` (under 2 GiB: the caller checks), or null when it cannot
// start. The first parse error goes to `*message` as "line N: text";
// `message` must outlive the reader.
XmlReader OpenSafeXmlReader(std::string_view xml, std::string* message);
// The same reader over bytes that `read` hands over a piece at a time (as
// libxml2's input callbacks do); `context` must outlive the reader.
XmlReader OpenSafeXmlReaderIO(xmlInputReadCallback read, void* context, std::string* message);

inline std::string_view XmlText(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

}  // namespace collector
