// SqlStore's analytics questions: breakdowns and data points from the value
// rollups (SqlValueRollup.h), events and documents per hour. Each reads the
// rows of the days or hours its window touches, never the store's history.
#include <algorithm>
#include <map>

#include "collector/store/SqlRollups.h"
#include "collector/store/SqlStore.h"
#include "collector/store/SqlValueRollup.h"

namespace collector {
namespace {

constexpr int64_t kDayMs = 86400000;
// Enough for what a second of uploads leaves waiting; a longer backlog (a
// store just migrated) is answered from what is folded so far.
constexpr size_t kFoldBeforeAnswer = 10;

std::string Str(const std::optional<std::string> &column) {
  return column.value_or(std::string());
}

// [first, last) in units of `span` that the window touches.
std::pair<std::optional<int64_t>, std::optional<int64_t>>
Units(const Filter &filter, int64_t span) {
  std::optional<int64_t> first, last;
  if (filter.sinceMs)
    first = *filter.sinceMs / span;
  if (filter.untilMs)
    last = (std::max<int64_t>(*filter.untilMs, 0) + span - 1) / span;
  return {first, last};
}

// " AND unit >= $n AND unit < $m" and " AND column = $k" for each pair.
std::string Where(const std::string &unit, const Filter &filter, int64_t span,
                  const std::vector<std::pair<std::string, std::string>> &equal,
                  std::vector<SqlValue> &params) {
  std::string where = " WHERE 1 = 1";
  auto add = [&](const std::string &term, SqlValue value) {
    params.push_back(std::move(value));
    where += " AND " + term + "$" + std::to_string(params.size());
  };
  const auto [first, last] = Units(filter, span);
  if (first)
    add(unit + " >= ", SqlValue::Int(*first));
  if (last)
    add(unit + " < ", SqlValue::Int(*last));
  for (const auto &[column, value] : equal)
    add(column + " = ", SqlValue::Text(value));
  return where;
}

// What one value (or the rest, or the documents without) adds up to.
struct Tally {
  int64_t count = 0, documents = 0, valueSum = 0;
  std::map<int64_t, int64_t> elapsed;
  void Add(const Tally &more, int sign = 1) {
    count += sign * more.count;
    documents += sign * more.documents;
    valueSum += sign * more.valueSum;
    for (const auto &[bucket, events] : more.elapsed)
      elapsed[bucket] += sign * events;
  }
  ValueSummary Summary(ValueSummary::Kind kind,
                       const std::string &value) const {
    ValueSummary out{kind, value, count, documents, valueSum, {}, {}, {}};
    int64_t timed = 0;
    for (const auto &[bucket, events] : elapsed)
      timed += std::max<int64_t>(events, 0);
    if (timed > 0) {
      std::map<int64_t, int64_t> positive;
      for (const auto &[bucket, events] : elapsed) {
        if (events > 0)
          positive[bucket] = events;
      }
      out.p50 = Percentile(positive, timed, 50);
      out.p90 = Percentile(positive, timed, 90);
      out.p99 = Percentile(positive, timed, 99);
    }
    return out;
  }
};

// Most frequent first, then by value.
std::vector<std::string> TopValues(const std::map<std::string, int64_t> &counts,
                                   size_t top) {
  std::vector<std::pair<int64_t, std::string>> ranked;
  for (const auto &[value, count] : counts) {
    if (value != kOtherValues)
      ranked.emplace_back(-count, value);
  }
  std::sort(ranked.begin(), ranked.end());
  std::vector<std::string> out;
  for (size_t i = 0; i < ranked.size() && i < top; ++i)
    out.push_back(ranked[i].second);
  return out;
}

Status ReadTallies(SqlSession &session, const Filter &filter,
                   const std::string &path,
                   std::map<std::string, Tally> &values, Tally &all) {
  std::vector<SqlValue> params;
  const std::vector<std::pair<std::string, std::string>> byValue = {
      {"name", filter.name}, {"path", path}};
  auto s = session.Exec("SELECT value, SUM(events), SUM(documents), "
                        "SUM(value_sum) FROM event_value_days" +
                            Where("day", filter, kDayMs, byValue, params) +
                            " GROUP BY value",
                        params, [&](const SqlRow &row) {
                          Tally &t = values[Str(row[0])];
                          t.count = AsInt(row[1]).value_or(0);
                          t.documents = AsInt(row[2]).value_or(0);
                          t.valueSum = AsInt(row[3]).value_or(0);
                        });
  params.clear();
  if (s.ok()) {
    s = session.Exec(
        "SELECT value, bucket, SUM(events) FROM event_value_elapsed_days" +
            Where("day", filter, kDayMs, byValue, params) +
            " GROUP BY value, bucket",
        params, [&](const SqlRow &row) {
          values[Str(row[0])].elapsed[AsInt(row[1]).value_or(0)] +=
              AsInt(row[2]).value_or(0);
        });
  }
  params.clear();
  if (s.ok()) {
    s = session.Exec(
        "SELECT SUM(events), SUM(documents), SUM(value_sum) FROM event_days" +
            Where("day", filter, kDayMs, {{"name", filter.name}}, params),
        params, [&](const SqlRow &row) {
          all.count = AsInt(row[0]).value_or(0);
          all.documents = AsInt(row[1]).value_or(0);
          all.valueSum = AsInt(row[2]).value_or(0);
        });
  }
  params.clear();
  if (s.ok()) {
    s = session.Exec(
        "SELECT bucket, SUM(events) FROM event_elapsed_days" +
            Where("day", filter, kDayMs, {{"name", filter.name}}, params) +
            " GROUP BY bucket",
        params, [&](const SqlRow &row) {
          all.elapsed[AsInt(row[0]).value_or(0)] += AsInt(row[1]).value_or(0);
        });
  }
  return s;
}

// Events per bucket and entry: each value's own, the rest's, and what the
// event's own rollup counts beyond them (documents without the data point).
Status ReadSeries(SqlSession &session, const Filter &filter,
                  const std::string &path,
                  const std::map<std::string, size_t> &entries,
                  std::optional<size_t> other, std::optional<size_t> missing,
                  Breakdown &out) {
  const bool hourly = out.bucketMs == kHourBucketMs;
  const std::string unit = hourly ? "hour" : "day";
  std::map<int64_t, std::map<size_t, int64_t>> counts;
  std::map<int64_t, int64_t> rolled;
  std::vector<SqlValue> params;
  auto s =
      session.Exec("SELECT " + unit + ", value, SUM(events) FROM " +
                       (hourly ? "event_value_hours" : "event_value_days") +
                       Where(unit, filter, out.bucketMs,
                             {{"name", filter.name}, {"path", path}}, params) +
                       " GROUP BY " + unit + ", value",
                   params, [&](const SqlRow &row) {
                     const int64_t bucket = AsInt(row[0]).value_or(0),
                                   events = AsInt(row[2]).value_or(0);
                     rolled[bucket] += events;
                     auto it = entries.find(Str(row[1]));
                     if (it != entries.end())
                       counts[bucket][it->second] += events;
                     else if (other)
                       counts[bucket][*other] += events;
                   });
  params.clear();
  if (s.ok() && missing) {
    s = session.Exec(
        "SELECT " + unit + ", events FROM " +
            (hourly ? "event_hours" : "event_days") +
            Where(unit, filter, out.bucketMs, {{"name", filter.name}}, params),
        params, [&](const SqlRow &row) {
          const int64_t bucket = AsInt(row[0]).value_or(0);
          const int64_t without = AsInt(row[1]).value_or(0) - rolled[bucket];
          if (without > 0)
            counts[bucket][*missing] += without;
        });
  }
  for (const auto &[bucket, perEntry] : counts) {
    for (const auto &[entry, events] : perEntry)
      out.series.push_back({bucket, entry, events});
  }
  return s;
}

} // namespace

Status SqlStore::BreakDownEvent(const Filter &filter, const std::string &path,
                                int64_t bucketMs, Breakdown &out) {
  if (!filter.machine.empty())
    return Invalid("a breakdown covers every machine; leave out machine");
  out = Breakdown();
  out.bucketMs = bucketMs == kHourBucketMs ? kHourBucketMs : kDayMs;
  if (auto s = FoldValues(kFoldBeforeAnswer); !s.ok())
    return s;
  return WithSession([&](SqlSession &session) {
    std::map<std::string, Tally> values;
    Tally all;
    auto s = ReadTallies(session, filter, path, values, all);
    if (!s.ok())
      return s;
    std::map<std::string, int64_t> counts;
    for (const auto &[value, t] : values)
      counts[value] = t.count;
    std::map<std::string, size_t> entries;
    Tally rest, without = all;
    for (const std::string &value : TopValues(counts, kTopValues)) {
      entries[value] = out.values.size();
      out.values.push_back(
          values[value].Summary(ValueSummary::Kind::kValue, value));
    }
    for (const auto &[value, t] : values) {
      without.Add(t, -1);
      if (!entries.count(value))
        rest.Add(t);
    }
    std::optional<size_t> other, missing;
    if (rest.count > 0) {
      other = out.values.size();
      out.values.push_back(rest.Summary(ValueSummary::Kind::kOther, ""));
    }
    if (without.count > 0) {
      missing = out.values.size();
      out.values.push_back(without.Summary(ValueSummary::Kind::kMissing, ""));
    }
    return ReadSeries(session, filter, path, entries, other, missing, out);
  });
}

Status SqlStore::EventDataPoints(const Filter &filter,
                                 std::vector<std::string> &out) {
  if (auto s = FoldValues(kFoldBeforeAnswer); !s.ok())
    return s;
  return WithSession([&](SqlSession &session) {
    std::vector<SqlValue> params;
    std::string sql =
        "SELECT DISTINCT path FROM event_value_days" +
        Where("day", filter, kDayMs, {{"name", filter.name}}, params);
    params.push_back(SqlValue::Int(filter.limit));
    return session.Exec(
        sql + " ORDER BY path LIMIT $" + std::to_string(params.size()), params,
        [&](const SqlRow &row) { out.push_back(Str(row[0])); });
  });
}

Status SqlStore::Properties(const Filter &filter, size_t top,
                            std::vector<PropertySummary> &out) {
  if (auto s = FoldValues(kFoldBeforeAnswer); !s.ok())
    return s;
  return WithSession([&](SqlSession &session) {
    std::map<std::string, std::map<std::string, int64_t>> paths;
    std::vector<SqlValue> params;
    auto s = session.Exec(
        "SELECT path, value, SUM(documents) FROM data_point_days" +
            Where("day", filter, kDayMs, {}, params) + " GROUP BY path, value",
        params, [&](const SqlRow &row) {
          paths[Str(row[0])][Str(row[1])] = AsInt(row[2]).value_or(0);
        });
    for (const auto &[path, values] : paths) {
      PropertySummary p{path, 0, {}};
      for (const auto &[value, documents] : values)
        p.documents += documents;
      for (const std::string &value : TopValues(values, top))
        p.top.push_back({value, values.at(value)});
      out.push_back(std::move(p));
    }
    return s;
  });
}

Status SqlStore::PropertyOverTime(const Filter &filter, const std::string &path,
                                  PropertyHistory &out) {
  out = PropertyHistory();
  if (auto s = FoldValues(kFoldBeforeAnswer); !s.ok())
    return s;
  return WithSession([&](SqlSession &session) {
    std::map<int64_t, std::map<std::string, int64_t>> perDay;
    std::map<std::string, int64_t> totals;
    std::vector<SqlValue> params;
    auto s = session.Exec(
        "SELECT day, value, SUM(documents) FROM data_point_days" +
            Where("day", filter, kDayMs, {{"path", path}}, params) +
            " GROUP BY day, value",
        params, [&](const SqlRow &row) {
          const int64_t documents = AsInt(row[2]).value_or(0);
          perDay[AsInt(row[0]).value_or(0)][Str(row[1])] = documents;
          totals[Str(row[1])] += documents;
        });
    std::map<std::string, size_t> entries;
    int64_t rest = 0;
    for (const std::string &value : TopValues(totals, kTopValues)) {
      entries[value] = out.values.size();
      out.values.push_back({value, totals[value]});
    }
    for (const auto &[value, documents] : totals) {
      if (!entries.count(value))
        rest += documents;
    }
    if (rest > 0) {
      out.other = true;
      out.values.push_back({"", rest});
    }
    for (const auto &[day, values] : perDay) {
      std::map<size_t, int64_t> counts;
      for (const auto &[value, documents] : values) {
        auto it = entries.find(value);
        counts[it != entries.end() ? it->second : out.values.size() - 1] +=
            documents;
      }
      for (const auto &[entry, documents] : counts)
        out.series.push_back({day, entry, documents});
    }
    return s;
  });
}

// Without a machine from the hourly rollup; one machine's from its events.
Status SqlStore::EventsPerHour(const Filter &filter,
                               std::vector<std::pair<int64_t, int64_t>> &out) {
  return WithSession([&](SqlSession &session) {
    std::vector<SqlValue> params;
    auto sink = [&](const SqlRow &row) {
      out.emplace_back(AsInt(row[0]).value_or(0), AsInt(row[1]).value_or(0));
    };
    if (filter.machine.empty()) {
      return session.Exec("SELECT hour, events FROM event_hours" +
                              Where("hour", filter, kHourBucketMs,
                                    {{"name", filter.name}}, params) +
                              " ORDER BY hour",
                          params, sink);
    }
    params = {SqlValue::Text(filter.machine), SqlValue::Text(filter.name),
              SqlValue::Int(filter.sinceMs.value_or(0)),
              SqlValue::Int(filter.untilMs.value_or(INT64_MAX))};
    return session.Exec("SELECT d.received_ms / 3600000 AS hour, COUNT(*) FROM "
                        "documents d CROSS JOIN events e"
                        " WHERE d.machine = $1 AND d.received_ms >= $3 AND "
                        "d.received_ms < $4 AND e.document_id = d.id"
                        " AND e.name = $2 GROUP BY hour ORDER BY hour",
                        params, sink);
  });
}

Status
SqlStore::DocumentsPerHour(const Filter &filter,
                           std::vector<std::pair<int64_t, int64_t>> &out) {
  return WithSession([&](SqlSession &session) {
    std::vector<SqlValue> params = {
        SqlValue::Int(filter.sinceMs.value_or(0)),
        SqlValue::Int(filter.untilMs.value_or(INT64_MAX))};
    std::string sql =
        "SELECT received_ms / 3600000 AS hour, COUNT(*) FROM documents"
        " WHERE received_ms >= $1 AND received_ms < $2";
    if (!filter.machine.empty()) {
      params.push_back(SqlValue::Text(filter.machine));
      sql += " AND machine = $3";
    }
    return session.Exec(sql + " GROUP BY hour ORDER BY hour", params,
                        [&](const SqlRow &row) {
                          out.emplace_back(AsInt(row[0]).value_or(0),
                                           AsInt(row[1]).value_or(0));
                        });
  });
}

} // namespace collector
