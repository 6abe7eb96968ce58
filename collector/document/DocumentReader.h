// Reads a report or analytics document as a stream of nodes (never a whole
// tree) and hands over the rows a store keeps a bounded batch at a time:
// events, the client's groups and data points, the disks; the machine facts
// and the document's kind come with the summary at the end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "collector/document/DocumentRows.h"
#include "collector/base/Status.h"

namespace collector {

// Elements nested deeper than this below the root refuse the document.
constexpr int kMaxDocumentDepth = 64;
// Elements with more attributes than this refuse the document: far past any
// real document, and the parser's time grows much faster than their number.
constexpr size_t kMaxAttributesPerElement = 1024;
// A start tag, its attribute values included, may not be longer than this in
// a document whose bytes do not read as ASCII (UTF-16, say), nor on a page:
// there the parser's time grows with the square of one tag's length past it.
// In other documents tags and text may be as long as the document.
constexpr size_t kMaxStartTagBytes = size_t{8} << 20;
// Why a document with a document type declaration is refused.
constexpr const char* kNoDocumentType = "a document type declaration is not accepted";

// What the rows of one document may take: a few times its own size, so no
// document multiplies into much more than itself in memory or in a store.
struct RowBudget {
  static constexpr int64_t kBytesPerDocumentByte = 4;
  static constexpr int64_t kSpareBytes = 1 << 20;
  int64_t rows = 0;   // groups, data points, events and disks
  int64_t bytes = 0;  // of their texts as stored: a group's name once, not per data point
  static RowBudget For(size_t documentBytes) {
    const auto size = static_cast<int64_t>(documentBytes);
    return {size / 4 + 1024, kBytesPerDocumentByte * size + kSpareBytes};
  }
};

// Why a document is refused before it is parsed, or nothing when it may be.
std::optional<std::string> PrescanRefusal(std::string_view xml, size_t longestStartTag = kMaxStartTagBytes);

// A document that is not well formed, or whose root is not a report, is not
// an error: its summary says unparsed, with the parser's message, and its
// batches hold no rows (those handed over before the parser found the fault
// must be dropped). A failing Next refuses the document outright (a document
// type declaration, which could define entities, nesting past `maxDepth`, rows
// past the budget); then nothing of it may be kept. The text must be under
// 2 GiB and outlive the reader.
class DocumentReader : public RowSource {
 public:
  struct Limits {
    // A batch ends once it holds this many rows or this much text, at the
    // end of a piece of the parser's input; one element's rows (its
    // attributes, the groups above it) are never split.
    size_t batchRows = 1000;
    size_t batchBytes = 1 << 20;
    int maxDepth = kMaxDocumentDepth;
    std::optional<RowBudget> budget;  // RowBudget::For the document's size when none
  };

  explicit DocumentReader(std::string_view xml) : DocumentReader(xml, Limits()) {}
  DocumentReader(std::string_view xml, Limits limits);
  ~DocumentReader() override;

  Status Rewind() override;
  Status Next(RowBatch& batch, bool& done) override;
  const DocumentSummary& Summary() const override { return summary_; }

 private:
  class Walker;
  struct Pass;
  Status Begin();
  Status Step(RowBatch& batch, bool& done);
  void Finish(RowBatch& batch);

  std::string_view xml_;
  Limits limits_;
  std::optional<Status> prescan_;  // the passes over the raw bytes, made once
  std::unique_ptr<Pass> pass_;     // the read under way; none before the first batch
  Status refusal_;
  bool done_ = false;
  DocumentSummary summary_;
};

// "%dd %d:%02d:%02d.%03d" back to milliseconds; empty for any other text.
std::optional<int64_t> ParseElapsed(std::string_view text);

}  // namespace collector
