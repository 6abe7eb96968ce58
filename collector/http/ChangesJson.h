// The comparison of two reports as JSON: the answer of
// GET /v1/machines/NAME/changes and of `diff --json`.
#pragma once
#include <string>

#include "collector/compare/ReportChanges.h"

namespace collector {

// {"machine", "from": {"id", "received"}, "to": {...}, "sections": [{"section",
// "added": [{"key", "fields"}], "removed": [...], "changed": [{"key", "field",
// "from", "to"}], ...}]}; a saved file's side names its "file".
std::string ChangesJson(const std::string& machine, const ReportRef& from, const ReportRef& to,
                        const ReportChanges& changes);

}  // namespace collector
