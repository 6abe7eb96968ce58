// A Store whose answers the test sets: pages are tested against what a store
// answers, not against a second copy of its queries. Lists are answered as
// set, filtered only by what makes a page's question (a machine, an event).
#pragma once
#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "collector/store/Store.h"

namespace collector {

struct MemoryStore : Store {
  std::vector<DocumentInfo> documents;  // newest first
  std::vector<EventSummary> events;
  std::vector<MachineInfo> machines;    // in name order
  std::vector<std::pair<int64_t, int64_t>> perDay;
  std::vector<EventTime> times;
  std::vector<DiskSample> disks;
  std::map<int64_t, std::string> packed;
  std::map<std::string, SessionRecord> sessions;  // by digest
  std::vector<ProductCount> products;
  std::vector<std::pair<std::string, std::string>> installs;  // version, machine
  std::vector<std::pair<int64_t, int64_t>> elapsed;
  std::vector<std::pair<int64_t, int64_t>> perHour;
  Breakdown breakdown;
  std::vector<std::string> dataPoints;  // seen with any event
  std::vector<PropertySummary> properties;
  PropertyHistory history;
  std::vector<Filter> filters;  // the document lists asked for, as given
  std::string next;               // the cursor every page answers
  std::vector<MachineQuery> asked;  // the machine queries, as given
  Status failure;  // every call answers it while it is set

  Status Put(const Arrival&, RowSource&, PutResult&) override { return Failure("a memory store takes no documents"); }
  Status ListDocuments(const Filter& filter, std::vector<DocumentInfo>& out) override {
    filters.push_back(filter);
    Answer(documents, out, [&](const DocumentInfo& d) {
      return Has(filter.machine, d.machine) && Has(filter.kind, d.kind);
    });
    if (out.size() > static_cast<size_t>(filter.limit)) out.resize(filter.limit);
    return failure;
  }
  Status Document(int64_t id, std::optional<DocumentInfo>& out) override {
    out.reset();
    for (const DocumentInfo& d : documents) {
      if (d.id == id) out = d;
    }
    return failure;
  }
  // `documents` is newest first: the one before is further down the list.
  Status Neighbours(const DocumentInfo& of, const std::string& kind, std::optional<int64_t>& before,
                    std::optional<int64_t>& after) override {
    before.reset();
    after.reset();
    auto self = std::find_if(documents.begin(), documents.end(), [&](const DocumentInfo& d) { return d.id == of.id; });
    auto mine = [&](const DocumentInfo& d) { return d.machine == of.machine && Has(kind, d.kind); };
    if (self == documents.end()) return failure;
    if (auto it = std::find_if(self + 1, documents.end(), mine); it != documents.end()) before = it->id;
    for (auto it = documents.begin(); it != self; ++it) {
      if (mine(*it)) after = it->id;
    }
    return failure;
  }
  Status PackedBody(int64_t id, std::string& body, bool& found) override {
    found = packed.count(id) > 0;
    if (found) body = packed[id];
    return failure;
  }
  Status SummarizeEvents(const Filter& filter, std::vector<EventSummary>& out) override {
    return Answer(events, out, [&](const EventSummary& e) { return Has(filter.name, e.name); });
  }
  Status Machines(std::vector<MachineInfo>& out) override { return Answer(machines, out); }
  Status Machine(const std::string& name, std::optional<MachineInfo>& out) override {
    auto it = std::find_if(machines.begin(), machines.end(), [&](const MachineInfo& m) { return m.name == name; });
    if (it != machines.end()) out = *it;
    return failure;
  }
  Status MachineNames(std::vector<std::string>& out) override {
    for (const MachineInfo& m : machines) out.push_back(m.name);
    return failure;
  }
  Status DocumentsPerDay(const Filter&, std::vector<std::pair<int64_t, int64_t>>& out) override {
    return Answer(perDay, out);
  }
  Status EventTimes(const Filter&, std::vector<EventTime>& out) override { return Answer(times, out); }
  Status DiskHistory(const Filter&, std::vector<DiskSample>& out) override { return Answer(disks, out); }
  Status RemoveDocuments(const Selection&, Removed&) override { return Failure("a memory store removes nothing"); }
  Status Reclaim(bool) override { return failure; }
  Status CreateSession(const std::string& digest, const SessionRecord& session, int64_t) override {
    sessions[digest] = session;
    return failure;
  }
  Status FindSession(const std::string& digest, int64_t nowMs, int64_t,
                     std::optional<SessionRecord>& out) override {
    auto found = sessions.find(digest);
    if (found != sessions.end() && found->second.expiresMs > nowMs) out = found->second;
    return failure;
  }
  Status EndSession(const std::string& digest) override { return sessions.erase(digest), failure; }
  Status FindMachines(const MachineQuery& query, MachinePage& out) override {
    asked.push_back(query);
    out.next = next;
    return Answer(machines, out.machines, [&](const MachineInfo& m) {
      return query.os.empty() || query.os == m.facts.osCaption;
    });
  }
  Status Products(const ProductQuery&, ProductPage& out) override {
    out.next = next;
    return Answer(products, out.products);
  }
  Status ProductMachines(const std::string& name, const std::string&, int64_t, ProductMachinesPage& out) override {
    for (const ProductCount& p : products) {
      if (p.name == name) out.product = p;
    }
    if (out.product) out.machines = installs;
    out.next = next;
    return failure;
  }
  Status RebuildInventory(const std::string&) override { return failure; }
  Status EventHistogram(const Filter&, std::vector<std::pair<int64_t, int64_t>>& days,
                        std::vector<std::pair<int64_t, int64_t>>& buckets) override {
    Answer(perDay, days);
    return Answer(elapsed, buckets);
  }
  Status BreakDownEvent(const Filter&, const std::string&, int64_t bucketMs, Breakdown& out) override {
    out = breakdown;
    out.bucketMs = bucketMs;
    return failure;
  }
  Status EventDataPoints(const Filter&, std::vector<std::string>& out) override { return Answer(dataPoints, out); }
  Status Properties(const Filter&, size_t, std::vector<PropertySummary>& out) override {
    return Answer(properties, out);
  }
  Status PropertyOverTime(const Filter&, const std::string&, PropertyHistory& out) override {
    out = history;
    return failure;
  }
  Status EventsPerHour(const Filter&, std::vector<std::pair<int64_t, int64_t>>& out) override {
    return Answer(perHour, out);
  }
  Status DocumentsPerHour(const Filter&, std::vector<std::pair<int64_t, int64_t>>& out) override {
    return Answer(perHour, out);
  }
  Status Health(int64_t& schema) override { return schema = 1, failure; }
  std::string Backend() const override { return "memory"; }

 private:
  static bool Has(const std::string& wanted, const std::string& value) { return wanted.empty() || wanted == value; }
  template <class Row, class Keep = bool (*)(const Row&)>
  Status Answer(const std::vector<Row>& rows, std::vector<Row>& out, Keep keep = [](const Row&) { return true; }) {
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(out), keep);
    return failure;
  }
};

}  // namespace collector
