// `dromika-collector diff OLD NEW`: what changed between two saved reports,
// with no store and no server.
#pragma once
#include "collector/Options.h"

namespace collector {

// Writes the changes page (-o, or standard output when it is not a
// terminal), the JSON (--json) or, on a terminal, a short summary. Returns
// 0 when nothing changed, 1 when something did, 2 when a file could not be
// read or written, as diff does.
int DiffReports(const Options& options);

}  // namespace collector
