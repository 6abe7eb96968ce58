// Questions across the fleet, answered from the machines' rows and
// inventories kept at ingest: a fixed number of statements per page, each
// led by an index, with keyset paging (a page starts after the sort key of
// the last row before it, so rows stored meanwhile neither shift nor repeat
// the rows that follow).
#include <algorithm>
#include <cctype>
#include <map>

#include "collector/base/WholeNumber.h"
#include "collector/store/SqlStore.h"

namespace collector {
namespace {

std::string Str(const std::optional<std::string> &column) {
  return column.value_or(std::string());
}

// A cursor is its fields, hex-encoded so that it travels in a query as it is.
std::string MakeCursor(const std::vector<std::string> &fields) {
  static const char *const digits = "0123456789abcdef";
  std::string joined, out;
  for (size_t i = 0; i < fields.size(); ++i)
    joined += (i ? "\x1f" : "") + fields[i];
  for (unsigned char c : joined)
    out += {digits[c >> 4], digits[c & 15]};
  return out;
}

Status ReadCursor(const std::string &cursor, size_t count,
                  std::vector<std::string> &fields) {
  std::string joined;
  auto nibble = [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'a' + 10;
  };
  for (size_t i = 0; i + 1 < cursor.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(cursor[i])) ||
        !std::isxdigit(static_cast<unsigned char>(cursor[i + 1])) ||
        std::isupper(static_cast<unsigned char>(cursor[i])) ||
        std::isupper(static_cast<unsigned char>(cursor[i + 1]))) {
      return Invalid("after: not a cursor this collector made");
    }
    joined += static_cast<char>(nibble(cursor[i]) * 16 + nibble(cursor[i + 1]));
  }
  fields.clear();
  for (size_t start = 0;;) {
    const size_t end = joined.find('\x1f', start);
    fields.push_back(joined.substr(
        start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  if (cursor.size() % 2 || fields.size() != count)
    return Invalid("after: not a cursor this collector made");
  return {};
}

std::string AsciiLowered(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A LIKE pattern matching `text` anywhere, its own % _ and \ taken literally.
std::string Containing(const std::string &text, const std::string &edge = "%") {
  std::string out = edge;
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\')
      out += '\\';
    out += c;
  }
  return out + edge;
}

struct SortColumn {
  const char *sql;
  bool number;
};

SortColumn ColumnOf(MachineQuery::Sort sort) {
  switch (sort) {
  case MachineQuery::Sort::kLastSeen:
    return {"m.last_received_ms", true};
  case MachineQuery::Sort::kOs:
    return {"m.os_caption", false};
  case MachineQuery::Sort::kRam:
    return {"COALESCE(m.ram_bytes, -1)", true};
  case MachineQuery::Sort::kDocuments:
    return {"m.documents", true};
  case MachineQuery::Sort::kName:
    break;
  }
  return {"m.name", false};
}

constexpr const char *kMachineColumns =
    "SELECT m.name, m.documents, m.last_received_ms, m.os_caption, "
    "m.os_version, m.processor,"
    " m.logical_processors, m.ram_bytes, m.facts_document_id, m.os_caption, "
    "COALESCE(m.ram_bytes, -1)";

// The machines of one statement, with the disks of the documents their facts
// came from.
Status ReadMachineRows(SqlSession &session, const std::string &sql,
                       const std::vector<SqlValue> &params,
                       std::vector<MachineInfo> &out,
                       std::vector<SqlRow> *rows = nullptr) {
  std::map<int64_t, size_t> byFacts;
  auto s = session.Exec(sql, params, [&](const SqlRow &row) {
    MachineInfo m;
    m.name = Str(row[0]);
    m.documents = AsInt(row[1]).value_or(0);
    m.lastReceivedMs = AsInt(row[2]).value_or(0);
    m.facts = {Str(row[3]),   Str(row[4]),   Str(row[5]),
               AsInt(row[6]), AsInt(row[7]), {}};
    if (auto id = AsInt(row[8]))
      byFacts[*id] = out.size();
    out.push_back(std::move(m));
    if (rows)
      rows->push_back(row);
  });
  if (!s.ok() || byFacts.empty())
    return s;
  // A hundred ids a statement: a statement's parameters are found by name,
  // which costs the square of their number.
  constexpr size_t kIdsPerStatement = 100;
  for (auto next = byFacts.begin(); next != byFacts.end();) {
    std::string in;
    std::vector<SqlValue> ids;
    for (; next != byFacts.end() && ids.size() < kIdsPerStatement; ++next) {
      ids.push_back(SqlValue::Int(next->first));
      in += (in.empty() ? "$" : ", $") + std::to_string(ids.size());
    }
    s = session.Exec(
        "SELECT document_id, drive, free_bytes, available_bytes FROM disks "
        "WHERE document_id IN (" +
            in + ") ORDER BY document_id, seq",
        ids, [&](const SqlRow &row) {
          out[byFacts[AsInt(row[0]).value_or(0)]].facts.disks.push_back(
              {Str(row[1]), AsInt(row[2]), AsInt(row[3])});
        });
    if (!s.ok())
      return s;
  }
  return s;
}

} // namespace

Status SqlStore::FindMachines(const MachineQuery &query, MachinePage &out) {
  out = MachinePage{};
  const SortColumn column = ColumnOf(query.sort);
  std::vector<SqlValue> params;
  auto param = [&](SqlValue value) {
    params.push_back(std::move(value));
    return "$" + std::to_string(params.size());
  };
  std::string where = " WHERE 1 = 1";
  if (!query.text.empty()) {
    const std::string lowered = AsciiLowered(query.text);
    std::string hardware = lowered;
    std::replace(hardware.begin(), hardware.end(), ':', '-');
    where += " AND (lower(m.name) LIKE " +
             param(SqlValue::Text(Containing(lowered))) +
             " ESCAPE '\\' OR m.report_document_id IN (SELECT document_id FROM "
             "inventory_adapters WHERE"
             " hardware_address = " +
             param(SqlValue::Text(hardware)) +
             " OR (' ' || ipv4 || ' ') LIKE " +
             param(SqlValue::Text("% " + Containing(query.text, "") + " %")) +
             " ESCAPE '\\'))";
  }
  if (!query.os.empty())
    where += " AND m.os_caption = " + param(SqlValue::Text(query.os));
  if (!query.product.empty()) {
    where += " AND m.report_document_id IN (SELECT document_id FROM "
             "inventory_products WHERE name = " +
             param(SqlValue::Text(query.product));
    if (!query.version.empty())
      where += " AND version = " + param(SqlValue::Text(query.version));
    where += ")";
  }
  // Backward: the rows before the cursor, nearest first, turned round below.
  const bool descending = query.descending != query.backward;
  if (!query.after.empty()) {
    std::vector<std::string> fields;
    if (auto s = ReadCursor(query.after, 2, fields); !s.ok())
      return s;
    const auto number = ParseWholeNumber(fields[0]);
    if (column.number && !number && fields[0] != "-1")
      return Invalid("after: not a cursor this collector made");
    const SqlValue key = column.number
                             ? SqlValue::Int(fields[0] == "-1" ? -1 : *number)
                             : SqlValue::Text(fields[0]);
    where += std::string(" AND (") + column.sql + ", m.name) " +
             (descending ? "<" : ">") + " (" + param(key) + ", " +
             param(SqlValue::Text(fields[1])) + ")";
  }
  const char *direction = descending ? " DESC" : "";
  const std::string sql = std::string(kMachineColumns) + " FROM machines m" +
                          where + " ORDER BY " + column.sql + direction +
                          ", m.name" + direction + " LIMIT " +
                          param(SqlValue::Int(query.limit + 1));
  auto cursorOf = [&](const SqlRow &row) {
    const int keyColumn[] = {0, 2, 9, 10,
                             1}; // by Sort: name, last seen, os, ram, documents
    return MakeCursor(
        {Str(row[keyColumn[static_cast<int>(query.sort)]]), Str(row[0])});
  };
  return WithSession([&](SqlSession &session) {
    std::vector<SqlRow> rows;
    auto s = ReadMachineRows(session, sql, params, out.machines, &rows);
    const bool more = static_cast<int64_t>(out.machines.size()) > query.limit;
    if (more) {
      out.machines.pop_back();
      rows.pop_back();
    }
    if (query.backward) {
      std::reverse(out.machines.begin(), out.machines.end());
      std::reverse(rows.begin(), rows.end());
    }
    if (!s.ok() || rows.empty())
      return s;
    if (query.backward ? true : more)
      out.next = cursorOf(rows.back());
    if (query.backward ? more : !query.after.empty())
      out.previous = cursorOf(rows.front());
    return s;
  });
}

Status SqlStore::Machines(std::vector<MachineInfo> &out) {
  return WithSession([&](SqlSession &session) {
    return ReadMachineRows(session,
                           std::string(kMachineColumns) +
                               " FROM machines m ORDER BY m.name",
                           {}, out);
  });
}

Status SqlStore::Machine(const std::string &name,
                         std::optional<MachineInfo> &out) {
  out.reset();
  return WithSession([&](SqlSession &session) {
    std::vector<MachineInfo> found;
    auto s = ReadMachineRows(session,
                             std::string(kMachineColumns) +
                                 " FROM machines m WHERE m.name = $1",
                             {SqlValue::Text(name)}, found);
    if (s.ok() && !found.empty())
      out = std::move(found[0]);
    return s;
  });
}

Status SqlStore::MachineNames(std::vector<std::string> &out) {
  return WithSession([&](SqlSession &session) {
    return session.Exec("SELECT name FROM machines ORDER BY name", {},
                        [&](const SqlRow &row) { out.push_back(Str(row[0])); });
  });
}

Status SqlStore::Products(const ProductQuery &query, ProductPage &out) {
  out = ProductPage{};
  std::vector<SqlValue> params;
  std::string where = " WHERE 1 = 1";
  if (!query.text.empty()) {
    params.push_back(SqlValue::Text(Containing(AsciiLowered(query.text))));
    where += " AND lower(name) LIKE $1 ESCAPE '\\'";
  }
  if (!query.after.empty()) {
    std::vector<std::string> fields;
    if (auto s = ReadCursor(query.after, 2, fields); !s.ok())
      return s;
    const auto machines = ParseWholeNumber(fields[0]);
    if (!machines)
      return Invalid("after: not a cursor this collector made");
    params.push_back(SqlValue::Int(*machines));
    params.push_back(SqlValue::Text(fields[1]));
    const std::string a = "$" + std::to_string(params.size() - 1),
                      b = "$" + std::to_string(params.size());
    where += " AND (machines < " + a + " OR (machines = " + a + " AND name > " +
             b + "))";
  }
  params.push_back(SqlValue::Int(query.limit + 1));
  return WithSession([&](SqlSession &session) {
    auto s = session.Exec(
        "SELECT name, machines FROM product_names" + where +
            " ORDER BY machines DESC, name LIMIT $" +
            std::to_string(params.size()),
        params, [&](const SqlRow &row) {
          out.products.push_back({Str(row[0]), AsInt(row[1]).value_or(0), {}});
        });
    if (!s.ok() || out.products.empty())
      return s;
    if (static_cast<int64_t>(out.products.size()) > query.limit) {
      out.products.pop_back();
      const ProductCount &last = out.products.back();
      out.next = MakeCursor({std::to_string(last.machines), last.name});
    }
    std::map<std::string, size_t> index;
    std::vector<SqlValue> names;
    std::string in;
    for (size_t i = 0; i < out.products.size(); ++i) {
      index[out.products[i].name] = i;
      names.push_back(SqlValue::Text(out.products[i].name));
      in += (i ? ", $" : "$") + std::to_string(i + 1);
    }
    return session.Exec(
        "SELECT name, version, machines FROM product_versions WHERE name IN (" +
            in + ") ORDER BY name, machines DESC, version",
        names, [&](const SqlRow &row) {
          out.products[index[Str(row[0])]].versions.push_back(
              {Str(row[1]), AsInt(row[2]).value_or(0)});
        });
  });
}

Status SqlStore::ProductMachines(const std::string &name,
                                 const std::string &after, int64_t limit,
                                 ProductMachinesPage &out) {
  out = ProductMachinesPage{};
  std::vector<SqlValue> params{SqlValue::Text(name)};
  std::string where;
  if (!after.empty()) {
    std::vector<std::string> fields;
    if (auto s = ReadCursor(after, 2, fields); !s.ok())
      return s;
    params.push_back(SqlValue::Text(fields[0]));
    params.push_back(SqlValue::Text(fields[1]));
    where = " AND (p.version, m.name) > ($2, $3)";
  }
  params.push_back(SqlValue::Int(limit + 1));
  return WithSession([&](SqlSession &session) {
    ProductCount product{name, 0, {}};
    auto s = session.Exec("SELECT machines FROM product_names WHERE name = $1",
                          {params[0]}, [&](const SqlRow &row) {
                            product.machines = AsInt(row[0]).value_or(0);
                          });
    if (s.ok()) {
      s = session.Exec("SELECT version, machines FROM product_versions WHERE "
                       "name = $1 ORDER BY machines DESC, version",
                       {params[0]}, [&](const SqlRow &row) {
                         product.versions.push_back(
                             {Str(row[0]), AsInt(row[1]).value_or(0)});
                       });
    }
    if (!s.ok() || product.versions.empty())
      return s;
    out.product = std::move(product);
    s = session.Exec(
        "SELECT DISTINCT p.version, m.name FROM inventory_products p JOIN "
        "machines m"
        " ON m.report_document_id = p.document_id WHERE p.name = $1" +
            where + " ORDER BY p.version, m.name LIMIT $" +
            std::to_string(params.size()),
        params, [&](const SqlRow &row) {
          out.machines.emplace_back(Str(row[0]), Str(row[1]));
        });
    if (s.ok() && static_cast<int64_t>(out.machines.size()) > limit) {
      out.machines.pop_back();
      out.next =
          MakeCursor({out.machines.back().first, out.machines.back().second});
    }
    return s;
  });
}

} // namespace collector
