#include <cstdio>

#include "collector/StoreCommands.h"
#include "collector/document/TimeText.h"
#include "collector/store/Retention.h"

namespace collector {

int PruneCommand(const Options& options) {
  std::unique_ptr<Store> store;
  if (auto s = OpenStore(options.store, store); !s.ok()) {
    std::fprintf(stderr, "dromika-collector: %s\n", s.message().c_str());
    return 1;
  }
  Selection selection;
  selection.beforeMs = options.beforeMs;
  selection.machine = options.machine;
  selection.limit = kRemovalBatch;  // collectors may be serving from the store meanwhile
  Removed removed;
  // Run by hand, so a store from before incremental vacuum is rewritten into it once.
  const Status s = Prune(*store, selection, kRemovalPause, true, removed);
  std::printf("removed %s received before %s\n", DescribeRemoved(removed).c_str(),
              FormatUtc(*options.beforeMs).c_str());
  if (s.ok()) return 0;
  std::fprintf(stderr, "dromika-collector: %s\n", s.message().c_str());
  return 1;
}

}  // namespace collector
