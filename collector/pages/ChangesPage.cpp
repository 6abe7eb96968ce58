#include "collector/pages/ChangesPage.h"

#include <cstdio>

#include "collector/document/TimeText.h"
#include "collector/pages/DisplayValues.h"

namespace collector::pages {
namespace {

std::string Shown(std::string_view field, std::string_view value) {
  const std::string display = DisplayValue(field, value);
  if (display.empty()) return "<span class=\"v\">" + Escape(value) + "</span>";
  return "<span class=\"v\" title=\"" + Escape(value) + "\">" + Escape(display) + "</span>";
}

std::string FieldList(const Fields& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (value.empty()) continue;
    out += "<span class=\"kv\">" + Escape(name) + "=</span>" + Shown(name, value) + " ";
  }
  return out;
}

std::string Delta(const FieldChange& c) {
  if (!c.delta) return {};
  std::string out = (*c.delta < 0 ? "\u2212" : "+") + Bytes(*c.delta < 0 ? -*c.delta : *c.delta);
  if (c.percent) {
    char text[32];
    std::snprintf(text, sizeof text, " (%+.1f%%)", *c.percent);
    out += text;
  }
  return " <span class=\"muted\">" + Escape(out) + "</span>";
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string out = "<pre class=\"diff\">";
  for (const std::string& line : lines) {
    const char* kind = line.rfind("+", 0) == 0 ? "add" : line.rfind("-", 0) == 0 ? "del" : "muted";
    out += std::string("<span class=\"") + kind + "\">" + Escape(line) + "</span>\n";
  }
  return out + "</pre>";
}

std::string Entries(const char* kind, const char* mark, const std::vector<RowEntry>& entries) {
  std::string out;
  for (const RowEntry& e : entries) {
    out += std::string("<tr class=\"") + kind + "\"><td>" + mark + "</td><td>" + Escape(e.key) +
           "</td><td colspan=\"3\">" + FieldList(e.fields) + "</td></tr>\n";
  }
  return out;
}

std::string Changed(const std::vector<FieldChange>& changes) {
  std::string out;
  for (const FieldChange& c : changes) {
    out += "<tr class=\"changed\"><td>changed</td><td>" + Escape(c.key) + "</td><td>" + Escape(c.field) + "</td>";
    if (!c.lines.empty()) {
      out += "<td colspan=\"2\">" + Lines(c.lines) + "</td></tr>\n";
    } else {
      out += "<td>" + Shown(c.field, c.from) + "</td><td>" + Shown(c.field, c.to) + Delta(c) + "</td></tr>\n";
    }
  }
  return out;
}

std::string Section(const SectionChanges& s) {
  std::string out = "<section class=\"changes\"><h2>" + Escape(s.section) + "</h2>\n";
  if (!s.note.empty()) out += "<p class=\"note\">" + Escape(s.note) + "</p>\n";
  if (!s.added.empty() || !s.removed.empty() || !s.changed.empty()) {
    out += "<table class=\"changes\"><thead><tr><th class=\"c-change\">change</th><th class=\"c-key\">key</th>"
           "<th class=\"c-field\">field</th><th>before</th><th>after</th></tr></thead><tbody>\n" +
           Entries("added", "added", s.added) + Entries("removed", "removed", s.removed) + Changed(s.changed) +
           "</tbody></table>\n";
  }
  if (s.omitted) out += "<p class=\"muted\">" + std::to_string(s.omitted) + " more changes are not listed.</p>\n";
  return out + "</section>\n";
}

}  // namespace

std::string ReportLabel(const ReportRef& ref, bool linked) {
  std::string label = ref.id ? "Document " + std::to_string(*ref.id) : Escape(ref.file);
  if (ref.id && linked) label = "<a href=\"/documents/" + std::to_string(*ref.id) + "\">" + label + "</a>";
  if (ref.receivedMs) label += " (" + FormatUtc(*ref.receivedMs).substr(0, 19).replace(10, 1, " ") + " UTC)";
  return label;
}

std::string RenderChangesPage(const ChangesPageOptions& o, const ReportChanges& changes) {
  const std::string title = "Changes on " + (o.machine.empty() ? std::string("an unnamed machine") : o.machine);
  const bool linked = o.assets == Assets::kLinked;
  std::string out = PageStart(title, o.assets) + "<h1>Changes on ";
  out += o.machineLink.empty() ? Escape(o.machine) : "<a href=\"" + o.machineLink + "\">" + Escape(o.machine) + "</a>";
  out += "</h1>\n<p class=\"compared\">From " + ReportLabel(o.from, linked) + " to " + ReportLabel(o.to, linked) +
         "</p>\n";
  out += "<p class=\"muted\">" +
         std::string(o.all ? "Every value is compared, also those that change on every run."
                           : "Values that change on every run (free memory, clocks, counters, process ids and "
                             "times, free space moving by less than 1%) are left out.");
  if (!o.allLink.empty()) out += " <a href=\"" + o.allLink + "\">" + (o.all ? "Leave them out" : "Show them") + "</a>";
  out += "</p>\n" + o.picker;
  if (changes.Empty()) out += "<p class=\"nochange\">Nothing changed.</p>\n";
  for (const SectionChanges& s : changes.sections) out += Section(s);
  return out + PageEnd();
}

}  // namespace collector::pages
