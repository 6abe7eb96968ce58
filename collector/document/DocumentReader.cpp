#include "collector/document/DocumentReader.h"

#include "collector/document/SafeXmlReader.h"

#include <cstring>
#include <string>
#include <vector>

#include "collector/base/Status.h"
#include "collector/base/WholeNumber.h"
#include "collector/document/Prescan.h"
#include "collector/document/ReportBlocks.h"

namespace collector {

const char* KindName(DocumentKind kind) { return kind == DocumentKind::kReport ? "report" : "analytics"; }
const char* StateName(ParseState state) { return state == ParseState::kParsed ? "parsed" : "unparsed"; }

std::optional<int64_t> ParseElapsed(std::string_view text) {
  const std::string copy(text);
  int days = 0, hours = 0, minutes = 0, seconds = 0, millis = 0, used = 0;
  if (std::sscanf(copy.c_str(), "%dd %d:%2d:%2d.%3d%n", &days, &hours, &minutes, &seconds, &millis, &used) != 5 ||
      used != static_cast<int>(copy.size()) || days < 0 || hours < 0 || minutes < 0 || seconds < 0 || millis < 0) {
    return std::nullopt;
  }
  return ((((int64_t{days} * 24 + hours) * 60 + minutes) * 60 + seconds) * 1000) + millis;
}

namespace {

constexpr unsigned kAllBlocks = (1u << kReportBlocks.size()) - 1;

// Follows the open elements and turns the ones that matter into rows.
class Walker {
 public:
  Walker(xmlTextReaderPtr reader, DocumentRows& rows, RowBudget budget)
      : reader_(reader), rows_(rows), budget_(budget) {}

  // Why the document yields more rows than its size allows; empty while it does not.
  const std::string& Overspent() const { return overspent_; }

  void Start(std::string_view name, bool empty) {
    open_.emplace_back(name);
    const size_t depth = open_.size() - 1;  // 0 is the root
    if (depth == 1) StartTop(name);
    if (depth >= 1) {
      if (!block_) GroupElement(name, depth);
      else if (*block_ == ReportBlock::kSystem) SystemElement(depth);
      else if (*block_ == ReportBlock::kDisks && depth == 2 && name == "disk") DiskElement();
    }
    if (empty) End();
  }

  void End() {
    if (!open_.empty()) open_.pop_back();
  }

  bool RootIsReport() const { return rootName_ == "dromika"; }
  void SetRoot(std::string_view name) { rootName_ = name; }

  void Finish() {
    const bool clientData = sawGroupSection_;
    rows_.kind = !clientData && seenBlocks_ == kAllBlocks ? DocumentKind::kReport : DocumentKind::kAnalytics;
    if (!computerName_.empty()) rows_.machine = computerName_;
    else if (!osComputerName_.empty()) rows_.machine = osComputerName_;
    else rows_.machine = dnsName_;
    if (!rows_.facts.logicalProcessors) rows_.facts.logicalProcessors = wmiLogical_;
    if (!rows_.facts.ramBytes) rows_.facts.ramBytes = wmiRam_;
  }

 private:
  void StartTop(std::string_view name) {
    block_ = ReportBlockNamed(name);
    if (block_) {
      ++rows_.blocks;
      seenBlocks_ |= 1u << static_cast<unsigned>(*block_);
    } else {
      sawGroupSection_ = true;
    }
  }

  template <class F>
  void EachAttribute(F&& f) {
    while (xmlTextReaderMoveToNextAttribute(reader_) == 1) {
      f(XmlText(xmlTextReaderConstName(reader_)), XmlText(xmlTextReaderConstValue(reader_)));
    }
    xmlTextReaderMoveToElement(reader_);
  }

  void GroupElement(std::string_view name, size_t depth) {
    if (name == "event" && depth >= 2 && open_[depth - 1] == "events") return EventElement();
    if (name != "events") ++rows_.groups;
    std::string path;
    for (size_t i = 1; i <= depth; ++i) (path += i > 1 ? "/" : "") += open_[i];
    EachAttribute([&](std::string_view key, std::string_view value) {
      if (Spend(path.size() + key.size() + value.size())) {
        rows_.dataPoints.push_back({path, std::string(key), std::string(value)});
      }
    });
  }

  void EventElement() {
    EventRow event;
    EachAttribute([&](std::string_view key, std::string_view value) {
      if (key == "name") event.name = value;
      else if (key == "value") event.value = ParseWholeNumber(value);
      else if (key == "eventtime") event.eventTimeMs = ParseElapsed(value);
      else if (key == "elapsed") event.elapsedMs = ParseElapsed(value);
    });
    if (Spend(event.name.size())) rows_.events.push_back(std::move(event));
  }

  void SystemElement(size_t depth) {
    const std::string& name = open_[depth];
    MachineFacts& facts = rows_.facts;
    if (depth == 3 && open_[2] == "wmi") {
      if (name == "Win32_OperatingSystem") {
        EachAttribute([&](std::string_view key, std::string_view value) {
          if (key == "Caption") facts.osCaption = value;
          else if (key == "Version") facts.osVersion = value;
          else if (key == "CSName") osComputerName_ = value;
        });
      } else if (name == "Win32_Processor" && facts.processor.empty()) {
        EachAttribute([&](std::string_view key, std::string_view value) {
          if (key == "Name") facts.processor = value;
        });
      } else if (name == "Win32_ComputerSystem") {
        EachAttribute([&](std::string_view key, std::string_view value) {
          if (key == "Name") computerName_ = value;
          else if (key == "DNSHostName") dnsName_ = value;
          else if (key == "NumberOfLogicalProcessors") wmiLogical_ = ParseWholeNumber(value);
          else if (key == "TotalPhysicalMemory") wmiRam_ = ParseWholeNumber(value);
        });
      }
    } else if (depth == 2 && name == "processors") {
      EachAttribute([&](std::string_view key, std::string_view value) {
        if (key == "count") facts.logicalProcessors = ParseWholeNumber(value);
      });
    } else if (depth == 2 && name == "memory") {
      EachAttribute([&](std::string_view key, std::string_view value) {
        if (key == "rambytes") facts.ramBytes = ParseWholeNumber(value);
      });
    }
  }

  void DiskElement() {
    DiskRow disk;
    EachAttribute([&](std::string_view key, std::string_view value) {
      if (key == "drive") disk.drive = value;
      else if (key == "totalfreebytes") disk.freeBytes = ParseWholeNumber(value);
      else if (key == "totalavailablebytes") disk.availableBytes = ParseWholeNumber(value);
    });
    rows_.facts.disks.push_back(std::move(disk));
  }

  // False, and the document refused, once its rows pass the budget.
  bool Spend(size_t bytes) {
    if (!overspent_.empty()) return false;
    budget_.rows -= std::min<int64_t>(budget_.rows, 1);
    budget_.bytes -= std::min<int64_t>(budget_.bytes, static_cast<int64_t>(bytes));
    if (budget_.rows > 0 && budget_.bytes > 0) return true;
    overspent_ = "the document would be stored as more rows than its size allows";
    return false;
  }

  xmlTextReaderPtr reader_;
  DocumentRows& rows_;
  RowBudget budget_;
  std::string overspent_;
  std::vector<std::string> open_;
  std::string rootName_;
  std::optional<ReportBlock> block_;  // the block being read; none in a client group
  unsigned seenBlocks_ = 0;
  bool sawGroupSection_ = false;
  std::string computerName_, osComputerName_, dnsName_;
  std::optional<int64_t> wmiLogical_, wmiRam_;
};

void MarkUnparsed(DocumentRows& rows, std::string message) {
  const DocumentKind kind = rows.kind;
  rows = DocumentRows{};
  rows.kind = kind;
  rows.state = ParseState::kUnparsed;
  rows.message = std::move(message);
}

}  // namespace

std::optional<std::string> PrescanRefusal(std::string_view xml) {
  // Before the parser: some declarations fail it before it reports them.
  if (DeclaresDocumentType(xml)) return kNoDocumentType;
  if (HasElementWithMoreAttributesThan(xml, kMaxAttributesPerElement)) {
    return "an element carries more than " + std::to_string(kMaxAttributesPerElement) + " attributes";
  }
  return std::nullopt;
}

Status ReadDocument(std::string_view xml, DocumentRows& rows, int maxDepth) {
  rows = DocumentRows{};
  if (xml.size() >= (1u << 31)) return {StatusCode::kTooLarge, "the document is too large to read"};
  if (auto refusal = PrescanRefusal(xml)) return Invalid(*refusal);
  std::string error;
  const XmlReader reader = OpenSafeXmlReader(xml, &error);
  if (!reader) return {StatusCode::kInternal, "cannot start the XML reader"};
  Walker walker(reader.get(), rows, RowBudget::For(xml.size()));
  int rc = 0;
  while ((rc = xmlTextReaderRead(reader.get())) == 1) {
    const int type = xmlTextReaderNodeType(reader.get());
    if (type == XML_READER_TYPE_DOCUMENT_TYPE) return Invalid(kNoDocumentType);
    if (type == XML_READER_TYPE_END_ELEMENT) {
      walker.End();
    } else if (type == XML_READER_TYPE_ELEMENT) {
      const int depth = xmlTextReaderDepth(reader.get());
      if (depth > maxDepth) return Invalid("elements are nested deeper than " + std::to_string(maxDepth) + " levels");
      const std::string_view name = XmlText(xmlTextReaderConstName(reader.get()));
      if (depth == 0) walker.SetRoot(name);
      walker.Start(name, xmlTextReaderIsEmptyElement(reader.get()) == 1);
      if (!walker.Overspent().empty()) {
        rows = DocumentRows{};
        return {StatusCode::kTooLarge, walker.Overspent()};
      }
    }
  }
  walker.Finish();
  if (rc < 0) MarkUnparsed(rows, error.empty() ? "not well formed" : error);
  else if (!walker.RootIsReport()) MarkUnparsed(rows, "the root element is not dromika");
  return {};
}

}  // namespace collector
