#include "collector/document/Import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "collector/base/Status.h"
#include "collector/document/Compression.h"
#include "collector/document/Ingest.h"
#include "runtime/UniqueFd_posix.h"

namespace collector {
namespace {

constexpr size_t kMaxImport = (1u << 31) - 1;

}  // namespace

Status ReadDocumentFile(const std::string& path, std::string& bytes) {
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

// A file counts once Put has returned, that is once the commit holding it
// is durable.
Outcome ImportOne(Store& store, const std::string& path, std::string& problem) {
  std::string bytes;
  if (auto s = ReadDocumentFile(path, bytes); !s.ok()) {
    problem = s.message();
    return Outcome::kFailed;
  }
  IngestResult result;
  const Status s = Ingest(store, bytes, "import:" + path, result);
  if (s.code() == StatusCode::kInvalid)
    problem = "refused: " + s.message();
  else if (!s.ok())
    problem = s.message();
  if (!problem.empty()) return Outcome::kFailed;
  if (result.rows.state == ParseState::kUnparsed) problem = "kept unparsed: " + result.rows.message;
  if (!result.put.created) return Outcome::kKnown;
  return result.rows.state == ParseState::kUnparsed ? Outcome::kUnparsed : Outcome::kStored;
}

// Files are read and stored by several threads at once, so that their
// documents share the store's commits (one sync serves many files) and are
// read while others are written. What each file gave is printed in the order
// the files were named.
class ImportRun {
 public:
  // As many as the store has sessions; the files held at once are bounded
  // by their size on disk (one file alone may always go).
  static constexpr size_t kThreads = 16;
  static constexpr uint64_t kBytesAtOnce = uint64_t{256} << 20;

  ImportRun(Store& store, const std::vector<std::string>& files, bool progress)
      : store_(store), files_(files), progress_(progress), problems_(files.size()), done_(files.size(), false) {}

  int Run() {
    if (progress_) ReportInOrder();
    std::vector<std::thread> threads;
    const size_t count = std::min(kThreads, files_.size());
    for (size_t i = 1; i < count; ++i) threads.emplace_back([this] { Work(); });
    Work();
    for (auto& thread : threads) thread.join();
    if (progress_) std::fprintf(stderr, "\r\033[K");
    std::printf("%zu stored, %zu unparsed, %zu already stored, %zu failed\n", tally_[0], tally_[2], tally_[1],
                tally_[3]);
    return tally_[3] == 0 ? 0 : 1;
  }

 private:
  void Work() {
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (next_ == files_.size()) return;
      const size_t i = next_++;
      struct stat info {};
      const uint64_t size = stat(files_[i].c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
      roomLeft_.wait(lock, [&] { return held_ == 0 || held_ + size <= kBytesAtOnce; });
      held_ += size;
      lock.unlock();
      std::string problem;
      const Outcome outcome = ImportOne(store_, files_[i], problem);
      lock.lock();
      held_ -= size;
      roomLeft_.notify_all();
      ++tally_[static_cast<size_t>(outcome)];
      problems_[i] = std::move(problem);
      done_[i] = true;
      ReportInOrder();
    }
  }

  void ReportInOrder() {
    for (; reported_ < files_.size() && done_[reported_]; ++reported_) {
      const std::string& problem = problems_[reported_];
      if (!problem.empty()) {
        std::fprintf(stderr, "%s%s: %s\n", progress_ ? "\r\033[K" : "", files_[reported_].c_str(), problem.c_str());
      }
    }
    if (progress_ && reported_ < files_.size()) {
      std::fprintf(stderr, "\r\033[KImporting %zu/%zu: %s", reported_ + 1, files_.size(), files_[reported_].c_str());
    }
  }

  Store& store_;
  const std::vector<std::string>& files_;
  const bool progress_;
  std::mutex mutex_;
  std::condition_variable roomLeft_;
  size_t next_ = 0, reported_ = 0;
  uint64_t held_ = 0;
  size_t tally_[4] = {};  // by Outcome
  std::vector<std::string> problems_;
  std::vector<bool> done_;
};

}  // namespace

int ImportFiles(Store& store, const std::vector<std::string>& files, bool progress) {
  return ImportRun(store, files, progress).Run();
}

}  // namespace collector
