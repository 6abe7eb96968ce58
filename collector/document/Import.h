// `dromika-collector import`: saved documents into the store as if uploaded.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "collector/store/Store.h"

namespace collector {

// Stores each file (gzip-compressed files are decompressed first). With
// `progress`, keeps one progress line on standard error up to date. Problems
// with single files are reported there and do not stop the others; the
// result is 0 when every file was stored or already held, else 1.
int ImportFiles(Store& store, const std::vector<std::string>& files, bool progress);

// Reads a saved document, decompressing a gzip file; fails with what is
// wrong when it cannot be read. `modifiedMs`, when given, receives the
// file's modification time (Unix ms).
Status ReadDocumentFile(const std::string& path, std::string& bytes, int64_t* modifiedMs = nullptr);

}  // namespace collector
