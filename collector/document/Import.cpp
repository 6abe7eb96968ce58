#include "collector/document/Import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "collector/base/Status.h"
#include "collector/document/Compression.h"
#include "collector/document/Ingest.h"
#include "runtime/UniqueFd_posix.h"

namespace collector {
namespace {

constexpr size_t kMaxImport = (1u << 31) - 1;

struct Tally {
  size_t stored = 0, known = 0, unparsed = 0, failed = 0;
};

}  // namespace

Status ReadDocumentFile(const std::string& path, std::string& bytes, int64_t* modifiedMs) {
  // Never blocking: a FIFO given by mistake must not wait for a writer.
  const sys::UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return Invalid(std::string("cannot read the file: ") + std::strerror(errno));
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) return Invalid(std::string("cannot read the file: ") + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) return Invalid("a folder, not a file");
  if (!S_ISREG(info.st_mode)) {
    return Invalid(S_ISFIFO(info.st_mode) ? "a pipe, not a file" : S_ISSOCK(info.st_mode) ? "a socket, not a file"
                                                                                           : "a device, not a file");
  }
  if (info.st_size == 0) return Invalid("an empty file");
  if (modifiedMs) *modifiedMs = int64_t{info.st_mtim.tv_sec} * 1000 + info.st_mtim.tv_nsec / 1000000;
  if (static_cast<uint64_t>(info.st_size) > kMaxImport) return {StatusCode::kTooLarge, "larger than 2 GiB"};
  // Read straight into place: a large file is held once.
  bytes.resize(static_cast<size_t>(info.st_size));
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t got = read(fd.get(), bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return Invalid("cannot read the file: it shrank or failed while being read");
    done += static_cast<size_t>(got);
  }
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F && static_cast<unsigned char>(bytes[1]) == 0x8B) {
    std::string plain;
    const Status s = GunzipAll(bytes, kMaxImport, plain);
    if (s.code() == StatusCode::kTooLarge) return {StatusCode::kTooLarge, "larger than 2 GiB once decompressed"};
    if (!s.ok()) return Invalid("a damaged gzip file");
    bytes.swap(plain);
  }
  if (bytes.empty()) return Invalid("an empty document");
  return {};
}

namespace {

void ImportOne(Store& store, const std::string& path, Tally& tally, std::string& problem) {
  std::string bytes;
  int64_t modifiedMs = 0;
  if (auto s = ReadDocumentFile(path, bytes, &modifiedMs); !s.ok()) {
    problem = s.message();
    return void(++tally.failed);
  }
  IngestResult result;
  // A saved report was made when it was written, not when it is imported.
  const Status s = Ingest(store, bytes, "import:" + path, result, modifiedMs);
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
