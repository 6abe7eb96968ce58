#include "collector/document/Import.h"

#include <cstdio>
#include <fstream>

#include "collector/base/Status.h"
#include "collector/document/Compression.h"
#include "collector/document/Ingest.h"

namespace collector {
namespace {

constexpr size_t kMaxImport = (1u << 31) - 1;

struct Tally {
  size_t stored = 0, known = 0, unparsed = 0, failed = 0;
};

}  // namespace

Status ReadDocumentFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return Invalid("cannot read the file");
  // Read straight into place: a large file is held once.
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > kMaxImport) return {StatusCode::kTooLarge, "larger than 2 GiB"};
  bytes.resize(static_cast<size_t>(size));
  in.seekg(0);
  if (!in.read(bytes.data(), size)) return Invalid("cannot read the file");
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F && static_cast<unsigned char>(bytes[1]) == 0x8B) {
    std::string plain;
    if (!GunzipAll(bytes, kMaxImport, plain).ok()) return Invalid("a damaged gzip file");
    bytes.swap(plain);
  }
  if (bytes.size() > kMaxImport) return {StatusCode::kTooLarge, "larger than 2 GiB"};
  return {};
}

namespace {

void ImportOne(Store& store, const std::string& path, Tally& tally, std::string& problem) {
  std::string bytes;
  if (auto s = ReadDocumentFile(path, bytes); !s.ok()) {
    problem = s.message();
    return void(++tally.failed);
  }
  IngestResult result;
  const Status s = Ingest(store, bytes, "import:" + path, result);
  if (s.code() == StatusCode::kInvalid) problem = "refused: " + s.message();
  else if (!s.ok()) problem = s.message();
  if (!problem.empty()) return void(++tally.failed);
  if (!result.put.created) ++tally.known;
  else if (result.rows.state == ParseState::kUnparsed) ++tally.unparsed;
  else ++tally.stored;
  if (result.rows.state == ParseState::kUnparsed) problem = "kept unparsed: " + result.rows.message;
}

}  // namespace

int ImportFiles(Store& store, const std::vector<std::string>& files, bool progress) {
  Tally tally;
  for (size_t i = 0; i < files.size(); ++i) {
    if (progress) std::fprintf(stderr, "\r\033[KImporting %zu/%zu: %s", i + 1, files.size(), files[i].c_str());
    std::string problem;
    ImportOne(store, files[i], tally, problem);
    if (!problem.empty()) std::fprintf(stderr, "%s%s: %s\n", progress ? "\r\033[K" : "", files[i].c_str(), problem.c_str());
  }
  if (progress) std::fprintf(stderr, "\r\033[K");
  std::printf("%zu stored, %zu unparsed, %zu already stored, %zu failed\n", tally.stored, tally.unparsed, tally.known,
              tally.failed);
  return tally.failed == 0 ? 0 : 1;
}

}  // namespace collector
