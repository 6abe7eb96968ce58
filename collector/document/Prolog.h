// What comes before a document's root element.
#pragma once
#include <string_view>

namespace collector {

// True when the prolog of `xml` holds a document type declaration. Only the
// prolog is read (the XML declaration, comments, processing instructions and
// blanks before the first element), so a declaration is found before any
// parser acts on it. UTF-8 and UTF-16 alike: zero bytes and a byte order
// mark are passed over.
bool DeclaresDocumentType(std::string_view xml);

}  // namespace collector
