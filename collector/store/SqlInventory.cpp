// Each machine's row and inventory, kept at ingest: the counts of its
// documents, the facts of its newest document that carries any, and the
// products and adapters of its newest report, with the fleet's count of
// machines per product and version beside them. "Newest" is the one made
// last (taken_ms, else received_ms), then the larger id, so a report that
// arrives late never replaces one made after it.
#include <string>

#include "collector/document/Compression.h"
#include "collector/document/DocumentReader.h"
#include "collector/store/SqlStore.h"
#include "collector/store/SqlWrite.h"

namespace collector {
namespace {

std::string Str(const std::optional<std::string> &column) {
  return column.value_or(std::string());
}

struct Newest {
  std::optional<int64_t> id, orderMs;
  bool Before(int64_t otherOrderMs, int64_t otherId) const {
    return !id || *orderMs < otherOrderMs ||
           (*orderMs == otherOrderMs && *id < otherId);
  }
};

std::string Joined(const std::vector<std::string> &parts) {
  std::string out;
  for (const std::string &p : parts)
    out += (out.empty() ? "" : " ") + p;
  return out;
}

// The fleet's counts with the report `id`'s products taken out (-1) or put in
// (+1). Both ways are upserts in key order, so that reports stored at once
// lock the counts alike and never wait for each other in a circle.
Status CountProducts(SqlSession &session, int64_t id, int sign) {
  const SqlValue document = SqlValue::Int(id);
  const std::string step = sign > 0 ? "+ 1" : "- 1";
  auto s = session.Exec(
      "INSERT INTO product_versions (name, version, machines) SELECT DISTINCT "
      "name, version, " +
          std::to_string(sign) +
          " FROM inventory_products WHERE document_id = $1 ORDER BY name, "
          "version ON CONFLICT (name, version) DO UPDATE SET machines = "
          "product_versions.machines " +
          step,
      {document});
  if (s.ok()) {
    s = session.Exec("INSERT INTO product_names (name, machines) SELECT "
                     "DISTINCT name, " +
                         std::to_string(sign) +
                         " FROM inventory_products WHERE document_id = $1 "
                         "ORDER BY name ON CONFLICT (name) DO UPDATE SET "
                         "machines = product_names.machines " +
                         step,
                     {document});
  }
  if (!s.ok() || sign > 0)
    return s;
  const char *const statements[] = {
      "DELETE FROM product_versions WHERE machines <= 0 AND (name, version) IN"
      " (SELECT name, version FROM inventory_products WHERE document_id = $1)",
      "DELETE FROM product_names WHERE machines <= 0 AND name IN"
      " (SELECT name FROM inventory_products WHERE document_id = $1)",
      "DELETE FROM inventory_products WHERE document_id = $1",
      "DELETE FROM inventory_adapters WHERE document_id = $1"};
  for (const char *sql : statements) {
    if (auto s = session.Exec(sql, {document}); !s.ok())
      return s;
  }
  return {};
}

Status DropInventoryRows(SqlSession &session, int64_t id) {
  auto s = session.Exec("DELETE FROM inventory_products WHERE document_id = $1",
                        {SqlValue::Int(id)});
  return s.ok() ? session.Exec(
                      "DELETE FROM inventory_adapters WHERE document_id = $1",
                      {SqlValue::Int(id)})
                : s;
}

// The machine's inventory from report `id` (its rows already in) instead of
// `old`.
Status ReplaceInventory(SqlSession &session, const std::string &machine,
                        const Newest &old, int64_t id, int64_t orderMs) {
  if (old.id) {
    if (auto s = CountProducts(session, *old.id, -1); !s.ok())
      return s;
  }
  if (auto s = CountProducts(session, id, +1); !s.ok())
    return s;
  return session.Exec(
      "UPDATE machines SET report_document_id = $1, report_order_ms = $2, "
      "inventory_state = 'current'"
      " WHERE name = $3",
      {SqlValue::Int(id), SqlValue::Int(orderMs), SqlValue::Text(machine)});
}

Status SetFacts(SqlSession &session, const std::string &machine, int64_t id,
                int64_t orderMs, const MachineFacts &f) {
  return session.Exec(
      "UPDATE machines SET facts_document_id = $1, facts_order_ms = $2, "
      "os_caption = $3, os_version = $4,"
      " processor = $5, logical_processors = $6, ram_bytes = $7 WHERE name = "
      "$8",
      {SqlValue::Int(id), SqlValue::Int(orderMs), SqlValue::Text(f.osCaption),
       SqlValue::Text(f.osVersion), SqlValue::Text(f.processor),
       SqlValue::MaybeInt(f.logicalProcessors), SqlValue::MaybeInt(f.ramBytes),
       SqlValue::Text(machine)});
}

// The products and adapters of a stored report, read again from its body.
Status ReadInventoryRows(SqlSession &session, int64_t id) {
  std::string packed, xml;
  auto s = session.Exec("SELECT body FROM documents WHERE id = $1",
                        {SqlValue::Int(id)},
                        [&](const SqlRow &row) { packed = Str(row[0]); });
  if (s.ok())
    s = Unpack(packed, xml);
  if (!s.ok())
    return s;
  DocumentReader reader(xml);
  RowBatch batch;
  for (bool done = false; !done;) {
    // A body that no longer reads (it read once) leaves the machine without an
    // inventory.
    if (!reader.Next(batch, done).ok())
      return DropInventoryRows(session, id);
    if (s = InsertInventoryRows(session, id, batch); !s.ok())
      return s;
  }
  return {};
}

// The machine's row as its remaining documents describe it.
Status RebuildMachine(SqlSession &session, const std::string &machine) {
  const SqlValue name = SqlValue::Text(machine);
  Newest old;
  auto s = session.Exec("SELECT report_document_id, report_order_ms FROM "
                        "machines WHERE name = $1",
                        {name}, [&](const SqlRow &row) {
                          old = {AsInt(row[0]), AsInt(row[1])};
                        });
  if (s.ok() && old.id)
    s = CountProducts(session, *old.id, -1);
  int64_t documents = 0, lastMs = 0;
  if (s.ok()) {
    s = session.Exec(
        "SELECT COUNT(*), MAX(received_ms) FROM documents WHERE machine = $1",
        {name}, [&](const SqlRow &row) {
          documents = AsInt(row[0]).value_or(0);
          lastMs = AsInt(row[1]).value_or(0);
        });
  }
  if (!s.ok())
    return s;
  if (documents == 0)
    return session.Exec("DELETE FROM machines WHERE name = $1", {name});
  s = session.Exec("UPDATE machines SET documents = $1, last_received_ms = $2, "
                   "facts_document_id = NULL, facts_order_ms = NULL,"
                   " os_caption = '', os_version = '', processor = '', "
                   "logical_processors = NULL, ram_bytes = NULL,"
                   " report_document_id = NULL, report_order_ms = NULL, "
                   "inventory_state = 'current' WHERE name = $3",
                   {SqlValue::Int(documents), SqlValue::Int(lastMs), name});
  std::optional<int64_t> factsId, factsOrder;
  MachineFacts facts;
  if (s.ok()) {
    s = session.Exec(
        "SELECT d.id, COALESCE(d.taken_ms, d.received_ms) AS made, "
        "f.os_caption, f.os_version, f.processor,"
        " f.logical_processors, f.ram_bytes FROM documents d JOIN "
        "machine_facts f ON f.document_id = d.id"
        " WHERE d.machine = $1 ORDER BY made DESC, d.id DESC LIMIT 1",
        {name}, [&](const SqlRow &row) {
          factsId = AsInt(row[0]);
          factsOrder = AsInt(row[1]);
          facts = {Str(row[2]),   Str(row[3]),   Str(row[4]),
                   AsInt(row[5]), AsInt(row[6]), {}};
        });
  }
  if (s.ok() && factsId)
    s = SetFacts(session, machine, *factsId, *factsOrder, facts);
  Newest report;
  if (s.ok()) {
    s = session.Exec(
        "SELECT id, COALESCE(taken_ms, received_ms) AS made FROM documents "
        "WHERE machine = $1 AND kind = 'report'"
        " AND parse_state = 'parsed' ORDER BY made DESC, id DESC LIMIT 1",
        {name}, [&](const SqlRow &row) {
          report = {AsInt(row[0]), AsInt(row[1])};
        });
  }
  if (!s.ok() || !report.id)
    return s;
  if (s = DropInventoryRows(session, *report.id); s.ok())
    s = ReadInventoryRows(session, *report.id);
  return s.ok() ? ReplaceInventory(session, machine, Newest{}, *report.id,
                                   *report.orderMs)
                : s;
}

} // namespace

Status InsertInventoryRows(SqlSession &session, int64_t id,
                           const RowBatch &batch) {
  const SqlValue document = SqlValue::Int(id);
  std::vector<const ProductRow *> named;
  for (const ProductRow &p : batch.products) {
    if (!p.name.empty())
      named.push_back(&p);
  }
  auto s = InsertRows(
      session,
      "INSERT INTO inventory_products (document_id, seq, name, version, "
      "publisher, folder)",
      6, named.size(), [&](size_t i, std::vector<SqlValue> &p) {
        const ProductRow &r = *named[i];
        p.insert(p.end(),
                 {document,
                  SqlValue::Int(batch.firstProduct +
                                (named[i] - &batch.products[0])),
                  SqlValue::Text(r.name), SqlValue::Text(r.version),
                  SqlValue::Text(r.publisher), SqlValue::Text(r.folder)});
      });
  if (!s.ok())
    return s;
  return InsertRows(
      session,
      "INSERT INTO inventory_adapters (document_id, seq, description, "
      "hardware_address, ipv4)",
      5, batch.adapters.size(), [&](size_t i, std::vector<SqlValue> &p) {
        const AdapterRow &a = batch.adapters[i];
        p.insert(p.end(),
                 {document,
                  SqlValue::Int(batch.firstAdapter + static_cast<int64_t>(i)),
                  SqlValue::Text(a.description),
                  SqlValue::Text(a.hardwareAddress),
                  SqlValue::Text(Joined(a.ipv4))});
      });
}

Status UpdateInventory(SqlSession &session, int64_t id, const Arrival &arrival,
                       const DocumentSummary &summary) {
  const bool hasInventory = summary.products > 0 || summary.adapters > 0;
  if (summary.machine.empty())
    return hasInventory ? DropInventoryRows(session, id) : Status();
  const SqlValue name = SqlValue::Text(summary.machine);
  const int64_t orderMs =
      arrival.takenMs ? arrival.takenMs : arrival.receivedMs;
  // The upsert locks the machine's row first: a concurrent document of the
  // same machine waits here and then sees this one's choices.
  auto s =
      session.Exec("INSERT INTO machines (name, documents, last_received_ms) "
                   "VALUES ($1, 1, $2) ON CONFLICT (name) DO UPDATE SET"
                   " documents = machines.documents + 1, last_received_ms = "
                   "CASE WHEN machines.last_received_ms > $2"
                   " THEN machines.last_received_ms ELSE $2 END",
                   {name, SqlValue::Int(arrival.receivedMs)});
  Newest facts, report;
  if (s.ok()) {
    s = session.Exec(
        "SELECT facts_document_id, facts_order_ms, report_document_id, "
        "report_order_ms FROM machines WHERE name = $1",
        {name}, [&](const SqlRow &row) {
          facts = {AsInt(row[0]), AsInt(row[1])};
          report = {AsInt(row[2]), AsInt(row[3])};
        });
  }
  if (s.ok() && summary.HasFacts() && facts.Before(orderMs, id)) {
    s = SetFacts(session, summary.machine, id, orderMs, summary.facts);
  }
  if (!s.ok())
    return s;
  if (summary.kind == DocumentKind::kReport && report.Before(orderMs, id)) {
    return ReplaceInventory(session, summary.machine, report, id, orderMs);
  }
  return hasInventory ? DropInventoryRows(session, id) : Status();
}

Status RemovedMachines::Gather(SqlSession &session, const std::string &inList,
                               const std::vector<SqlValue> &ids) {
  return session.Exec(
      "SELECT d.machine, MAX(CASE WHEN d.id = m.report_document_id OR d.id = "
      "m.facts_document_id THEN 1 ELSE 0 END) FROM documents d JOIN machines "
      "m ON m.name = d.machine WHERE " +
          inList + " GROUP BY d.machine",
      ids, [&](const SqlRow &row) {
        bool &newest = machines_[Str(row[0])];
        newest = newest || AsInt(row[1]).value_or(0) != 0;
      });
}

Status RemovedMachines::Apply(SqlSession &session) const {
  for (const auto &[machine, newest] : machines_) {
    if (newest) {
      if (auto s = RebuildMachine(session, machine); !s.ok())
        return s;
      continue;
    }
    const SqlValue name = SqlValue::Text(machine);
    auto s = session.Exec(
        "UPDATE machines SET documents = (SELECT COUNT(*) FROM documents "
        "WHERE machine = $1), last_received_ms = COALESCE((SELECT "
        "MAX(received_ms) FROM documents WHERE machine = $1), 0) WHERE name = "
        "$1",
        {name});
    if (s.ok())
      s = session.Exec(
          "DELETE FROM machines WHERE name = $1 AND documents = 0", {name});
    if (!s.ok())
      return s;
  }
  return {};
}

Status SqlStore::RebuildInventory(const std::string &machine) {
  return WithSession([&](SqlSession &session) {
    if (auto s = session.BeginWrite(); !s.ok())
      return s;
    Status s = RebuildMachine(session, machine);
    if (s.ok())
      return session.ExecScript("COMMIT");
    (void)session.ExecScript("ROLLBACK");
    return s;
  });
}

// A batch of machines per transaction: one commit each would take SQLite
// minutes for a large fleet.
Status SqlStore::RebuildStaleInventories() {
  for (;;) {
    std::vector<std::string> machines;
    auto s = WithSession([&](SqlSession &session) {
      return session.Exec(
          "SELECT name FROM machines WHERE inventory_state = 'stale' ORDER BY "
          "name LIMIT 200",
          {}, [&](const SqlRow &row) { machines.push_back(Str(row[0])); });
    });
    if (!s.ok() || machines.empty())
      return s;
    s = WithSession([&](SqlSession &session) {
      if (auto s = session.BeginWrite(); !s.ok())
        return s;
      Status s;
      for (size_t i = 0; s.ok() && i < machines.size(); ++i)
        s = RebuildMachine(session, machines[i]);
      if (s.ok())
        return session.ExecScript("COMMIT");
      (void)session.ExecScript("ROLLBACK");
      return s;
    });
    if (!s.ok())
      return s;
  }
}

} // namespace collector
