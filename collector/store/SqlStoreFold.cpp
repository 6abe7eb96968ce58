// SqlStore's folding of the value rollups: a thread of the store's own
// folds what waits every second, or sooner once a batch's worth was stored;
// the questions that read the value rollups fold what waits first, so an
// answer counts every document stored before it was asked.
#include "collector/base/Log.h"
#include "collector/store/SqlStore.h"
#include "collector/store/SqlValueRollup.h"

namespace collector {
namespace {

constexpr std::chrono::seconds kFoldEvery{1};
constexpr size_t kWakeAfterDocuments = 200;

}  // namespace

SqlStore::~SqlStore() {
  {
    std::lock_guard<std::mutex> lock(foldMutex_);
    stopping_ = true;
  }
  foldWake_.notify_all();
  if (folder_.joinable()) folder_.join();
}

Status SqlStore::FoldValues(size_t batches) {
  bool more = true;
  for (size_t i = 0; more && i < batches && !stopping_; ++i) {
    if (auto s = WithSession([&](SqlSession& session) { return FoldBacklog(session, recent_, more); }); !s.ok()) return s;
  }
  return {};
}

void SqlStore::NoteStored(size_t documents) {
  std::lock_guard<std::mutex> lock(foldMutex_);
  stored_ += documents;
  if (stored_ >= kWakeAfterDocuments) foldWake_.notify_one();
}

void SqlStore::FoldInBackground() {
  std::string lastFailure;
  std::unique_lock<std::mutex> lock(foldMutex_);
  while (!stopping_) {
    stored_ = 0;
    lock.unlock();
    const Status s = FoldValues(SIZE_MAX);
    // A failure is told once, not every second while it lasts.
    if (!s.ok() && s.message() != lastFailure) {
      LogLine("fold").Text("store_error", s.message()).Write();
    }
    lastFailure = s.ok() ? "" : s.message();
    lock.lock();
    foldWake_.wait_for(lock, kFoldEvery, [this] { return stopping_ || stored_ >= kWakeAfterDocuments; });
  }
}

}  // namespace collector
