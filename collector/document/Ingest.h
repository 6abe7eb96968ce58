// One document from its bytes to the store: digest, pack, then its rows
// read and written in one transaction a batch at a time. The HTTP front and
// `import` both come through here.
#pragma once
#include <string>
#include <string_view>

#include "collector/store/Store.h"

namespace collector {

struct IngestResult {
  PutResult put;
  DocumentSummary rows;  // what the document holds, once read
};

// `bytes` are the document exactly as sent, decompressed. Fails with
// kInvalid when the reader refuses the document, and otherwise when the
// store failed; either way nothing of it is stored. `takenMs` is when the
// document was made, when something other than its arrival tells (0: nothing does).
Status Ingest(Store& store, std::string_view bytes, const std::string& sender, IngestResult& result,
              int64_t takenMs = 0);

}  // namespace collector
