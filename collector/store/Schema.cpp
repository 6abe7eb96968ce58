#include "collector/store/Schema.h"

#include <string>

#include "collector/base/Status.h"

namespace collector {
namespace {

// Written once for both databases; {ID}, {BLOB} and {FIND} are the
// spellings that differ.
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
    // 2: a client group stored once, its data points referring to it instead
    // of each carrying the group's whole path. The paths already stored are
    // split into their groups (a group's name never holds '/'), numbered per
    // document in the order their first data point came. data_point_paths
    // shows the data points with their paths as before (CROSS JOIN keeps
    // SQLite from scanning a document's data points once per group).
    // parent and group_seq are no foreign keys: checking each row made
    // PostgreSQL take half as long again per data point, and the collector
    // writes a group before anything that refers to it.
    R"sql(
CREATE TABLE groups (
  document_id BIGINT NOT NULL REFERENCES documents (id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  parent INTEGER,
  name TEXT NOT NULL,
  PRIMARY KEY (document_id, seq)
);
CREATE TEMPORARY TABLE group_paths AS
WITH RECURSIVE steps (document_id, parent, path, name, rest, first_point) AS (
  SELECT document_id, CAST(NULL AS TEXT), CAST(NULL AS TEXT), CAST(NULL AS TEXT), group_path || '/', MIN(seq)
  FROM data_points GROUP BY document_id, group_path
  UNION ALL
  SELECT document_id, path, COALESCE(path || '/', '') || substr(rest, 1, {FIND}(rest, '/') - 1),
         substr(rest, 1, {FIND}(rest, '/') - 1), substr(rest, {FIND}(rest, '/') + 1), first_point
  FROM steps WHERE rest <> ''
)
SELECT document_id, path, parent, name,
       ROW_NUMBER() OVER (PARTITION BY document_id ORDER BY MIN(first_point), length(path)) - 1 AS seq
FROM steps WHERE name IS NOT NULL GROUP BY document_id, path, parent, name;
CREATE INDEX group_paths_path ON group_paths (document_id, path);
INSERT INTO groups (document_id, seq, parent, name)
SELECT c.document_id, c.seq, p.seq, c.name
FROM group_paths c LEFT JOIN group_paths p ON p.document_id = c.document_id AND p.path = c.parent;
CREATE TABLE data_points_by_group (
  document_id BIGINT NOT NULL REFERENCES documents (id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  group_seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY (document_id, seq)
);
INSERT INTO data_points_by_group (document_id, seq, group_seq, name, value)
SELECT d.document_id, d.seq, g.seq, d.name, d.value
FROM data_points d JOIN group_paths g ON g.document_id = d.document_id AND g.path = d.group_path;
DROP TABLE group_paths;
DROP TABLE data_points;
ALTER TABLE data_points_by_group RENAME TO data_points;
CREATE VIEW data_point_paths AS
WITH RECURSIVE up (document_id, seq, above, path) AS (
  SELECT document_id, seq, parent, name FROM groups
  UNION ALL
  SELECT u.document_id, u.seq, g.parent, g.name || '/' || u.path
  FROM up u JOIN groups g ON g.document_id = u.document_id AND g.seq = u.above
)
SELECT d.document_id, d.seq, u.path AS group_path, d.name, d.value
FROM data_points d CROSS JOIN up u
WHERE u.document_id = d.document_id AND u.seq = d.group_seq AND u.above IS NULL;
)sql",
    // 3: people signed in from a browser. Only a digest of a session's id
    // is kept, so reading the table gives no one a way in.
    R"sql(
CREATE TABLE sessions (
  digest TEXT PRIMARY KEY,
  name TEXT NOT NULL,
  scopes INTEGER NOT NULL,
  created_ms BIGINT NOT NULL,
  expires_ms BIGINT NOT NULL
);
CREATE INDEX sessions_expires ON sessions (expires_ms);
)sql",
};

std::string ForDialect(std::string sql, SqlDialect dialect) {
  const bool sqlite = dialect == SqlDialect::kSqlite;
  const std::pair<std::string, std::string> words[] = {
      {"{ID}", sqlite ? "INTEGER PRIMARY KEY AUTOINCREMENT" : "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY"},
      {"{BLOB}", sqlite ? "BLOB" : "BYTEA"},
      {"{FIND}", sqlite ? "instr" : "strpos"}};
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
