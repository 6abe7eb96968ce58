#include <cstdio>

#include "collector/StoreCommands.h"
#include "collector/store/Backup.h"

namespace collector {

int BackupCommand(const Options& options) {
  const std::string& out = options.files.front();
  if (auto s = BackupSqlite(options.store, out); !s.ok()) {
    std::fprintf(stderr, "dromika-collector: %s\n", s.message().c_str());
    return 1;
  }
  std::printf("backed up %s to %s\n", options.store.c_str(), out.c_str());
  return 0;
}

}  // namespace collector
