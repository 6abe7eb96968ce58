// What the document reader finds in one document: the rows a store keeps
// beside the raw bytes, handed over a bounded batch at a time, and what only
// the whole document tells.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "collector/base/Status.h"

namespace collector {

struct EventRow {
  std::string name;
  std::optional<int64_t> value;        // absent when the event carries none
  std::optional<int64_t> eventTimeMs;  // since the service started
  std::optional<int64_t> elapsedMs;
};

// One element of a client's group that holds data points, itself or below.
// A document's groups are numbered from 0 in document order, so a parent
// always comes before its children.
struct GroupRow {
  std::optional<int64_t> parent;  // none at the top
  std::string name;
};

// One attribute of a client's group element.
struct DataPointRow {
  int64_t group = 0;
  std::string name;
  std::string value;
};

struct DiskRow {
  std::string drive;
  std::optional<int64_t> freeBytes;
  std::optional<int64_t> availableBytes;
};

// One installed product of a report's products block.
struct ProductRow {
  std::string name, version, publisher, folder;
};

// One network adapter of a report's networking block.
struct AdapterRow {
  std::string description;
  std::string hardwareAddress;  // as the report writes it: "00-1a-2b-3c-4d-5e"
  std::vector<std::string> ipv4;
};

// The machine as its system and disk blocks describe it; any part may be missing.
struct MachineFacts {
  std::string osCaption;
  std::string osVersion;
  std::string processor;
  std::optional<int64_t> logicalProcessors;
  std::optional<int64_t> ramBytes;
  std::vector<DiskRow> disks;
  bool Empty() const {
    return osCaption.empty() && osVersion.empty() && processor.empty() && !logicalProcessors && !ramBytes &&
           disks.empty();
  }
};

enum class DocumentKind { kReport, kAnalytics };
enum class ParseState { kParsed, kUnparsed };

// Consecutive rows of one document. Each kind is numbered on from the batch
// before: the first group here is number `firstGroup`, and so on.
struct RowBatch {
  std::vector<GroupRow> groups;
  std::vector<DataPointRow> dataPoints;
  std::vector<EventRow> events;
  std::vector<DiskRow> disks;
  std::vector<ProductRow> products;
  std::vector<AdapterRow> adapters;
  int64_t firstGroup = 0, firstDataPoint = 0, firstEvent = 0, firstDisk = 0, firstProduct = 0, firstAdapter = 0;
  size_t Rows() const {
    return groups.size() + dataPoints.size() + events.size() + disks.size() + products.size() + adapters.size();
  }
};

// What is known once the whole document is read.
struct DocumentSummary {
  DocumentKind kind = DocumentKind::kAnalytics;
  ParseState state = ParseState::kParsed;
  std::string message;  // the parser's complaint when unparsed
  std::string machine;  // the computer's name, empty when the document does not say
  MachineFacts facts;   // without the disks, which are rows
  int64_t events = 0;   // event rows
  int64_t disks = 0;    // disk rows
  int64_t products = 0, adapters = 0;
  int64_t groups = 0;   // client group elements, with or without data points
  int64_t blocks = 0;   // report block elements
  bool HasFacts() const { return !facts.Empty() || disks > 0; }
};

// Where a store pulls the rows of one document from, a batch at a time.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // Back to the first row, for a transaction that is tried again.
  virtual Status Rewind() = 0;
  // The next rows in place of those in `batch`; `done` once the document is
  // read whole. A failure refuses the document: none of its rows may be kept.
  virtual Status Next(RowBatch& batch, bool& done) = 0;
  // Whole once Next said done. An unparsed document keeps none of its rows.
  virtual const DocumentSummary& Summary() const = 0;
  // True when the document was read to its end before any row is pulled:
  // then Summary is whole already, and Next hands over every row at once.
  virtual bool ReadAhead() const { return false; }
};

const char* KindName(DocumentKind kind);
const char* StateName(ParseState state);

}  // namespace collector
