// SqlStore's write path: a document's row first, then its rows as the
// source yields them, a batch at a time, then what only the end of the read
// tells. Nothing of a document is held whole but its body.
#include <functional>
#include <string>
#include <unordered_map>

#include "collector/store/SqlStore.h"
#include "collector/store/SqlValueRollup.h"
#include "collector/store/SqlWrite.h"

namespace collector {

// Rows go in as multi-row INSERTs: one round trip per statement instead of per row.
constexpr size_t kStatementRows = 100;

namespace {

// "HEAD VALUES ($1,$2),($3,$4) TAIL": the same few texts over and over,
// made once per thread.
const std::string& InsertSql(const std::string& head, size_t width, size_t rows, const std::string& tail) {
  thread_local std::unordered_map<std::string, std::string> made;
  std::string& sql = made[head + '\n' + tail + '\n' + std::to_string(rows)];
  if (!sql.empty()) return sql;
  sql = head + " VALUES ";
  for (size_t r = 0; r < rows; ++r) {
    sql += r ? ",(" : "(";
    for (size_t c = 0; c < width; ++c) sql += (c ? ",$" : "$") + std::to_string(r * width + c + 1);
    sql += ")";
  }
  sql += tail;
  return sql;
}

}  // namespace

Status InsertRows(SqlSession& session, const std::string& head, size_t width, size_t count, const RowFiller& fill,
                  const std::string& tail) {
  std::vector<SqlValue> params;
  for (size_t start = 0; start < count; start += kStatementRows) {
    const size_t rows = std::min(kStatementRows, count - start);
    params.clear();
    params.reserve(rows * width);
    for (size_t r = 0; r < rows; ++r) fill(start + r, params);
    if (auto s = session.Exec(InsertSql(head, width, rows, tail), params); !s.ok()) return s;
  }
  return {};
}

namespace {

// What a transaction's documents add to the event rollups, written at its
// end, and their value rollups, kept for the fold once it commits.
struct TransactionRollups {
  EventRollups events;
  std::vector<std::pair<int64_t, ValueFold>> values;
};

// Groups before the data points that refer to them.
Status InsertBatch(SqlSession& session, int64_t id, const RowBatch& batch) {
  const SqlValue document = SqlValue::Int(id);
  auto s = InsertRows(session, "INSERT INTO groups (document_id, seq, parent, name)", 4, batch.groups.size(),
                      [&](size_t i, std::vector<SqlValue>& p) {
                        const GroupRow& g = batch.groups[i];
                        p.insert(p.end(), {document, SqlValue::Int(batch.firstGroup + static_cast<int64_t>(i)),
                                           SqlValue::MaybeInt(g.parent), SqlValue::Text(g.name)});
                      });
  if (!s.ok()) return s;
  s = InsertRows(session, "INSERT INTO data_points (document_id, seq, group_seq, name, value)", 5,
                 batch.dataPoints.size(), [&](size_t i, std::vector<SqlValue>& p) {
                   const DataPointRow& d = batch.dataPoints[i];
                   p.insert(p.end(), {document, SqlValue::Int(batch.firstDataPoint + static_cast<int64_t>(i)),
                                      SqlValue::Int(d.group), SqlValue::Text(d.name), SqlValue::Text(d.value)});
                 });
  if (!s.ok()) return s;
  s = InsertRows(session, "INSERT INTO events (document_id, seq, name, value, event_time_ms, elapsed_ms)", 6,
                 batch.events.size(), [&](size_t i, std::vector<SqlValue>& p) {
                   const EventRow& e = batch.events[i];
                   p.insert(p.end(), {document, SqlValue::Int(batch.firstEvent + static_cast<int64_t>(i)),
                                      SqlValue::Text(e.name), SqlValue::MaybeInt(e.value),
                                      SqlValue::MaybeInt(e.eventTimeMs), SqlValue::MaybeInt(e.elapsedMs)});
                 });
  if (!s.ok()) return s;
  s = InsertRows(session, "INSERT INTO disks (document_id, seq, drive, free_bytes, available_bytes)", 5,
                 batch.disks.size(), [&](size_t i, std::vector<SqlValue>& p) {
                   const DiskRow& d = batch.disks[i];
                   p.insert(p.end(), {document, SqlValue::Int(batch.firstDisk + static_cast<int64_t>(i)),
                                      SqlValue::Text(d.drive), SqlValue::MaybeInt(d.freeBytes),
                                      SqlValue::MaybeInt(d.availableBytes)});
                 });
  return s.ok() ? InsertInventoryRows(session, id, batch) : s;
}

// The document's row. Without `summary` (a document still to be read) it
// goes in before its rows, which refer to it, but without its body and what
// only the end of the read tells: CompleteDocument adds those, so that the
// body is written once (SQLite rewrites a whole row on any update). The same
// bytes already stored, by an earlier request or earlier in this batch,
// leave `result.created` false.
Status InsertDocument(SqlSession& session, const Arrival& arrival, const DocumentSummary* summary,
                      PutResult& result) {
  result = PutResult{};
  const DocumentSummary placeholder;
  const DocumentSummary& d = summary ? *summary : placeholder;
  // PostgreSQL's documents are partitioned, their dedupe key a table of its own (Schema.cpp).
  const bool keys = session.Dialect() == SqlDialect::kPostgres;
  auto s = session.Exec(
      keys ? "WITH key AS (INSERT INTO document_keys (sha256) VALUES ($6) ON CONFLICT (sha256) DO NOTHING RETURNING id)"
             " INSERT INTO documents (id, received_ms, sender, machine, kind, size, sha256, body, parse_state,"
             " parse_message, taken_ms) SELECT id, $1::BIGINT, $2::TEXT, $3::TEXT, $4::TEXT, $5::BIGINT, $6::TEXT,"
             " $7::BYTEA, $8::TEXT, $9::TEXT, $10::BIGINT FROM key RETURNING id"
           : "INSERT INTO documents (received_ms, sender, machine, kind, size, sha256, body, parse_state, parse_message,"
             " taken_ms) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10) ON CONFLICT (sha256) DO NOTHING RETURNING id",
      {SqlValue::Int(arrival.receivedMs), SqlValue::Text(arrival.sender), SqlValue::Text(d.machine),
       SqlValue::Text(KindName(d.kind)), SqlValue::Int(arrival.size), SqlValue::Text(arrival.sha256),
       summary ? SqlValue::BorrowedBlob(arrival.packed) : SqlValue::Blob(std::string()),
       SqlValue::Text(StateName(d.state)), SqlValue::Text(d.message),
       arrival.takenMs ? SqlValue::Int(arrival.takenMs) : SqlValue::Null()},
      [&](const SqlRow& row) { result.id = AsInt(row[0]).value_or(0); });
  result.created = result.id != 0;
  if (!s.ok() || result.created) return s;
  return session.Exec(keys ? "SELECT id FROM document_keys WHERE sha256 = $1" : "SELECT id FROM documents WHERE sha256 = $1",
                      {SqlValue::Text(arrival.sha256)},
                      [&](const SqlRow& row) { result.id = AsInt(row[0]).value_or(0); });
}

// The machine facts row, the machine's inventory and the event rollups
// (added to the transaction's): what only the end of the read tells.
Status InsertFacts(SqlSession& session, int64_t id, const Arrival& arrival, const DocumentSummary& summary,
                   const EventRollup& rollup, const ValueRollup& values, TransactionRollups& rollups) {
  if (summary.state != ParseState::kParsed) return {};
  rollups.events.Add(arrival.receivedMs, summary.machine, rollup);
  auto s = Upsert(session, "INSERT INTO document_event_names (document_id, name)", 2, rollup.Names(),
                  [&](const auto& name, std::vector<SqlValue>& p) {
                    p.insert(p.end(), {SqlValue::Int(id), SqlValue::Text(name.first)});
                  },
                  "");
  if (!s.ok()) return s;
  // Its value rollups come later, folded with those of other documents.
  if (!values.Empty()) {
    auto s = session.Exec("INSERT INTO value_rollup_backlog (document_id) VALUES ($1)", {SqlValue::Int(id)});
    if (!s.ok()) return s;
    ValueFold fold;
    fold.Add(arrival.receivedMs, values, rollup);
    rollups.values.emplace_back(id, std::move(fold));
  }
  if (auto s = UpdateInventory(session, id, arrival, summary); !s.ok()) return s;
  if (!summary.HasFacts()) return {};
  const MachineFacts& f = summary.facts;
  return session.Exec(
      "INSERT INTO machine_facts (document_id, os_caption, os_version, processor, logical_processors, ram_bytes)"
      " VALUES ($1, $2, $3, $4, $5, $6)",
      {SqlValue::Int(id), SqlValue::Text(f.osCaption), SqlValue::Text(f.osVersion), SqlValue::Text(f.processor),
       SqlValue::MaybeInt(f.logicalProcessors), SqlValue::MaybeInt(f.ramBytes)});
}

Status CompleteDocument(SqlSession& session, int64_t id, const Arrival& arrival, const DocumentSummary& summary,
                        const EventRollup& rollup, const ValueRollup& values, TransactionRollups& rollups) {
  auto s = session.Exec(
      "UPDATE documents SET machine = $1, kind = $2, body = $3, parse_state = $4, parse_message = $5 WHERE id = $6",
      {SqlValue::Text(summary.machine), SqlValue::Text(KindName(summary.kind)), SqlValue::BorrowedBlob(arrival.packed),
       SqlValue::Text(StateName(summary.state)), SqlValue::Text(summary.message), SqlValue::Int(id)});
  return s.ok() ? InsertFacts(session, id, arrival, summary, rollup, values, rollups) : s;
}

// Pulls the rows into the open transaction until the source is done. When
// the source fails, that is the document's refusal, not the store's failure.
Status StreamRows(SqlSession& session, int64_t id, RowSource& rows, Status& refusal, EventRollup& rollup,
                  ValueRollup& values) {
  RowBatch batch;
  for (bool done = false; !done;) {
    if (refusal = rows.Next(batch, done); !refusal.ok()) return {};
    rollup.Add(batch.events);
    values.Add(batch);
    if (auto s = InsertBatch(session, id, batch); !s.ok()) return s;
  }
  return {};
}

// The source refused the document: it alone is left out.
void Refuse(PendingPut& put, Status refusal) {
  put.refused = true;
  put.status = std::move(refusal);
  *put.result = PutResult{};
}

// A document read whole ahead, as most are: its row goes in complete, and
// its rows need no savepoint, as nothing is left to refuse it.
Status PutReadAhead(SqlSession& session, PendingPut& put, TransactionRollups& rollups) {
  RowSource& rows = *put.rows;
  PutResult& result = *put.result;
  auto s = InsertDocument(session, *put.arrival, &rows.Summary(), result);
  if (!s.ok() || !result.created || rows.Summary().state != ParseState::kParsed) return s;
  Status refusal;
  EventRollup rollup;
  ValueRollup values;
  s = StreamRows(session, result.id, rows, refusal, rollup, values);
  if (s.ok() && !refusal.ok()) {
    // Against its word: the batch is undone, and the others tried alone.
    Refuse(put, refusal);
    return refusal;
  }
  return s.ok() ? InsertFacts(session, result.id, *put.arrival, rows.Summary(), rollup, values, rollups) : s;
}

// One document inside the batch's transaction. A document still to be read
// puts its rows in under a savepoint: if it is found unparsed at its end it
// keeps none of them, and if it is refused it leaves nothing at all while
// the rest of the batch goes on.
Status PutDocument(SqlSession& session, PendingPut& put, TransactionRollups& rollups) {
  put.refused = false;
  if (Status refusal = put.rows->Rewind(); !refusal.ok()) {
    Refuse(put, refusal);
    return {};
  }
  if (put.rows->ReadAhead()) return PutReadAhead(session, put, rollups);
  PutResult& result = *put.result;
  auto s = InsertDocument(session, *put.arrival, nullptr, result);
  if (!s.ok() || !result.created) return s;
  Status refusal;
  EventRollup rollup;
  ValueRollup values;
  s = session.ExecScript("SAVEPOINT document_rows");
  if (s.ok()) s = StreamRows(session, result.id, *put.rows, refusal, rollup, values);
  if (!s.ok()) return s;
  const DocumentSummary& summary = put.rows->Summary();
  const bool keep = refusal.ok() && summary.state == ParseState::kParsed;
  s = session.ExecScript(keep ? "RELEASE SAVEPOINT document_rows"
                              : "ROLLBACK TO SAVEPOINT document_rows; RELEASE SAVEPOINT document_rows");
  if (!s.ok()) return s;
  if (refusal.ok()) return CompleteDocument(session, result.id, *put.arrival, summary, rollup, values, rollups);
  const int64_t id = result.id;
  Refuse(put, refusal);
  return session.Exec("DELETE FROM documents WHERE id = $1", {SqlValue::Int(id)});
}

}  // namespace

Status SqlStore::Put(const Arrival& arrival, RowSource& rows, PutResult& result) {
  PendingPut put;
  put.arrival = &arrival;
  put.rows = &rows;
  put.result = &result;
  auto run = [this](const std::vector<PendingPut*>& batch) {
    const Status s = WithSession([&](SqlSession& session) {
      PutBatch(session, batch);
      return Status();
    });
    for (PendingPut* p : batch) {
      if (!s.ok()) p->status = s;
    }
  };
  Status s;
  if (groupCommit_) {
    s = commits_.Submit(put, run);
  } else {
    run({&put});
    s = put.status;
  }
  if (s.ok() && result.created) NoteStored(1);
  return s;
}

void SqlStore::PutEach(std::vector<PutItem>& items) {
  std::vector<PendingPut> puts(items.size());
  std::vector<PendingPut*> batch;
  for (size_t i = 0; i < items.size(); ++i) {
    puts[i].arrival = items[i].arrival;
    puts[i].rows = items[i].rows;
    puts[i].result = items[i].result;
    batch.push_back(&puts[i]);
  }
  const Status s = WithSession([&](SqlSession& session) {
    PutBatch(session, batch);
    return Status();
  });
  size_t created = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    items[i].status = s.ok() ? puts[i].status : s;
    created += items[i].status.ok() && items[i].result->created;
  }
  NoteStored(created);
}

// One transaction for the batch; when it fails, each document alone, so one
// bad document cannot fail the others. A refused document is not tried again.
void SqlStore::PutBatch(SqlSession& session, const std::vector<PendingPut*>& batch) {
  // The month's partition, made outside the batch's transaction (it locks
  // the whole table while it commits); once a day per process is enough, as
  // the next month's is made with it.
  if (session.Dialect() == SqlDialect::kPostgres) {
    for (PendingPut* p : batch) {
      const int64_t day = p->arrival->receivedMs / 86400000;
      if (monthsMadeOn_.load() != day &&
          session.Exec("SELECT document_month($1)", {SqlValue::Int(p->arrival->receivedMs)}).ok()) {
        monthsMadeOn_.store(day);
      }
    }
  }
  const Status s = PutInTransaction(session, batch);
  for (PendingPut* p : batch) {
    if (p->refused) continue;
    const Status alone = s.ok() || batch.size() == 1 ? s : PutInTransaction(session, {p});
    if (!p->refused) p->status = alone;
  }
}

Status SqlStore::PutInTransaction(SqlSession& session, const std::vector<PendingPut*>& batch) {
  Status s = session.BeginWrite();
  TransactionRollups rollups;
  for (size_t i = 0; s.ok() && i < batch.size(); ++i) s = PutDocument(session, *batch[i], rollups);
  if (s.ok()) s = rollups.events.Write(session);
  if (s.ok()) s = session.ExecScript("COMMIT");
  if (s.ok()) {
    for (auto& [id, fold] : rollups.values) recent_.Keep(id, std::move(fold));
  }
  if (!s.ok()) {
    (void)session.ExecScript("ROLLBACK");
    for (PendingPut* p : batch) *p->result = PutResult{};
  }
  return s;
}

}  // namespace collector
