// SqlStore's removals: documents with every row that belongs to them, and
// giving the freed space back.
#include <algorithm>

#include "collector/store/SqlStore.h"
#include "collector/store/SqlValueRollup.h"
#include "collector/store/SqlWrite.h"

namespace collector {
namespace {

// Ids go to the database this many at a time, the last one repeated to fill
// a chunk, so each statement has one text and is prepared once.
constexpr size_t kChunk = 32;

// Every table that refers to documents. Its rows are removed before the
// documents themselves, so nothing is left behind in a database whose
// foreign keys are not enforced (SQLite's are off in a session that does not
// turn them on).
struct Child {
  const char* table;
  int64_t Removed::*count;
};
constexpr Child kChildren[] = {{"events", &Removed::events},
                               {"data_points", &Removed::dataPoints},
                               {"groups", &Removed::groups},
                               {"machine_facts", &Removed::machineFacts},
                               {"disks", &Removed::disks}};

std::string InList(const char* column) {
  std::string sql = std::string(column) + " IN (";
  for (size_t i = 1; i <= kChunk; ++i) sql += (i > 1 ? ",$" : "$") + std::to_string(i);
  return sql + ")";
}

Status SelectIds(SqlSession& session, const Selection& selection, std::vector<int64_t>& ids) {
  std::vector<SqlValue> params;
  std::string where;
  auto add = [&](const std::string& term, SqlValue value) {
    params.push_back(std::move(value));
    where += (where.empty() ? " WHERE " : " AND ") + term + "$" + std::to_string(params.size());
  };
  if (selection.id) add("id = ", SqlValue::Int(*selection.id));
  if (selection.machine) add("machine = ", SqlValue::Text(*selection.machine));
  if (selection.beforeMs) add("received_ms < ", SqlValue::Int(*selection.beforeMs));
  params.push_back(SqlValue::Int(selection.limit));
  return session.Exec(
      "SELECT id FROM documents" + where + " ORDER BY received_ms, id LIMIT $" + std::to_string(params.size()), params,
      [&](const SqlRow& row) { ids.push_back(AsInt(row[0]).value_or(0)); });
}

Status RemoveChunk(SqlSession& session, const std::vector<SqlValue>& ids, Removed& removed) {
  for (const Child& child : kChildren) {
    if (auto s = session.Exec(std::string("DELETE FROM ") + child.table + " WHERE " + InList("document_id"), ids);
        !s.ok()) {
      return s;
    }
    removed.*child.count += session.Changes();
  }
  if (auto s = session.Exec("DELETE FROM document_event_names WHERE " + InList("document_id"), ids); !s.ok()) {
    return s;
  }
  // Not rolled up yet: nothing to take off, and nothing of it to keep.
  if (auto s = session.Exec("DELETE FROM value_rollup_backlog WHERE " + InList("document_id"), ids); !s.ok()) {
    return s;
  }
  if (auto s = session.Exec("DELETE FROM documents WHERE " + InList("id"), ids); !s.ok()) return s;
  removed.documents += session.Changes();
  return {};
}

// The machines' rows and the rollups are brought up to date in the same
// transaction, from what the documents leave behind.
Status RemoveInTransaction(SqlSession& session, const Selection& selection, Removed& removed) {
  if (auto s = LockValueRollups(session); !s.ok()) return s;
  std::vector<int64_t> ids;
  if (auto s = SelectIds(session, selection, ids); !s.ok()) return s;
  RemovedRollup rollup;
  RemovedMachines machines;
  const std::string chosen = InList("d.id");
  for (size_t start = 0; start < ids.size(); start += kChunk) {
    std::vector<SqlValue> chunk;
    for (size_t i = 0; i < kChunk; ++i) chunk.push_back(SqlValue::Int(ids[std::min(start + i, ids.size() - 1)]));
    if (auto s = rollup.Gather(session, chosen, chunk); !s.ok()) return s;
    if (auto s = machines.Gather(session, chosen, chunk); !s.ok()) return s;
    if (auto s = RemoveChunk(session, chunk, removed); !s.ok()) return s;
  }
  if (auto s = rollup.Apply(session); !s.ok()) return s;
  return machines.Apply(session);
}

// Each step is a transaction of its own, so writers wait for one step at
// most, never for the whole of a large removal's space.
Status VacuumInSteps(SqlSession& session) {
  constexpr int kPagesPerStep = 2048;
  for (int step = 0; step < 1000000; ++step) {
    int64_t free = 0;
    auto s = session.Exec("PRAGMA freelist_count", {}, [&](const SqlRow& row) { free = AsInt(row[0]).value_or(0); });
    if (!s.ok() || free == 0) return s;
    s = session.ExecScript("PRAGMA incremental_vacuum(" + std::to_string(kPagesPerStep) + ")");
    if (!s.ok()) return s;
  }
  return {};
}

}  // namespace

Removed& Removed::operator+=(const Removed& more) {
  documents += more.documents;
  for (const Child& child : kChildren) this->*child.count += more.*child.count;
  return *this;
}

Status SqlStore::RemoveDocuments(const Selection& selection, Removed& removed) {
  removed = {};
  if (!selection.id && !selection.machine && !selection.beforeMs) {
    return Invalid("a removal names a document, a machine or a time");
  }
  return WithSession([&](SqlSession& session) {
    Status s = session.BeginWrite();
    if (s.ok()) s = RemoveInTransaction(session, selection, removed);
    if (s.ok()) s = session.ExecScript("COMMIT");
    if (!s.ok()) {
      (void)session.ExecScript("ROLLBACK");
      removed = {};
      return s;
    }
    // Retention on PostgreSQL: a month wholly before the cutoff, emptied by
    // the removals, is dropped, which gives its space back at once.
    if (session.Dialect() == SqlDialect::kPostgres && selection.beforeMs && !selection.id && !selection.machine) {
      s = session.Exec("SELECT drop_document_months($1)", {SqlValue::Int(*selection.beforeMs)});
    }
    return s;
  });
}

// PostgreSQL reuses the space of removed rows once its autovacuum has seen
// them; only SQLite's file is shrunk here.
Status SqlStore::Reclaim(bool rewrite) {
  return WithSession([&](SqlSession& session) {
    if (session.Dialect() != SqlDialect::kSqlite) return Status();
    int64_t mode = 0;
    if (auto s = session.Exec("PRAGMA auto_vacuum", {}, [&](const SqlRow& row) { mode = AsInt(row[0]).value_or(0); });
        !s.ok()) {
      return s;
    }
    constexpr int64_t kIncremental = 2;
    if (mode == kIncremental) return VacuumInSteps(session);
    // A store made before incremental vacuum: it only takes after a full
    // rewrite, which holds the write lock for as long as it copies.
    return rewrite ? session.ExecScript("PRAGMA auto_vacuum=INCREMENTAL; VACUUM") : Status();
  });
}

}  // namespace collector
