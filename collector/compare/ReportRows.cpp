#include "collector/compare/ReportRows.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <unordered_map>

#include "collector/document/DocumentReader.h"
#include "collector/document/ReportBlocks.h"
#include "collector/document/SectionTitles.h"

namespace collector {
namespace {

struct Volatile {
  std::string_view section;
  std::initializer_list<std::string_view> fields;
};

// What changes between two runs a minute apart on an idle machine.
const Volatile kVolatile[] = {
    {"Operating system", {"FreePhysicalMemory", "FreeVirtualMemory", "FreeSpaceInPagingFiles", "LocalDateTime",
                          "NumberOfProcesses", "NumberOfUsers"}},
    {"Processor", {"CurrentClockSpeed", "LoadPercentage", "CurrentVoltage"}},
    {"Clock", {"time", "date"}},
    {"Memory", {"pageavailbytes"}},
};

// Texts the report writes beside the number they are made from.
bool IsDerived(std::string_view section, std::string_view field) {
  if (section == "Disks") return field == "totalfree" || field == "totalavailable";
  if (section == "Memory") return field == "ram" || field == "pagesize" || field == "pageavail";
  if (section == "File system") return field == "size" || field == "name";
  return false;
}

std::string_view Find(const Fields& attributes, std::string_view name) {
  for (const auto& [k, v] : attributes) {
    if (k == name) return v;
  }
  return {};
}

// The property that tells rows of one management class apart.
std::string ClassKey(std::string_view element, const Fields& a) {
  for (std::string_view id : {"DeviceID", "Name"}) {
    if (element != "Win32_OperatingSystem" && !Find(a, id).empty()) return std::string(Find(a, id));
  }
  return std::string(element);
}

std::string FirstNonEmpty(std::initializer_list<std::string_view> texts) {
  for (std::string_view text : texts) {
    if (!text.empty()) return std::string(text);
  }
  return {};
}

}  // namespace

bool IsVolatile(std::string_view section, std::string_view field) {
  for (const Volatile& v : kVolatile) {
    if (v.section == section) return std::find(v.fields.begin(), v.fields.end(), field) != v.fields.end();
  }
  return false;
}

class ReportRowReader::Walker {
 public:
  Walker(bool all, std::set<std::string>& blocks) : all_(all), blocks_(blocks) {}

  std::deque<ReportRow> ready;

  void Start(std::string_view name, Fields attributes, bool empty) {
    const size_t depth = open_.size();
    open_.emplace_back(name);
    if (depth == 1) {
      block_ = ReportBlockNamed(name) ? std::string(name) : std::string();
      if (!block_.empty()) blocks_.insert(block_);
    } else if (depth >= 2 && !block_.empty()) {
      Element(name, std::move(attributes), depth);
    }
    if (empty) End();
  }

  void Text(std::string_view text) {
    if (file_) {
      if (!file_->excerpt) file_->excerpt.emplace();
      file_->excerpt->append(text);
    }
  }

  void End() {
    const size_t depth = open_.size() - 1;
    const std::string& name = open_.back();
    if (block_ == "networking" && depth == 2 && adapter_) {
      std::sort(addresses_.begin(), addresses_.end());
      std::string joined;
      for (const std::string& a : addresses_) joined += (joined.empty() ? "" : ", ") + a;
      adapter_->fields.emplace_back("ipv4", joined);
      Emit(std::move(*adapter_));
      adapter_.reset();
    } else if (block_ == "filesystem" && name == "file" && file_) {
      Emit(std::move(*file_));
      file_.reset();
    } else if (block_ == "filesystem" && name == "dir" && !dirs_.empty()) {
      dirs_.pop_back();
    } else if (block_ == "registry" && name == "key" && !keys_.empty()) {
      keys_.pop_back();
    }
    open_.pop_back();
  }

 private:
  void Element(std::string_view name, Fields a, size_t depth) {
    const std::string& parent = open_[depth - 1];
    if (block_ == "networking") {
      if (depth == 2) {
        adapter_ = Row("Network adapters", FirstNonEmpty({Find(a, "address"), Find(a, "description")}));
        adapter_->fields.emplace_back("description", Find(a, "description"));
        addresses_.clear();
      } else if (depth == 3 && adapter_ && Find(a, "v") == "4") {
        addresses_.push_back(std::string(Find(a, "address")) + "/" + std::string(Find(a, "mask")));
      }
    } else if (block_ == "system") {
      SystemElement(name, std::move(a), depth, parent);
    } else if (block_ == "disks" && depth == 2) {
      std::string drive(Find(a, "drive"));
      Emit(Row("Disks", std::move(drive), std::move(a), {"drive"}));
    } else if (block_ == "registry") {
      RegistryElement(name, std::move(a));
    } else if (block_ == "products" && depth == 2) {
      std::string key = FirstNonEmpty({Find(a, "guid"), Find(a, "name"), Find(a, "installlocation")});
      Emit(Row("Products", std::move(key), std::move(a), {"guid"}));
    } else if (block_ == "filesystem") {
      if (name == "dir") dirs_.push_back(std::string(Find(a, "name")));
      else if (name == "file") {
        std::string path = PathOf(Find(a, "name"));
        file_ = Row("File system", std::move(path), std::move(a), {});
      }
    } else if (block_ == "processes" && depth == 3) {
      ProcessElement(std::move(a));
    }
  }

  void SystemElement(std::string_view name, Fields a, size_t depth, const std::string& parent) {
    if (depth == 2) {
      if (!a.empty()) Emit(Row(std::string(SectionTitle(name)), std::string(name), std::move(a), {}));
      return;
    }
    if (depth != 3) return;
    // Every key is taken before the attributes move into the row.
    if (parent == "wmi") {
      std::string key = ClassKey(name, a);
      Emit(Row(std::string(SectionTitle(name)), std::move(key), std::move(a), {}));
    } else if (parent == "environment") {
      std::string key(Find(a, "name"));
      Emit(Row("Environment", std::move(key), std::move(a), {"name"}));
    } else if (parent == "dotnet") {
      std::string key(Find(a, "version"));
      Emit(Row(".NET Framework", std::move(key), std::move(a), {"version"}));
    } else if (parent == "monitors") {
      std::string key(Find(a, "monitordesc"));
      if (!Find(a, "graphicscarddesc").empty()) key += " on " + std::string(Find(a, "graphicscarddesc"));
      Emit(Row("Monitors", key, std::move(a), {"monitordesc", "graphicscarddesc"}));
    } else {
      Emit(Row(std::string(SectionTitle(parent)), std::string(name), std::move(a), {}));
    }
  }

  void RegistryElement(std::string_view name, Fields a) {
    if (name == "key") {
      keys_.push_back(keys_.empty() ? std::string(Find(a, "name")) : keys_.back() + "\\" + std::string(Find(a, "name")));
      Emit(Row("Registry", keys_.back(), {}, {}));
    } else if (name == "value") {
      std::string key = (keys_.empty() ? std::string() : keys_.back()) + " : " + std::string(Find(a, "name"));
      Emit(Row("Registry", std::move(key), std::move(a), {"name"}));
    }
  }

  // Programs are told apart by what runs, not by their ids, which every run renumbers.
  void ProcessElement(Fields a) {
    std::string key(Find(a, "Name"));
    if (!Find(a, "CommandLine").empty()) key += ": " + std::string(Find(a, "CommandLine"));
    if (all_) {
      key += " [" + std::string(Find(a, "ProcessId")) + "]";
      Emit(Row("Processes", std::move(key), std::move(a), {"Name", "CommandLine", "ProcessId"}));
    } else {
      Emit(Row("Processes", key, {}, {}));
    }
  }

  std::string PathOf(std::string_view file) const {
    const bool drives = !dirs_.empty() && !dirs_.front().empty() && dirs_.front().back() == ':';
    const char separator = drives ? '\\' : '/';
    std::string path;
    for (const std::string& d : dirs_) {
      if (!drives || !path.empty()) path += separator;
      path += d;
    }
    return path + separator + std::string(file);
  }

  ReportRow Row(std::string section, std::string key, Fields a = {}, std::initializer_list<std::string_view> keyFields = {}) {
    ReportRow row;
    row.block = block_;
    for (auto& [name, value] : a) {
      if (std::find(keyFields.begin(), keyFields.end(), name) != keyFields.end() || IsDerived(section, name)) continue;
      if (!all_ && IsVolatile(section, name)) continue;
      row.fields.emplace_back(std::move(name), std::move(value));
    }
    row.section = std::move(section);
    row.key = std::move(key);
    return row;
  }

  // A key seen before in its section gets a number: "TMP #2".
  void Emit(ReportRow row) {
    const size_t hash = std::hash<std::string>()(row.section + '\0' + row.key);
    const int seen = ++seen_[hash];
    if (seen > 1) row.key += " #" + std::to_string(seen);
    ready.push_back(std::move(row));
  }

  bool all_;
  std::set<std::string>& blocks_;
  std::vector<std::string> open_;
  std::string block_;
  std::optional<ReportRow> adapter_, file_;
  std::vector<std::string> addresses_, dirs_, keys_;
  std::unordered_map<size_t, int> seen_;
};

ReportRowReader::ReportRowReader(DocumentStream& stream, bool all)
    : reader_(OpenSafeXmlReader(stream, &error_)), walker_(std::make_unique<Walker>(all, blocks_)) {}

ReportRowReader::~ReportRowReader() = default;

Status ReportRowReader::Next(ReportRow& row, bool& more) {
  if (!reader_) return {StatusCode::kInternal, "cannot start the XML reader"};
  xmlTextReaderPtr reader = reader_.get();
  while (walker_->ready.empty()) {
    const int rc = xmlTextReaderRead(reader);
    if (rc < 0) return Invalid(error_.empty() ? "not well formed" : error_);
    if (rc == 0) {
      more = false;
      return {};
    }
    const int type = xmlTextReaderNodeType(reader);
    if (type == XML_READER_TYPE_DOCUMENT_TYPE) return Invalid(kNoDocumentType);
    if (type == XML_READER_TYPE_END_ELEMENT) {
      walker_->End();
    } else if (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
               type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE || type == XML_READER_TYPE_WHITESPACE) {
      walker_->Text(XmlText(xmlTextReaderConstValue(reader)));
    } else if (type == XML_READER_TYPE_ELEMENT) {
      const int depth = xmlTextReaderDepth(reader);
      if (depth > kMaxDocumentDepth) {
        return Invalid("elements are nested deeper than " + std::to_string(kMaxDocumentDepth) + " levels");
      }
      const std::string_view name = XmlText(xmlTextReaderConstName(reader));
      if (depth == 0 && name != "dromika") return Invalid("the root element is not dromika");
      Fields attributes;
      while (xmlTextReaderMoveToNextAttribute(reader) == 1) {
        if (attributes.size() == kMaxAttributesPerElement) return Invalid("an element carries too many attributes");
        attributes.emplace_back(XmlText(xmlTextReaderConstName(reader)), XmlText(xmlTextReaderConstValue(reader)));
      }
      xmlTextReaderMoveToElement(reader);
      walker_->Start(name, std::move(attributes), xmlTextReaderIsEmptyElement(reader) == 1);
    }
  }
  row = std::move(walker_->ready.front());
  walker_->ready.pop_front();
  more = true;
  return {};
}

}  // namespace collector
