// The event rollups: per event name and UTC day (and hour) the counts of
// events, documents and values, the machines that sent it, and its elapsed
// times as counts per bucket, kept at ingest so that a summary's cost
// follows the days it covers and the names in them, never the events ever
// stored. A window open at its end (every page's) counts machines by the
// last day each sent the name, and takes the elapsed times of the whole
// history less the days before the window when those are fewer.
#include <algorithm>
#include <map>
#include <tuple>

#include "collector/store/Schema.h"
#include "collector/store/SqlRollups.h"
#include "collector/store/SqlValueRollup.h"
#include "collector/store/SqlWrite.h"

namespace collector {
namespace {

constexpr int64_t kDayMs = 86400000, kHourMs = 3600000;

std::string Str(const std::optional<std::string> &column) {
  return column.value_or(std::string());
}

// " AND day >= $n AND day < $m AND name = $k" for a rollup's columns.
std::string RollupWhere(const std::string &day, std::optional<int64_t> from,
                        std::optional<int64_t> to, const std::string &name,
                        std::vector<SqlValue> &params) {
  std::string where;
  auto add = [&](const std::string &term, SqlValue value) {
    params.push_back(std::move(value));
    where += " AND " + term + "$" + std::to_string(params.size());
  };
  if (from)
    add(day + " >= ", SqlValue::Int(*from));
  if (to)
    add(day + " < ", SqlValue::Int(*to));
  if (!name.empty())
    add("name = ", SqlValue::Text(name));
  return where;
}

using Buckets = std::map<std::string, std::map<int64_t, int64_t>>;

Status AddBuckets(SqlSession &session, const std::string &sql,
                  const std::vector<SqlValue> &params, int sign, Buckets &out) {
  return session.Exec(sql, params, [&](const SqlRow &row) {
    int64_t &events = out[Str(row[0])][AsInt(row[1]).value_or(0)];
    events += sign * AsInt(row[2]).value_or(0);
  });
}

// Elapsed buckets per name over days [from, to); `to` none: to the end.
Status ElapsedBuckets(SqlSession &session, std::optional<int64_t> from,
                      std::optional<int64_t> to, const std::string &name,
                      Buckets &out) {
  const std::string days =
      "SELECT name, bucket, SUM(events) FROM event_elapsed_days WHERE 1 = 1";
  std::vector<SqlValue> params;
  if (to || !from) {
    const std::string sql = days + RollupWhere("day", from, to, name, params) +
                            " GROUP BY name, bucket";
    return AddBuckets(session, sql, params, 1, out);
  }
  std::optional<int64_t> first, last;
  auto s = session.Exec("SELECT MIN(day), MAX(day) FROM event_days", {},
                        [&](const SqlRow &row) {
                          first = AsInt(row[0]);
                          last = AsInt(row[1]);
                        });
  if (!s.ok() || !first)
    return s;
  if (*last - *from <= *from - *first) {
    const std::string sql = days + RollupWhere("day", from, to, name, params) +
                            " GROUP BY name, bucket";
    return AddBuckets(session, sql, params, 1, out);
  }
  std::string totals =
      "SELECT name, bucket, events FROM event_elapsed_totals WHERE 1 = 1";
  s = AddBuckets(session, totals + RollupWhere("", {}, {}, name, params),
                 params, 1, out);
  if (!s.ok() || *from <= *first)
    return s;
  params.clear();
  const std::string before =
      days + RollupWhere("day", std::nullopt, from, name, params) +
      " GROUP BY name, bucket";
  return AddBuckets(session, before, params, -1, out);
}

} // namespace

// The smallest elapsed time with at least `percent` of `count` at or below it.
std::optional<int64_t> Percentile(const std::map<int64_t, int64_t> &buckets,
                                  int64_t count, int percent) {
  const int64_t rank = std::max<int64_t>((count * percent + 99) / 100, 1);
  int64_t seen = 0;
  for (const auto &[bucket, events] : buckets) {
    if ((seen += events) >= rank)
      return bucket;
  }
  return std::nullopt;
}


void EventRollup::Add(const std::vector<EventRow> &events) {
  for (const EventRow &e : events) {
    PerName &n = names_[e.name];
    ++n.events;
    n.valueSum += e.value.value_or(0);
    if (e.elapsedMs) {
      ++n.elapsedEvents;
      ++n.elapsed[ElapsedBucket(*e.elapsedMs)];
    }
  }
}

void EventRollups::Add(int64_t receivedMs, const std::string &machine,
                       const EventRollup &rollup) {
  const int64_t day = receivedMs / kDayMs, hour = receivedMs / kHourMs;
  for (const auto &[name, n] : rollup.Names()) {
    for (auto *counts : {&days_[{day, name}], &hours_[{hour, name}]}) {
      counts->events += n.events;
      counts->documents += 1;
      counts->valueSum += n.valueSum;
      counts->elapsedEvents += n.elapsedEvents;
    }
    for (const auto &[bucket, events] : n.elapsed) {
      elapsed_[{day, name, bucket}] += events;
      totals_[{name, bucket}] += events;
    }
    if (machine.empty())
      continue;
    machineDays_.emplace(day, name, machine);
    int64_t &last = machineLast_.try_emplace({name, machine}, day).first->second;
    last = std::max(last, day);
  }
}

namespace {

SqlValue Text(const std::string &text) { return SqlValue::Text(text); }

} // namespace

Status EventRollups::Write(SqlSession &session) const {
  for (const auto &[table, rows] :
       {std::pair<std::string, const std::map<std::pair<int64_t, std::string>,
                                              Counts> *>{"event_days", &days_},
        {"event_hours", &hours_}}) {
    const std::string key = table == "event_days" ? "day" : "hour";
    auto s = Upsert(
        session,
        "INSERT INTO " + table + " (" + key +
            ", name, events, documents, value_sum, elapsed_events)",
        6, *rows,
        [](const auto &row, std::vector<SqlValue> &p) {
          const Counts &c = row.second;
          p.insert(p.end(), {SqlValue::Int(row.first.first),
                             Text(row.first.second), SqlValue::Int(c.events),
                             SqlValue::Int(c.documents),
                             SqlValue::Int(c.valueSum),
                             SqlValue::Int(c.elapsedEvents)});
        },
        " ON CONFLICT (" + key + ", name) DO UPDATE SET events = " + table +
            ".events + excluded.events, documents = " + table +
            ".documents + excluded.documents, value_sum = " + table +
            ".value_sum + excluded.value_sum, elapsed_events = " + table +
            ".elapsed_events + excluded.elapsed_events");
    if (!s.ok())
      return s;
  }
  auto s = Upsert(
      session, "INSERT INTO event_elapsed_days (day, name, bucket, events)", 4,
      elapsed_,
      [](const auto &row, std::vector<SqlValue> &p) {
        const auto &[day, name, bucket] = row.first;
        p.insert(p.end(), {SqlValue::Int(day), Text(name),
                           SqlValue::Int(bucket), SqlValue::Int(row.second)});
      },
      " ON CONFLICT (day, name, bucket) DO UPDATE SET events = "
      "event_elapsed_days.events + excluded.events");
  if (!s.ok())
    return s;
  s = Upsert(
      session, "INSERT INTO event_elapsed_totals (name, bucket, events)", 3,
      totals_,
      [](const auto &row, std::vector<SqlValue> &p) {
        p.insert(p.end(), {Text(row.first.first), SqlValue::Int(row.first.second),
                           SqlValue::Int(row.second)});
      },
      " ON CONFLICT (name, bucket) DO UPDATE SET events = "
      "event_elapsed_totals.events + excluded.events");
  if (!s.ok())
    return s;
  s = Upsert(
      session, "INSERT INTO event_machine_days (day, name, machine)", 3,
      machineDays_,
      [](const auto &row, std::vector<SqlValue> &p) {
        const auto &[day, name, machine] = row;
        p.insert(p.end(), {SqlValue::Int(day), Text(name), Text(machine)});
      },
      " ON CONFLICT (day, name, machine) DO NOTHING");
  if (!s.ok())
    return s;
  return Upsert(
      session, "INSERT INTO event_machine_last (name, machine, last_day)", 3,
      machineLast_,
      [](const auto &row, std::vector<SqlValue> &p) {
        p.insert(p.end(), {Text(row.first.first), Text(row.first.second),
                           SqlValue::Int(row.second)});
      },
      " ON CONFLICT (name, machine) DO UPDATE SET last_day = CASE WHEN "
      "excluded.last_day > event_machine_last.last_day THEN excluded.last_day "
      "ELSE event_machine_last.last_day END");
}

bool RollupsAnswer(const Filter &filter) {
  auto whole = [](const std::optional<int64_t> &ms) {
    return !ms || (*ms >= 0 && *ms % kDayMs == 0);
  };
  return filter.machine.empty() && whole(filter.sinceMs) &&
         whole(filter.untilMs);
}

Status SummarizeFromRollups(SqlSession &session, const Filter &filter,
                            std::vector<EventSummary> &out) {
  std::optional<int64_t> from, to;
  if (filter.sinceMs)
    from = *filter.sinceMs / kDayMs;
  if (filter.untilMs)
    to = *filter.untilMs / kDayMs;
  std::map<std::string, EventSummary> byName;
  std::vector<SqlValue> params;
  auto s = session.Exec("SELECT name, SUM(events), SUM(documents), "
                        "SUM(value_sum), SUM(elapsed_events) FROM event_days"
                        " WHERE 1 = 1" +
                            RollupWhere("day", from, to, filter.name, params) +
                            " GROUP BY name",
                        params, [&](const SqlRow &row) {
                          EventSummary &e = byName[Str(row[0])];
                          e = {Str(row[0]),
                               AsInt(row[1]).value_or(0),
                               AsInt(row[2]).value_or(0),
                               0,
                               AsInt(row[3]).value_or(0),
                               {},
                               {},
                               {}};
                        });
  params.clear();
  const std::string machines =
      to ? "SELECT name, COUNT(DISTINCT machine) FROM event_machine_days WHERE "
           "1 = 1" +
               RollupWhere("day", from, to, filter.name, params) +
               " GROUP BY name"
         : "SELECT name, SUM(machines) FROM event_name_last_days WHERE 1 = 1" +
               RollupWhere("last_day", from, to, filter.name, params) +
               " GROUP BY name";
  if (s.ok()) {
    s = session.Exec(machines, params, [&](const SqlRow &row) {
      auto it = byName.find(Str(row[0]));
      if (it != byName.end())
        it->second.machines = AsInt(row[1]).value_or(0);
    });
  }
  Buckets elapsed;
  if (s.ok())
    s = ElapsedBuckets(session, from, to, filter.name, elapsed);
  for (auto &[name, e] : byName) {
    auto it = elapsed.find(name);
    if (it == elapsed.end())
      continue;
    int64_t timed = 0;
    for (const auto &bucket : it->second)
      timed += bucket.second;
    if (timed <= 0)
      continue;
    e.p50 = Percentile(it->second, timed, 50);
    e.p90 = Percentile(it->second, timed, 90);
    e.p99 = Percentile(it->second, timed, 99);
  }
  for (auto &[name, e] : byName)
    out.push_back(std::move(e));
  return s;
}

Status HistogramFromRollups(SqlSession &session, const Filter &filter,
                            std::vector<std::pair<int64_t, int64_t>> &perDay,
                            std::vector<std::pair<int64_t, int64_t>> &elapsed) {
  std::optional<int64_t> from, to;
  if (filter.sinceMs)
    from = *filter.sinceMs / kDayMs;
  if (filter.untilMs)
    to = *filter.untilMs / kDayMs;
  std::vector<SqlValue> params;
  auto s = session.Exec("SELECT day, events FROM event_days WHERE 1 = 1" +
                            RollupWhere("day", from, to, filter.name, params) +
                            " ORDER BY day",
                        params, [&](const SqlRow &row) {
                          perDay.emplace_back(AsInt(row[0]).value_or(0),
                                              AsInt(row[1]).value_or(0));
                        });
  Buckets buckets;
  if (s.ok())
    s = ElapsedBuckets(session, from, to, filter.name, buckets);
  for (const auto &[bucket, events] : buckets[filter.name]) {
    if (events > 0)
      elapsed.emplace_back(bucket, events);
  }
  return s;
}

Status RemovedRollup::Gather(SqlSession &session, const std::string &inList,
                             const std::vector<SqlValue> &ids) {
  const std::string from =
      " FROM documents d JOIN events e ON e.document_id = d.id WHERE " + inList;
  auto s = session.Exec(
      "SELECT d.received_ms / 3600000, e.name, COUNT(*), COUNT(DISTINCT "
      "e.document_id), COALESCE(SUM(e.value), 0), COUNT(e.elapsed_ms)" +
          from + " GROUP BY d.received_ms / 3600000, e.name",
      ids, [&](const SqlRow &row) {
        Counts &c = hours_[{AsInt(row[0]).value_or(0), Str(row[1])}];
        c.events += AsInt(row[2]).value_or(0);
        c.documents += AsInt(row[3]).value_or(0);
        c.valueSum += AsInt(row[4]).value_or(0);
        c.elapsedEvents += AsInt(row[5]).value_or(0);
      });
  if (!s.ok())
    return s;
  s = session.Exec("SELECT d.received_ms / 86400000, e.name, e.elapsed_ms, "
                   "COUNT(*)" +
                       from +
                       " AND e.elapsed_ms IS NOT NULL GROUP BY d.received_ms "
                       "/ 86400000, e.name, e.elapsed_ms",
                   ids, [&](const SqlRow &row) {
                     elapsed_[{AsInt(row[0]).value_or(0), Str(row[1]),
                               ElapsedBucket(AsInt(row[2]).value_or(0))}] +=
                         AsInt(row[3]).value_or(0);
                   });
  if (!s.ok())
    return s;
  s = session.Exec(
      "SELECT DISTINCT d.machine, d.received_ms / 86400000, e.name" + from +
          " AND d.machine <> ''",
      ids, [&](const SqlRow &row) {
        machineDays_.emplace(Str(row[0]), AsInt(row[1]).value_or(0),
                             Str(row[2]));
      });
  if (!s.ok())
    return s;
  // The value rollups: each document rolled up already is taken off them.
  std::vector<int64_t> rolled;
  s = session.Exec("SELECT d.id, d.received_ms / 86400000 FROM documents d "
                   "WHERE " +
                       inList +
                       " AND d.parse_state = 'parsed' AND d.id NOT IN (SELECT "
                       "document_id FROM value_rollup_backlog)",
                   ids, [&](const SqlRow &row) {
                     rolled.push_back(AsInt(row[0]).value_or(0));
                     days_.insert(AsInt(row[1]).value_or(0));
                   });
  ValueFold values;
  for (size_t i = 0; s.ok() && i < rolled.size(); ++i)
    s = ReadStoredDocument(session, rolled[i], values);
  return s.ok() ? values.Write(session, -1) : s;
}

namespace {

// Takes `amounts` off the `columns` of the row of `table` whose `keys` hold
// `at`, and drops the row once it counts no events.
Status Subtract(SqlSession &session, const std::string &table,
                const std::vector<std::string> &columns,
                const std::vector<int64_t> &amounts,
                const std::vector<std::string> &keys,
                const std::vector<SqlValue> &at) {
  std::vector<SqlValue> params;
  std::string set;
  for (size_t i = 0; i < columns.size(); ++i) {
    params.push_back(SqlValue::Int(amounts[i]));
    set += (i ? ", " : "") + columns[i] + " = " + columns[i] + " - $" +
           std::to_string(params.size());
  }
  auto where = [&](size_t first) {
    std::string sql;
    for (size_t i = 0; i < keys.size(); ++i)
      sql += (i ? " AND " : " WHERE ") + keys[i] + " = $" +
             std::to_string(first + i);
    return sql;
  };
  params.insert(params.end(), at.begin(), at.end());
  auto s = session.Exec("UPDATE " + table + " SET " + set +
                            where(columns.size() + 1),
                        params);
  if (!s.ok())
    return s;
  return session.Exec("DELETE FROM " + table + where(1) + " AND events <= 0",
                      at);
}

} // namespace

Status RemovedRollup::Apply(SqlSession &session) const {
  std::map<std::pair<int64_t, std::string>, Counts> days;
  for (const auto &[key, c] : hours_) {
    Counts &day = days[{key.first * kHourMs / kDayMs, key.second}];
    day.events += c.events;
    day.documents += c.documents;
    day.valueSum += c.valueSum;
    day.elapsedEvents += c.elapsedEvents;
  }
  auto subtractCounts = [&](const std::string &table, const std::string &key,
                            const std::map<std::pair<int64_t, std::string>,
                                           Counts> &rows) {
    for (const auto &[at, c] : rows) {
      auto s = Subtract(
          session, table,
          {"events", "documents", "value_sum", "elapsed_events"},
          {c.events, c.documents, c.valueSum, c.elapsedEvents}, {key, "name"},
          {SqlValue::Int(at.first), SqlValue::Text(at.second)});
      if (!s.ok())
        return s;
    }
    return Status();
  };
  if (auto s = subtractCounts("event_hours", "hour", hours_); !s.ok())
    return s;
  if (auto s = subtractCounts("event_days", "day", days); !s.ok())
    return s;
  std::map<std::pair<std::string, int64_t>, int64_t> totals;
  for (const auto &[at, events] : elapsed_) {
    const auto &[day, name, bucket] = at;
    totals[{name, bucket}] += events;
    auto s = Subtract(session, "event_elapsed_days", {"events"}, {events},
                      {"day", "name", "bucket"},
                      {SqlValue::Int(day), SqlValue::Text(name),
                       SqlValue::Int(bucket)});
    if (!s.ok())
      return s;
  }
  for (const auto &[at, events] : totals) {
    auto s = Subtract(session, "event_elapsed_totals", {"events"}, {events},
                      {"name", "bucket"},
                      {SqlValue::Text(at.first), SqlValue::Int(at.second)});
    if (!s.ok())
      return s;
  }
  // A machine still sent the name that day when one of its documents left
  // holds it; its last day is then the latest such day left.
  for (const auto &[machine, day, name] : machineDays_) {
    auto s = session.Exec(
        "DELETE FROM event_machine_days WHERE day = $1 AND name = $2 AND "
        "machine = $3 AND NOT EXISTS (SELECT 1 FROM documents d JOIN "
        "document_event_names n ON n.document_id = d.id WHERE d.machine = $3 "
        "AND d.received_ms >= $4 AND d.received_ms < $5 AND n.name = $2)",
        {SqlValue::Int(day), SqlValue::Text(name), SqlValue::Text(machine),
         SqlValue::Int(day * kDayMs), SqlValue::Int((day + 1) * kDayMs)});
    if (!s.ok())
      return s;
  }
  std::set<std::pair<std::string, std::string>> lasts;
  for (const auto &[machine, day, name] : machineDays_)
    lasts.emplace(machine, name);
  for (const auto &[machine, name] : lasts) {
    const std::vector<SqlValue> key = {SqlValue::Text(name),
                                       SqlValue::Text(machine)};
    auto s = session.Exec(
        "UPDATE event_machine_last SET last_day = COALESCE((SELECT MAX(day) "
        "FROM event_machine_days WHERE machine = $2 AND name = $1), -1) WHERE "
        "name = $1 AND machine = $2",
        key);
    if (s.ok())
      s = session.Exec("DELETE FROM event_machine_last WHERE name = $1 AND "
                       "machine = $2 AND last_day < 0",
                       key);
    if (!s.ok())
      return s;
  }
  return DropEmptyValueRollups(
      session, std::vector<int64_t>(days_.begin(), days_.end()));
}

} // namespace collector
