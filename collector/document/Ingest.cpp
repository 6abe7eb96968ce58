#include "collector/document/Ingest.h"

#include "collector/base/Clock.h"
#include "collector/base/Status.h"
#include "collector/document/Compression.h"
#include "collector/document/Digest.h"
#include "collector/document/DocumentReader.h"

namespace collector {
namespace {

// The first batch is read before the store is asked, outside its
// transaction and commit queue: a document that fits in one batch, as most
// do, is read beside other uploads instead of after them, and its refusal
// never reaches the store. Larger ones go on streaming inside the store.
class FirstBatchAhead : public RowSource {
 public:
  explicit FirstBatchAhead(DocumentReader& reader) : reader_(reader) {}

  Status Prime() { return Keep(reader_.Next(first_, firstIsAll_)); }

  // Rare (a batch transaction that failed): the first batch is read again.
  Status Rewind() override {
    if (ahead_) return {};
    ahead_ = true;
    if (auto s = Keep(reader_.Rewind()); !s.ok()) return s;
    return Prime();
  }

  Status Next(RowBatch& batch, bool& done) override {
    if (!ahead_) return Keep(reader_.Next(batch, done));
    ahead_ = false;
    done = firstIsAll_;
    batch = std::move(first_);
    return {};
  }

  const DocumentSummary& Summary() const override { return reader_.Summary(); }
  bool ReadAhead() const override { return firstIsAll_ && refusal_.ok(); }

  // Reads what the store did not, for the summary of a document already stored.
  Status ReadToEnd() {
    RowBatch batch;
    bool done = false;
    while (!done) {
      if (auto s = Next(batch, done); !s.ok()) return s;
    }
    return {};
  }

  const Status& Refusal() const { return refusal_; }

 private:
  Status Keep(Status s) {
    if (!s.ok()) refusal_ = s;
    return s;
  }

  DocumentReader& reader_;
  RowBatch first_;
  bool firstIsAll_ = false;
  bool ahead_ = true;  // Next hands over `first_`
  Status refusal_;
};

}  // namespace

Status Ingest(Store& store, std::string_view bytes, const std::string& sender, IngestResult& result,
              int64_t takenMs) {
  result = IngestResult{};
  DocumentReader reader(bytes);
  FirstBatchAhead rows(reader);
  if (auto s = rows.Prime(); !s.ok()) {
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
  arrival.takenMs = takenMs;
  Status s = store.Put(arrival, rows, result.put);
  if (s.ok() && !result.put.created) s = rows.ReadToEnd();
  if (!rows.Refusal().ok()) {
    result.put = PutResult{};
    return Invalid(rows.Refusal().message());
  }
  if (!s.ok()) return s;
  result.rows = rows.Summary();
  return {};
}

}  // namespace collector
