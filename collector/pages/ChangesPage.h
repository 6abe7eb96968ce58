// The page of what changed between two reports: the same page for the
// collector's /machines/NAME/changes and for `diff`.
#pragma once
#include <string>

#include "collector/compare/ReportChanges.h"
#include "collector/pages/Html.h"

namespace collector::pages {

struct ChangesPageOptions {
  Assets assets = Assets::kLinked;
  std::string machine;
  ReportRef from, to;
  std::string machineLink;  // the machine's page; empty when there is none
  std::string allLink;      // the same comparison with or without values that change on every run
  bool all = false;
  std::string picker;  // HTML (already escaped) to choose two reports; may be empty
};

std::string RenderChangesPage(const ChangesPageOptions& options, const ReportChanges& changes);

// "Document 12 (2026-12-07 10:00 UTC)" linked to its page, or a file's name.
std::string ReportLabel(const ReportRef& ref, bool linked);

}  // namespace collector::pages
