#include "testing/MemoryStore.h"

#include <algorithm>
#include <map>
#include <set>

namespace collector {
namespace {

// Nearest rank, as the SQL store computes it.
int64_t Percentile(const std::vector<int64_t>& sorted, int percent) {
  const size_t rank = (sorted.size() * percent + 99) / 100;
  return sorted[rank == 0 ? 0 : rank - 1];
}

}  // namespace

int64_t MemoryStore::Add(int64_t receivedMs, MemoryDocument rows) {
  const int64_t id = static_cast<int64_t>(documents_.size()) + 1;
  DocumentInfo info{id, receivedMs, "test", rows.machine, KindName(rows.kind), {}, StateName(rows.state),
                    rows.message, 0};
  documents_.push_back({std::move(info), std::move(rows), {}});
  return id;
}

Status MemoryStore::Put(const Arrival& arrival, RowSource& source, PutResult& result) {
  if (!failure_.ok()) return failure_;
  for (const Stored& d : documents_) {
    if (d.info.sha256 == arrival.sha256) {
      result = {d.info.id, false};
      return {};
    }
  }
  MemoryDocument rows;
  RowBatch batch;
  for (bool done = false; !done;) {
    if (auto s = source.Next(batch, done); !s.ok()) return s;
    rows.events.insert(rows.events.end(), batch.events.begin(), batch.events.end());
    rows.facts.disks.insert(rows.facts.disks.end(), batch.disks.begin(), batch.disks.end());
  }
  const DocumentSummary& summary = source.Summary();
  rows.kind = summary.kind;
  rows.state = summary.state;
  rows.message = summary.message;
  rows.machine = summary.machine;
  std::vector<DiskRow> disks = std::move(rows.facts.disks);
  rows.facts = summary.facts;
  rows.facts.disks = std::move(disks);
  result = {Add(arrival.receivedMs, std::move(rows)), true};
  Stored& stored = documents_.back();
  stored.info.sender = arrival.sender;
  stored.info.sha256 = arrival.sha256;
  stored.info.size = arrival.size;
  stored.packed = arrival.packed;
  return {};
}

std::vector<const MemoryStore::Stored*> MemoryStore::Select(const Filter& filter) const {
  std::vector<const Stored*> out;
  for (const Stored& d : documents_) {
    const int64_t at = d.info.receivedMs;
    if ((filter.sinceMs && at < *filter.sinceMs) || (filter.untilMs && at >= *filter.untilMs)) continue;
    if (filter.machine.empty() || d.info.machine == filter.machine) out.push_back(&d);
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Stored* a, const Stored* b) { return a->info.receivedMs < b->info.receivedMs; });
  return out;
}

Status MemoryStore::ListDocuments(const Filter& filter, std::vector<DocumentInfo>& out) {
  if (!failure_.ok()) return failure_;
  const std::vector<const Stored*> selected = Select(filter);
  for (auto it = selected.rbegin(); it != selected.rend() && static_cast<int64_t>(out.size()) < filter.limit; ++it) {
    out.push_back((*it)->info);
  }
  return {};
}

Status MemoryStore::PackedBody(int64_t id, std::string& packed, bool& found) {
  found = false;
  if (!failure_.ok()) return failure_;
  if (id < 1 || id > static_cast<int64_t>(documents_.size())) return {};
  packed = documents_[id - 1].packed;
  found = true;
  return {};
}

Status MemoryStore::SummarizeEvents(const Filter& filter, std::vector<EventSummary>& out) {
  if (!failure_.ok()) return failure_;
  struct Tally {
    EventSummary summary;
    std::set<int64_t> documents;
    std::set<std::string> machines;
    std::vector<int64_t> elapsed;
  };
  std::map<std::string, Tally> byName;
  for (const Stored* d : Select(filter)) {
    for (const EventRow& e : d->rows.events) {
      if (!filter.name.empty() && e.name != filter.name) continue;
      Tally& t = byName[e.name];
      ++t.summary.count;
      t.summary.valueSum += e.value.value_or(0);
      t.documents.insert(d->info.id);
      if (!d->info.machine.empty()) t.machines.insert(d->info.machine);
      if (e.elapsedMs) t.elapsed.push_back(*e.elapsedMs);
    }
  }
  for (auto& [name, t] : byName) {
    EventSummary& s = t.summary;
    s.name = name;
    s.documents = static_cast<int64_t>(t.documents.size());
    s.machines = static_cast<int64_t>(t.machines.size());
    if (!t.elapsed.empty()) {
      std::sort(t.elapsed.begin(), t.elapsed.end());
      s.p50 = Percentile(t.elapsed, 50);
      s.p90 = Percentile(t.elapsed, 90);
      s.p99 = Percentile(t.elapsed, 99);
    }
    out.push_back(s);
  }
  return {};
}

Status MemoryStore::Machines(std::vector<MachineInfo>& out) {
  if (!failure_.ok()) return failure_;
  std::map<std::string, MachineInfo> byName;
  for (const Stored& d : documents_) {
    if (d.info.machine.empty()) continue;
    MachineInfo& m = byName[d.info.machine];
    m.name = d.info.machine;
    ++m.documents;
    m.lastReceivedMs = m.documents == 1 ? d.info.receivedMs : std::max(m.lastReceivedMs, d.info.receivedMs);
    if (!d.rows.facts.Empty()) m.facts = d.rows.facts;  // a later id is a newer document
  }
  for (auto& [name, m] : byName) out.push_back(std::move(m));
  return {};
}

Status MemoryStore::Machine(const std::string& name, std::optional<MachineInfo>& out) {
  out.reset();
  std::vector<MachineInfo> all;
  const Status s = Machines(all);
  for (MachineInfo& m : all) {
    if (m.name == name) out = std::move(m);
  }
  return s;
}

Status MemoryStore::MachineNames(std::vector<std::string>& out) {
  std::vector<MachineInfo> all;
  const Status s = Machines(all);
  for (const MachineInfo& m : all) out.push_back(m.name);
  return s;
}

Status MemoryStore::DocumentsPerDay(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& out) {
  if (!failure_.ok()) return failure_;
  std::map<int64_t, int64_t> perDay;
  for (const Stored* d : Select(filter)) ++perDay[d->info.receivedMs / 86400000];
  out.assign(perDay.begin(), perDay.end());
  return {};
}

Status MemoryStore::EventTimes(const Filter& filter, std::vector<EventTime>& out) {
  if (!failure_.ok()) return failure_;
  for (const Stored* d : Select(filter)) {
    for (const EventRow& e : d->rows.events) {
      if (static_cast<int64_t>(out.size()) >= filter.limit) return {};
      if (filter.name.empty() || e.name == filter.name) out.push_back({d->info.receivedMs, e.elapsedMs});
    }
  }
  return {};
}

Status MemoryStore::DiskHistory(const Filter& filter, std::vector<DiskSample>& out) {
  if (!failure_.ok()) return failure_;
  for (const Stored* d : Select(filter)) {
    for (const DiskRow& disk : d->rows.facts.disks) {
      if (static_cast<int64_t>(out.size()) >= filter.limit) return {};
      out.push_back({d->info.id, d->info.receivedMs, disk});
    }
  }
  return {};
}

Status MemoryStore::Health(int64_t& schema) {
  schema = 1;
  return failure_;
}

}  // namespace collector
