#include "collector/pages/DocumentPage.h"

#include "collector/document/SafeXmlReader.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "collector/document/DocumentReader.h"
#include "collector/base/Status.h"
#include "collector/base/WholeNumber.h"
#include "collector/document/ReportBlocks.h"
#include "collector/document/SectionTitles.h"
#include "collector/pages/DisplayValues.h"

namespace collector::pages {
namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

constexpr std::string_view kTruncationMark = "File content truncated by";
// The raw text shown for a document that could not be read.
constexpr size_t kRawTextLimit = 1u << 20;

enum class Section { kNone, kEvents, kTree, kNetworking, kSystem, kDisks, kRegistry, kProducts, kFiles, kProcesses };

Section SectionOfBlock(ReportBlock block) {
  switch (block) {
    case ReportBlock::kNetworking: return Section::kNetworking;
    case ReportBlock::kSystem: return Section::kSystem;
    case ReportBlock::kDisks: return Section::kDisks;
    case ReportBlock::kRegistry: return Section::kRegistry;
    case ReportBlock::kProducts: return Section::kProducts;
    case ReportBlock::kFilesystem: return Section::kFiles;
    case ReportBlock::kProcesses: return Section::kProcesses;
  }
  return Section::kTree;
}

constexpr const char* kProductColumns[] = {"name", "installedversion", "comments", "installlocation", "guid"};
constexpr const char* kProcessColumns[] = {"ProcessId", "Name", "ParentProcessId", "ThreadCount",
                                           "WorkingSetSize", "CreationDate", "CommandLine"};

std::string_view Find(const Attributes& attributes, std::string_view key) {
  for (const auto& [k, v] : attributes) {
    if (k == key) return v;
  }
  return {};
}

class Writer {
 public:
  Writer(const DocumentPageOptions& options, std::string& out) : options_(options), out_(out) {}

  void Start(std::string_view name, Attributes attributes, bool empty) {
    const size_t depth = open_.size();
    Frame frame{std::string(name), depth == 1 ? SectionOf(name) : Current(), false, !attributes.empty()};
    if (depth >= 1) {
      if (!open_.empty()) open_.back().children = true;
      if (depth == 1) OpenSection(frame, attributes);
      else Element(frame, attributes, depth);
    } else if (!attributes.empty()) {
      out_ += "<p class=\"muted\">";
      for (const auto& [k, v] : attributes) Pair(k, v);
      out_ += "</p>\n";
    }
    open_.push_back(std::move(frame));
    if (empty) End();
  }

  void Characters(std::string_view text) {
    if (inFile_) fileText_.append(text);
  }

  void End() {
    if (open_.empty()) return;
    Frame frame = std::move(open_.back());
    open_.pop_back();
    const size_t depth = open_.size();
    if (depth == 1) CloseSection(frame);
    else if (depth > 1) Close(frame, depth);
  }

 private:
  struct Frame {
    std::string name;
    Section section;
    bool children;
    bool attributes;
  };

  Section Current() const { return open_.empty() ? Section::kNone : open_.back().section; }

  static Section SectionOf(std::string_view name) {
    if (auto block = ReportBlockNamed(name)) return SectionOfBlock(*block);
    return name == "events" ? Section::kEvents : Section::kTree;
  }

  void Pair(std::string_view key, std::string_view value) {
    out_ += "<span class=\"kv\">";
    AppendEscaped(out_, key);
    out_ += "=</span>";
    const std::string shown = DisplayValue(key, value);
    if (shown.empty()) {
      AppendEscaped(out_, value);
    } else {
      out_ += "<span title=\"" + Escape(value) + "\">" + Escape(shown) + "</span>";
    }
    out_ += ' ';
  }

  void Cell(std::string_view value) {
    if (auto n = ParseWholeNumber(value)) {
      out_ += "<td class=\"n\" data-v=\"" + std::to_string(*n) + "\">";
    } else {
      out_ += "<td>";
    }
    AppendEscaped(out_, value);
    out_ += "</td>";
  }

  void Head(std::initializer_list<const char*> columns, bool sortable, std::string_view id = {}) {
    out_ += sortable ? "<table class=\"sortable\"" : "<table";
    if (!id.empty()) out_ += " id=\"" + std::string(id) + "\"";
    out_ += "><thead><tr>";
    for (const char* c : columns) out_ += std::string("<th>") + c + "</th>";
    out_ += "</tr></thead><tbody>\n";
  }

  template <size_t N>
  void Head(const char* const (&columns)[N], std::string_view id = {}) {
    out_ += "<table class=\"sortable\"";
    if (!id.empty()) out_ += " id=\"" + std::string(id) + "\"";
    out_ += "><thead><tr>";
    for (const char* c : columns) out_ += std::string("<th>") + c + "</th>";
    out_ += "</tr></thead><tbody>\n";
  }

  // A management row under the name people use for its class, the class beside it.
  void KeyValueTable(std::string_view element, const Attributes& attributes) {
    out_ += "<table class=\"properties\"><caption>";
    AppendEscaped(out_, SectionTitle(element));
    if (SectionTitle(element) != element) out_ += " <span class=\"muted\">" + Escape(element) + "</span>";
    out_ += "</caption>";
    for (const auto& [k, v] : attributes) {
      out_ += "<tr><th>";
      AppendEscaped(out_, k);
      out_ += "</th>" + ValueCell(k, v) + "</tr>";
    }
    out_ += "</table>\n";
    ++rows_;
  }

  // A box the page's script filters the rows, items or files of `target` by.
  void FilterBox(std::string_view target, std::string_view what) {
    out_ += "<p><input type=\"search\" class=\"filter\" data-for=\"" + std::string(target) +
            "\" placeholder=\"Filter " + std::string(what) + "\" aria-label=\"Filter " + std::string(what) + "\"></p>\n";
  }

  void OpenSection(Frame& frame, const Attributes& attributes) {
    const auto block = ReportBlockNamed(frame.name);
    const std::string title(block ? InfoOf(*block).title : frame.name);
    out_ += "<section class=\"" + std::string(frame.section == Section::kTree ? "group" : frame.name) +
            "\"><h2>";
    if (frame.section == Section::kTree) out_ += "Group ";
    AppendEscaped(out_, title);
    out_ += "</h2>\n";
    rows_ = 0;
    if (block) seen_ |= 1u << static_cast<unsigned>(*block);
    switch (frame.section) {
      case Section::kEvents: return Head({"name", "value", "eventtime", "elapsed"}, true);
      case Section::kDisks:
        out_ += "<p class=\"muted\">The report carries no volume size: each bar is the volume's free space, "
                "split into the part available to the user and the part reserved.</p>\n";
        return Head({"drive", "free", "available", "free space"}, false);
      case Section::kProducts: return Head(kProductColumns);
      case Section::kProcesses:
        FilterBox("processes-table", "processes");
        return Head(kProcessColumns, "processes-table");
      case Section::kRegistry:
        FilterBox("registry-tree", "keys and values");
        out_ += "<div id=\"registry-tree\">";
        return;
      case Section::kTree:
        out_ += "<ul class=\"tree\"><li>";
        for (const auto& [k, v] : attributes) Pair(k, v);
        return;
      case Section::kFiles:
        out_ += "<p class=\"muted\">Folders start collapsed.</p>\n";
        FilterBox("files-tree", "files");
        out_ += "<div id=\"files-tree\">";
        return;
      default: return;
    }
  }

  void CloseSection(const Frame& frame) {
    CloseChildList(1);
    const bool none = rows_ == 0 && ReportBlockNamed(frame.name).has_value();
    switch (frame.section) {
      case Section::kEvents: case Section::kDisks: case Section::kProducts: case Section::kProcesses:
        if (none) out_ += "<tr><td colspan=\"9\" class=\"none\">none reported</td></tr>\n";
        out_ += "</tbody></table>\n";
        break;
      case Section::kTree: out_ += "</li></ul>\n"; break;
      case Section::kRegistry: case Section::kFiles:
        out_ += "</div>\n";
        if (none) out_ += "<p class=\"none\">none reported</p>\n";
        break;
      default:
        if (none) out_ += "<p class=\"none\">none reported</p>\n";
        break;
    }
    out_ += "</section>\n";
  }

 public:
  // Blocks a report's document lacks; nothing for a document that holds no block at all.
  void NotCollected() {
    if (seen_ == 0) return;
    for (const ReportBlockInfo& info : kReportBlocks) {
      if (seen_ & (1u << static_cast<unsigned>(info.block))) continue;
      out_ += "<section class=\"" + std::string(info.element) + "\"><h2>" + std::string(info.title) +
              "</h2>\n<p class=\"none\">not collected</p>\n</section>\n";
    }
  }

 private:

  void Element(Frame& frame, const Attributes& a, size_t depth) {
    const std::string& parent = open_.back().name;
    switch (frame.section) {
      case Section::kEvents:
        if (frame.name == "event") return EventRow(a);
        return;
      case Section::kDisks: return DiskRow(a);
      case Section::kProducts: return Row(kProductColumns, a);
      case Section::kProcesses:
        if (depth == 3) return Row(kProcessColumns, a);
        return;
      case Section::kSystem:
        ++rows_;
        if (depth == 2 && frame.name == "wmi" && a.empty()) {
          return;  // each class's table carries its own caption
        } else if (depth == 2 && a.empty()) {
          out_ += "<h3>";
          AppendEscaped(out_, SectionTitle(frame.name));
          out_ += "</h3>\n";
          if (frame.name == "environment") {
            FilterBox("environment-table", "variables");
            Head({"name", "value"}, true, "environment-table");
          }
        } else if (parent == "environment") {
          out_ += "<tr><td>";
          AppendEscaped(out_, Find(a, "name"));
          out_ += "</td><td class=\"long\">";
          AppendEscaped(out_, Find(a, "value"));
          out_ += "</td></tr>\n";
        } else {
          KeyValueTable(frame.name, a);
        }
        return;
      case Section::kFiles: return FileElement(frame, a);
      default:
        if (frame.name == "events" && frame.section == Section::kTree) {
          frame.section = Section::kEvents;
          StartList();
          out_ += "<li>events";
          return Head({"name", "value", "eventtime", "elapsed"}, true);
        }
        StartList();
        out_ += "<li>";
        ++rows_;
        if (frame.section == Section::kRegistry) return RegistryItem(frame, a);
        out_ += "<b>";
        AppendEscaped(out_, frame.name);
        out_ += "</b> ";
        for (const auto& [k, v] : a) Pair(k, v);
        return;
    }
  }

  // A list element's first child opens the parent's list.
  void StartList() {
    if (listOpened_.size() < open_.size()) listOpened_.resize(open_.size(), false);
    if (!listOpened_[open_.size() - 1]) {
      out_ += "<ul class=\"tree\">";
      listOpened_[open_.size() - 1] = true;
    }
  }

  void Close(const Frame& frame, size_t depth) {
    switch (frame.section) {
      case Section::kSystem:
        if (frame.name == "environment" && !frame.children) {
          out_ += "<tr><td colspan=\"2\" class=\"none\">none reported</td></tr>\n";
        } else if (depth == 2 && !frame.children && frame.name != "wmi" && !frame.attributes) {
          out_ += "<p class=\"none\">none reported</p>\n";
        }
        if (frame.name == "environment") out_ += "</tbody></table>\n";
        return;
      case Section::kFiles:
        if (frame.name == "dir") out_ += "</details>\n";
        else if (frame.name == "file") FileEnd();
        return;
      case Section::kEvents:
        if (frame.name == "events") {
          out_ += "</tbody></table></li>";
          CloseChildList(depth);
        }
        return;
      case Section::kNetworking: case Section::kRegistry: case Section::kTree:
        CloseChildList(depth);
        out_ += "</li>\n";
        return;
      default: return;
    }
  }

  void CloseChildList(size_t depth) {
    if (listOpened_.size() > depth && listOpened_[depth]) {
      out_ += "</ul>";
      listOpened_[depth] = false;
    }
  }

  void EventRow(const Attributes& a) {
    ++rows_;
    out_ += "<tr><td>";
    const std::string_view name = Find(a, "name");
    if (options_.linkEvents && !name.empty()) {
      out_ += "<a href=\"/events/" + UrlEncode(name) + "\">";
      AppendEscaped(out_, name);
      out_ += "</a>";
    } else {
      AppendEscaped(out_, name);
    }
    out_ += "</td>";
    Cell(Find(a, "value"));
    for (const char* key : {"eventtime", "elapsed"}) {
      const std::string_view text = Find(a, key);
      if (auto ms = ParseElapsed(text)) out_ += "<td class=\"n\" data-v=\"" + std::to_string(*ms) + "\">";
      else out_ += "<td>";
      AppendEscaped(out_, text);
      out_ += "</td>";
    }
    out_ += "</tr>\n";
  }

  template <size_t N>
  void Row(const char* const (&columns)[N], const Attributes& a) {
    out_ += "<tr>";
    for (const char* c : columns) out_ += ValueCell(c, Find(a, c));
    out_ += "</tr>\n";
    ++rows_;
  }

  void DiskRow(const Attributes& a) {
    ++rows_;
    const auto free = ParseWholeNumber(Find(a, "totalfreebytes")), available = ParseWholeNumber(Find(a, "totalavailablebytes"));
    out_ += "<tr><td>";
    AppendEscaped(out_, Find(a, "drive"));
    out_ += "</td>";
    Cell(free ? Bytes(*free) : std::string(Find(a, "totalfree")));
    Cell(available ? Bytes(*available) : std::string(Find(a, "totalavailable")));
    out_ += "<td>";
    if (free && available && *free > 0) {
      const int width = static_cast<int>(200 * std::min<int64_t>(*available, *free) / *free);
      const std::string alt = Bytes(*available) + " available to the user, " + Bytes(*free - *available) +
                              " free but reserved";
      out_ += "<svg width=\"202\" height=\"16\" role=\"img\" aria-label=\"" + Escape(alt) + "\"><title>" +
              Escape(alt) + "</title><rect class=\"free\" x=\"1\" y=\"1\" height=\"14\" width=\"" +
              std::to_string(width) + "\"/><rect class=\"used\" y=\"1\" height=\"14\" x=\"" +
              std::to_string(1 + width) + "\" width=\"" + std::to_string(200 - width) + "\"/></svg>";
    }
    out_ += "</td></tr>\n";
  }

  void RegistryItem(const Frame& frame, const Attributes& a) {
    if (frame.name == "key") {
      out_ += "<b>";
      AppendEscaped(out_, Find(a, "name"));
      out_ += "</b>";
      return;
    }
    AppendEscaped(out_, Find(a, "name"));
    out_ += " <span class=\"muted\">";
    AppendEscaped(out_, Find(a, "type"));
    out_ += "</span> ";
    AppendEscaped(out_, Find(a, "value"));
  }

  void FileElement(const Frame& frame, const Attributes& a) {
    if (frame.name == "dir") {
      out_ += "<details><summary>";
      AppendEscaped(out_, Find(a, "name"));
      out_ += "/</summary>\n";
      return;
    }
    ++rows_;
    // A file's line and its excerpt in one box, which the filter shows or hides whole.
    out_ += "<div class=\"file\"><div class=\"fname\">";
    AppendEscaped(out_, Find(a, "name"));
    out_ += ' ';
    for (const auto& [k, v] : a) {
      if (k != "name") Pair(k, v);
    }
    out_ += "</div>\n";
    if (frame.name == "file") {
      inFile_ = true;
      fileText_.clear();
    } else {
      out_ += "</div>\n";
    }
  }

  void FileEnd() {
    inFile_ = false;
    ExcerptOf();
    out_ += "</div>\n";
  }

  void ExcerptOf() {
    if (fileText_.empty()) return;
    const bool truncated = fileText_.find(kTruncationMark) != std::string::npos;
    if (truncated) out_ += "<p class=\"note\">The report holds only the head and tail of this file.</p>\n";
    if (fileText_.size() > options_.excerptBudget - std::min(shown_, options_.excerptBudget)) {
      out_ += "<p class=\"muted\">An excerpt of " + Bytes(static_cast<int64_t>(fileText_.size())) +
              " is left out: this page shows at most " + Bytes(static_cast<int64_t>(options_.excerptBudget)) +
              " of file excerpts.";
      if (!options_.rawLink.empty()) out_ += " <a href=\"" + Escape(options_.rawLink) + "\">Raw document</a>.";
      out_ += "</p>\n";
    } else {
      shown_ += fileText_.size();
      out_ += "<pre>";
      AppendEscaped(out_, fileText_);
      out_ += "</pre>\n";
    }
    fileText_.clear();
  }

  const DocumentPageOptions& options_;
  std::string& out_;
  std::vector<Frame> open_;
  std::vector<bool> listOpened_;
  bool inFile_ = false;
  std::string fileText_;
  size_t shown_ = 0;
  size_t rows_ = 0;      // of the block being written
  unsigned seen_ = 0;    // one bit per report block the document holds
};

void Heading(const DocumentPageOptions& options, std::string& html) {
  html += PageStart(options.title, options.assets);
  html += "<h1>";
  AppendEscaped(html, options.title);
  html += "</h1>\n";
  html += options.info;
  if (!options.rawLink.empty()) html += "<p><a href=\"" + Escape(options.rawLink) + "\">Raw document</a></p>\n";
}

void Unreadable(std::string_view xml, const std::string& message, const DocumentPageOptions& options,
                std::string& html) {
  Heading(options, html);
  html += "<section class=\"unparsed\"><h2>Not readable</h2><p class=\"error\">";
  AppendEscaped(html, message);
  html += "</p>\n<pre>";
  AppendEscaped(html, xml.substr(0, kRawTextLimit));
  html += "</pre>\n";
  if (xml.size() > kRawTextLimit) {
    html += "<p class=\"muted\">Only the first " + Bytes(kRawTextLimit) + " are shown.</p>\n";
  }
  html += "</section>\n" + PageEnd();
}

}  // namespace

Status RenderDocumentPage(std::string_view xml, const DocumentPageOptions& options, std::string& html) {
  if (xml.size() >= (1u << 31)) {
    Unreadable(xml, "the document is too large to read", options, html);
    return {};
  }
  std::string error;
  const XmlReader reader = OpenSafeXmlReader(xml, &error);
  if (!reader) return Failure("cannot start the XML reader");
  const size_t start = html.size();
  Heading(options, html);
  Writer writer(options, html);
  std::string refusal = PrescanRefusal(xml).value_or("");
  int rc = 0;
  while (refusal.empty() && (rc = xmlTextReaderRead(reader.get())) == 1) {
    const int type = xmlTextReaderNodeType(reader.get());
    if (type == XML_READER_TYPE_DOCUMENT_TYPE) {
      refusal = kNoDocumentType;
      break;
    }
    if (type == XML_READER_TYPE_ELEMENT) {
      if (xmlTextReaderDepth(reader.get()) > kMaxDocumentDepth) {
        refusal = "elements are nested deeper than " + std::to_string(kMaxDocumentDepth) + " levels";
        break;
      }
      Attributes attributes;
      while (xmlTextReaderMoveToNextAttribute(reader.get()) == 1) {
        attributes.emplace_back(XmlText(xmlTextReaderConstName(reader.get())), XmlText(xmlTextReaderConstValue(reader.get())));
      }
      xmlTextReaderMoveToElement(reader.get());
      writer.Start(XmlText(xmlTextReaderConstName(reader.get())), std::move(attributes),
                   xmlTextReaderIsEmptyElement(reader.get()) == 1);
    } else if (type == XML_READER_TYPE_END_ELEMENT) {
      writer.End();
    } else if (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
               type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE) {
      writer.Characters(XmlText(xmlTextReaderConstValue(reader.get())));
    }
  }
  if (rc < 0 || !refusal.empty()) {
    html.resize(start);
    Unreadable(xml, refusal.empty() ? (error.empty() ? "not well formed" : error) : refusal, options, html);
    return {};
  }
  writer.NotCollected();
  html += PageEnd();
  return {};
}

}  // namespace collector::pages
