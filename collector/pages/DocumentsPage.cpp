#include "collector/base/WholeNumber.h"
#include "collector/document/TimeText.h"
#include "collector/pages/AnalyticsPages.h"
#include "collector/pages/Html.h"
#include "collector/pages/SiteParts.h"

namespace collector::pages {
namespace {

std::string Arg(const QueryArgs &args, const char *key) {
  auto it = args.find(key);
  return it == args.end() ? std::string() : it->second;
}

std::string Option(const std::string &value, const std::string &text,
                   const std::string &selected) {
  return "<option value=\"" + value + "\"" +
         (value == selected ? " selected" : "") + ">" + text + "</option>";
}

std::string FilterForm(const Scope &scope, const Filter &filter) {
  std::string range =
      scope.custom ? "<input type=\"hidden\" name=\"from\" value=\"" +
                         Escape(FormatUtc(scope.sinceMs)) +
                         "\"><input type=\"hidden\" name=\"to\" value=\"" +
                         Escape(FormatUtc(scope.untilMs)) + "\">"
                   : "<input type=\"hidden\" name=\"days\" value=\"" +
                         std::to_string(scope.days) + "\">";
  return "<form class=\"search\" method=\"get\" action=\"/documents\">" +
         range + "<label>Kind <select name=\"kind\">" +
         Option("", "any", filter.kind) +
         Option("report", "report", filter.kind) +
         Option("analytics", "analytics", filter.kind) +
         "</select></label> <label>Machine <input type=\"search\" "
         "name=\"machine\" value=\"" +
         Escape(filter.machine) +
         "\"></label> <label>Event <input type=\"search\" "
         "name=\"name\" value=\"" +
         Escape(filter.name) +
         "\"></label> <button type=\"submit\">Filter</button> "
         "<a href=\"/documents\">clear</a></form>\n";
}

// The query that asks for the same documents, without the page.
std::string SameQuery(const Scope &scope, const Filter &filter) {
  std::string query = scope.Query();
  if (!filter.kind.empty())
    query += "&amp;kind=" + UrlEncode(filter.kind);
  if (!filter.name.empty())
    query += "&amp;name=" + UrlEncode(filter.name);
  return query;
}

} // namespace

std::optional<std::pair<int64_t, int64_t>>
ReadDocumentCursor(std::string_view text) {
  const size_t dot = text.find('.');
  if (dot == std::string_view::npos)
    return std::nullopt;
  const auto received = ParseWholeNumber(text.substr(0, dot)),
             id = ParseWholeNumber(text.substr(dot + 1));
  if (!received || !id)
    return std::nullopt;
  return std::make_pair(*received, *id);
}

Response DocumentsPage(Store &store, const QueryArgs &args, int64_t nowMs) {
  Scope scope;
  if (auto s = ReadScope(args, nowMs, scope); !s.ok())
    return ErrorPage(400, s.message());
  Filter filter = scope.ToFilter();
  filter.kind = Arg(args, "kind");
  if (!filter.kind.empty() && filter.kind != "report" &&
      filter.kind != "analytics") {
    return ErrorPage(400, "kind: report or analytics");
  }
  filter.name = Arg(args, "name");
  const std::string after = Arg(args, "after");
  if (!after.empty() && !(filter.after = ReadDocumentCursor(after)))
    return ErrorPage(400, "after: not a page's cursor");
  filter.limit =
      kDocumentsPerPage + 1; // one more tells whether a next page exists
  std::vector<DocumentInfo> documents;
  if (auto s = store.ListDocuments(filter, documents); !s.ok())
    return StoreFailed(s);
  const bool more = documents.size() > static_cast<size_t>(kDocumentsPerPage);
  if (more)
    documents.resize(kDocumentsPerPage);
  std::string page = ScopeHeading("Documents", scope) +
                     ScopeFilters(scope, "/documents") +
                     FilterForm(scope, filter);
  page += "<p class=\"links\">";
  if (!after.empty())
    page += "<a href=\"/documents?" + SameQuery(scope, filter) +
            "\">\u21e4 Newest</a>";
  if (more) {
    const DocumentInfo &last = documents.back();
    page += "<a rel=\"next\" href=\"/documents?" + SameQuery(scope, filter) +
            "&amp;after=" + std::to_string(last.receivedMs) + "." +
            std::to_string(last.id) + "\">Older \u2192</a>";
  }
  page += "</p>\n";
  page += documents.empty()
              ? std::string("<p class=\"muted\">No documents match.</p>\n")
              : DocumentsTable(documents);
  return HtmlPage(200, page + PageEnd());
}

} // namespace collector::pages
