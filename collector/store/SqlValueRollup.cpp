#include "collector/store/SqlValueRollup.h"

#include <algorithm>
#include <tuple>

namespace collector {
namespace {

constexpr int64_t kDayMs = 86400000, kHourMs = 3600000;
constexpr size_t kStoredRowsBatch = 1000;
// A fold takes at most this many documents, or as many as make about
// kFoldRows rows, whichever comes first.
constexpr int64_t kFoldDocuments = 200;
constexpr size_t kFoldRows = 200000;

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

void ValueFold::Add(int64_t receivedMs, ValueRollup values,
                    EventRollup events) {
  if (values.Empty())
    return;
  size_t perPoint = 0;
  for (const auto &[name, n] : events.Names())
    perPoint += 2 + n.elapsed.size();
  rows_ += values.Values().size() * (1 + perPoint);
  documents_.push_back({receivedMs, std::move(values), std::move(events)});
}

void ValueFold::Take(ValueFold &&other) {
  for (Document &d : other.documents_)
    documents_.push_back(std::move(d));
  rows_ += other.rows_;
  other = ValueFold();
}

namespace {

// What one day of one data point holds already: which values have rows of
// their own and how many, and whether further ones count as other values.
class DayValues {
public:
  DayValues(int64_t day, const std::string &path) : day_(day), path_(path) {}

  // The value `value` is counted under: its own, or kOtherValues.
  Status Place(SqlSession &session, const std::string &value, int sign,
               std::string &out) {
    out = kOtherValues;
    if (value == kOtherValues)
      return {};
    auto known = known_.find(value);
    if (known == known_.end()) {
      bool has = false;
      auto s = session.Exec(
          "SELECT 1 FROM data_point_days WHERE day = $1 AND path = $2 AND "
          "value = $3 AND documents > 0",
          {SqlValue::Int(day_), SqlValue::Text(path_), SqlValue::Text(value)},
          [&](const SqlRow &) { has = true; });
      if (!s.ok())
        return s;
      known = known_.emplace(value, has).first;
    }
    if (!known->second && sign > 0) {
      if (auto s = Count(session); !s.ok())
        return s;
      if (!full_ && kept_ < kValuesPerDay) {
        ++kept_;
        known->second = true;
      } else {
        full_ = true;
      }
    }
    if (known->second)
      out = value;
    return {};
  }

private:
  // Once a day has other values it keeps no new one: a value is then
  // counted wholly under its own row or wholly under the others, so a
  // removal finds each document where its upload put it.
  Status Count(SqlSession &session) {
    if (counted_)
      return {};
    counted_ = true;
    return session.Exec(
        "SELECT COUNT(*), COALESCE(SUM(CASE WHEN value = $3 THEN 1 ELSE 0 "
        "END), 0) FROM data_point_days WHERE day = $1 AND path = $2 AND "
        "documents > 0",
        {SqlValue::Int(day_), SqlValue::Text(path_),
         SqlValue::Text(kOtherValues)},
        [&](const SqlRow &row) {
          const int64_t other = AsInt(row[1]).value_or(0);
          kept_ = AsInt(row[0]).value_or(0) - other;
          full_ = other > 0;
        });
  }

  int64_t day_;
  std::string path_;
  std::map<std::string, bool> known_; // value -> has a row of its own
  bool counted_ = false, full_ = false;
  int64_t kept_ = 0;
};

struct Counts {
  int64_t events = 0, documents = 0, valueSum = 0, elapsedEvents = 0;
};
using PointKey = std::tuple<int64_t, std::string, std::string>;
using EventKey = std::tuple<int64_t, std::string, std::string, std::string>;
using BucketKey = std::tuple<EventKey, int64_t>;

SqlValue Text(const std::string &text) { return SqlValue::Text(text); }

} // namespace

Status ValueFold::Write(SqlSession &session, int sign) const {
  std::map<std::pair<int64_t, std::string>, DayValues> days;
  std::map<PointKey, int64_t> points;
  // Documents of one hour whose data points were placed alike add up
  // before they are spread over those data points: a batch of documents
  // that differ only in values counted as others costs one spreading.
  struct Alike {
    std::map<std::string, Counts> names;
    std::map<std::pair<std::string, int64_t>, int64_t> buckets; // name, bucket
  };
  using Placed = std::vector<std::pair<std::string, std::string>>; // path, value
  std::map<std::pair<int64_t, Placed>, Alike> alike;                // by hour
  for (const Document &d : documents_) {
    const int64_t hour = d.receivedMs / kHourMs, day = d.receivedMs / kDayMs;
    Placed placed;
    for (const auto &[path, value] : d.values.Values()) {
      auto at = days.try_emplace({day, path}, day, path).first;
      std::string counted;
      if (auto s = at->second.Place(session, value, sign, counted); !s.ok())
        return s;
      points[{day, path, counted}] += sign;
      placed.emplace_back(path, std::move(counted));
    }
    // Each data point breaks down every event name: as many rows per data
    // point as the names and their elapsed buckets take.
    size_t perPoint = 0;
    for (const auto &[name, n] : d.events.Names())
      perPoint += 2 + n.elapsed.size();
    if (perPoint == 0)
      continue;
    placed.resize(std::min(placed.size(), kRolledRows / perPoint));
    Alike &a = alike[{hour, std::move(placed)}];
    for (const auto &[name, n] : d.events.Names()) {
      Counts &c = a.names[name];
      c.events += sign * n.events;
      c.documents += sign;
      c.valueSum += sign * n.valueSum;
      c.elapsedEvents += sign * n.elapsedEvents;
      for (const auto &[bucket, count] : n.elapsed)
        a.buckets[{name, bucket}] += sign * count;
    }
  }
  std::map<EventKey, Counts> perDay;
  std::map<EventKey, int64_t> perHour;
  std::map<BucketKey, int64_t> buckets;
  for (const auto &[key, a] : alike) {
    const auto &[hour, placed] = key;
    const int64_t day = hour * kHourMs / kDayMs;
    for (const auto &[path, value] : placed) {
      for (const auto &[name, n] : a.names) {
        Counts &c = perDay[{day, name, path, value}];
        c.events += n.events;
        c.documents += n.documents;
        c.valueSum += n.valueSum;
        c.elapsedEvents += n.elapsedEvents;
        perHour[{hour, name, path, value}] += n.events;
      }
      for (const auto &[at, count] : a.buckets)
        buckets[{{day, at.first, path, value}, at.second}] += count;
    }
  }
  auto s = Upsert(
      session, "INSERT INTO data_point_days (day, path, value, documents)", 4,
      points,
      [](const auto &row, std::vector<SqlValue> &p) {
        const auto &[day, path, value] = row.first;
        p.insert(p.end(), {SqlValue::Int(day), Text(path), Text(value),
                           SqlValue::Int(row.second)});
      },
      " ON CONFLICT (day, path, value) DO UPDATE SET documents = "
      "data_point_days.documents + excluded.documents");
  if (!s.ok())
    return s;
  auto key = [](const EventKey &k, std::vector<SqlValue> &p) {
    const auto &[unit, name, path, value] = k;
    p.insert(p.end(), {SqlValue::Int(unit), Text(name), Text(path), Text(value)});
  };
  s = Upsert(
      session,
      "INSERT INTO event_value_days (day, name, path, value, events, "
      "documents, value_sum, elapsed_events)",
      8, perDay,
      [&](const auto &row, std::vector<SqlValue> &p) {
        const Counts &c = row.second;
        key(row.first, p);
        p.insert(p.end(), {SqlValue::Int(c.events), SqlValue::Int(c.documents),
                           SqlValue::Int(c.valueSum),
                           SqlValue::Int(c.elapsedEvents)});
      },
      " ON CONFLICT (day, name, path, value) DO UPDATE SET events = "
      "event_value_days.events + excluded.events,"
      " documents = event_value_days.documents + excluded.documents, "
      "value_sum = event_value_days.value_sum + excluded.value_sum,"
      " elapsed_events = event_value_days.elapsed_events + "
      "excluded.elapsed_events");
  if (!s.ok())
    return s;
  s = Upsert(
      session, "INSERT INTO event_value_hours (hour, name, path, value, events)",
      5, perHour,
      [&](const auto &row, std::vector<SqlValue> &p) {
        key(row.first, p);
        p.push_back(SqlValue::Int(row.second));
      },
      " ON CONFLICT (hour, name, path, value) DO UPDATE SET events = "
      "event_value_hours.events + excluded.events");
  if (!s.ok())
    return s;
  return Upsert(
      session,
      "INSERT INTO event_value_elapsed_days (day, name, path, value, bucket, "
      "events)",
      6, buckets,
      [&](const auto &row, std::vector<SqlValue> &p) {
        key(std::get<0>(row.first), p);
        p.insert(p.end(), {SqlValue::Int(std::get<1>(row.first)),
                           SqlValue::Int(row.second)});
      },
      " ON CONFLICT (day, name, path, value, bucket) DO UPDATE SET events ="
      " event_value_elapsed_days.events + excluded.events");
}

// The document's rows read back in the order its upload saw them, a
// bounded number held at a time.
Status ReadStoredDocument(SqlSession &session, int64_t id, ValueFold &fold) {
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
  if (s.ok() && !values.Empty()) {
    s = session.Exec(
        "SELECT name, value, elapsed_ms FROM events WHERE document_id = $1",
        param, [&](const SqlRow &row) {
          batch.events.push_back(
              {Str(row[0]), AsInt(row[1]), std::nullopt, AsInt(row[2])});
          flush(false);
        });
  }
  flush(true);
  if (s.ok())
    fold.Add(*receivedMs, std::move(values), std::move(events));
  return s;
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

Status LockValueRollups(SqlSession &session) {
  if (session.Dialect() != SqlDialect::kPostgres)
    return {}; // SQLite has one writer at a time anyway
  return session.Exec("SELECT pg_advisory_xact_lock(7710415)");
}

// The documents are read before the write transaction, so the upload's
// writers wait only for the adding up; each is taken off the backlog inside
// it, and only those this fold took are added, so two folds (or a fold and
// a removal) never count one twice.
void RecentValues::Keep(int64_t id, ValueFold fold) {
  std::lock_guard<std::mutex> lock(mutex_);
  kept_[id] = std::move(fold);
  if (kept_.size() > kLatest)
    kept_.erase(kept_.begin());
}

bool RecentValues::Take(int64_t id, ValueFold &fold) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = kept_.find(id);
  if (it == kept_.end())
    return false;
  fold.Take(std::move(it->second));
  kept_.erase(it);
  return true;
}

Status FoldBacklog(SqlSession &session, RecentValues &recent, bool &more) {
  more = false;
  std::vector<int64_t> ids;
  auto s = session.Exec("SELECT document_id FROM value_rollup_backlog ORDER BY "
                        "document_id LIMIT $1",
                        {SqlValue::Int(kFoldDocuments)}, [&](const SqlRow &row) {
                          ids.push_back(AsInt(row[0]).value_or(0));
                        });
  if (!s.ok() || ids.empty())
    return s;
  std::vector<std::pair<int64_t, ValueFold>> read;
  size_t rows = 0;
  for (size_t i = 0; i < ids.size() && rows < kFoldRows; ++i) {
    ValueFold one;
    if (!recent.Take(ids[i], one)) {
      if (s = ReadStoredDocument(session, ids[i], one); !s.ok())
        return s;
    }
    rows += one.Rows();
    read.emplace_back(ids[i], std::move(one));
  }
  if (s = session.BeginWrite(); s.ok())
    s = LockValueRollups(session);
  ValueFold fold;
  for (size_t i = 0; s.ok() && i < read.size(); ++i) {
    s = session.Exec("DELETE FROM value_rollup_backlog WHERE document_id = $1",
                     {SqlValue::Int(read[i].first)});
    if (s.ok() && session.Changes() == 1)
      fold.Take(std::move(read[i].second));
  }
  if (s.ok())
    s = fold.Write(session, 1);
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
