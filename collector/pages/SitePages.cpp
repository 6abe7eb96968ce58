#include "collector/pages/SitePages.h"

#include <algorithm>
#include <map>

#include "collector/base/Status.h"
#include "collector/base/WholeNumber.h"
#include "collector/document/Compression.h"
#include "collector/document/TimeText.h"
#include "collector/pages/ChangesData.h"
#include "collector/pages/ChangesPage.h"
#include "collector/pages/Charts.h"
#include "collector/pages/DocumentPage.h"
#include "collector/pages/Html.h"
#include "collector/pages/PageData.h"
#include "collector/pages/SiteParts.h"

namespace collector::pages {
namespace {

constexpr int64_t kRangeChoices[] = {1, 3, 7, 30, 90, 365};
constexpr size_t kTopEvents = 20, kChartedEvents = 12;

std::string Day(int64_t ms) { return FormatUtc(ms).substr(0, 10); }
std::string Minute(int64_t ms) { return FormatUtc(ms).substr(0, 16).replace(10, 1, " "); }
std::string Count(int64_t n) { return std::to_string(n); }
std::string Ms(int64_t n) { return Millis(n); }
std::string Size(int64_t n) { return Bytes(n); }

Response Html(int code, std::string body) { return {code, "text/html", std::move(body)}; }

// `base` with the range and machine in its query.
std::string ScopeLink(const std::string& base, int64_t days, const std::string& machine) {
  std::string link = base + "?days=" + std::to_string(days);
  if (!machine.empty()) link += "&amp;machine=" + UrlEncode(machine);
  return link;
}

std::string RangeChoices(const Scope& scope, const std::string& base) {
  std::string out = "<p class=\"filters\">Range: ";
  for (int64_t d : kRangeChoices) {
    const std::string text = std::to_string(d) + (d == 1 ? " day" : " days");
    out += d == scope.days && !scope.custom ? "<b>" + text + "</b> "
                                            : "<a href=\"" + ScopeLink(base, d, scope.machine) + "\">" + text + "</a> ";
  }
  return out;
}

// Any range besides the presets; a date alone in "to" takes in that day.
std::string RangeForm(const Scope& scope, const std::string& base, const std::string& keep) {
  auto value = [&](int64_t ms) { return scope.custom ? FormatUtc(ms).substr(0, 16) : std::string(); };
  std::string out = "<form class=\"search\" method=\"get\" action=\"" + base + "\"><label>From <input name=\"from\""
                    " placeholder=\"YYYY-MM-DD[THH:MM]\" value=\"" + Escape(value(scope.sinceMs)) +
                    "\"></label> <label>to <input name=\"to\" placeholder=\"YYYY-MM-DD[THH:MM]\" value=\"" +
                    Escape(value(scope.untilMs)) + "\"></label> ";
  if (!scope.machine.empty()) {
    out += "<input type=\"hidden\" name=\"machine\" value=\"" + Escape(scope.machine) + "\">";
  }
  return out + keep + "<button type=\"submit\">Show range</button></form>\n";
}

// The range choices alone, for a page about one machine.
std::string Filters(const Scope& scope, const std::string& base) {
  return RangeChoices(scope, base) + "</p>\n" + RangeForm(scope, base, "");
}

// The range choices, then the machine: a box to name one, whatever the fleet's size.
std::string Filters(const Scope& scope, const std::string& base, bool) {
  std::string out = RangeChoices(scope, base) + "<br>Machine: ";
  out += scope.machine.empty() ? "<b>all</b> " : "<a href=\"" + ScopeLink(base, scope.days, "") + "\">all</a> ";
  return out + "</p>\n<form class=\"search\" method=\"get\" action=\"" + base +
         "\"><input type=\"hidden\" name=\"days\" value=\"" + std::to_string(scope.days) +
         "\"><label>Machine <input type=\"search\" name=\"machine\" value=\"" + Escape(scope.machine) +
         "\"></label> <button type=\"submit\">Show</button></form>\n" + RangeForm(scope, base, "") +
         "<form class=\"search\" method=\"get\" action=\"/machines\"><label>Find machines <input type=\"search\""
         " name=\"q\" placeholder=\"name, IPv4 or hardware address\"></label> <button type=\"submit\">Search</button>"
         " <a href=\"/machines\">all machines</a> <a href=\"/products\">products</a>"
         " <a href=\"/properties\">data points</a> <a href=\"/documents\">documents</a></form>\n";
}

std::string Heading(const std::string& title, const Scope& scope) {
  std::string out = PageStart(title, Assets::kLinked) + "<h1>" + Escape(title) + "</h1>\n<p class=\"muted\">" +
                    (scope.custom ? Minute(scope.sinceMs) + " to " + Minute(scope.untilMs)
                                  : Day(scope.firstDay * kDayMs) + " to " + Day(scope.lastDay * kDayMs)) +
                    " (UTC), counted per " + (scope.BucketMs() == kHourBucketMs ? "hour" : "day");
  if (!scope.machine.empty()) out += ", machine " + Escape(scope.machine);
  return out + "</p>\n";
}

std::string NumberCell(const std::optional<int64_t>& value, const Format& format = Count) {
  if (!value) return "<td></td>";
  return "<td class=\"n\" data-v=\"" + std::to_string(*value) + "\">" + Escape(format(*value)) + "</td>";
}

std::string DocumentRow(const DocumentInfo& d) {
  std::string out = "<tr><td class=\"n\" data-v=\"" + std::to_string(d.id) + "\"><a href=\"/documents/" +
                    std::to_string(d.id) + "\">" + std::to_string(d.id) + "</a></td><td>" + Minute(d.receivedMs) +
                    "</td><td>";
  if (!d.machine.empty()) out += "<a href=\"/machines/" + UrlEncode(d.machine) + "\">" + Escape(d.machine) + "</a>";
  return out + "</td><td>" + Escape(d.kind) + "</td>" + NumberCell(d.size, Size) + "<td>" + Escape(d.state) +
         (d.message.empty() ? "" : ": " + Escape(d.message)) + "</td></tr>\n";
}

std::string DocumentsTableOf(const std::vector<DocumentInfo>& documents) {
  std::string out =
      "<table class=\"sortable\"><thead><tr><th>id</th><th>received</th><th>machine</th><th>kind</th><th>size</th>"
      "<th>state</th></tr></thead><tbody>\n";
  for (const DocumentInfo& d : documents) out += DocumentRow(d);
  return out + "</tbody></table>\n";
}

std::string BucketLabel(const Scope& scope, int64_t ms) { return scope.BucketMs() == kHourBucketMs ? Minute(ms) : Day(ms); }

// One bar per day (or hour) of the scope, those without any included.
std::vector<Bar> PerDay(const Scope& scope, const std::map<int64_t, int64_t>& counts) {
  std::vector<Bar> bars;
  const int64_t span = scope.BucketMs();
  for (int64_t at = scope.sinceMs / span; at <= (scope.untilMs - 1) / span; ++at) {
    auto it = counts.find(at);
    bars.push_back({BucketLabel(scope, at * span), it == counts.end() ? 0 : it->second});
  }
  return bars;
}

std::string Per(const Scope& scope) { return scope.BucketMs() == kHourBucketMs ? "hour" : "day"; }

std::string EventLink(const Scope& scope, const std::string& name) {
  return "<a href=\"/events/" + UrlEncode(name) + "?" + scope.Query() + "\">" + Escape(name) + "</a>";
}

// Documents without a machine are counted, but name none: "unknown" rather than 0.
std::string MachinesCell(const EventSummary& e) {
  if (e.machines == 0 && e.documents > 0) return "<td class=\"n muted\" data-v=\"-1\">unknown</td>";
  return NumberCell(e.machines);
}

// The overview.

std::vector<EventSummary> MostFrequentFirst(std::vector<EventSummary> events) {
  std::sort(events.begin(), events.end(), [](const EventSummary& a, const EventSummary& b) {
    return a.count != b.count ? a.count > b.count : a.name < b.name;
  });
  return events;
}

std::string TopEvents(const Scope& scope, const std::vector<EventSummary>& events) {
  std::string out =
      "<section class=\"top-events\"><h2>Top events</h2>\n<table class=\"sortable\"><thead><tr><th>event</th>"
      "<th>count</th><th>documents</th><th>machines</th><th>value sum</th></tr></thead><tbody>\n";
  for (size_t i = 0; i < events.size() && i < kTopEvents; ++i) {
    const EventSummary& e = events[i];
    out += "<tr><td>" + EventLink(scope, e.name) + "</td>" + NumberCell(e.count) + NumberCell(e.documents) +
           MachinesCell(e) + NumberCell(e.valueSum) + "</tr>\n";
  }
  return out + "</tbody></table></section>\n";
}

std::string TimedEvents(const Scope& scope, const std::vector<EventSummary>& events) {
  std::vector<BarGroup> charted;
  std::string rows;
  for (const EventSummary& e : events) {
    if (!e.p50) continue;
    if (charted.size() < kChartedEvents) charted.push_back({e.name, {*e.p50, e.p90.value_or(0), e.p99.value_or(0)}});
    rows += "<tr><td>" + EventLink(scope, e.name) + "</td>" + NumberCell(e.count) + NumberCell(e.p50, Ms) +
            NumberCell(e.p90, Ms) + NumberCell(e.p99, Ms) + "</tr>\n";
  }
  return "<section class=\"timed-events\"><h2>Timed events</h2>\n" +
         GroupedBarChart("Elapsed time per event (p50, p90, p99)", {"p50", "p90", "p99"}, charted, Ms) +
         "<table class=\"sortable\"><thead><tr><th>event</th><th>count</th><th>p50</th><th>p90</th><th>p99</th>"
         "</tr></thead><tbody>\n" + rows + "</tbody></table></section>\n";
}

// The selected machine alone, or the most recently seen.
std::string MachinesTable(const Scope& scope, const std::vector<MachineInfo>& machines) {
  std::string out =
      "<section class=\"machines\"><h2>Machines</h2>\n<p class=\"muted\">" +
      std::string(scope.machine.empty() ? "The most recently seen; <a href=\"/machines\">every machine</a>." : "") +
      "</p>\n<table class=\"sortable\"><thead><tr><th>machine</th>"
      "<th>documents</th><th>last seen</th><th>operating system</th><th>processor</th><th>logical processors</th>"
      "<th>RAM</th></tr></thead><tbody>\n";
  for (const MachineInfo& m : machines) {
    if (!scope.machine.empty() && m.name != scope.machine) continue;
    out += "<tr><td><a href=\"/machines/" + UrlEncode(m.name) + "\">" + Escape(m.name) + "</a></td>" +
           NumberCell(m.documents) + "<td>" + Minute(m.lastReceivedMs) + "</td><td>" +
           Escape(m.facts.osCaption + " " + m.facts.osVersion) + "</td><td>" + Escape(m.facts.processor) + "</td>" +
           NumberCell(m.facts.logicalProcessors) + NumberCell(m.facts.ramBytes, Size) + "</tr>\n";
  }
  return out + "</tbody></table></section>\n";
}

std::string RenderOverview(const OverviewData& data) {
  const Scope& scope = data.scope;
  const std::vector<EventSummary> events = MostFrequentFirst(data.events);
  return Heading("Overview", scope) + Filters(scope, "/", true) +
         "<section class=\"per-day\"><h2>Documents received per " + Per(scope) + "</h2>\n" +
         BarChart("Documents received per " + Per(scope), PerDay(scope, {data.perDay.begin(), data.perDay.end()}), Count) +
         "</section>\n" + TopEvents(scope, events) + TimedEvents(scope, events) + MachinesTable(scope, data.machines) +
         "<section class=\"recent\"><h2>Recent documents</h2>\n" + DocumentsTableOf(data.recent) + "</section>\n" +
         PageEnd();
}

// The event page.

// Twenty equal bars from zero to the longest time, from the counts per elapsed bucket.
std::vector<Bar> Histogram(const std::vector<std::pair<int64_t, int64_t>>& buckets) {
  std::vector<Bar> bars;
  if (buckets.empty()) return bars;
  const int64_t top = std::max<int64_t>(buckets.back().first, 1);
  const int64_t width = (top + 20) / 20;
  for (int i = 0; i < 20; ++i) bars.push_back({"up to " + Millis(width * (i + 1)), 0});
  for (const auto& [bucket, events] : buckets) bars[std::min<int64_t>(std::max<int64_t>(bucket, 0) / width, 19)].value += events;
  return bars;
}

std::string EventSummaryTable(const std::vector<EventSummary>& summary) {
  std::string out =
      "<section class=\"event-summary\"><h2>Summary</h2>\n<table><tr><th>count</th><th>documents</th>"
      "<th>machines</th><th>value sum</th><th>p50</th><th>p90</th><th>p99</th></tr>\n";
  for (const EventSummary& e : summary) {
    out += "<tr>" + NumberCell(e.count) + NumberCell(e.documents) + MachinesCell(e) + NumberCell(e.valueSum) +
           NumberCell(e.p50, Ms) + NumberCell(e.p90, Ms) + NumberCell(e.p99, Ms) + "</tr>\n";
  }
  if (summary.empty()) out += "<tr><td colspan=\"7\">No such event in this range.</td></tr>\n";
  return out + "</table></section>\n";
}

std::string EventCharts(const Scope& scope, const EventPageData& data) {
  std::string out = "<section class=\"event-count\"><h2>Count over time</h2>\n" +
                    BarChart("Events per " + Per(scope), PerDay(scope, {data.perDay.begin(), data.perDay.end()}), Count) +
                    "</section>\n" + "<section class=\"event-elapsed\"><h2>Elapsed times</h2>\n";
  out += data.elapsed.empty() ? std::string("<p class=\"muted\">None of these events carries an elapsed time.</p>\n")
                              : BarChart("Events per elapsed time", Histogram(data.elapsed), Count);
  return out + "</section>\n";
}

std::string ValueName(const ValueSummary& v) {
  switch (v.kind) {
    case ValueSummary::Kind::kOther: return "other";
    case ValueSummary::Kind::kMissing: return "not sent";
    default: return v.value.empty() ? "(empty)" : v.value;
  }
}

// "Break down by" links, and with one chosen, a line per value over time,
// the percentiles per value and the table of values.
std::string BreakdownSection(const EventPageData& data) {
  if (data.dataPoints.empty() && data.by.empty()) return {};
  const std::string base = "/events/" + UrlEncode(data.name) + "?" + data.scope.Query();
  std::string out = "<section class=\"breakdown\"><h2>Breakdown</h2>\n<p class=\"filters\">Break down by: ";
  out += data.by.empty() ? "<b>nothing</b> " : "<a href=\"" + base + "\">nothing</a> ";
  for (const std::string& path : data.dataPoints) {
    out += path == data.by ? "<b>" + Escape(path) + "</b> "
                           : "<a href=\"" + base + "&amp;by=" + UrlEncode(path) + "\">" + Escape(path) + "</a> ";
  }
  out += "</p>\n";
  if (data.by.empty()) return out + "</section>\n";
  const Breakdown& b = data.breakdown;
  std::vector<Series> lines;
  std::vector<BarGroup> timed;
  std::string rows;
  for (const ValueSummary& v : b.values) {
    lines.push_back({ValueName(v), {}});
    if (v.p50) timed.push_back({ValueName(v), {*v.p50, v.p90.value_or(0), v.p99.value_or(0)}});
    rows += "<tr><td>" + Escape(ValueName(v)) + "</td>" + NumberCell(v.count) + NumberCell(v.documents) +
            NumberCell(v.valueSum) + NumberCell(v.p50, Ms) + NumberCell(v.p90, Ms) + NumberCell(v.p99, Ms) + "</tr>\n";
  }
  // Every bucket of the window, so a value's line falls to zero where it had no events.
  const int64_t first = data.scope.sinceMs / b.bucketMs, last = (data.scope.untilMs - 1) / b.bucketMs;
  std::vector<std::map<int64_t, int64_t>> counts(lines.size());
  for (const BucketCount& c : b.series) {
    if (c.entry < counts.size()) counts[c.entry][c.bucket] += c.count;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    for (int64_t at = first; at <= last; ++at) {
      auto it = counts[i].find(at);
      lines[i].points.push_back({at * b.bucketMs, it == counts[i].end() ? 0 : it->second});
    }
  }
  const Format when = [&](int64_t ms) { return BucketLabel(data.scope, ms); };
  out += "<h3>Events per " + Per(data.scope) + " by " + Escape(data.by) + "</h3>\n" +
         LineChart("Events per " + Per(data.scope) + " by " + data.by, lines, when, Count);
  if (!timed.empty()) {
    if (timed.size() > kChartedEvents) timed.resize(kChartedEvents);
    out += "<h3>Elapsed time by " + Escape(data.by) + "</h3>\n" +
           GroupedBarChart("Elapsed time by " + data.by + " (p50, p90, p99)", {"p50", "p90", "p99"}, timed, Ms);
  }
  return out + "<table class=\"sortable\"><thead><tr><th>" + Escape(data.by) +
         "</th><th>count</th><th>documents</th><th>value sum</th><th>p50</th><th>p90</th><th>p99</th></tr></thead>"
         "<tbody>\n" + rows + "</tbody></table></section>\n";
}

std::string RenderEventPage(const EventPageData& data) {
  return Heading("Event " + data.name, data.scope) +
         Filters(data.scope, "/events/" + UrlEncode(data.name), true) + EventSummaryTable(data.summary) +
         BreakdownSection(data) + EventCharts(data.scope, data) + PageEnd();
}

// The machine page.

std::string FactsTable(const MachineInfo& machine) {
  const MachineFacts& f = machine.facts;
  return "<section class=\"facts\"><h2>Facts</h2>\n<table>"
         "<tr><th>operating system</th><td>" + Escape(f.osCaption) + "</td></tr>"
         "<tr><th>version</th><td>" + Escape(f.osVersion) + "</td></tr>"
         "<tr><th>processor</th><td>" + Escape(f.processor) + "</td></tr>"
         "<tr><th>logical processors</th>" + NumberCell(f.logicalProcessors) + "</tr>"
         "<tr><th>RAM</th>" + NumberCell(f.ramBytes, Size) + "</tr>"
         "<tr><th>documents</th>" + NumberCell(machine.documents) + "</tr>"
         "<tr><th>last seen</th><td>" + Minute(machine.lastReceivedMs) + "</td></tr></table></section>\n";
}

// One line per drive, in drive order; samples without a free size left out.
std::string DiskHistoryChart(const std::vector<DiskSample>& disks) {
  std::map<std::string, Series> byDrive;
  for (const DiskSample& d : disks) {
    if (!d.disk.freeBytes) continue;
    Series& series = byDrive[d.disk.drive];
    series.name = d.disk.drive;
    series.points.push_back({d.receivedMs, *d.disk.freeBytes});
  }
  std::vector<Series> series;
  for (auto& [drive, s] : byDrive) series.push_back(std::move(s));
  return "<section class=\"disk-history\"><h2>Free space per disk</h2>\n" +
         LineChart("Free space per disk", series, Minute, Size) + "</section>\n";
}

std::string ChangesLink(const std::string& machine, int64_t from, int64_t to) {
  return "/machines/" + UrlEncode(machine) + "/changes?from=" + std::to_string(from) + "&amp;to=" + std::to_string(to);
}

// Two lists of the machine's reports and a button: any two compared.
std::string ReportPicker(const std::string& machine, const std::vector<DocumentInfo>& reports,
                         std::optional<int64_t> from, std::optional<int64_t> to) {
  if (reports.size() < 2) return {};
  auto options = [&](std::optional<int64_t> selected) {
    std::string out;
    for (const DocumentInfo& d : reports) {
      out += "<option value=\"" + std::to_string(d.id) + "\"" + (selected == d.id ? " selected" : "") + ">" +
             std::to_string(d.id) + " \u2014 " + Minute(d.receivedMs) + "</option>";
    }
    return out;
  };
  return "<form class=\"pick\" method=\"get\" action=\"/machines/" + UrlEncode(machine) +
         "/changes\">Compare report <select name=\"from\">" + options(from ? from : reports[1].id) +
         "</select> with <select name=\"to\">" + options(to ? to : reports[0].id) +
         "</select> <button type=\"submit\">Compare</button></form>\n";
}

// The machine's documents; each report links to its changes since the report before it.
std::string MachineDocuments(const MachinePageData& data) {
  std::vector<DocumentInfo> reports;
  for (const DocumentInfo& d : data.documents) {
    if (d.kind == "report") reports.push_back(d);
  }
  std::string table = DocumentsTableOf(data.documents);
  if (reports.size() > 1) table.replace(table.find("<th>state</th>"), 14, "<th>state</th><th>changes</th>");
  for (size_t i = 0; i + 1 < reports.size(); ++i) {
    const std::string row = "<a href=\"/documents/" + std::to_string(reports[i].id) + "\">";
    const size_t at = table.find(row);
    const size_t end = at == std::string::npos ? at : table.find("</tr>", at);
    if (end == std::string::npos) continue;
    table.insert(end, "<td><a class=\"compare\" href=\"" + ChangesLink(data.name, reports[i + 1].id, reports[i].id) +
                          "\">compare with " + std::to_string(reports[i + 1].id) + "</a></td>");
  }
  return "<section class=\"documents\"><h2>Documents</h2>\n" + ReportPicker(data.name, reports, {}, {}) + table +
         "</section>\n";
}

std::string RenderMachinePage(const MachinePageData& data, const MachineInfo& machine) {
  Scope links = data.scope;
  links.machine.clear();
  return Heading("Machine " + data.name, data.scope) + Filters(links, "/machines/" + UrlEncode(data.name)) +
         FactsTable(machine) + DiskHistoryChart(data.disks) + MachineDocuments(data) + PageEnd();
}

// Whose the document is and when it came, with its neighbours on the same machine.
Status DocumentHeader(Store& store, const DocumentInfo& d, std::string& html) {
  std::optional<int64_t> before, after, report, unused;
  Status s;  // documents that name no machine are no one's neighbours
  if (!d.machine.empty()) s = store.Neighbours(d, "", before, after);
  if (s.ok() && !d.machine.empty() && d.kind == "report") s = store.Neighbours(d, "report", report, unused);
  if (!s.ok()) return s;
  const std::string machine = d.machine.empty() ? std::string("<span class=\"muted\">not named</span>")
                                                : "<a href=\"/machines/" + UrlEncode(d.machine) + "\">" +
                                                      Escape(d.machine) + "</a>";
  html = "<table class=\"header\"><tr><th>machine</th><td>" + machine + "</td></tr><tr><th>kind</th><td>" +
         Escape(d.kind) + "</td></tr><tr><th>received</th><td>" + FormatUtc(d.receivedMs).substr(0, 19).replace(10, 1, " ") +
         " UTC</td></tr><tr><th>sender</th><td>" + Escape(d.sender) + "</td></tr><tr><th>size</th><td>" +
         Bytes(d.size) + "</td></tr><tr><th>id</th><td>" + std::to_string(d.id) + "</td></tr></table>\n";
  html += "<p class=\"links\">";
  if (before) html += "<a rel=\"prev\" href=\"/documents/" + std::to_string(*before) + "\">\u2190 Previous document</a>";
  if (after) html += "<a rel=\"next\" href=\"/documents/" + std::to_string(*after) + "\">Next document \u2192</a>";
  if (report) {
    html += "<a class=\"changes\" href=\"" + ChangesLink(d.machine, *report, d.id) + "\">Changes since the previous report</a>";
  }
  html += "</p>\n";
  return {};
}

Response StoredDocument(Store& store, std::string_view idText) {
  const auto id = ParseWholeNumber(idText);
  std::string packed, xml;
  bool found = false;
  if (id) {
    if (auto s = store.PackedBody(*id, packed, found); !s.ok()) return StoreFailed(s);
  }
  if (!found) return ErrorPage(404, "no such document: " + std::string(idText));
  std::optional<DocumentInfo> info;
  if (auto s = store.Document(*id, info); !s.ok()) return StoreFailed(s);
  DocumentPageOptions options;
  if (info) {
    if (auto s = DocumentHeader(store, *info, options.info); !s.ok()) return StoreFailed(s);
  }
  if (auto s = Unpack(packed, xml); !s.ok()) return ErrorPage(500, s.message());
  std::string().swap(packed);
  options.title = "Document " + std::to_string(*id) + (info && !info->machine.empty() ? " \u2014 " + info->machine : "");
  options.rawLink = "/v1/documents/" + std::to_string(*id) + "/raw";
  options.linkEvents = true;
  Response response{200, "text/html", {}};
  if (auto s = RenderDocumentPage(xml, options, response.body); !s.ok()) return ErrorPage(500, s.message());
  return response;
}

}  // namespace

Response HtmlPage(int code, std::string body) { return Html(code, std::move(body)); }

Response ErrorPage(int code, const std::string& message) {
  return Html(code, PageStart("Error", Assets::kLinked) + "<h1>" + std::to_string(code) + "</h1><p class=\"error\">" +
                        Escape(message) + "</p>\n" + PageEnd());
}

Response StoreFailed(const Status& s) { return ErrorPage(503, "the store failed: " + s.message()); }
std::string ScopeHeading(const std::string& title, const Scope& scope) { return Heading(title, scope); }
std::string ScopeFilters(const Scope& scope, const std::string& base) { return Filters(scope, base); }
std::string DocumentsTable(const std::vector<DocumentInfo>& documents) { return DocumentsTableOf(documents); }
std::string CountCell(int64_t value) { return NumberCell(value); }

Response OverviewPage(Store& store, const QueryArgs& args, int64_t nowMs) {
  Scope scope;
  if (auto s = ReadScope(args, nowMs, scope); !s.ok()) return ErrorPage(400, s.message());
  OverviewData data;
  if (auto s = GatherOverview(store, scope, data); !s.ok()) return StoreFailed(s);
  return Html(200, RenderOverview(data));
}

Response EventPage(Store& store, std::string_view name, const QueryArgs& args, int64_t nowMs) {
  Scope scope;
  if (auto s = ReadScope(args, nowMs, scope); !s.ok()) return ErrorPage(400, s.message());
  EventPageData data;
  const auto by = args.find("by");
  if (by != args.end() && !scope.machine.empty()) return ErrorPage(400, "a breakdown covers every machine");
  if (auto s = GatherEventPage(store, scope, std::string(name), by == args.end() ? "" : by->second, data); !s.ok()) {
    return StoreFailed(s);
  }
  return Html(200, RenderEventPage(data));
}

Response MachinePage(Store& store, std::string_view name, const QueryArgs& args, int64_t nowMs) {
  Scope scope;
  if (auto s = ReadScope(args, nowMs, scope); !s.ok()) return ErrorPage(400, s.message());
  MachinePageData data;
  if (auto s = GatherMachinePage(store, scope, std::string(name), data); !s.ok()) return StoreFailed(s);
  if (!data.machine) return ErrorPage(404, "no documents from a machine named " + data.name);
  return Html(200, RenderMachinePage(data, *data.machine));
}

Response DocumentPage(Store& store, std::string_view idText) { return StoredDocument(store, idText); }

int ChangesErrorCode(const Status& s) {
  switch (s.code()) {
    case StatusCode::kInvalid: return 400;
    case StatusCode::kNotFound: return 404;
    case StatusCode::kInternal: return 500;
    default: return 503;
  }
}

Response ChangesPage(Store& store, std::string_view name, const QueryArgs& args) {
  ChangesData data;
  if (auto s = GatherChanges(store, std::string(name), args, data); !s.ok()) {
    return ErrorPage(ChangesErrorCode(s), s.message());
  }
  ChangesPageOptions options;
  options.machine = data.machine;
  options.machineLink = "/machines/" + UrlEncode(data.machine);
  options.from = data.from;
  options.to = data.to;
  options.all = data.all;
  options.allLink = ChangesLink(data.machine, *data.from.id, *data.to.id) + (data.all ? "" : "&amp;all=1");
  options.picker = ReportPicker(data.machine, data.reports, data.from.id, data.to.id);
  return Html(200, RenderChangesPage(options, data.changes));
}

std::optional<Response> Asset(std::string_view path) {
  if (path == kStylePath) return Response{200, "text/css", kStylesheet};
  if (path == kScriptPath) return Response{200, "text/javascript", kScript};
  return std::nullopt;
}

}  // namespace collector::pages
