#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <unordered_map>

#include <zlib.h>

#include "collector/base/WholeNumber.h"
#include "collector/compare/ReportChanges.h"
#include "collector/document/Compression.h"
#include "collector/document/ReportBlocks.h"

namespace collector {
namespace {

// Free space moves a little with every file written; less than this share
// of it is not a change a person looks for.
constexpr double kDiskNoisePercent = 1.0;

// A row of the older report as kept until the newer one is read: fields
// packed as name NUL value NUL, an excerpt compressed.
struct Kept {
  uint32_t order = 0;
  uint32_t section = 0;
  std::string fields;
  std::string excerpt;
  size_t excerptHash = 0;
  bool hasExcerpt = false;
  bool matched = false;
};

std::string PackFields(const Fields& fields) {
  std::string packed;
  for (const auto& [name, value] : fields) {
    packed.append(name).push_back('\0');
    packed.append(value).push_back('\0');
  }
  return packed;
}

Fields UnpackFields(const std::string& packed) {
  Fields fields;
  size_t at = 0;
  while (at < packed.size()) {
    const size_t nameEnd = packed.find('\0', at), valueEnd = packed.find('\0', nameEnd + 1);
    fields.emplace_back(packed.substr(at, nameEnd - at), packed.substr(nameEnd + 1, valueEnd - nameEnd - 1));
    at = valueEnd + 1;
  }
  return fields;
}

std::string_view ValueOf(const Fields& fields, std::string_view name) {
  for (const auto& [k, v] : fields) {
    if (k == name) return v;
  }
  return {};
}

// "yyyymmddHHMMSS.ffffff+UUU" as seconds since 1970 (its own zone); none for other text.
std::optional<int64_t> ManagementSeconds(std::string_view text) {
  if (text.size() < 14) return std::nullopt;
  const auto digits = ParseWholeNumber(text.substr(0, 14));
  if (!digits) return std::nullopt;
  const int64_t d = *digits;
  const int64_t year = d / 10000000000, month = d / 100000000 % 100, day = d / 1000000 % 100;
  // Days from civil date (proleptic Gregorian), after H. Hinnant.
  const int64_t y = year - (month <= 2), era = (y >= 0 ? y : y - 399) / 400, yoe = y - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  return days * 86400 + d / 10000 % 100 * 3600 + d / 100 % 100 * 60 + d % 100;
}

// A boot time is worked out from the uptime, so it moves by a second or so
// between runs; a minute apart is a reboot.
bool SameBoot(std::string_view from, std::string_view to) {
  const auto a = ManagementSeconds(from), b = ManagementSeconds(to);
  return a && b && std::abs(*a - *b) < 60;
}

FieldChange Change(const std::string& key, const std::string& field, std::string_view from, std::string_view to) {
  FieldChange change;
  change.key = key;
  change.field = field;
  change.from = from;
  change.to = to;
  return change;
}

// Excerpts of the older report, compressed one by one with a single stream
// (starting zlib per excerpt costs more than compressing it) into strings
// exactly as long as their bytes. The form Unpack reads.
class ExcerptPacker {
 public:
  ExcerptPacker() { started_ = deflateInit(&stream_, 1) == Z_OK; }
  ~ExcerptPacker() {
    if (started_) deflateEnd(&stream_);
  }
  Status Pack(std::string_view text, std::string& packed) {
    if (!started_ || deflateReset(&stream_) != Z_OK) return Failure("cannot compress an excerpt");
    buffer_.resize(deflateBound(&stream_, static_cast<uLong>(text.size())));
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream_.avail_in = static_cast<uInt>(text.size());
    stream_.next_out = reinterpret_cast<Bytef*>(buffer_.data());
    stream_.avail_out = static_cast<uInt>(buffer_.size());
    if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) return Failure("cannot compress an excerpt");
    packed.assign(buffer_.data(), buffer_.size() - stream_.avail_out);
    return {};
  }

 private:
  z_stream stream_{};
  bool started_ = false;
  std::string buffer_;
};

class Comparison {
 public:
  Comparison(const CompareOptions& options, ReportChanges& changes) : options_(options), changes_(changes) {}

  Status ReadOlder(DocumentStream& stream) {
    ReportRowReader reader(stream, options_.all);
    ReportRow row;
    bool more = true;
    for (uint32_t order = 0;; ++order) {
      if (auto s = reader.Next(row, more); !s.ok()) return Invalid("the older report: " + s.message());
      if (!more) break;
      Kept kept;
      kept.order = order;
      kept.section = SectionIndex(row.section, row.block);
      kept.fields = PackFields(row.fields);
      if (row.excerpt) {
        kept.hasExcerpt = true;
        kept.excerptHash = std::hash<std::string>()(*row.excerpt);
        if (auto s = packer_.Pack(*row.excerpt, kept.excerpt); !s.ok()) return s;
      }
      kept_.insert_or_assign(row.section + '\0' + row.key, std::move(kept));
    }
    olderBlocks_ = reader.Blocks();
    return {};
  }

  Status CompareNewer(DocumentStream& stream) {
    ReportRowReader reader(stream, options_.all);
    ReportRow row;
    bool more = true;
    while (true) {
      if (auto s = reader.Next(row, more); !s.ok()) return Invalid("the newer report: " + s.message());
      if (!more) break;
      if (row.section == "Computer" || (row.section == "Operating system" && changes_.machine.empty())) {
        changes_.machine = row.section == "Computer" ? row.key : std::string(ValueOf(row.fields, "CSName"));
      }
      SectionChanges& section = Section(SectionIndex(row.section, row.block));
      if (!olderBlocks_.count(row.block)) continue;
      auto it = kept_.find(row.section + '\0' + row.key);
      if (it == kept_.end()) {
        Add(section.added, section, {row.key, std::move(row.fields)});
      } else {
        it->second.matched = true;
        if (auto s = CompareRow(it->second, row, section); !s.ok()) return s;
      }
    }
    Removed(reader.Blocks());
    Notes(reader.Blocks());
    auto& sections = changes_.sections;
    sections.erase(std::remove_if(sections.begin(), sections.end(), [](const SectionChanges& s) { return s.Empty(); }),
                   sections.end());
    return {};
  }

 private:
  uint32_t SectionIndex(const std::string& name, const std::string& block) {
    auto [it, added] = sectionIndex_.try_emplace(name, static_cast<uint32_t>(sectionNames_.size()));
    if (added) {
      sectionNames_.push_back(name);
      sectionBlocks_.push_back(block);
    }
    return it->second;
  }

  // The newer report's order; sections only the older one holds come after.
  SectionChanges& Section(uint32_t index) {
    auto [it, added] = placed_.try_emplace(index, changes_.sections.size());
    if (added) {
      changes_.sections.emplace_back();
      changes_.sections.back().section = sectionNames_[index];
    }
    return changes_.sections[it->second];
  }

  template <class T>
  void Add(std::vector<T>& list, SectionChanges& section, T entry) {
    if (list.size() < options_.maxEntries) list.push_back(std::move(entry));
    else ++section.omitted;
  }

  Status CompareRow(const Kept& kept, ReportRow& row, SectionChanges& section) {
    const Fields older = UnpackFields(kept.fields);
    for (const auto& [name, value] : row.fields) Field(section, row, name, ValueOf(older, name), value);
    for (const auto& [name, value] : older) {
      if (std::none_of(row.fields.begin(), row.fields.end(), [&](const auto& f) { return f.first == name; })) {
        Field(section, row, name, value, {});
      }
    }
    if (!kept.hasExcerpt && !row.excerpt) return {};
    if (kept.hasExcerpt && row.excerpt && kept.excerptHash == std::hash<std::string>()(*row.excerpt)) return {};
    std::string older_excerpt;
    if (kept.hasExcerpt) {
      if (auto s = Unpack(kept.excerpt, older_excerpt); !s.ok()) return s;
    }
    FieldChange change = Change(row.key, "excerpt", kept.hasExcerpt ? "present" : "", row.excerpt ? "present" : "");
    change.lines = ExcerptLineChanges(older_excerpt, row.excerpt.value_or(""), options_.maxExcerptLines);
    if (!change.lines.empty()) Add(section.changed, section, std::move(change));
    return {};
  }

  void Field(SectionChanges& section, const ReportRow& row, const std::string& name, std::string_view from,
             std::string_view to) {
    if (from == to) return;
    if (!options_.all && name == "LastBootUpTime" && SameBoot(from, to)) return;
    FieldChange change = Change(row.key, name, from, to);
    if (row.section == "Disks") {
      const auto older = ParseWholeNumber(from), newer = ParseWholeNumber(to);
      if (older && newer) {
        change.delta = *newer - *older;
        if (*older != 0) change.percent = 100.0 * static_cast<double>(*change.delta) / static_cast<double>(*older);
        if (!options_.all && change.percent && std::abs(*change.percent) < kDiskNoisePercent) return;
      }
    }
    Add(section.changed, section, std::move(change));
  }

  void Removed(const std::set<std::string>& newerBlocks) {
    std::vector<std::pair<const std::string*, Kept*>> gone;
    for (auto& [key, kept] : kept_) {
      if (!kept.matched && newerBlocks.count(sectionBlocks_[kept.section])) gone.emplace_back(&key, &kept);
    }
    std::sort(gone.begin(), gone.end(), [](const auto& a, const auto& b) { return a.second->order < b.second->order; });
    for (const auto& [key, kept] : gone) {
      SectionChanges& section = Section(kept->section);
      Add(section.removed, section, {key->substr(key->find('\0') + 1), UnpackFields(kept->fields)});
    }
    kept_.clear();
  }

  // A block one report holds and the other lacks is noted, not listed row by row.
  void Notes(const std::set<std::string>& newerBlocks) {
    for (const ReportBlockInfo& info : kReportBlocks) {
      const std::string element(info.element);
      const bool older = olderBlocks_.count(element) > 0, newer = newerBlocks.count(element) > 0;
      if (older == newer) continue;
      SectionChanges& section = Section(SectionIndex(std::string(info.title), element));
      section.note = older ? "not collected in the newer report" : "not collected in the older report";
    }
  }

  const CompareOptions& options_;
  ReportChanges& changes_;
  ExcerptPacker packer_;
  std::unordered_map<std::string, Kept> kept_;
  std::set<std::string> olderBlocks_;
  std::map<std::string, uint32_t> sectionIndex_;
  std::vector<std::string> sectionNames_, sectionBlocks_;
  std::map<uint32_t, size_t> placed_;
};

}  // namespace

Status CompareReports(DocumentStream& older, DocumentStream& newer, const CompareOptions& options,
                      ReportChanges& changes) {
  changes = {};
  Comparison comparison(options, changes);
  if (auto s = comparison.ReadOlder(older); !s.ok()) return s;
  return comparison.CompareNewer(newer);
}

}  // namespace collector
