// A Store held in a vector, for tests of what reads a store: the test adds
// documents with their rows, and may make every call fail.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "collector/store/Store.h"

namespace collector {

// What a page reads of one document.
struct MemoryDocument {
  DocumentKind kind = DocumentKind::kAnalytics;
  ParseState state = ParseState::kParsed;
  std::string message, machine;
  std::vector<EventRow> events;
  MachineFacts facts;  // disks included
};

class MemoryStore : public Store {
 public:
  // A document received at `receivedMs`, numbered 1, 2, ... in the order added.
  int64_t Add(int64_t receivedMs, MemoryDocument rows);
  // Every call from now on answers `failure`; an empty Status ends that.
  void FailWith(Status failure) { failure_ = std::move(failure); }

  Status Put(const Arrival& arrival, RowSource& rows, PutResult& result) override;
  Status ListDocuments(const Filter& filter, std::vector<DocumentInfo>& out) override;
  Status PackedBody(int64_t id, std::string& packed, bool& found) override;
  Status SummarizeEvents(const Filter& filter, std::vector<EventSummary>& out) override;
  Status Machines(std::vector<MachineInfo>& out) override;
  Status Machine(const std::string& name, std::optional<MachineInfo>& out) override;
  Status MachineNames(std::vector<std::string>& out) override;
  Status DocumentsPerDay(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& out) override;
  Status EventTimes(const Filter& filter, std::vector<EventTime>& out) override;
  Status DiskHistory(const Filter& filter, std::vector<DiskSample>& out) override;
  Status Health(int64_t& schema) override;
  std::string Backend() const override { return "memory"; }

 private:
  struct Stored {
    DocumentInfo info;
    MemoryDocument rows;
    std::string packed;
  };
  // The documents `filter` selects by time and machine, oldest first.
  std::vector<const Stored*> Select(const Filter& filter) const;

  std::vector<Stored> documents_;  // in id order
  Status failure_;
};

}  // namespace collector
