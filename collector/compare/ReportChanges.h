// What changed between two reports of one machine: rows added, removed and
// changed, section by section, compared by keys that stay the same between
// runs. One result that the changes page, the JSON API and `diff` render.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "collector/base/Status.h"
#include "collector/compare/DocumentStream.h"
#include "collector/compare/ReportRows.h"

namespace collector {

struct CompareOptions {
  bool all = false;            // also values that change on every run
  size_t maxEntries = 2000;    // per list of one section; the rest are counted
  size_t maxExcerptLines = 60; // of one excerpt's line changes
};

struct RowEntry {
  std::string key;
  Fields fields;
};

struct FieldChange {
  std::string key, field, from, to;
  std::optional<int64_t> delta;         // disks' free space: the change in bytes
  std::optional<double> percent;        // and in percent of the older value
  std::vector<std::string> lines;       // an excerpt: "-old line", "+new line", at most maxExcerptLines
};

struct SectionChanges {
  std::string section;
  std::string note;  // "not collected in the older report", ...; empty otherwise
  std::vector<RowEntry> added, removed;
  std::vector<FieldChange> changed;
  size_t omitted = 0;  // entries past maxEntries, not listed
  bool Empty() const { return note.empty() && added.empty() && removed.empty() && changed.empty() && !omitted; }
};

struct ReportChanges {
  std::string machine;                   // the newer report's computer name
  std::vector<SectionChanges> sections;  // only those with changes, in the newer report's order
  bool Empty() const { return sections.empty(); }
};

// One side of a comparison as the page and the JSON name it: a stored
// document (id and received time) or a saved file.
struct ReportRef {
  std::optional<int64_t> id, receivedMs;
  std::string file;
};

// Reads each document once, the older one first: its rows are kept keyed
// (file excerpts compressed), the newer one's are compared as they come.
// Fails when either document cannot be read; `changes` is then incomplete.
Status CompareReports(DocumentStream& older, DocumentStream& newer, const CompareOptions& options,
                      ReportChanges& changes);

// The lines that differ between two excerpts, "-" removed and "+" added, at
// most `maxLines` of them, then one line counting the rest.
std::vector<std::string> ExcerptLineChanges(std::string_view older, std::string_view newer, size_t maxLines);

}  // namespace collector
