// The commands that look after a store rather than serve it. Each returns
// the process's exit code: 0 done, 1 failed.
#pragma once
#include "collector/Options.h"

namespace collector {

// prune --before DATE [--machine NAME]: removes those documents once.
int PruneCommand(const Options& options);
// backup OUT.db: a consistent copy of a SQLite store, also while it serves.
int BackupCommand(const Options& options);

}  // namespace collector
