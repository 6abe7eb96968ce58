#include "collector/store/SqlValueRollup.h"

#include <algorithm>
#include <tuple>

namespace collector {
namespace {

constexpr int64_t kDayMs = 86400000, kHourMs = 3600000;
constexpr size_t kStoredRowsBatch = 1000;
constexpr int64_t kBacklogBatch = 50;

// Cut at a character boundary, so a long value still reads as text.
std::string Bounded(const std::string &text) {
  if (text.size() <= kRolledTextBytes)
    return text;
  size_t end = kRolledTextBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  return text.substr(0, end);
}

std::string Str(const std::optional<std::string> &column) {
  return column.value_or(std::string());
}

} // namespace

void ValueRollup::AddGroup(const GroupRow &group) {
  if (groupPaths_.size() >= kRolledGroups)
    return;
  std::string path;
  if (!group.parent) {
    path = group.name;
  } else if (*group.parent >= 0 &&
             static_cast<size_t>(*group.parent) < groupPaths_.size() &&
             !groupPaths_[*group.parent].empty()) {
    path = groupPaths_[*group.parent] + "/" + group.name;
  }
  groupPaths_.push_back(path.size() <= kRolledTextBytes ? path : std::string());
}

void ValueRollup::Add(const RowBatch &batch) {
  for (const GroupRow &g : batch.groups)
    AddGroup(g);
  for (const DataPointRow &d : batch.dataPoints) {
    if (d.group < 0 || static_cast<size_t>(d.group) >= groupPaths_.size() ||
        groupPaths_[d.group].empty())
      continue;
    const std::string path = groupPaths_[d.group] + "/" + d.name;
    if (path.size() > kRolledTextBytes || values_.count(path))
      continue;
    if (values_.size() < kRolledPaths)
      values_.emplace(path, Bounded(d.value));
  }
}

Status ValueRollup::Write(SqlSession &session, int64_t receivedMs,
                          const EventRollup &events, int sign) const {
  if (values_.empty())
    return {};
  const SqlValue day = SqlValue::Int(receivedMs / kDayMs),
                 hour = SqlValue::Int(receivedMs / kHourMs);
  std::vector<std::pair<const std::string *, const std::string *>> points;
  for (const auto &[path, value] : values_)
    points.emplace_back(&path, &value);
  auto s = InsertRows(
      session, "INSERT INTO data_point_days (day, path, value, documents)", 4,
      points.size(),
      [&](size_t i, std::vector<SqlValue> &p) {
        p.insert(p.end(),
                 {day, SqlValue::Text(*points[i].first),
                  SqlValue::Text(*points[i].second), SqlValue::Int(sign)});
      },
      " ON CONFLICT (day, path, value) DO UPDATE SET documents = "
      "data_point_days.documents + excluded.documents");
  if (!s.ok())
    return s;
  // Each data point breaks down every event name: as many rows per data
  // point as the names and their elapsed buckets take.
  size_t perPoint = 0;
  for (const auto &[name, n] : events.Names())
    perPoint += 2 + n.elapsed.size();
  if (perPoint == 0)
    return {};
  points.resize(std::min(points.size(), kRolledRows / perPoint));
  using Pair = std::tuple<const std::string *, const EventRollup::PerName *,
                          const std::string *, const std::string *>;
  std::vector<Pair> pairs;
  std::vector<std::tuple<const Pair *, int64_t, int64_t>> buckets;
  for (const auto &[name, n] : events.Names()) {
    for (const auto &[path, value] : points)
      pairs.emplace_back(&name, &n, path, value);
  }
  for (const Pair &pair : pairs) {
    for (const auto &[bucket, count] : std::get<1>(pair)->elapsed)
      buckets.emplace_back(&pair, bucket, count);
  }
  auto key = [](const Pair &pair) {
    return std::vector<SqlValue>{SqlValue::Text(*std::get<0>(pair)),
                                 SqlValue::Text(*std::get<2>(pair)),
                                 SqlValue::Text(*std::get<3>(pair))};
  };
  s = InsertRows(
      session,
      "INSERT INTO event_value_days (day, name, path, value, events, "
      "documents, value_sum, elapsed_events)",
      8, pairs.size(),
      [&](size_t i, std::vector<SqlValue> &p) {
        const EventRollup::PerName &n = *std::get<1>(pairs[i]);
        p.push_back(day);
        for (SqlValue &v : key(pairs[i]))
          p.push_back(std::move(v));
        p.insert(p.end(), {SqlValue::Int(sign * n.events), SqlValue::Int(sign),
                           SqlValue::Int(sign * n.valueSum),
                           SqlValue::Int(sign * n.elapsedEvents)});
      },
      " ON CONFLICT (day, name, path, value) DO UPDATE SET events = "
      "event_value_days.events + excluded.events,"
      " documents = event_value_days.documents + excluded.documents, "
      "value_sum = "
      "event_value_days.value_sum + excluded.value_sum,"
      " elapsed_events = event_value_days.elapsed_events + "
      "excluded.elapsed_events");
  if (!s.ok())
    return s;
  s = InsertRows(
      session,
      "INSERT INTO event_value_hours (hour, name, path, value, events)", 5,
      pairs.size(),
      [&](size_t i, std::vector<SqlValue> &p) {
        p.push_back(hour);
        for (SqlValue &v : key(pairs[i]))
          p.push_back(std::move(v));
        p.push_back(SqlValue::Int(sign * std::get<1>(pairs[i])->events));
      },
      " ON CONFLICT (hour, name, path, value) DO UPDATE SET events = "
      "event_value_hours.events + excluded.events");
  if (!s.ok())
    return s;
  return InsertRows(
      session,
      "INSERT INTO event_value_elapsed_days (day, name, path, value, bucket, "
      "events)",
      6, buckets.size(),
      [&](size_t i, std::vector<SqlValue> &p) {
        const auto &[pair, bucket, count] = buckets[i];
        p.push_back(day);
        for (SqlValue &v : key(*pair))
          p.push_back(std::move(v));
        p.insert(p.end(), {SqlValue::Int(bucket), SqlValue::Int(sign * count)});
      },
      " ON CONFLICT (day, name, path, value, bucket) DO UPDATE SET events ="
      " event_value_elapsed_days.events + excluded.events");
}

// The document's rows read back in the order ingest saw them, a bounded
// number held at a time.
Status RollUpStoredDocument(SqlSession &session, int64_t id, int sign) {
  std::optional<int64_t> receivedMs;
  const std::vector<SqlValue> param = {SqlValue::Int(id)};
  auto s = session.Exec("SELECT received_ms FROM documents WHERE id = $1 AND "
                        "parse_state = 'parsed'",
                        param,
                        [&](const SqlRow &row) { receivedMs = AsInt(row[0]); });
  if (!s.ok() || !receivedMs)
    return s;
  ValueRollup values;
  EventRollup events;
  RowBatch batch;
  auto flush = [&](bool always) {
    if (!always && batch.Rows() < kStoredRowsBatch)
      return;
    values.Add(batch);
    events.Add(batch.events);
    batch = RowBatch();
  };
  s = session.Exec(
      "SELECT parent, name FROM groups WHERE document_id = $1 ORDER BY seq",
      param, [&](const SqlRow &row) {
        batch.groups.push_back({AsInt(row[0]), Str(row[1])});
        flush(false);
      });
  flush(true);
  if (s.ok()) {
    s = session.Exec("SELECT group_seq, name, value FROM data_points WHERE "
                     "document_id = $1 ORDER BY seq",
                     param, [&](const SqlRow &row) {
                       batch.dataPoints.push_back({AsInt(row[0]).value_or(-1),
                                                   Str(row[1]), Str(row[2])});
                       flush(false);
                     });
  }
  flush(true);
  if (s.ok()) {
    s = session.Exec(
        "SELECT name, value, elapsed_ms FROM events WHERE document_id = $1",
        param, [&](const SqlRow &row) {
          batch.events.push_back(
              {Str(row[0]), AsInt(row[1]), std::nullopt, AsInt(row[2])});
          flush(false);
        });
  }
  flush(true);
  return s.ok() ? values.Write(session, *receivedMs, events, sign) : s;
}

Status DropEmptyValueRollups(SqlSession &session,
                             const std::vector<int64_t> &days) {
  for (int64_t day : days) {
    for (const char *sql :
         {"DELETE FROM event_value_days WHERE day = $1 AND documents <= 0",
          "DELETE FROM event_value_elapsed_days WHERE day = $1 AND events <= 0",
          "DELETE FROM data_point_days WHERE day = $1 AND documents <= 0"}) {
      if (auto s = session.Exec(sql, {SqlValue::Int(day)}); !s.ok())
        return s;
    }
    auto s = session.Exec("DELETE FROM event_value_hours WHERE hour >= $1 AND "
                          "hour < $2 AND events <= 0",
                          {SqlValue::Int(day * 24), SqlValue::Int(day * 24 + 24)});
    if (!s.ok())
      return s;
  }
  return {};
}

Status RecomputeValueRollups(SqlSession &session,
                             const std::vector<int64_t> &days) {
  for (int64_t day : days) {
    const std::vector<SqlValue> dayParam = {SqlValue::Int(day)};
    for (const char *table :
         {"event_value_days", "event_value_elapsed_days", "data_point_days"}) {
      if (auto s = session.Exec(std::string("DELETE FROM ") + table +
                                    " WHERE day = $1",
                                dayParam);
          !s.ok())
        return s;
    }
    auto s = session.Exec(
        "DELETE FROM event_value_hours WHERE hour >= $1 AND hour < $2",
        {SqlValue::Int(day * 24), SqlValue::Int(day * 24 + 24)});
    std::vector<int64_t> ids;
    if (s.ok()) {
      s = session.Exec(
          "SELECT id FROM documents WHERE received_ms >= $1 AND received_ms < "
          "$2 AND parse_state = 'parsed' AND id NOT IN (SELECT document_id "
          "FROM value_rollup_backlog)",
          {SqlValue::Int(day * kDayMs), SqlValue::Int((day + 1) * kDayMs)},
          [&](const SqlRow &row) { ids.push_back(AsInt(row[0]).value_or(0)); });
    }
    for (size_t i = 0; s.ok() && i < ids.size(); ++i)
      s = RollUpStoredDocument(session, ids[i]);
    if (!s.ok())
      return s;
  }
  return {};
}

// Each document is taken off the backlog before it is rolled up, so two
// collectors draining at once never add one twice.
Status RollUpBacklog(SqlSession &session, bool &more) {
  more = false;
  std::vector<int64_t> ids;
  auto s = session.Exec("SELECT document_id FROM value_rollup_backlog ORDER BY "
                        "document_id LIMIT $1",
                        {SqlValue::Int(kBacklogBatch)}, [&](const SqlRow &row) {
                          ids.push_back(AsInt(row[0]).value_or(0));
                        });
  if (!s.ok() || ids.empty())
    return s;
  if (s = session.BeginWrite(); !s.ok())
    return s;
  for (size_t i = 0; s.ok() && i < ids.size(); ++i) {
    s = session.Exec("DELETE FROM value_rollup_backlog WHERE document_id = $1",
                     {SqlValue::Int(ids[i])});
    if (s.ok() && session.Changes() == 1)
      s = RollUpStoredDocument(session, ids[i]);
  }
  if (s.ok())
    s = session.ExecScript("COMMIT");
  if (!s.ok()) {
    (void)session.ExecScript("ROLLBACK");
    return s;
  }
  more = true;
  return {};
}

} // namespace collector
