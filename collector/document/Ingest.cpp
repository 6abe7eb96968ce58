#include "collector/document/Ingest.h"

#include "collector/base/Clock.h"
#include "collector/base/Status.h"
#include "collector/document/Compression.h"
#include "collector/document/Digest.h"
#include "collector/document/DocumentReader.h"

namespace collector {

// The first batch is read before the store is asked, outside its
// transaction and commit queue: a document that fits in one batch, as most
// do, is read beside other uploads instead of after them, and its refusal
// never reaches the store. Larger ones go on streaming inside the store.
class PreparedIngest::FirstBatchAhead : public RowSource {
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

PreparedIngest::PreparedIngest(std::string_view bytes) : bytes_(bytes) {}

PreparedIngest::~PreparedIngest() = default;

Status PreparedIngest::Prepare(const std::string& sender, int64_t takenMs) {
  reader_ = std::make_unique<DocumentReader>(bytes_);
  rows_ = std::make_unique<FirstBatchAhead>(*reader_);
  if (auto s = rows_->Prime(); !s.ok()) {
    // What the document holds refuses it; the reader failing to start does not.
    const bool refused = s.code() == StatusCode::kInvalid || s.code() == StatusCode::kTooLarge;
    return refused ? Invalid(s.message()) : s;
  }
  arrival_.sha256 = Hex(Sha256(bytes_));
  if (auto s = Pack(bytes_, arrival_.packed); !s.ok()) return s;
  arrival_.size = static_cast<int64_t>(bytes_.size());
  arrival_.receivedMs = NowMs();
  arrival_.sender = sender;
  arrival_.takenMs = takenMs;
  item_ = PutItem{&arrival_, rows_.get(), &put_, {}};
  return {};
}

Status PreparedIngest::Finish(IngestResult& result) {
  result = IngestResult{};
  Status s = item_.status;
  if (s.ok() && !put_.created) s = rows_->ReadToEnd();
  if (!rows_->Refusal().ok()) return Invalid(rows_->Refusal().message());
  result.put = put_;
  if (!s.ok()) return s;
  result.rows = rows_->Summary();
  return {};
}

Status Ingest(Store& store, std::string_view bytes, const std::string& sender, IngestResult& result,
              int64_t takenMs) {
  result = IngestResult{};
  PreparedIngest ingest(bytes);
  if (auto s = ingest.Prepare(sender, takenMs); !s.ok()) return s;
  PutItem& item = ingest.Item();
  item.status = store.Put(*item.arrival, *item.rows, *item.result);
  return ingest.Finish(result);
}

}  // namespace collector
