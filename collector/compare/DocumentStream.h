// A document read a piece at a time, so that comparing two large reports
// never holds either whole: a saved file (plain or gzip) or a stored body.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "collector/base/Status.h"
#include "collector/document/SafeXmlReader.h"

namespace collector {

class DocumentStream {
 public:
  virtual ~DocumentStream() = default;
  // Up to `size` bytes into `buffer`: the count, 0 at the end, -1 on failure
  // (then Error says why).
  virtual int Read(char* buffer, int size) = 0;
  virtual std::string Error() const = 0;
};

// A saved document, gzip-compressed or not; fails unless `path` names a
// regular file that can be opened.
Status OpenDocumentFile(const std::string& path, std::unique_ptr<DocumentStream>& stream);

// A body in the store's packed form, decoded as it is read; `packed` must
// outlive the stream.
std::unique_ptr<DocumentStream> PackedDocument(std::string_view packed);

// The collector's safe reader over `stream`, which must outlive it.
XmlReader OpenSafeXmlReader(DocumentStream& stream, std::string* message);

}  // namespace collector
