// The store's tables, created and changed only by numbered migrations, so a
// database made by an older collector is brought forward in place.
#pragma once
#include <cstdint>

#include "collector/store/SqlSession.h"

namespace collector {

// Elapsed times are rolled up as counts per bucket: exact below 64 ms,
// above it 16 buckets per doubling (a bucket is at most 1/16 of its value
// wide), named by their smallest value.
constexpr int64_t kExactElapsedBelow = 64;
constexpr int kElapsedBucketBits = 4;
int64_t ElapsedBucket(int64_t ms);

// The version the newest migration leaves behind.
int64_t LatestSchemaVersion();

// Applies every migration the database lacks, each in its own transaction,
// holding a lock so that collectors starting together apply each one once.
// `version` is the database's version afterwards. A database newer than
// this program is refused.
Status Migrate(SqlSession& session, int64_t& version);

}  // namespace collector
