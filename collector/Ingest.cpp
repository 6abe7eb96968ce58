#include "collector/Ingest.h"

#include <chrono>

#include "collector/Digest.h"
#include "collector/DocumentReader.h"
#include "collector/Failure.h"
#include "collector/Gzip.h"

namespace collector {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

qtl::status Ingest(Store& store, std::string_view bytes, const std::string& sender, IngestResult& result) {
  result = IngestResult{};
  if (auto s = ReadDocument(bytes, result.rows); !s.ok()) {
    result.refused = true;
    result.refusal = MessageOf(s);
    return {};
  }
  Arrival arrival;
  arrival.sha256 = Hex(Sha256(bytes));
  arrival.packed = Pack(bytes);
  arrival.size = static_cast<int64_t>(bytes.size());
  arrival.receivedMs = NowMs();
  arrival.sender = sender;
  return store.Put(arrival, result.rows, result.put);
}

}  // namespace collector
