#include "collector/store/Schema.h"

#include <string>

#include "collector/base/Status.h"

namespace collector {
namespace {

// Written once for both databases; {ID} and {BLOB} are the two spellings
// that differ.
const char* const kMigrations[] = {
    // 1: documents and what was read from them.
    R"sql(
CREATE TABLE documents (
  id {ID},
  received_ms BIGINT NOT NULL,
  sender TEXT NOT NULL,
  machine TEXT NOT NULL,
  kind TEXT NOT NULL CHECK (kind IN ('report', 'analytics')),
  size BIGINT NOT NULL,
  sha256 TEXT NOT NULL UNIQUE,
  body {BLOB} NOT NULL,
  parse_state TEXT NOT NULL CHECK (parse_state IN ('parsed', 'unparsed')),
  parse_message TEXT NOT NULL
);
CREATE INDEX documents_received ON documents (received_ms);
CREATE INDEX documents_machine ON documents (machine, received_ms);
CREATE TABLE events (
  document_id BIGINT NOT NULL REFERENCES documents (id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  value BIGINT,
  event_time_ms BIGINT,
  elapsed_ms BIGINT,
  PRIMARY KEY (document_id, seq)
);
CREATE INDEX events_name ON events (name);
CREATE TABLE data_points (
  document_id BIGINT NOT NULL REFERENCES documents (id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  group_path TEXT NOT NULL,
  name TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY (document_id, seq)
);
CREATE TABLE machine_facts (
  document_id BIGINT PRIMARY KEY REFERENCES documents (id) ON DELETE CASCADE,
  os_caption TEXT NOT NULL,
  os_version TEXT NOT NULL,
  processor TEXT NOT NULL,
  logical_processors BIGINT,
  ram_bytes BIGINT
);
CREATE TABLE disks (
  document_id BIGINT NOT NULL REFERENCES documents (id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  drive TEXT NOT NULL,
  free_bytes BIGINT,
  available_bytes BIGINT,
  PRIMARY KEY (document_id, seq)
);
)sql",
};

std::string ForDialect(std::string sql, SqlDialect dialect) {
  const bool sqlite = dialect == SqlDialect::kSqlite;
  const std::pair<std::string, std::string> words[] = {
      {"{ID}", sqlite ? "INTEGER PRIMARY KEY AUTOINCREMENT" : "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY"},
      {"{BLOB}", sqlite ? "BLOB" : "BYTEA"}};
  for (const auto& [from, to] : words) {
    for (size_t at; (at = sql.find(from)) != std::string::npos;) sql.replace(at, from.size(), to);
  }
  return sql;
}

Status CurrentVersion(SqlSession& session, int64_t& version) {
  version = 0;
  return session.Exec("SELECT MAX(version) FROM schema_migrations", {},
                      [&](const SqlRow& row) { version = AsInt(row[0]).value_or(0); });
}

// One migration in one transaction, unless another collector applied it first.
Status ApplyNext(SqlSession& session, int64_t& version) {
  if (auto s = session.BeginWrite(); !s.ok()) return s;
  Status s;
  if (session.Dialect() == SqlDialect::kPostgres) s = session.Exec("SELECT pg_advisory_xact_lock(7710413)");
  if (s.ok()) s = CurrentVersion(session, version);
  if (s.ok() && version < LatestSchemaVersion()) {
    s = session.ExecScript(ForDialect(kMigrations[version], session.Dialect()));
    if (s.ok()) {
      s = session.Exec("INSERT INTO schema_migrations (version) VALUES ($1)", {SqlValue::Int(version + 1)});
    }
    if (s.ok()) ++version;
  }
  if (s.ok()) return session.ExecScript("COMMIT");
  (void)session.ExecScript("ROLLBACK");
  return s;
}

}  // namespace

int64_t LatestSchemaVersion() { return static_cast<int64_t>(std::size(kMigrations)); }

Status Migrate(SqlSession& session, int64_t& version) {
  if (auto s = session.ExecScript("CREATE TABLE IF NOT EXISTS schema_migrations (version BIGINT PRIMARY KEY)");
      !s.ok()) {
    // Two collectors creating it at once: one of them loses the race, harmlessly.
    if (auto again = CurrentVersion(session, version); !again.ok()) return s;
  }
  if (auto s = CurrentVersion(session, version); !s.ok()) return s;
  if (version > LatestSchemaVersion()) {
    return Failure("the database has schema version " + std::to_string(version) + "; this collector knows up to " +
                   std::to_string(LatestSchemaVersion()));
  }
  while (version < LatestSchemaVersion()) {
    if (auto s = ApplyNext(session, version); !s.ok()) return s;
  }
  return {};
}

}  // namespace collector
