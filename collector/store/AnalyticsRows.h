// What the analytics questions answer: an event broken down by a data point
// of the same document, and the data points clients send.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace collector {

// Values beyond the most frequent ones are answered together as "other".
constexpr size_t kTopValues = 20;
constexpr int64_t kHourBucketMs = 3600000;
constexpr int64_t kDayBucketMs = 86400000;

// One value of the data point, the values past the top ones together, or
// the events whose document lacks the data point.
struct ValueSummary {
  enum class Kind { kValue, kOther, kMissing };
  Kind kind = Kind::kValue;
  std::string value; // kValue only
  int64_t count = 0, documents = 0, valueSum = 0;
  std::optional<int64_t> p50, p90, p99;
};

// A count per time bucket for one entry of a list of values.
struct BucketCount {
  int64_t bucket = 0; // start in ms / the bucket's width
  size_t entry = 0;   // index into the list it belongs to
  int64_t count = 0;
};

struct Breakdown {
  std::vector<ValueSummary> values; // the top values by count, then other, then
                                    // missing, each when any
  int64_t bucketMs = kDayBucketMs;  // the width of the series' buckets
  std::vector<BucketCount> series;  // events, in bucket order
};

struct ValueCount {
  std::string value;
  int64_t documents = 0;
};

// A data point name, "group/sub/name", and the documents that carry it.
struct PropertySummary {
  std::string path;
  int64_t documents = 0;
  std::vector<ValueCount> top; // most common first
};

// One data point over time: documents per value per UTC day.
struct PropertyHistory {
  std::vector<ValueCount>
      values;         // the top values, then "other" (kind in `other`) when any
  bool other = false; // the last entry is the rest together
  std::vector<BucketCount> series; // documents, in day order
};

} // namespace collector
