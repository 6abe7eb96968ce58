#include "collector/document/Import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "collector/base/Status.h"
#include "collector/document/Compression.h"
#include "collector/document/Ingest.h"
#include "runtime/UniqueFd_posix.h"

namespace collector {
namespace {

constexpr size_t kMaxImport = (1u << 31) - 1;

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

enum class Outcome { kStored, kKnown, kUnparsed, kFailed };

// One named file on its way into the store.
struct ImportSlot {
  std::string bytes;
  int64_t modifiedMs = 0;
  std::unique_ptr<PreparedIngest> ingest;
  Status prepared;
};

// Read and prepared in the caller's thread, side by side with other files.
// A saved report was made when it was written, not when it is imported.
void Prepare(const std::string& path, ImportSlot& slot) {
  if (slot.prepared = ReadDocumentFile(path, slot.bytes, &slot.modifiedMs); !slot.prepared.ok()) return;
  slot.ingest = std::make_unique<PreparedIngest>(slot.bytes);
  slot.prepared = slot.ingest->Prepare("import:" + path, slot.modifiedMs);
}

Outcome Finish(ImportSlot& slot, std::string& problem) {
  IngestResult result;
  const Status s = slot.prepared.ok() ? slot.ingest->Finish(result) : slot.prepared;
  if (!slot.ingest) problem = s.message();  // the file itself could not be read
  else if (s.code() == StatusCode::kInvalid) problem = "refused: " + s.message();
  else if (!s.ok()) problem = s.message();
  if (!problem.empty()) return Outcome::kFailed;
  if (result.rows.state == ParseState::kUnparsed) problem = "kept unparsed: " + result.rows.message;
  if (!result.put.created) return Outcome::kKnown;
  return result.rows.state == ParseState::kUnparsed ? Outcome::kUnparsed : Outcome::kStored;
}

// Files go in groups: read and prepared by several threads at once, then
// stored in the order named, in one transaction (one sync for the group).
// A file counts once that transaction is durable.
class ImportRun {
 public:
  static constexpr size_t kThreads = 16;
  static constexpr size_t kGroupFiles = 64;
  // The most bytes on disk a group holds, unless one file alone is larger.
  static constexpr uint64_t kGroupBytes = uint64_t{256} << 20;

  ImportRun(Store& store, const std::vector<std::string>& files, bool progress)
      : store_(store), files_(files), progress_(progress) {}

  int Run() {
    for (size_t first = 0; first < files_.size();) {
      const size_t end = GroupEnd(first);
      if (progress_) {
        std::fprintf(stderr, "\r\033[KImporting %zu/%zu: %s", first + 1, files_.size(), files_[first].c_str());
      }
      std::vector<ImportSlot> slots(end - first);
      PrepareAll(first, slots);
      std::vector<PutItem> group;
      int64_t receivedMs = 0;
      for (auto& slot : slots) {
        if (!slot.prepared.ok()) continue;
        receivedMs = slot.ingest->ReceivedNoEarlierThan(receivedMs);
        group.push_back(slot.ingest->Item());
      }
      store_.PutEach(group);
      for (size_t i = 0, k = 0; i < slots.size(); ++i) {
        if (slots[i].prepared.ok()) slots[i].ingest->Item() = group[k++];
        Report(files_[first + i], slots[i]);
      }
      first = end;
    }
    if (progress_) std::fprintf(stderr, "\r\033[K");
    std::printf("%zu stored, %zu unparsed, %zu already stored, %zu failed\n", tally_[0], tally_[2], tally_[1],
                tally_[3]);
    return tally_[3] == 0 ? 0 : 1;
  }

 private:
  size_t GroupEnd(size_t first) const {
    uint64_t bytes = 0;
    size_t end = first;
    for (; end < files_.size() && end - first < kGroupFiles; ++end) {
      struct stat info {};
      const uint64_t size = stat(files_[end].c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
      if (end > first && bytes + size > kGroupBytes) break;
      bytes += size;
    }
    return end;
  }

  void PrepareAll(size_t first, std::vector<ImportSlot>& slots) {
    std::atomic<size_t> next{0};
    auto work = [&] {
      for (size_t i; (i = next++) < slots.size();) Prepare(files_[first + i], slots[i]);
    };
    std::vector<std::thread> threads;
    for (size_t t = 1; t < std::min(kThreads, slots.size()); ++t) threads.emplace_back(work);
    work();
    for (auto& thread : threads) thread.join();
  }

  void Report(const std::string& path, ImportSlot& slot) {
    std::string problem;
    ++tally_[static_cast<size_t>(Finish(slot, problem))];
    if (!problem.empty()) {
      std::fprintf(stderr, "%s%s: %s\n", progress_ ? "\r\033[K" : "", path.c_str(), problem.c_str());
    }
  }

  Store& store_;
  const std::vector<std::string>& files_;
  const bool progress_;
  size_t tally_[4] = {};  // by Outcome
};

}  // namespace

int ImportFiles(Store& store, const std::vector<std::string>& files, bool progress) {
  return ImportRun(store, files, progress).Run();
}

}  // namespace collector
