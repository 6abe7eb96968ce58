#include "collector/store/SqlStore.h"

#include <algorithm>
#include <map>

#include "collector/base/ScopeExit.h"
#include "collector/base/WholeNumber.h"
#include "collector/store/Schema.h"
#include "collector/store/SqlRollups.h"

namespace collector {

std::optional<int64_t> AsInt(const std::optional<std::string>& column) {
  return column ? ParseWholeNumber(*column) : std::nullopt;
}

namespace {

std::string Str(const std::optional<std::string>& column) { return column.value_or(std::string()); }

// " WHERE ..." for the document filters, with their parameters appended.
std::string DocumentWhere(const Filter& filter, const std::string& prefix, std::vector<SqlValue>& params) {
  std::vector<std::string> terms;
  auto add = [&](const std::string& term, SqlValue value) {
    params.push_back(std::move(value));
    terms.push_back(term + "$" + std::to_string(params.size()));
  };
  if (filter.sinceMs) add(prefix + "received_ms >= ", SqlValue::Int(*filter.sinceMs));
  if (filter.untilMs) add(prefix + "received_ms < ", SqlValue::Int(*filter.untilMs));
  if (!filter.machine.empty()) add(prefix + "machine = ", SqlValue::Text(filter.machine));
  if (!filter.kind.empty()) add(prefix + "kind = ", SqlValue::Text(filter.kind));
  if (!filter.name.empty()) add("e.name = ", SqlValue::Text(filter.name));
  std::string where;
  for (size_t i = 0; i < terms.size(); ++i) where += (i ? " AND " : " WHERE ") + terms[i];
  return where;
}

const std::string kDocumentColumns =
    "SELECT id, received_ms, sender, machine, kind, size, sha256, parse_state, parse_message FROM documents";

DocumentInfo ReadDocumentInfo(const SqlRow& row) {
  return {AsInt(row[0]).value_or(0), AsInt(row[1]).value_or(0), Str(row[2]), Str(row[3]), Str(row[4]),
          Str(row[6]),               Str(row[7]),               Str(row[8]), AsInt(row[5]).value_or(0)};
}

// Nearest rank: the smallest value with at least `percent` of all at or below it.
int64_t Percentile(const std::vector<int64_t>& sorted, int percent) {
  const size_t rank = (sorted.size() * percent + 99) / 100;
  return sorted[rank == 0 ? 0 : rank - 1];
}

}  // namespace

Status SqlStore::Init() {
  auto s = WithSession([](SqlSession& session) {
    int64_t version = 0;
    return Migrate(session, version);
  });
  if (s.ok()) s = RebuildStaleInventories();
  if (s.ok()) folder_ = std::thread(&SqlStore::FoldInBackground, this);
  return s;
}

Status SqlStore::WithSession(const std::function<Status(SqlSession&)>& work, std::chrono::milliseconds wait) {
  std::unique_ptr<SqlSession> session;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!released_.wait_for(lock, wait, [&] { return !idle_.empty() || openSessions_ < kMaxSessions; })) {
      return {StatusCode::kUnavailable, "the store is busy: every database session is in use"};
    }
    if (!idle_.empty()) {
      session = std::move(idle_.back());
      idle_.pop_back();
    }
    ++openSessions_;  // this slot is the caller's until the guard below gives it back
  }
  bool reusable = false;
  ScopeExit release([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    // A session left mid-transaction by a throw, or that could not be
    // revived, is closed rather than handed to the next request.
    if (session && reusable) idle_.push_back(std::move(session));
    --openSessions_;
    released_.notify_one();
  });
  if (!session) {
    if (auto s = open_(session); !s.ok()) return s;
  }
  // Between two units of work is the only place a session reconnects: a
  // transaction never spans a reconnection.
  if (auto s = session->Revive(); !s.ok()) return s;
  Status result = work(*session);
  reusable = true;
  return result;
}

Status SqlStore::ListDocuments(const Filter& filter, std::vector<DocumentInfo>& out) {
  return WithSession([&](SqlSession& session) {
    std::vector<SqlValue> params;
    Filter documents = filter;
    documents.name.clear();
    std::string sql = kDocumentColumns + DocumentWhere(documents, "", params);
    auto add = [&](const std::string& term, std::vector<SqlValue> values) {
      for (SqlValue& v : values) params.push_back(std::move(v));
      std::string numbered = term;
      for (size_t at, n = values.size(); (at = numbered.find('?')) != std::string::npos; --n) {
        numbered.replace(at, 1, "$" + std::to_string(params.size() - n + 1));
      }
      sql += (sql.find(" WHERE ") == std::string::npos ? " WHERE " : " AND ") + numbered;
    };
    if (!filter.name.empty()) {
      add("EXISTS (SELECT 1 FROM document_event_names n WHERE n.document_id = documents.id AND n.name = ?)",
          {SqlValue::Text(filter.name)});
    }
    if (filter.after) {
      add("(received_ms < ? OR (received_ms = ? AND id < ?))",
          {SqlValue::Int(filter.after->first), SqlValue::Int(filter.after->first), SqlValue::Int(filter.after->second)});
    }
    params.push_back(SqlValue::Int(filter.limit));
    sql += " ORDER BY received_ms DESC, id DESC LIMIT $" + std::to_string(params.size());
    return session.Exec(sql, params, [&](const SqlRow& row) { out.push_back(ReadDocumentInfo(row)); });
  });
}

Status SqlStore::Document(int64_t id, std::optional<DocumentInfo>& out) {
  out.reset();
  return WithSession([&](SqlSession& session) {
    return session.Exec(kDocumentColumns + " WHERE id = $1", {SqlValue::Int(id)},
                        [&](const SqlRow& row) { out = ReadDocumentInfo(row); });
  });
}

Status SqlStore::Neighbours(const DocumentInfo& of, const std::string& kind, std::optional<int64_t>& before,
                            std::optional<int64_t>& after) {
  before.reset();
  after.reset();
  return WithSession([&](SqlSession& session) {
    const std::vector<SqlValue> params = {SqlValue::Text(of.machine), SqlValue::Int(of.receivedMs),
                                          SqlValue::Int(of.id), SqlValue::Text(kind)};
    const std::string where = "SELECT id FROM documents WHERE machine = $1 AND ($4 = '' OR kind = $4) AND ";
    Status s = session.Exec(where + "(received_ms < $2 OR (received_ms = $2 AND id < $3)) "
                                    "ORDER BY received_ms DESC, id DESC LIMIT 1",
                            params, [&](const SqlRow& row) { before = AsInt(row[0]); });
    if (!s.ok()) return s;
    return session.Exec(where + "(received_ms > $2 OR (received_ms = $2 AND id > $3)) "
                                "ORDER BY received_ms, id LIMIT 1",
                        params, [&](const SqlRow& row) { after = AsInt(row[0]); });
  });
}

Status SqlStore::PackedBody(int64_t id, std::string& packed, bool& found) {
  found = false;
  return WithSession([&](SqlSession& session) {
    return session.Exec("SELECT body FROM documents WHERE id = $1", {SqlValue::Int(id)}, [&](const SqlRow& row) {
      packed = Str(row[0]);
      found = true;
    });
  });
}

// The rollups answer whole days of every machine; one machine, or a time
// inside a day, is read from its events (led by the documents' indexes, so
// the cost follows the window). Both rank elapsed times by bucket alike.
Status SqlStore::SummarizeEvents(const Filter& filter, std::vector<EventSummary>& out) {
  return WithSession([&](SqlSession& session) {
    if (RollupsAnswer(filter)) return SummarizeFromRollups(session, filter, out);
    std::vector<SqlValue> params;
    const std::string where = DocumentWhere(filter, "d.", params);
    const std::string from =
        " FROM documents d CROSS JOIN events e" + where + (where.empty() ? " WHERE" : " AND") + " e.document_id = d.id";
    std::map<std::string, EventSummary> byName;
    auto s = session.Exec(
        "SELECT e.name, COUNT(*), COUNT(DISTINCT e.document_id), COUNT(DISTINCT NULLIF(d.machine, '')),"
        " COALESCE(SUM(e.value), 0)" + from + " GROUP BY e.name",
        params, [&](const SqlRow& row) {
          EventSummary& summary = byName[Str(row[0])];
          summary = {Str(row[0]), AsInt(row[1]).value_or(0), AsInt(row[2]).value_or(0), AsInt(row[3]).value_or(0),
                     AsInt(row[4]).value_or(0), {}, {}, {}};
        });
    std::map<std::string, std::vector<int64_t>> elapsed;
    if (s.ok()) {
      s = session.Exec("SELECT e.name, e.elapsed_ms" + from + " AND e.elapsed_ms IS NOT NULL", params,
                       [&](const SqlRow& row) {
                         elapsed[Str(row[0])].push_back(ElapsedBucket(AsInt(row[1]).value_or(0)));
                       });
    }
    for (auto& [name, values] : elapsed) {
      std::sort(values.begin(), values.end());
      EventSummary& summary = byName[name];
      summary.p50 = Percentile(values, 50);
      summary.p90 = Percentile(values, 90);
      summary.p99 = Percentile(values, 99);
    }
    for (auto& [name, summary] : byName) out.push_back(std::move(summary));
    return s;
  });
}

Status SqlStore::EventHistogram(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& perDay,
                                std::vector<std::pair<int64_t, int64_t>>& elapsed) {
  return WithSession([&](SqlSession& session) {
    if (RollupsAnswer(filter)) return HistogramFromRollups(session, filter, perDay, elapsed);
    std::vector<SqlValue> params;
    std::map<int64_t, int64_t> days, buckets;
    const std::string where = DocumentWhere(filter, "d.", params);
    auto s = session.Exec("SELECT d.received_ms / 86400000, e.elapsed_ms FROM documents d CROSS JOIN events e" +
                              where + (where.empty() ? " WHERE" : " AND") + " e.document_id = d.id",
                          params, [&](const SqlRow& row) {
                            ++days[AsInt(row[0]).value_or(0)];
                            if (auto ms = AsInt(row[1])) ++buckets[ElapsedBucket(*ms)];
                          });
    perDay.assign(days.begin(), days.end());
    elapsed.assign(buckets.begin(), buckets.end());
    return s;
  });
}

Status SqlStore::DocumentsPerDay(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& out) {
  return WithSession([&](SqlSession& session) {
    std::vector<SqlValue> params;
    // Whole days of every machine and kind are counted at ingest (Schema.cpp).
    if (RollupsAnswer(filter) && filter.kind.empty()) {
      std::string where;
      for (const auto& [ms, term] : {std::pair{filter.sinceMs, " AND day >= $"}, {filter.untilMs, " AND day < $"}}) {
        if (!ms) continue;
        params.push_back(SqlValue::Int(*ms / 86400000));
        where += term + std::to_string(params.size());
      }
      return session.Exec("SELECT day, documents FROM document_days WHERE documents > 0" + where + " ORDER BY day",
                          params, [&](const SqlRow& row) {
                            out.emplace_back(AsInt(row[0]).value_or(0), AsInt(row[1]).value_or(0));
                          });
    }
    Filter documents = filter;
    documents.name.clear();
    // Integer division in both databases; no received time lies before 1970.
    return session.Exec("SELECT received_ms / 86400000 AS day, COUNT(*) FROM documents" +
                            DocumentWhere(documents, "", params) + " GROUP BY day ORDER BY day",
                        params, [&](const SqlRow& row) {
                          out.emplace_back(AsInt(row[0]).value_or(0), AsInt(row[1]).value_or(0));
                        });
  });
}

Status SqlStore::EventTimes(const Filter& filter, std::vector<EventTime>& out) {
  return WithSession([&](SqlSession& session) {
    std::vector<SqlValue> params;
    std::string sql = "SELECT d.received_ms, e.elapsed_ms FROM events e JOIN documents d ON d.id = e.document_id" +
                      DocumentWhere(filter, "d.", params);
    params.push_back(SqlValue::Int(filter.limit));
    sql += " ORDER BY d.received_ms, e.document_id, e.seq LIMIT $" + std::to_string(params.size());
    return session.Exec(sql, params, [&](const SqlRow& row) {
      out.push_back({AsInt(row[0]).value_or(0), AsInt(row[1])});
    });
  });
}

Status SqlStore::DiskHistory(const Filter& filter, std::vector<DiskSample>& out) {
  return WithSession([&](SqlSession& session) {
    std::vector<SqlValue> params;
    Filter documents = filter;
    documents.name.clear();
    std::string sql =
        "SELECT d.id, d.received_ms, k.drive, k.free_bytes, k.available_bytes FROM disks k"
        " JOIN documents d ON d.id = k.document_id" + DocumentWhere(documents, "d.", params);
    params.push_back(SqlValue::Int(filter.limit));
    sql += " ORDER BY d.received_ms, d.id, k.seq LIMIT $" + std::to_string(params.size());
    return session.Exec(sql, params, [&](const SqlRow& row) {
      out.push_back({AsInt(row[0]).value_or(0), AsInt(row[1]).value_or(0), {Str(row[2]), AsInt(row[3]), AsInt(row[4])}});
    });
  });
}

// Never waits for a session: a store whose sessions are all stuck is unhealthy.
Status SqlStore::Health(int64_t& schema) {
  return WithSession(
      [&](SqlSession& session) {
        return session.Exec("SELECT MAX(version) FROM schema_migrations", {},
                            [&](const SqlRow& row) { schema = AsInt(row[0]).value_or(0); });
      },
      std::chrono::milliseconds(0));
}

}  // namespace collector
