// A consistent copy of a SQLite store, taken while collectors serve from it.
#pragma once
#include <string>

#include "collector/base/Status.h"

namespace collector {

// Copies the store `storeUrl` ("sqlite:PATH") to the file `outPath` with
// SQLite's online backup: the copy is the store as one read transaction saw
// it, and writers go on meanwhile. The copy appears under `outPath` only
// once whole and checked; any file there before is replaced. A PostgreSQL
// store is refused (pg_dump copies those).
Status BackupSqlite(const std::string& storeUrl, const std::string& outPath);

}  // namespace collector
