#include "collector/pages/ChangesData.h"

#include "collector/base/WholeNumber.h"

namespace collector::pages {
namespace {

Status ReadId(const QueryArgs& args, const char* name, std::optional<int64_t>& id) {
  auto it = args.find(name);
  if (it == args.end() || it->second.empty()) return {};
  id = ParseWholeNumber(it->second);
  if (!id || *id < 1) return Invalid(std::string(name) + ": not a document id: " + it->second);
  return {};
}

// The document `id`, which must be one of `machine`'s.
Status Side(Store& store, const std::string& machine, int64_t id, ReportRef& ref) {
  std::optional<DocumentInfo> info;
  if (auto s = store.Document(id, info); !s.ok()) return s;
  if (!info || info->machine != machine) {
    return {StatusCode::kNotFound, "no document " + std::to_string(id) + " from a machine named " + machine};
  }
  ref.id = id;
  ref.receivedMs = info->receivedMs;
  return {};
}

Status Body(Store& store, int64_t id, std::string& packed) {
  bool found = false;
  if (auto s = store.PackedBody(id, packed, found); !s.ok()) return s;
  return found ? Status() : Status(StatusCode::kNotFound, "no document " + std::to_string(id));
}

}  // namespace

Status GatherChanges(Store& store, const std::string& machine, const QueryArgs& args, ChangesData& data) {
  data.machine = machine;
  std::optional<int64_t> from, to;
  if (auto s = ReadId(args, "from", from); !s.ok()) return s;
  if (auto s = ReadId(args, "to", to); !s.ok()) return s;
  auto all = args.find("all");
  data.all = all != args.end() && (all->second == "1" || all->second == "true");
  Filter reports;
  reports.machine = machine;
  reports.kind = "report";
  reports.limit = kPickableReports;
  if (auto s = store.ListDocuments(reports, data.reports); !s.ok()) return s;
  if (!to && !data.reports.empty()) to = data.reports.front().id;
  if (to && !from) {
    std::optional<DocumentInfo> info;
    std::optional<int64_t> after;
    if (auto s = store.Document(*to, info); !s.ok()) return s;
    if (info && info->machine == machine) {
      if (auto s = store.Neighbours(*info, "report", from, after); !s.ok()) return s;
    }
  }
  if (!from || !to) return {StatusCode::kNotFound, "no two reports from a machine named " + machine + " to compare"};
  if (auto s = Side(store, machine, *from, data.from); !s.ok()) return s;
  if (auto s = Side(store, machine, *to, data.to); !s.ok()) return s;
  std::string older, newer;
  if (auto s = Body(store, *from, older); !s.ok()) return s;
  if (auto s = Body(store, *to, newer); !s.ok()) return s;
  CompareOptions options;
  options.all = data.all;
  const auto olderStream = PackedDocument(older), newerStream = PackedDocument(newer);
  if (auto s = CompareReports(*olderStream, *newerStream, options, data.changes); !s.ok()) {
    return {StatusCode::kInternal, "cannot compare: " + s.message()};
  }
  return {};
}

}  // namespace collector::pages
