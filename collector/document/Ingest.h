// One document from its bytes to the store: digest, read, pack, one
// transaction. The HTTP front and `import` both come through here.
#pragma once
#include <string>
#include <string_view>

#include "collector/store/Store.h"

namespace collector {

struct IngestResult {
  bool refused = false;  // the reader refused the document; nothing was stored
  std::string refusal;
  PutResult put;
  DocumentRows rows;
};

// `bytes` are the document exactly as sent, decompressed. A failing status
// means the store failed and nothing is known to be stored.
Status Ingest(Store& store, std::string_view bytes, const std::string& sender, IngestResult& result);

}  // namespace collector
