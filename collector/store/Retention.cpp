#include "collector/store/Retention.h"


#include "collector/base/Clock.h"
#include "collector/base/Log.h"
#include "collector/document/TimeText.h"

namespace collector {
namespace {

constexpr int64_t kDayMs = 86400 * 1000;
constexpr std::chrono::hours kEvery{1};

}  // namespace

Status Prune(Store& store, Selection selection, std::chrono::milliseconds pause, bool rewrite, Removed& removed,
             const std::function<bool()>& stopping) {
  removed = {};
  for (;;) {
    Removed batch;
    if (auto s = store.RemoveDocuments(selection, batch); !s.ok()) return s;
    removed += batch;
    if (batch.documents < selection.limit || (stopping && stopping())) break;
    std::this_thread::sleep_for(pause);
  }
  return removed.documents > 0 || rewrite ? store.Reclaim(rewrite) : Status();
}

std::string DescribeRemoved(const Removed& r) {
  return std::to_string(r.documents) + " documents, " + std::to_string(r.events) + " events, " +
         std::to_string(r.groups) + " groups, " + std::to_string(r.dataPoints) + " data points, " +
         std::to_string(r.machineFacts) + " machine facts, " + std::to_string(r.disks) + " disks";
}

Retention::Retention(Store& store, int64_t days) : store_(store), days_(days), thread_([this] { Run(); }) {}

Retention::~Retention() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Retention::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    Selection old;
    old.beforeMs = NowMs() - days_ * kDayMs;
    old.limit = kRemovalBatch;
    Removed removed;
    const Status s = Prune(store_, old, kRemovalPause, false, removed, [this] {
      std::lock_guard<std::mutex> held(mutex_);
      return stopping_;
    });
    if (removed.documents > 0 || !s.ok()) {
      LogLine line("retention");
      line.Text("removed", DescribeRemoved(removed)).Text("before", FormatUtc(*old.beforeMs));
      if (!s.ok()) line.Text("store_error", s.message());
      line.Write();
    }
    lock.lock();
    wake_.wait_for(lock, kEvery, [this] { return stopping_; });
  }
}

}  // namespace collector
