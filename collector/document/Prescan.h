// Passes over a document's raw bytes that find what the XML parser must not
// be given, before it is given anything.
#pragma once
#include <cstddef>
#include <string_view>

namespace collector {

// True when the prolog of `xml` holds a document type declaration. Only the
// prolog is read (the XML declaration, comments, processing instructions and
// blanks before the first element), so a declaration is found before any
// parser acts on it. UTF-8 and UTF-16 alike: zero bytes and a byte order
// mark are passed over.
bool DeclaresDocumentType(std::string_view xml);

// The most attributes on one start tag of `xml`, and the longest start tag in
// bytes. Counted on the bytes as they stand (zero bytes read as blanks, so
// UTF-16 is counted too), skipping comments, CDATA and processing
// instructions; what is not well formed is left to the parser to refuse.
struct StartTags {
  size_t mostAttributes = 0;
  size_t longestBytes = 0;
};
StartTags MeasureStartTags(std::string_view xml);

// One past the end of the markup (tag, comment, CDATA section, processing
// instruction or declaration) that begins with the '<' at `open`; the end of
// `xml` when it never ends. A quoted attribute value may hold '>'.
size_t MarkupEnd(std::string_view xml, size_t open);

// Whether the bytes of `xml` may be read as ASCII where markup is concerned:
// no byte order mark but UTF-8's, no zero byte up front, and no encoding
// declared but UTF-8, ASCII or ISO 8859. Then every '<', '>' and quote byte
// is that character.
bool ReadsAsAscii(std::string_view xml);

}  // namespace collector
