// Where documents and their rows are kept: one interface, one implementation
// per database (SqlStore over SQLite or PostgreSQL), one contract test suite.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "collector/document/DocumentRows.h"
#include "collector/store/AnalyticsRows.h"
#include "collector/base/Status.h"

namespace collector {

// One document as it arrives: the bytes exactly as sent, decompressed.
struct Arrival {
  std::string sha256;      // hex of the bytes' digest, the dedupe key
  std::string packed;      // the bytes in the store's compressed form
  int64_t size = 0;        // of the bytes
  int64_t receivedMs = 0;  // Unix time in milliseconds
  std::string sender;      // the sender's address, or "import:" and a path
  // When the document was made, when something tells (an imported file's
  // modification time); 0 when only its arrival does. A machine's newest
  // report is the one made last.
  int64_t takenMs = 0;
};

struct PutResult {
  int64_t id = 0;
  bool created = false;  // false: the same bytes were already stored under id
};

struct DocumentInfo {
  int64_t id = 0;
  int64_t receivedMs = 0;
  std::string sender, machine, kind, sha256, state, message;
  int64_t size = 0;
};

// Filters of the list and summary queries; an empty field filters nothing.
struct Filter {
  std::optional<int64_t> sinceMs, untilMs;  // received at or after / before
  std::string machine;
  std::string kind;  // "report" or "analytics", documents only
  std::string name;  // event name; documents: those with such an event
  int64_t limit = 100;
  // Documents only: those listed after this one, newest first (a page's
  // last row: its received time and id).
  std::optional<std::pair<int64_t, int64_t>> after;
};

struct EventSummary {
  std::string name;
  int64_t count = 0, documents = 0, machines = 0;
  int64_t valueSum = 0;
  std::optional<int64_t> p50, p90, p99;  // elapsed, ms; absent without elapsed times
};

struct MachineInfo {
  std::string name;
  int64_t documents = 0;
  int64_t lastReceivedMs = 0;
  MachineFacts facts;  // from the newest document that carries any
};

// Which machines, in what order, from where: GET /v1/machines and /machines.
struct MachineQuery {
  enum class Sort { kName, kLastSeen, kOs, kRam, kDocuments };
  std::string text;              // part of a name (any case), an IPv4 or a hardware address
  std::string os;                // the OS caption, exactly
  std::string product, version;  // a product by its exact name, and optionally its version
  Sort sort = Sort::kName;
  bool descending = false;
  std::string after;      // the `next` of the page before; empty for the first
  bool backward = false;  // the page that ends before `after` (a `previous`) instead
  int64_t limit = 100;
};

struct MachinePage {
  std::vector<MachineInfo> machines;
  std::string next;      // empty when nothing follows
  std::string previous;  // empty when nothing comes before
};

struct VersionCount {
  std::string version;
  int64_t machines = 0;
};

// One product over the fleet: on how many machines, per version.
struct ProductCount {
  std::string name;
  int64_t machines = 0;
  std::vector<VersionCount> versions;  // most installed first
};

struct ProductQuery {
  std::string text;  // part of the name, any case
  std::string after;
  int64_t limit = 100;
};

struct ProductPage {
  std::vector<ProductCount> products;  // most installed first
  std::string next;
};

// The machines that have one product, by version then name.
struct ProductMachinesPage {
  std::optional<ProductCount> product;  // none when no machine has it
  std::vector<std::pair<std::string, std::string>> machines;  // version, machine
  std::string next;
};

// One event's elapsed time (absent when it has none) and when its document arrived.
struct EventTime {
  int64_t receivedMs = 0;
  std::optional<int64_t> elapsedMs;
};

// One disk of one document that carries a disk block.
struct DiskSample {
  int64_t documentId = 0, receivedMs = 0;
  DiskRow disk;
};

// One document of Store::PutEach, and what storing it gave.
struct PutItem {
  const Arrival* arrival = nullptr;
  RowSource* rows = nullptr;
  PutResult* result = nullptr;
  Status status;
};

// Which documents a removal takes: every condition set must hold. At least
// one of id, machine and beforeMs must be set.
struct Selection {
  std::optional<int64_t> id;
  std::optional<std::string> machine;
  std::optional<int64_t> beforeMs;  // received before
  int64_t limit = 1000;             // at most this many documents, oldest first
};

// The rows a removal took, per table.
struct Removed {
  int64_t documents = 0, events = 0, groups = 0, dataPoints = 0, machineFacts = 0, disks = 0;
  Removed& operator+=(const Removed& more);
};

// A person signed in from a browser, known by a digest of the cookie's id.
struct SessionRecord {
  std::string name;    // the token's name, for the log
  unsigned scopes = 0; // the token's scopes when it was given
  int64_t expiresMs = 0;
};

class Store {
 public:
  virtual ~Store() = default;
  // Stores the document and its rows in one transaction, pulling the rows
  // a batch at a time (and from the start again when the transaction is
  // tried again); when the same bytes are already stored, reads no rows,
  // changes nothing and returns their id. When `rows` fails, nothing of the
  // document is stored and Put returns that failure. Returns only once the
  // transaction is durable. Safe from any thread, and across processes
  // sharing one database.
  virtual Status Put(const Arrival& arrival, RowSource& rows, PutResult& result) = 0;
  // Put for each item, in their order (which ids follow), in as few
  // transactions as the store allows; returns once every one is durable.
  // One item that fails leaves the others stored. For `import`.
  virtual void PutEach(std::vector<PutItem>& items) {
    for (PutItem& item : items) item.status = Put(*item.arrival, *item.rows, *item.result);
  }
  // Newest first.
  virtual Status ListDocuments(const Filter& filter, std::vector<DocumentInfo>& out) = 0;
  // The document `id` as ListDocuments describes it; none when there is no such document.
  virtual Status Document(int64_t id, std::optional<DocumentInfo>& out) = 0;
  // The ids of the documents of `of.machine` received just before and just
  // after `of` (equal times in id order), only of `kind` unless it is empty;
  // none where there is no such document.
  virtual Status Neighbours(const DocumentInfo& of, const std::string& kind, std::optional<int64_t>& before,
                            std::optional<int64_t>& after) = 0;
  // The packed body; false in `found` when there is no such document.
  virtual Status PackedBody(int64_t id, std::string& packed, bool& found) = 0;
  // Per event name, in name order.
  virtual Status SummarizeEvents(const Filter& filter, std::vector<EventSummary>& out) = 0;
  // Per machine name, in byte order of the names; a fixed number of queries
  // however many machines there are.
  virtual Status Machines(std::vector<MachineInfo>& out) = 0;
  // The machine named `name` as Machines() describes it; none when no
  // document names it.
  virtual Status Machine(const std::string& name, std::optional<MachineInfo>& out) = 0;
  // The names Machines() answers with, in the same order.
  virtual Status MachineNames(std::vector<std::string>& out) = 0;
  // Documents received per UTC day (days since 1970), in day order; days without any are left out.
  virtual Status DocumentsPerDay(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& out) = 0;
  // The events named `filter.name`, oldest document first, at most `filter.limit`.
  virtual Status EventTimes(const Filter& filter, std::vector<EventTime>& out) = 0;
  // The disks of `filter.machine`'s documents, oldest first, at most `filter.limit`.
  virtual Status DiskHistory(const Filter& filter, std::vector<DiskSample>& out) = 0;
  // Removes the selected documents and every row that belongs to them, in
  // one transaction; `removed` counts what went.
  virtual Status RemoveDocuments(const Selection& selection, Removed& removed) = 0;
  // Gives space freed by removals back to the file system where the database
  // can do so without rewriting itself (SQLite's incremental vacuum). With
  // `rewrite`, a SQLite store made without that mode is rewritten once into it.
  virtual Status Reclaim(bool rewrite) = 0;
  // Keeps a session under `digest`, and drops every session expired at `nowMs`.
  virtual Status CreateSession(const std::string& digest, const SessionRecord& session, int64_t nowMs) = 0;
  // The session under `digest` unless it expired at `nowMs`; a session found
  // is kept until `nowMs + idleMs` (written at most once a minute).
  virtual Status FindSession(const std::string& digest, int64_t nowMs, int64_t idleMs,
                             std::optional<SessionRecord>& out) = 0;
  virtual Status EndSession(const std::string& digest) = 0;
  // The fleet's machines as their newest documents describe them: a fixed
  // number of queries per page, whatever the fleet's size. Invalid for a
  // cursor the store did not make.
  virtual Status FindMachines(const MachineQuery& query, MachinePage& out) = 0;
  virtual Status Products(const ProductQuery& query, ProductPage& out) = 0;
  virtual Status ProductMachines(const std::string& name, const std::string& after, int64_t limit,
                                 ProductMachinesPage& out) = 0;
  // Takes `machine`'s counts, facts and inventory again from the documents
  // it has left (none left: the machine is gone); for after documents are deleted.
  virtual Status RebuildInventory(const std::string& machine) = 0;
  // Events of `filter.name` per UTC day, and their elapsed times as counts
  // per bucket (named by its smallest value, see Schema.h), both in order.
  virtual Status EventHistogram(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& perDay,
                                std::vector<std::pair<int64_t, int64_t>>& elapsed) = 0;
  // `filter.name` broken down by the data point `path` ("group/sub/name")
  // of the same documents, over the UTC days the window touches, from
  // rollups kept at ingest; the series counts events per `bucketMs` (an
  // hour or a day). Invalid with a machine: the rollups cover every one.
  virtual Status BreakDownEvent(const Filter& filter, const std::string& path, int64_t bucketMs,
                                Breakdown& out) = 0;
  // The data points seen with `filter.name` over the days the window
  // touches, in byte order, at most `filter.limit`.
  virtual Status EventDataPoints(const Filter& filter, std::vector<std::string>& out) = 0;
  // Every data point over the days the window touches, with its `top` most
  // common values, in byte order of the paths.
  virtual Status Properties(const Filter& filter, size_t top, std::vector<PropertySummary>& out) = 0;
  // One data point's documents per value per UTC day.
  virtual Status PropertyOverTime(const Filter& filter, const std::string& path, PropertyHistory& out) = 0;
  // Per UTC hour (hours since 1970), in order, hours without any left out:
  // events of `filter.name`, and documents received.
  virtual Status EventsPerHour(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& out) = 0;
  virtual Status DocumentsPerHour(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& out) = 0;
  // Ok when the database answers; `schema` is the applied schema version.
  virtual Status Health(int64_t& schema) = 0;
  // What is derived from the stored documents in the background brought up
  // to date with them now.
  virtual Status CatchUp() { return {}; }
  virtual std::string Backend() const = 0;
};

// "sqlite:PATH" or a libpq URI ("postgresql://..." or "postgres://...").
// Opens the database and brings its schema up to date.
Status OpenStore(const std::string& url, std::unique_ptr<Store>& store);

}  // namespace collector
