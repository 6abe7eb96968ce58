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
    // 4: the fleet's inventory and the event rollups, both kept at ingest.
    // A machine's row holds its counts, the facts of its newest document
    // that carries any and which report its inventory (products, adapters)
    // was taken from; "newest" orders by taken_ms (an imported file's own
    // time) or else received_ms, then id. Rollups answer day-aligned windows
    // without touching the events; elapsed times are kept as counts per
    // bucket ({ELAPSED_BUCKET}). The products of reports already stored are
    // read from their bodies when the store opens (SqlInventory).
    R"sql(
ALTER TABLE documents ADD COLUMN taken_ms BIGINT;
CREATE TABLE machines (
  name TEXT {BYTES} PRIMARY KEY,
  documents BIGINT NOT NULL,
  last_received_ms BIGINT NOT NULL,
  facts_document_id BIGINT,
  facts_order_ms BIGINT,
  os_caption TEXT {BYTES} NOT NULL DEFAULT '',
  os_version TEXT NOT NULL DEFAULT '',
  processor TEXT NOT NULL DEFAULT '',
  logical_processors BIGINT,
  ram_bytes BIGINT,
  report_document_id BIGINT,
  report_order_ms BIGINT,
  inventory_state TEXT NOT NULL DEFAULT 'current' CHECK (inventory_state IN ('current', 'stale'))
);
CREATE INDEX machines_last_received ON machines (last_received_ms, name);
CREATE INDEX machines_os ON machines (os_caption, name);
CREATE INDEX machines_report ON machines (report_document_id);
CREATE TABLE inventory_products (
  document_id BIGINT NOT NULL,
  seq INTEGER NOT NULL,
  name TEXT {BYTES} NOT NULL,
  version TEXT {BYTES} NOT NULL,
  publisher TEXT NOT NULL,
  folder TEXT NOT NULL,
  PRIMARY KEY (document_id, seq)
);
CREATE INDEX inventory_products_name ON inventory_products (name, version, document_id);
CREATE TABLE inventory_adapters (
  document_id BIGINT NOT NULL,
  seq INTEGER NOT NULL,
  description TEXT NOT NULL,
  hardware_address TEXT NOT NULL,
  ipv4 TEXT NOT NULL,
  PRIMARY KEY (document_id, seq)
);
CREATE INDEX inventory_adapters_hardware ON inventory_adapters (hardware_address);
CREATE TABLE product_names (name TEXT {BYTES} PRIMARY KEY, machines BIGINT NOT NULL);
CREATE INDEX product_names_machines ON product_names (machines, name);
CREATE TABLE product_versions (
  name TEXT {BYTES} NOT NULL,
  version TEXT {BYTES} NOT NULL,
  machines BIGINT NOT NULL,
  PRIMARY KEY (name, version)
);
CREATE TABLE event_days (
  day BIGINT NOT NULL,
  name TEXT {BYTES} NOT NULL,
  events BIGINT NOT NULL,
  documents BIGINT NOT NULL,
  value_sum BIGINT NOT NULL,
  elapsed_events BIGINT NOT NULL,
  PRIMARY KEY (day, name)
);
CREATE INDEX event_days_name ON event_days (name, day);
CREATE TABLE event_hours (
  hour BIGINT NOT NULL,
  name TEXT {BYTES} NOT NULL,
  events BIGINT NOT NULL,
  documents BIGINT NOT NULL,
  value_sum BIGINT NOT NULL,
  elapsed_events BIGINT NOT NULL,
  PRIMARY KEY (hour, name)
);
CREATE TABLE event_machine_days (
  day BIGINT NOT NULL,
  name TEXT {BYTES} NOT NULL,
  machine TEXT {BYTES} NOT NULL,
  PRIMARY KEY (day, name, machine)
);
CREATE INDEX event_machine_days_name ON event_machine_days (name, day, machine);
CREATE TABLE event_elapsed_days (
  day BIGINT NOT NULL,
  name TEXT {BYTES} NOT NULL,
  bucket BIGINT NOT NULL,
  events BIGINT NOT NULL,
  PRIMARY KEY (day, name, bucket)
);
CREATE INDEX event_elapsed_days_name ON event_elapsed_days (name, day, bucket);
CREATE TABLE event_elapsed_totals (
  name TEXT {BYTES} NOT NULL,
  bucket BIGINT NOT NULL,
  events BIGINT NOT NULL,
  PRIMARY KEY (name, bucket)
);
CREATE TABLE event_machine_last (
  name TEXT {BYTES} NOT NULL,
  machine TEXT {BYTES} NOT NULL,
  last_day BIGINT NOT NULL,
  PRIMARY KEY (name, machine)
);
CREATE INDEX event_machine_last_day ON event_machine_last (last_day, name);
INSERT INTO machines (name, documents, last_received_ms, inventory_state)
SELECT machine, COUNT(*), MAX(received_ms),
       CASE WHEN MAX(CASE WHEN kind = 'report' AND parse_state = 'parsed' THEN 1 ELSE 0 END) = 1
            THEN 'stale' ELSE 'current' END
FROM documents WHERE machine <> '' GROUP BY machine;
CREATE TEMPORARY TABLE newest_facts AS
SELECT machine, MAX(id) AS id FROM documents d JOIN machine_facts f ON f.document_id = d.id
WHERE d.machine <> '' GROUP BY machine;
UPDATE machines SET
  facts_document_id = (SELECT n.id FROM newest_facts n WHERE n.machine = machines.name),
  facts_order_ms = (SELECT d.received_ms FROM newest_facts n JOIN documents d ON d.id = n.id WHERE n.machine = machines.name),
  os_caption = COALESCE((SELECT f.os_caption FROM newest_facts n JOIN machine_facts f ON f.document_id = n.id WHERE n.machine = machines.name), ''),
  os_version = COALESCE((SELECT f.os_version FROM newest_facts n JOIN machine_facts f ON f.document_id = n.id WHERE n.machine = machines.name), ''),
  processor = COALESCE((SELECT f.processor FROM newest_facts n JOIN machine_facts f ON f.document_id = n.id WHERE n.machine = machines.name), ''),
  logical_processors = (SELECT f.logical_processors FROM newest_facts n JOIN machine_facts f ON f.document_id = n.id WHERE n.machine = machines.name),
  ram_bytes = (SELECT f.ram_bytes FROM newest_facts n JOIN machine_facts f ON f.document_id = n.id WHERE n.machine = machines.name);
DROP TABLE newest_facts;
INSERT INTO event_days (day, name, events, documents, value_sum, elapsed_events)
SELECT d.received_ms / 86400000, e.name, COUNT(*), COUNT(DISTINCT e.document_id), COALESCE(SUM(e.value), 0),
       COUNT(e.elapsed_ms)
FROM documents d JOIN events e ON e.document_id = d.id GROUP BY d.received_ms / 86400000, e.name;
INSERT INTO event_hours (hour, name, events, documents, value_sum, elapsed_events)
SELECT d.received_ms / 3600000, e.name, COUNT(*), COUNT(DISTINCT e.document_id), COALESCE(SUM(e.value), 0),
       COUNT(e.elapsed_ms)
FROM documents d JOIN events e ON e.document_id = d.id GROUP BY d.received_ms / 3600000, e.name;
INSERT INTO event_machine_days (day, name, machine)
SELECT DISTINCT d.received_ms / 86400000, e.name, d.machine
FROM documents d JOIN events e ON e.document_id = d.id WHERE d.machine <> '';
INSERT INTO event_elapsed_days (day, name, bucket, events)
SELECT day, name, bucket, COUNT(*) FROM (
  SELECT d.received_ms / 86400000 AS day, e.name AS name, {ELAPSED_BUCKET} AS bucket
  FROM documents d JOIN events e ON e.document_id = d.id WHERE e.elapsed_ms IS NOT NULL) b
GROUP BY day, name, bucket;
INSERT INTO event_elapsed_totals (name, bucket, events)
SELECT name, bucket, SUM(events) FROM event_elapsed_days GROUP BY name, bucket;
INSERT INTO event_machine_last (name, machine, last_day)
SELECT name, machine, MAX(day) FROM event_machine_days GROUP BY name, machine;
)sql",
    // 5: events broken down by the data points of their documents, and the
    // data points per day (SqlValueRollup.h says what a document adds).
    // Every document waits in value_rollup_backlog to be folded in, the
    // ones already stored as well as new ones.
    R"sql(
CREATE TABLE event_value_days (
  day BIGINT NOT NULL,
  name TEXT {BYTES} NOT NULL,
  path TEXT {BYTES} NOT NULL,
  value TEXT {BYTES} NOT NULL,
  events BIGINT NOT NULL,
  documents BIGINT NOT NULL,
  value_sum BIGINT NOT NULL,
  elapsed_events BIGINT NOT NULL,
  PRIMARY KEY (day, name, path, value)
);
CREATE INDEX event_value_days_name ON event_value_days (name, path, day);
CREATE TABLE event_value_hours (
  hour BIGINT NOT NULL,
  name TEXT {BYTES} NOT NULL,
  path TEXT {BYTES} NOT NULL,
  value TEXT {BYTES} NOT NULL,
  events BIGINT NOT NULL,
  PRIMARY KEY (hour, name, path, value)
);
CREATE INDEX event_value_hours_name ON event_value_hours (name, path, hour);
CREATE TABLE event_value_elapsed_days (
  day BIGINT NOT NULL,
  name TEXT {BYTES} NOT NULL,
  path TEXT {BYTES} NOT NULL,
  value TEXT {BYTES} NOT NULL,
  bucket BIGINT NOT NULL,
  events BIGINT NOT NULL,
  PRIMARY KEY (day, name, path, value, bucket)
);
CREATE INDEX event_value_elapsed_days_name ON event_value_elapsed_days (name, path, day);
CREATE TABLE data_point_days (
  day BIGINT NOT NULL,
  path TEXT {BYTES} NOT NULL,
  value TEXT {BYTES} NOT NULL,
  documents BIGINT NOT NULL,
  PRIMARY KEY (day, path, value)
);
CREATE INDEX data_point_days_path ON data_point_days (path, day);
CREATE TABLE value_rollup_backlog (document_id BIGINT PRIMARY KEY);
INSERT INTO value_rollup_backlog (document_id) SELECT id FROM documents WHERE parse_state = 'parsed';
)sql",
    // 6: removals find a machine's last day of a name without reading the
    // name's every day. Documents per day, and machines per name by the last
    // day they sent it, are counted by triggers (kCountTriggers), so a page
    // counts them by the days it shows, not by the documents or machines.
    // PostgreSQL's documents are partitioned by month of received_ms
    // (kMonthsSql); SQLite keeps one table.
    R"sql(
CREATE INDEX event_machine_days_machine ON event_machine_days (machine, name, day);
CREATE TABLE document_days (day BIGINT PRIMARY KEY, documents BIGINT NOT NULL);
INSERT INTO document_days (day, documents)
SELECT received_ms / 86400000, COUNT(*) FROM documents GROUP BY received_ms / 86400000;
CREATE TABLE event_name_last_days (
  name TEXT {BYTES} NOT NULL,
  last_day BIGINT NOT NULL,
  machines BIGINT NOT NULL,
  PRIMARY KEY (name, last_day)
);
INSERT INTO event_name_last_days (name, last_day, machines)
SELECT name, last_day, COUNT(*) FROM event_machine_last GROUP BY name, last_day;
{MONTHS}
{COUNT_TRIGGERS}
)sql",
    // 7: SQLite keeps each document's events in the order of their key
    // (WITHOUT ROWID), so the key is the table itself and not an index beside
    // it; PostgreSQL has no row ids to drop.
    "{EVENTS_BY_KEY}",
    // 8: the event names of each document, once each: what finding the
    // documents that hold a name needs, without an index entry per event.
    R"sql(
CREATE TABLE document_event_names (
  document_id BIGINT NOT NULL REFERENCES {DOCUMENT_IDS} ON DELETE CASCADE,
  name TEXT {BYTES} NOT NULL,
  PRIMARY KEY (document_id, name)
){CLUSTERED};
INSERT INTO document_event_names (document_id, name) SELECT DISTINCT document_id, name FROM events;
DROP INDEX events_name;
)sql",
};

// ElapsedBucket in SQL over e.elapsed_ms: a CASE per power of two, as
// neither database shares a log2 with the other.
std::string ElapsedBucketSql() {
  std::string sql = "CASE WHEN e.elapsed_ms < " + std::to_string(kExactElapsedBelow) + " THEN e.elapsed_ms";
  for (int bits = kElapsedBucketBits + 2; bits < 62; ++bits) {
    const std::string step = std::to_string(int64_t{1} << (bits - kElapsedBucketBits));
    sql += " WHEN e.elapsed_ms < " + std::to_string(int64_t{1} << (bits + 1)) + " THEN e.elapsed_ms / " + step +
           " * " + step;
  }
  return sql + " ELSE e.elapsed_ms END";
}

// PostgreSQL's documents by month. A unique key of a partitioned table must
// hold the partition's column, so the dedupe key (sha256 -> id) moves to
// document_keys, which the tables of a document's rows refer to, cascading.
// Removing a document's row removes its key (a trigger), and with it every
// row of it. documents itself refers to no table: making a partition would
// then lock that table too, behind uploads that wait for the partition.
// document_month(ms) makes the partitions of ms's month and the next one
// (a row of a month without one goes to documents_default, which a month's
// partition is then not made over); drop_document_months(ms) drops the
// empty partitions of months that end by ms.
const char* const kMonthsSql = R"sql(
CREATE TABLE document_keys (
  id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
  sha256 TEXT NOT NULL UNIQUE
);
INSERT INTO document_keys (id, sha256) SELECT id, sha256 FROM documents;
SELECT setval(pg_get_serial_sequence('document_keys', 'id'), COALESCE(MAX(id), 0) + 1, false) FROM document_keys;
ALTER TABLE documents RENAME TO documents_unpartitioned;
CREATE TABLE documents (
  id BIGINT NOT NULL,
  received_ms BIGINT NOT NULL,
  sender TEXT NOT NULL,
  machine TEXT NOT NULL,
  kind TEXT NOT NULL CHECK (kind IN ('report', 'analytics')),
  size BIGINT NOT NULL,
  sha256 TEXT NOT NULL,
  body BYTEA NOT NULL,
  parse_state TEXT NOT NULL CHECK (parse_state IN ('parsed', 'unparsed')),
  parse_message TEXT NOT NULL,
  taken_ms BIGINT,
  CONSTRAINT documents_month_key PRIMARY KEY (id, received_ms)
) PARTITION BY RANGE (received_ms);
CREATE TABLE documents_default PARTITION OF documents DEFAULT;
CREATE FUNCTION document_month(ms BIGINT) RETURNS VOID LANGUAGE plpgsql AS $$
DECLARE
  first TIMESTAMP := date_trunc('month', to_timestamp(ms / 1000.0) AT TIME ZONE 'UTC');
  low BIGINT;
  high BIGINT;
  part TEXT;
BEGIN
  FOR ahead IN 0..1 LOOP
    part := 'documents_' || to_char(first + make_interval(months => ahead), 'YYYYMM');
    low := EXTRACT(EPOCH FROM first + make_interval(months => ahead))::BIGINT * 1000;
    high := EXTRACT(EPOCH FROM first + make_interval(months => ahead + 1))::BIGINT * 1000;
    IF to_regclass(part) IS NULL THEN
      -- The whole table first, before anything a partition's making locks:
      -- it waits for the uploads under way, and none waits for it meanwhile.
      PERFORM pg_advisory_xact_lock(7710414);
      LOCK TABLE documents IN ACCESS EXCLUSIVE MODE;
      IF to_regclass(part) IS NULL AND NOT EXISTS (
          SELECT 1 FROM documents_default WHERE received_ms >= low AND received_ms < high) THEN
        EXECUTE format('CREATE TABLE %I PARTITION OF documents FOR VALUES FROM (%s) TO (%s)', part, low, high);
      END IF;
    END IF;
  END LOOP;
END $$;
SELECT document_month(MIN(received_ms)) FROM documents_unpartitioned
GROUP BY date_trunc('month', to_timestamp(received_ms / 1000.0) AT TIME ZONE 'UTC');
INSERT INTO documents (id, received_ms, sender, machine, kind, size, sha256, body, parse_state, parse_message, taken_ms)
SELECT id, received_ms, sender, machine, kind, size, sha256, body, parse_state, parse_message, taken_ms
FROM documents_unpartitioned;
DROP TABLE documents_unpartitioned CASCADE;
CREATE INDEX documents_received ON documents (received_ms);
CREATE INDEX documents_machine ON documents (machine, received_ms);
ALTER TABLE events ADD FOREIGN KEY (document_id) REFERENCES document_keys (id) ON DELETE CASCADE;
ALTER TABLE groups ADD FOREIGN KEY (document_id) REFERENCES document_keys (id) ON DELETE CASCADE;
ALTER TABLE data_points ADD FOREIGN KEY (document_id) REFERENCES document_keys (id) ON DELETE CASCADE;
ALTER TABLE machine_facts ADD FOREIGN KEY (document_id) REFERENCES document_keys (id) ON DELETE CASCADE;
ALTER TABLE disks ADD FOREIGN KEY (document_id) REFERENCES document_keys (id) ON DELETE CASCADE;
CREATE FUNCTION document_removed() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  DELETE FROM document_keys WHERE id = OLD.id;
  RETURN NULL;
END $$;
CREATE TRIGGER document_removed AFTER DELETE ON documents FOR EACH ROW EXECUTE FUNCTION document_removed();
CREATE FUNCTION drop_document_months(before_ms BIGINT) RETURNS INTEGER LANGUAGE plpgsql AS $$
DECLARE
  part TEXT;
  used BOOLEAN;
  dropped INTEGER := 0;
BEGIN
  FOR part IN SELECT c.relname FROM pg_inherits i JOIN pg_class c ON c.oid = i.inhrelid
      WHERE i.inhparent = 'documents'::regclass AND c.relname ~ '^documents_[0-9]{6}$' ORDER BY c.relname LOOP
    EXIT WHEN EXTRACT(EPOCH FROM to_date(substr(part, 11), 'YYYYMM') + INTERVAL '1 month')::BIGINT * 1000 > before_ms;
    -- Looked at unlocked first: a month still being emptied is not locked.
    EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I)', part) INTO used;
    EXIT WHEN used;
    -- Readers hold the parent for a moment at most; one that holds it longer
    -- leaves the month to the next run rather than stall uploads behind it.
    BEGIN
      PERFORM set_config('lock_timeout', '1s', true);
      EXECUTE format('LOCK TABLE documents, %I IN ACCESS EXCLUSIVE MODE', part);
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I)', part) INTO used;
      IF NOT used THEN
        EXECUTE format('DROP TABLE %I', part);
        dropped := dropped + 1;
      END IF;
    EXCEPTION WHEN lock_not_available THEN
      EXIT;
    END;
  END LOOP;
  RETURN dropped;
END $$;
)sql";

// A count of rows kept by triggers: +1 on the row's key when a row comes
// (or its key changes to it), -1 when it goes, a count at 0 dropped. On
// PostgreSQL a document's day is counted as its transaction commits: taken
// when its row goes in, the day's count would hold every other upload back
// until this one's rows were all in.
const char* const kSqliteCountTriggers = R"sql(
CREATE TRIGGER document_days_added AFTER INSERT ON documents BEGIN
  INSERT INTO document_days (day, documents) VALUES (NEW.received_ms / 86400000, 1)
  ON CONFLICT (day) DO UPDATE SET documents = documents + 1;
END;
CREATE TRIGGER document_days_removed AFTER DELETE ON documents BEGIN
  UPDATE document_days SET documents = documents - 1 WHERE day = OLD.received_ms / 86400000;
  DELETE FROM document_days WHERE day = OLD.received_ms / 86400000 AND documents <= 0;
END;
CREATE TRIGGER event_name_last_added AFTER INSERT ON event_machine_last BEGIN
  INSERT INTO event_name_last_days (name, last_day, machines) VALUES (NEW.name, NEW.last_day, 1)
  ON CONFLICT (name, last_day) DO UPDATE SET machines = machines + 1;
END;
CREATE TRIGGER event_name_last_moved AFTER UPDATE OF last_day ON event_machine_last
WHEN OLD.last_day <> NEW.last_day BEGIN
  UPDATE event_name_last_days SET machines = machines - 1 WHERE name = OLD.name AND last_day = OLD.last_day;
  DELETE FROM event_name_last_days WHERE name = OLD.name AND last_day = OLD.last_day AND machines <= 0;
  INSERT INTO event_name_last_days (name, last_day, machines) VALUES (NEW.name, NEW.last_day, 1)
  ON CONFLICT (name, last_day) DO UPDATE SET machines = machines + 1;
END;
CREATE TRIGGER event_name_last_removed AFTER DELETE ON event_machine_last BEGIN
  UPDATE event_name_last_days SET machines = machines - 1 WHERE name = OLD.name AND last_day = OLD.last_day;
  DELETE FROM event_name_last_days WHERE name = OLD.name AND last_day = OLD.last_day AND machines <= 0;
END;
)sql";

const char* const kPostgresCountTriggers = R"sql(
CREATE FUNCTION document_days_count() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP = 'INSERT' THEN
    INSERT INTO document_days (day, documents) VALUES (NEW.received_ms / 86400000, 1)
    ON CONFLICT (day) DO UPDATE SET documents = document_days.documents + 1;
  ELSE
    UPDATE document_days SET documents = documents - 1 WHERE day = OLD.received_ms / 86400000;
    DELETE FROM document_days WHERE day = OLD.received_ms / 86400000 AND documents <= 0;
  END IF;
  RETURN NULL;
END $$;
CREATE CONSTRAINT TRIGGER document_days_count AFTER INSERT OR DELETE ON documents
DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION document_days_count();
CREATE FUNCTION event_name_last_count() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP IN ('UPDATE', 'DELETE') THEN
    UPDATE event_name_last_days SET machines = machines - 1 WHERE name = OLD.name AND last_day = OLD.last_day;
    DELETE FROM event_name_last_days WHERE name = OLD.name AND last_day = OLD.last_day AND machines <= 0;
  END IF;
  IF TG_OP IN ('INSERT', 'UPDATE') THEN
    INSERT INTO event_name_last_days (name, last_day, machines) VALUES (NEW.name, NEW.last_day, 1)
    ON CONFLICT (name, last_day) DO UPDATE SET machines = event_name_last_days.machines + 1;
  END IF;
  RETURN NULL;
END $$;
CREATE TRIGGER event_name_last_count AFTER INSERT OR DELETE ON event_machine_last
FOR EACH ROW EXECUTE FUNCTION event_name_last_count();
CREATE TRIGGER event_name_last_moved AFTER UPDATE OF last_day ON event_machine_last
FOR EACH ROW WHEN (OLD.last_day <> NEW.last_day) EXECUTE FUNCTION event_name_last_count();
)sql";

const char* const kSqliteEventsByKey = R"sql(
CREATE TABLE events_by_key (
  document_id BIGINT NOT NULL REFERENCES documents (id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  value BIGINT,
  event_time_ms BIGINT,
  elapsed_ms BIGINT,
  PRIMARY KEY (document_id, seq)
) WITHOUT ROWID;
INSERT INTO events_by_key SELECT document_id, seq, name, value, event_time_ms, elapsed_ms FROM events;
DROP TABLE events;
ALTER TABLE events_by_key RENAME TO events;
CREATE INDEX events_name ON events (name);
)sql";

std::string ForDialect(std::string sql, SqlDialect dialect) {
  const bool sqlite = dialect == SqlDialect::kSqlite;
  // Names compare by their bytes in both databases, as keyset paging needs.
  const std::pair<std::string, std::string> words[] = {
      {"{ID}", sqlite ? "INTEGER PRIMARY KEY AUTOINCREMENT" : "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY"},
      {"{BLOB}", sqlite ? "BLOB" : "BYTEA"},
      {"{FIND}", sqlite ? "instr" : "strpos"},
      {"{BYTES}", sqlite ? "" : "COLLATE \"C\""},
      {"{ELAPSED_BUCKET}", ElapsedBucketSql()},
      {"{MONTHS}", sqlite ? "" : kMonthsSql},
      {"{COUNT_TRIGGERS}", sqlite ? kSqliteCountTriggers : kPostgresCountTriggers},
      {"{EVENTS_BY_KEY}", sqlite ? kSqliteEventsByKey : "SELECT 1;"},
      {"{DOCUMENT_IDS}", sqlite ? "documents (id)" : "document_keys (id)"},
      {"{CLUSTERED}", sqlite ? " WITHOUT ROWID" : ""}};
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

int64_t ElapsedBucket(int64_t ms) {
  if (ms < kExactElapsedBelow) return ms;
  int bits = 0;
  while (bits < 62 && (ms >> (bits + 1)) != 0) ++bits;
  const int shift = bits - kElapsedBucketBits;
  return (ms >> shift) << shift;
}

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
