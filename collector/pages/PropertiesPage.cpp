#include <map>

#include "collector/document/TimeText.h"
#include "collector/pages/AnalyticsPages.h"
#include "collector/pages/Charts.h"
#include "collector/pages/Html.h"
#include "collector/pages/SiteParts.h"

namespace collector::pages {
namespace {

std::string Count(int64_t n) { return std::to_string(n); }
std::string Day(int64_t ms) { return FormatUtc(ms).substr(0, 10); }

std::string PropertyLink(const Scope &scope, const std::string &path) {
  return "<a href=\"/properties/" + UrlEncode(path) + "?" + scope.Query() +
         "\">" + Escape(path) + "</a>";
}

std::string RenderProperties(const Scope &scope,
                             const std::vector<PropertySummary> &properties) {
  std::string out =
      ScopeHeading("Data points", scope) + ScopeFilters(scope, "/properties") +
      "<p class=\"muted\">What the clients' groups carry: each data point by "
      "its group path and name, "
      "the documents that sent it and its most common values.</p>\n"
      "<table class=\"sortable\"><thead><tr><th>data "
      "point</th><th>documents</th>"
      "<th>most common values</th></tr></thead><tbody>\n";
  for (const PropertySummary &p : properties) {
    std::string values;
    for (const ValueCount &v : p.top) {
      values += (values.empty() ? "" : ", ") + std::string("<span title=\"") +
                Escape(v.value) + "\">" +
                Escape(Shorten(v.value.empty() ? "(empty)" : v.value, 40)) +
                "</span> (" + Count(v.documents) + ")";
    }
    out += "<tr><td>" + PropertyLink(scope, p.path) + "</td>" +
           CountCell(p.documents) + "<td>" + values + "</td></tr>\n";
  }
  if (properties.empty())
    out += "<tr><td colspan=\"3\">No data points in this range.</td></tr>\n";
  return out + "</tbody></table>\n" + PageEnd();
}

std::string RenderProperty(const Scope &scope, const std::string &path,
                           const PropertyHistory &history) {
  std::vector<Series> lines;
  std::string rows;
  for (size_t i = 0; i < history.values.size(); ++i) {
    const bool other = history.other && i + 1 == history.values.size();
    const std::string name = other ? "other"
                             : history.values[i].value.empty()
                                 ? "(empty)"
                                 : history.values[i].value;
    lines.push_back({name, {}});
    rows += "<tr><td>" + Escape(name) + "</td>" +
            CountCell(history.values[i].documents) + "</tr>\n";
  }
  std::vector<std::map<int64_t, int64_t>> counts(lines.size());
  for (const BucketCount &c : history.series) {
    if (c.entry < counts.size())
      counts[c.entry][c.bucket] = c.count;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    for (int64_t day = scope.firstDay; day <= scope.lastDay; ++day) {
      auto it = counts[i].find(day);
      lines[i].points.push_back(
          {day * kDayMs, it == counts[i].end() ? 0 : it->second});
    }
  }
  return ScopeHeading("Data point " + path, scope) +
         ScopeFilters(scope, "/properties/" + UrlEncode(path)) +
         "<p><a href=\"/properties?" + scope.Query() +
         "\">All data points</a></p>\n"
         "<section class=\"property-history\"><h2>Documents per day by "
         "value</h2>\n" +
         LineChart("Documents per day by value of " + path, lines, Day, Count) +
         "<table "
         "class=\"sortable\"><thead><tr><th>value</th><th>documents</th></tr></"
         "thead><tbody>\n" +
         rows + "</tbody></table></section>\n" + PageEnd();
}

} // namespace

Response PropertiesPage(Store &store, const QueryArgs &args, int64_t nowMs) {
  Scope scope;
  if (auto s = ReadScope(args, nowMs, scope); !s.ok())
    return ErrorPage(400, s.message());
  std::vector<PropertySummary> properties;
  if (auto s =
          store.Properties(scope.ToFilter(), kPropertyValuesShown, properties);
      !s.ok())
    return StoreFailed(s);
  return HtmlPage(200, RenderProperties(scope, properties));
}

Response PropertyPage(Store &store, std::string_view path,
                      const QueryArgs &args, int64_t nowMs) {
  Scope scope;
  if (auto s = ReadScope(args, nowMs, scope); !s.ok())
    return ErrorPage(400, s.message());
  PropertyHistory history;
  if (auto s =
          store.PropertyOverTime(scope.ToFilter(), std::string(path), history);
      !s.ok())
    return StoreFailed(s);
  if (history.values.empty())
    return ErrorPage(404, "no documents sent the data point " +
                              std::string(path) + " in this range");
  return HtmlPage(200, RenderProperty(scope, std::string(path), history));
}

} // namespace collector::pages
