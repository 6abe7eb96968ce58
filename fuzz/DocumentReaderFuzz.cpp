// The collector's untrusted input: a body that may be gzip-compressed and
// then read as a document. The first byte picks the path; the rest is fed
// in pieces whose sizes come from the input too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "collector/document/DocumentReader.h"
#include "collector/document/Compression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool compressed = data[0] & 1;
  const size_t piece = 1 + (data[0] >> 1);
  std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string document;
  if (compressed) {
    collector::GzipDecoder decoder(1 << 20);
    for (size_t at = 0; at < body.size(); at += piece) {
      if (!decoder.Feed(body.substr(at, piece), document).ok()) return 0;
    }
    if (!decoder.Finished()) return 0;
  } else {
    document.assign(body);
  }
  // Small batches, so that batch edges fall everywhere.
  collector::DocumentReader::Limits limits;
  limits.batchRows = 1 + data[0] % 8;
  collector::DocumentReader reader(document, limits);
  collector::RowBatch batch;
  bool done = false;
  for (size_t i = 0; i <= document.size() && !done; ++i) {
    if (!reader.Next(batch, done).ok()) break;
  }
  return 0;
}
