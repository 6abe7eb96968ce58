#include "collector/document/Ingest.h"

#include "collector/base/Clock.h"
#include "collector/document/Digest.h"
#include "collector/document/DocumentReader.h"
#include "collector/base/Status.h"
#include "collector/document/Compression.h"

namespace collector {

Status Ingest(Store& store, std::string_view bytes, const std::string& sender, IngestResult& result) {
  result = IngestResult{};
  if (auto s = ReadDocument(bytes, result.rows); !s.ok()) {
    // What the document holds refuses it; the reader failing to start does not.
    const bool refused = s.code() == StatusCode::kInvalid || s.code() == StatusCode::kTooLarge;
    return refused ? Invalid(s.message()) : s;
  }
  Arrival arrival;
  arrival.sha256 = Hex(Sha256(bytes));
  if (auto s = Pack(bytes, arrival.packed); !s.ok()) return s;
  arrival.size = static_cast<int64_t>(bytes.size());
  arrival.receivedMs = NowMs();
  arrival.sender = sender;
  return store.Put(arrival, result.rows, result.put);
}

}  // namespace collector
