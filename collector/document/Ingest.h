// One document from its bytes to the store: digest, read, pack, one
// transaction. The HTTP front and `import` both come through here.
#pragma once
#include <string>
#include <string_view>

#include "collector/store/Store.h"

namespace collector {

struct IngestResult {
  PutResult put;
  DocumentRows rows;
};

// `bytes` are the document exactly as sent, decompressed. Fails with
// kInvalid when the reader refuses the document, and otherwise when the
// store failed; either way nothing is known to be stored.
Status Ingest(Store& store, std::string_view bytes, const std::string& sender, IngestResult& result);

}  // namespace collector
