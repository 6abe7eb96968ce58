#include "collector/document/DocumentReader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "collector/base/Status.h"
#include "collector/base/WholeNumber.h"
#include "collector/document/Prescan.h"
#include "collector/document/ReportBlocks.h"
#include "collector/document/SaxFeed.h"

namespace collector {

const char* KindName(DocumentKind kind) { return kind == DocumentKind::kReport ? "report" : "analytics"; }
const char* StateName(ParseState state) { return state == ParseState::kParsed ? "parsed" : "unparsed"; }

namespace {

// "Dd H:MM:SS.mmm" as uploaders write it, read without sscanf (a tenth of
// the reader's time went there); anything else is left to the general form.
std::optional<int64_t> ParseUsualElapsed(std::string_view text) {
  size_t at = 0;
  auto number = [&](size_t least, size_t most, int64_t& value) {
    const size_t start = at;
    value = 0;
    while (at < text.size() && at - start < most && text[at] >= '0' && text[at] <= '9') value = value * 10 + (text[at++] - '0');
    return at - start >= least && (at == text.size() || text[at] < '0' || text[at] > '9');
  };
  auto literal = [&](char c) { return at < text.size() && text[at++] == c; };
  int64_t days, hours, minutes, seconds, millis;
  if (!number(1, 9, days) || !literal('d') || !literal(' ') || !number(1, 9, hours) || !literal(':') ||
      !number(2, 2, minutes) || !literal(':') || !number(2, 2, seconds) || !literal('.') || !number(3, 3, millis) ||
      at != text.size()) {
    return std::nullopt;
  }
  return (((days * 24 + hours) * 60 + minutes) * 60 + seconds) * 1000 + millis;
}

}  // namespace

std::optional<int64_t> ParseElapsed(std::string_view text) {
  if (auto usual = ParseUsualElapsed(text)) return usual;
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

void DropRows(RowBatch& batch) {
  batch.groups.clear();
  batch.dataPoints.clear();
  batch.events.clear();
  batch.disks.clear();
  batch.products.clear();
  batch.adapters.clear();
}

// "00:1A:2B:..." and "00-1a-2b-..." alike as the report writes them.
std::string HardwareAddress(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = c == ':' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

// Follows the open elements and turns the ones that matter into rows.
class DocumentReader::Walker {
 public:
  Walker(DocumentSummary& summary, RowBudget budget) : summary_(summary), budget_(budget) {}

  // The rows that follow go into `batch`, numbered on from those before.
  void Into(RowBatch& batch) {
    DropRows(batch);
    batch.firstGroup = groups_;
    batch.firstDataPoint = dataPoints_;
    batch.firstEvent = summary_.events;
    batch.firstDisk = summary_.disks;
    batch.firstProduct = summary_.products;
    batch.firstAdapter = summary_.adapters;
    batch_ = &batch;
    batchBytes_ = 0;
  }
  size_t BatchBytes() const { return batchBytes_; }

  // Why the document yields more rows than its size allows; empty while it does not.
  const std::string& Overspent() const { return overspent_; }

  void Start(std::string_view name, const SaxAttributes& attributes) {
    attributes_ = &attributes;
    open_.push_back({std::string(name), std::nullopt});
    const size_t depth = open_.size() - 1;  // 0 is the root
    if (depth == 1) StartTop(name);
    // Nothing of a document whose root is not a report is kept.
    if (depth >= 1 && RootIsReport()) {
      if (!block_) GroupElement(name, depth);
      else if (*block_ == ReportBlock::kSystem) SystemElement(depth);
      else if (*block_ == ReportBlock::kDisks && depth == 2 && name == "disk") DiskElement();
      else if (*block_ == ReportBlock::kProducts && depth == 2 && name == "product") ProductElement();
      else if (*block_ == ReportBlock::kNetworking) NetworkElement(name, depth);
    }
    attributes_ = nullptr;
  }

  void End() {
    if (adapter_ && open_.size() == 3) EndAdapter();
    if (!open_.empty()) open_.pop_back();
  }

  bool RootIsReport() const { return rootName_ == "dromika"; }
  void SetRoot(std::string_view name) { rootName_ = name; }

  void Finish() {
    const bool clientData = sawGroupSection_;
    summary_.kind = !clientData && seenBlocks_ == kAllBlocks ? DocumentKind::kReport : DocumentKind::kAnalytics;
    if (!computerName_.empty()) summary_.machine = computerName_;
    else if (!osComputerName_.empty()) summary_.machine = osComputerName_;
    else summary_.machine = dnsName_;
    MachineFacts& facts = summary_.facts;
    if (!facts.logicalProcessors) facts.logicalProcessors = wmiLogical_;
    if (!facts.ramBytes) facts.ramBytes = wmiRam_;
  }

 private:
  // An open element; `group` is its number once it is stored as a group.
  struct Open {
    std::string name;
    std::optional<int64_t> group;
  };

  void StartTop(std::string_view name) {
    block_ = ReportBlockNamed(name);
    if (block_) {
      ++summary_.blocks;
      seenBlocks_ |= 1u << static_cast<unsigned>(*block_);
    } else {
      sawGroupSection_ = true;
    }
  }

  template <class F>
  void EachAttribute(F&& f) {
    attributes_->ForEach(f);
  }

  void GroupElement(std::string_view name, size_t depth) {
    if (name == "event" && depth >= 2 && open_[depth - 1].name == "events") return EventElement();
    if (name != "events") ++summary_.groups;
    std::optional<int64_t> group;
    EachAttribute([&](std::string_view key, std::string_view value) {
      if (!group && !(group = GroupAt(depth))) return;
      if (Spend(key.size() + value.size())) {
        batch_->dataPoints.push_back({*group, std::string(key), std::string(value)});
        ++dataPoints_;
      }
    });
  }

  // The number of the group open at `depth`. Groups are stored when they
  // first hold a data point, themselves or below: the ones above first.
  std::optional<int64_t> GroupAt(size_t depth) {
    size_t stored = depth;
    while (stored >= 1 && !open_[stored].group) --stored;
    for (size_t level = stored + 1; level <= depth; ++level) {
      if (!Spend(open_[level].name.size())) return std::nullopt;
      batch_->groups.push_back({level > 1 ? open_[level - 1].group : std::nullopt, open_[level].name});
      open_[level].group = groups_++;
    }
    return open_[depth].group;
  }

  void EventElement() {
    EventRow event;
    EachAttribute([&](std::string_view key, std::string_view value) {
      if (key == "name") event.name = value;
      else if (key == "value") event.value = ParseWholeNumber(value);
      else if (key == "eventtime") event.eventTimeMs = ParseElapsed(value);
      else if (key == "elapsed") event.elapsedMs = ParseElapsed(value);
    });
    if (!Spend(event.name.size())) return;
    batch_->events.push_back(std::move(event));
    ++summary_.events;
  }

  void SystemElement(size_t depth) {
    const std::string& name = open_[depth].name;
    MachineFacts& facts = summary_.facts;
    if (depth == 3 && open_[2].name == "wmi") {
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
    if (!Spend(disk.drive.size())) return;
    batch_->disks.push_back(std::move(disk));
    ++summary_.disks;
  }

  void ProductElement() {
    ProductRow product;
    EachAttribute([&](std::string_view key, std::string_view value) {
      if (key == "name") product.name = value;
      else if (key == "installedversion") product.version = value;
      else if (key == "publisher") product.publisher = value;
      else if (key == "installlocation") product.folder = value;
    });
    if (!Spend(product.name.size() + product.version.size() + product.publisher.size() + product.folder.size())) return;
    batch_->products.push_back(std::move(product));
    ++summary_.products;
  }

  // An adapter is handed over once its addresses are read, at its end.
  void NetworkElement(std::string_view name, size_t depth) {
    if (depth == 2 && name == "adapter") {
      adapter_.emplace();
      EachAttribute([&](std::string_view key, std::string_view value) {
        if (key == "description") adapter_->description = value;
        else if (key == "address") adapter_->hardwareAddress = HardwareAddress(value);
      });
    } else if (depth == 3 && name == "ip" && adapter_) {
      std::string address;
      bool v4 = false;
      EachAttribute([&](std::string_view key, std::string_view value) {
        if (key == "v") v4 = value == "4";
        else if (key == "address") address = value;
      });
      if (v4 && !address.empty()) adapter_->ipv4.push_back(std::move(address));
    }
  }

  void EndAdapter() {
    size_t bytes = adapter_->description.size() + adapter_->hardwareAddress.size();
    for (const std::string& a : adapter_->ipv4) bytes += a.size();
    if (Spend(bytes)) {
      batch_->adapters.push_back(std::move(*adapter_));
      ++summary_.adapters;
    }
    adapter_.reset();
  }

  // False, and the document refused, once its rows pass the budget.
  bool Spend(size_t bytes) {
    if (!overspent_.empty()) return false;
    batchBytes_ += bytes;
    budget_.rows -= std::min<int64_t>(budget_.rows, 1);
    budget_.bytes -= std::min<int64_t>(budget_.bytes, static_cast<int64_t>(bytes));
    if (budget_.rows > 0 && budget_.bytes > 0) return true;
    overspent_ = "the document would be stored as more rows than its size allows";
    return false;
  }

  const SaxAttributes* attributes_ = nullptr;  // of the element being started
  DocumentSummary& summary_;
  RowBudget budget_;
  RowBatch* batch_ = nullptr;
  size_t batchBytes_ = 0;
  int64_t groups_ = 0, dataPoints_ = 0;
  std::string overspent_;
  std::vector<Open> open_;
  std::string rootName_;
  std::optional<ReportBlock> block_;  // the block being read; none in a client group
  unsigned seenBlocks_ = 0;
  bool sawGroupSection_ = false;
  std::string computerName_, osComputerName_, dnsName_;
  std::optional<int64_t> wmiLogical_, wmiRam_;
  std::optional<AdapterRow> adapter_;  // open in the networking block
};

// One read through the document: follows the depth and refuses what the
// walker may not see; the first refusal stops the parser.
struct DocumentReader::Pass : SaxFeed::Handler {
  Pass(std::string_view xml, int maxDepth, DocumentSummary& summary, RowBudget budget)
      : feed(xml, *this), walker(summary, budget), maxDepth(maxDepth) {}

  void Start(std::string_view name, const SaxAttributes& attributes) override {
    if (!refusal.ok()) return;
    if (depth > maxDepth) {
      return Refuse(Invalid("elements are nested deeper than " + std::to_string(maxDepth) + " levels"));
    }
    if (depth == 0) walker.SetRoot(name);
    ++depth;
    walker.Start(name, attributes);
    if (!walker.Overspent().empty()) Refuse({StatusCode::kTooLarge, walker.Overspent()});
  }
  void End() override {
    --depth;
    walker.End();
  }
  void Refuse(Status why) {
    refusal = std::move(why);
    feed.Stop();
  }

  SaxFeed feed;
  Walker walker;
  int maxDepth;
  int depth = 0;
  Status refusal;
};

std::optional<std::string> PrescanRefusal(std::string_view xml, size_t longestStartTag) {
  // Before the parser: some declarations fail it before it reports them.
  if (DeclaresDocumentType(xml)) return kNoDocumentType;
  const StartTags tags = MeasureStartTags(xml);
  if (tags.mostAttributes > kMaxAttributesPerElement) {
    return "an element carries more than " + std::to_string(kMaxAttributesPerElement) + " attributes";
  }
  if (tags.longestBytes > longestStartTag) {
    return "a start tag is longer than " + std::to_string(longestStartTag >> 20) + " MiB";
  }
  return std::nullopt;
}

DocumentReader::DocumentReader(std::string_view xml, Limits limits) : xml_(xml), limits_(limits) {
  limits_.batchRows = std::max<size_t>(limits_.batchRows, 1);
}

DocumentReader::~DocumentReader() = default;

Status DocumentReader::Rewind() {
  pass_.reset();
  done_ = false;
  summary_ = DocumentSummary{};
  return refusal_;  // refused once, refused again: the bytes are the same
}

Status DocumentReader::Begin() {
  if (!prescan_) {
    prescan_ = Status();
    if (xml_.size() >= (1u << 31)) prescan_ = Status(StatusCode::kTooLarge, "the document is too large to read");
    else if (auto refusal = PrescanRefusal(xml_, ReadsAsAscii(xml_) ? xml_.size() : kMaxStartTagBytes)) {
      prescan_ = Invalid(*refusal);
    }
  }
  if (!prescan_->ok()) return *prescan_;
  summary_ = DocumentSummary{};
  pass_ = std::make_unique<Pass>(xml_, limits_.maxDepth, summary_,
                                 limits_.budget.value_or(RowBudget::For(xml_.size())));
  if (!pass_->feed.Started()) return {StatusCode::kInternal, "cannot start the XML parser"};
  return {};
}

Status DocumentReader::Next(RowBatch& batch, bool& done) {
  done = done_;
  DropRows(batch);
  if (!refusal_.ok() || done) return refusal_;
  Status s;
  if (!pass_) s = Begin();
  if (s.ok()) pass_->walker.Into(batch);
  while (s.ok() && !done && batch.Rows() < limits_.batchRows && pass_->walker.BatchBytes() < limits_.batchBytes) {
    s = Step(batch, done);
  }
  if (!s.ok()) {
    refusal_ = s;
    pass_.reset();
    summary_ = DocumentSummary{};
    DropRows(batch);
    return s;
  }
  return {};
}

Status DocumentReader::Step(RowBatch& batch, bool& done) {
  const bool more = pass_->feed.Next();
  if (pass_->feed.SawDocumentType()) return Invalid(kNoDocumentType);
  if (!pass_->refusal.ok()) return pass_->refusal;
  if (!more) {
    Finish(batch);
    done = done_ = true;
  }
  return {};
}

// The facts and kind known only now; an unparsed document keeps its kind alone.
void DocumentReader::Finish(RowBatch& batch) {
  pass_->walker.Finish();
  std::string unparsed;
  if (!pass_->feed.WellFormed()) unparsed = pass_->feed.Error().empty() ? "not well formed" : pass_->feed.Error();
  else if (!pass_->walker.RootIsReport()) unparsed = "the root element is not dromika";
  if (!unparsed.empty()) {
    const DocumentKind kind = summary_.kind;
    summary_ = DocumentSummary{};
    summary_.kind = kind;
    summary_.state = ParseState::kUnparsed;
    summary_.message = std::move(unparsed);
    DropRows(batch);
  }
  pass_.reset();
}

}  // namespace collector
