#include "collector/DiffCommand.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "collector/compare/ReportChanges.h"
#include "collector/http/ChangesJson.h"
#include "collector/pages/ChangesPage.h"

namespace collector {
namespace {

constexpr size_t kSummaryLines = 5;  // per section, on a terminal

int Fail(const std::string& message) {
  std::fprintf(stderr, "dromika-collector: %s\n", message.c_str());
  return 2;
}

bool Write(const std::string& text, const std::string& path) {
  if (path.empty()) return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(out.write(text.data(), static_cast<std::streamsize>(text.size())).flush());
}

std::string FieldText(const Fields& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!value.empty()) out += (out.empty() ? "" : ", ") + name + "=" + value;
  }
  return out;
}

// A few lines per section: enough to see where to look.
std::string Summary(const ReportRef& from, const ReportRef& to, const ReportChanges& changes) {
  std::string out = "Changes from " + from.file + " to " + to.file + ":\n";
  if (changes.Empty()) return out + "  nothing changed\n";
  for (const SectionChanges& s : changes.sections) {
    out += s.section + ": " + std::to_string(s.added.size()) + " added, " + std::to_string(s.removed.size()) +
           " removed, " + std::to_string(s.changed.size()) + " changed" + (s.note.empty() ? "" : " (" + s.note + ")") +
           "\n";
    std::vector<std::string> lines;
    for (const RowEntry& e : s.added) lines.push_back("  + " + e.key + (e.fields.empty() ? "" : "  " + FieldText(e.fields)));
    for (const RowEntry& e : s.removed) lines.push_back("  - " + e.key);
    for (const FieldChange& c : s.changed) {
      lines.push_back("  ~ " + c.key + " " + c.field + (c.lines.empty() ? ": " + c.from + " -> " + c.to : ""));
    }
    for (size_t i = 0; i < lines.size() && i < kSummaryLines; ++i) out += lines[i] + "\n";
    if (lines.size() > kSummaryLines) out += "  ... " + std::to_string(lines.size() - kSummaryLines) + " more\n";
  }
  return out;
}

}  // namespace

int DiffReports(const Options& options) {
  std::unique_ptr<DocumentStream> older, newer;
  const std::string &olderPath = options.files[0], &newerPath = options.files[1];
  if (auto s = OpenDocumentFile(olderPath, older); !s.ok()) return Fail(olderPath + ": " + s.message());
  if (auto s = OpenDocumentFile(newerPath, newer); !s.ok()) return Fail(newerPath + ": " + s.message());
  CompareOptions compare;
  compare.all = options.all;
  ReportChanges changes;
  if (auto s = CompareReports(*older, *newer, compare, changes); !s.ok()) return Fail(s.message());
  ReportRef from, to;
  from.file = olderPath;
  to.file = newerPath;
  std::string text;
  if (options.json) {
    text = ChangesJson(changes.machine, from, to, changes);
  } else if (options.output.empty() && isatty(STDOUT_FILENO)) {
    text = Summary(from, to, changes);
  } else {
    pages::ChangesPageOptions page;
    page.assets = pages::Assets::kInline;
    page.machine = changes.machine;
    page.from = from;
    page.to = to;
    page.all = options.all;
    text = pages::RenderChangesPage(page, changes);
  }
  if (!Write(text, options.json ? std::string() : options.output)) {
    return Fail("cannot write " + (options.output.empty() ? std::string("the standard output") : options.output));
  }
  return changes.Empty() ? 0 : 1;
}

}  // namespace collector
