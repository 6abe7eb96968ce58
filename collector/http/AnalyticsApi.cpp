// The JSON of breakdowns and data points.
#include "collector/document/TimeText.h"
#include "collector/http/Api.h"
#include "collector/http/Json.h"
#include "collector/pages/AnalyticsPages.h"

namespace collector {
namespace {

// `since` and `until` as GET /v1/events/summary reads them.
Status ReadWindow(const QueryArgs &args, Filter &filter) {
  for (const char *key : {"since", "until"}) {
    auto it = args.find(key);
    if (it == args.end())
      continue;
    auto time = ParseUtc(it->second);
    if (!time)
      return Invalid(std::string(key) +
                     ": not a UTC time or Unix milliseconds: " + it->second);
    (std::string(key) == "since" ? filter.sinceMs : filter.untilMs) = time;
  }
  return {};
}

Response Failed(const Status &s) {
  return s.code() == StatusCode::kInvalid
             ? ErrorResponse(400, s.message())
             : ErrorResponse(503, "the store failed: " + s.message());
}

const char *KindName(ValueSummary::Kind kind) {
  switch (kind) {
  case ValueSummary::Kind::kOther:
    return "other";
  case ValueSummary::Kind::kMissing:
    return "missing";
  default:
    return "value";
  }
}

} // namespace

Response ApiEventBreakdown(Store &store, const QueryArgs &args) {
  Filter filter;
  if (auto s = ReadWindow(args, filter); !s.ok())
    return ErrorResponse(400, s.message());
  const auto name = args.find("name"), by = args.find("by"),
             machine = args.find("machine");
  if (name == args.end() || name->second.empty())
    return ErrorResponse(400, "by: needs the event's name");
  if (machine != args.end())
    return ErrorResponse(400,
                         "a breakdown covers every machine; leave out machine");
  filter.name = name->second;
  Breakdown breakdown;
  if (auto s =
          store.BreakDownEvent(filter, by->second, kDayBucketMs, breakdown);
      !s.ok())
    return Failed(s);
  JsonWriter json;
  json.Open()
      .Field("name", filter.name)
      .Field("by", by->second)
      .OpenArray("values");
  for (const ValueSummary &v : breakdown.values) {
    json.Open().Field("kind", KindName(v.kind));
    if (v.kind == ValueSummary::Kind::kValue)
      json.Field("value", v.value);
    else
      json.Field("value", std::optional<int64_t>());
    json.Field("count", v.count)
        .Field("documents", v.documents)
        .Field("value_sum", v.valueSum)
        .OpenObject("elapsed_ms")
        .Field("p50", v.p50)
        .Field("p90", v.p90)
        .Field("p99", v.p99)
        .Close()
        .Close();
  }
  return {200, "application/json", json.CloseArray().Close().Text()};
}

Response ApiProperties(Store &store, const QueryArgs &args) {
  Filter filter;
  if (auto s = ReadWindow(args, filter); !s.ok())
    return ErrorResponse(400, s.message());
  std::vector<PropertySummary> properties;
  if (auto s =
          store.Properties(filter, pages::kPropertyValuesShown, properties);
      !s.ok())
    return Failed(s);
  JsonWriter json;
  json.Open().OpenArray("properties");
  for (const PropertySummary &p : properties) {
    json.Open()
        .Field("path", p.path)
        .Field("documents", p.documents)
        .OpenArray("values");
    for (const ValueCount &v : p.top)
      json.Open()
          .Field("value", v.value)
          .Field("documents", v.documents)
          .Close();
    json.CloseArray().Close();
  }
  return {200, "application/json", json.CloseArray().Close().Text()};
}

Response ApiProperty(Store &store, std::string_view path,
                     const QueryArgs &args) {
  Filter filter;
  if (auto s = ReadWindow(args, filter); !s.ok())
    return ErrorResponse(400, s.message());
  PropertyHistory history;
  if (auto s = store.PropertyOverTime(filter, std::string(path), history);
      !s.ok())
    return Failed(s);
  if (history.values.empty())
    return ErrorResponse(404, "no documents sent the data point " +
                                  std::string(path));
  JsonWriter json;
  json.Open().Field("path", path).OpenArray("values");
  for (size_t i = 0; i < history.values.size(); ++i) {
    json.Open();
    if (history.other && i + 1 == history.values.size())
      json.Field("other", true).Field("value", std::optional<int64_t>());
    else
      json.Field("value", history.values[i].value);
    json.Field("documents", history.values[i].documents).Close();
  }
  // Per day, the documents of each value above, in the same order.
  json.CloseArray().OpenArray("days");
  for (size_t i = 0; i < history.series.size();) {
    const int64_t day = history.series[i].bucket;
    std::vector<int64_t> documents(history.values.size());
    for (; i < history.series.size() && history.series[i].bucket == day; ++i) {
      if (history.series[i].entry < documents.size())
        documents[history.series[i].entry] = history.series[i].count;
    }
    json.Open()
        .Field("day", FormatUtc(day * kDayBucketMs).substr(0, 10))
        .OpenArray("documents");
    for (int64_t n : documents)
      json.Value(n);
    json.CloseArray().Close();
  }
  return {200, "application/json", json.CloseArray().Close().Text()};
}

} // namespace collector
