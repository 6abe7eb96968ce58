// One document from its bytes to the store: digest, pack, then its rows
// read and written in one transaction a batch at a time. The HTTP front and
// `import` both come through here.
#pragma once
#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "collector/store/Store.h"

namespace collector {
class DocumentReader;
}

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

// Ingest in three steps, for callers that store many documents at once
// (`import`): Prepare reads ahead and packs, the store's PutEach takes
// Item() with others, and Finish gives what Ingest would have. The bytes
// must outlive it.
class PreparedIngest {
 public:
  explicit PreparedIngest(std::string_view bytes);
  ~PreparedIngest();
  // Ingest's failure when it comes before the store is asked. `takenMs` as Ingest's.
  Status Prepare(const std::string& sender, int64_t takenMs = 0);
  PutItem& Item() { return item_; }
  // Files prepared side by side are received in the order named: no earlier
  // than `previousMs`. Returns this document's time.
  int64_t ReceivedNoEarlierThan(int64_t previousMs) {
    arrival_.receivedMs = std::max(arrival_.receivedMs, previousMs);
    return arrival_.receivedMs;
  }
  Status Finish(IngestResult& result);

 private:
  class FirstBatchAhead;
  std::string_view bytes_;
  std::unique_ptr<DocumentReader> reader_;
  std::unique_ptr<FirstBatchAhead> rows_;
  Arrival arrival_;
  PutResult put_;
  PutItem item_;
};

}  // namespace collector
