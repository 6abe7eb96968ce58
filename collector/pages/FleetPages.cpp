#include "collector/pages/FleetPages.h"

#include <algorithm>
#include <iterator>

#include "collector/base/WholeNumber.h"
#include "collector/document/TimeText.h"
#include "collector/pages/Html.h"

namespace collector::pages {
namespace {

using Sort = MachineQuery::Sort;

constexpr std::pair<const char *, Sort> kSorts[] = {
    {"name", Sort::kName},
    {"last_seen", Sort::kLastSeen},
    {"os", Sort::kOs},
    {"ram", Sort::kRam},
    {"documents", Sort::kDocuments}};
constexpr int64_t kMaxLimit = 1000;

const char *SortName(Sort sort) {
  for (const auto &[name, s] : kSorts) {
    if (s == sort)
      return name;
  }
  return "name";
}

Response Html(int code, std::string body) {
  return {code, "text/html", std::move(body)};
}

Response ErrorPage(int code, const std::string &message) {
  return Html(code, PageStart("Error", Assets::kLinked) + "<h1>" +
                        std::to_string(code) + "</h1><p class=\"error\">" +
                        Escape(message) + "</p>\n" + PageEnd());
}

Response Failed(const Status &s) {
  return s.code() == StatusCode::kInvalid
             ? ErrorPage(400, s.message())
             : ErrorPage(503, "the store failed: " + s.message());
}

std::string Minute(int64_t ms) {
  return FormatUtc(ms).substr(0, 16).replace(10, 1, " ");
}

// The query's filters and sort as URL arguments (already escaped for an
// attribute).
std::string QueryLink(const MachineQuery &q, std::optional<Sort> sort = {},
                      std::optional<bool> descending = {}) {
  std::string link;
  auto add = [&](const char *key, const std::string &value) {
    if (!value.empty())
      link += std::string(link.empty() ? "?" : "&amp;") + key + "=" +
              UrlEncode(value);
  };
  add("q", q.text);
  add("os", q.os);
  add("product", q.product);
  add("version", q.version);
  const Sort s = sort.value_or(q.sort);
  if (s != Sort::kName)
    add("sort", SortName(s));
  if (descending.value_or(q.descending))
    add("desc", "1");
  return link;
}

std::string Arg(const std::string &link, const std::string &key,
                const std::string &value) {
  return link + (link.empty() ? "?" : "&amp;") + key + "=" + UrlEncode(value);
}

std::string Input(const char *name, const char *label,
                  const std::string &value) {
  return "<label>" + std::string(label) + " <input type=\"search\" name=\"" +
         name + "\" value=\"" + Escape(value) + "\"></label> ";
}

std::string NumberCell(const std::optional<int64_t> &value,
                       bool bytes = false) {
  if (!value)
    return "<td></td>";
  return "<td class=\"n\" data-v=\"" + std::to_string(*value) + "\">" +
         Escape(bytes ? Bytes(*value) : std::to_string(*value)) + "</td>";
}

// A column heading that sorts the selection by it, the other way when it
// already does.
std::string SortHeading(const MachineQuery &q, const char *title,
                        std::optional<Sort> sort) {
  if (!sort)
    return std::string("<th>") + title + "</th>";
  const bool current = q.sort == *sort;
  const std::string arrow =
      current ? (q.descending ? " &#9660;" : " &#9650;") : "";
  return "<th><a href=\"/machines" +
         QueryLink(q, *sort, current && !q.descending) + "\">" + title + arrow +
         "</a></th>";
}

std::string MachineRows(const std::vector<MachineInfo> &machines) {
  std::string out;
  for (const MachineInfo &m : machines) {
    out += "<tr><td><a href=\"/machines/" + UrlEncode(m.name) + "\">" +
           Escape(m.name) + "</a></td>" + NumberCell(m.documents) + "<td>" +
           Minute(m.lastReceivedMs) + "</td><td>" +
           Escape(m.facts.osCaption + " " + m.facts.osVersion) + "</td><td>" +
           Escape(m.facts.processor) + "</td>" +
           NumberCell(m.facts.logicalProcessors) +
           NumberCell(m.facts.ramBytes, true) + "</tr>\n";
  }
  return out;
}

std::string VersionBar(const ProductCount &p) {
  std::string out = "<div class=\"versions\" title=\"versions\">";
  for (const VersionCount &v : p.versions) {
    const int64_t percent =
        p.machines ? std::max<int64_t>(v.machines * 100 / p.machines, 1) : 0;
    out += "<span style=\"width:" +
           std::to_string(std::min<int64_t>(percent, 100)) + "%\">" +
           Escape(v.version.empty() ? "(none)" : v.version) + " " +
           std::to_string(v.machines) + "</span>";
  }
  return out + "</div>";
}

} // namespace

Status ReadMachineQuery(const QueryArgs &args, MachineQuery &query) {
  for (const auto &[key, value] : args) {
    if (key == "q")
      query.text = value;
    else if (key == "os")
      query.os = value;
    else if (key == "product")
      query.product = value;
    else if (key == "version")
      query.version = value;
    else if (key == "desc")
      query.descending = value == "1";
    else if (key == "after" || key == "before") {
      query.after = value;
      query.backward = key == "before";
    } else if (key == "sort") {
      auto it = std::find_if(std::begin(kSorts), std::end(kSorts),
                             [&](const auto &p) { return value == p.first; });
      if (it == std::end(kSorts))
        return Invalid("sort: one of name, last_seen, os, ram, documents: " +
                       value);
      query.sort = it->second;
    } else if (key == "limit") {
      auto limit = ParseWholeNumber(value);
      if (!limit || *limit < 1 || *limit > kMaxLimit) {
        return Invalid("limit: a whole number from 1 to " +
                       std::to_string(kMaxLimit) + ": " + value);
      }
      query.limit = *limit;
    }
  }
  if (!query.version.empty() && query.product.empty())
    return Invalid("version: needs a product");
  return {};
}

std::string CsvCell(std::string_view text) {
  std::string out = "\"";
  if (!text.empty() &&
      std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos)
    out += '\'';
  for (char c : text)
    out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

Response MachinesPage(Store &store, const QueryArgs &args) {
  MachineQuery q;
  if (auto s = ReadMachineQuery(args, q); !s.ok())
    return ErrorPage(400, s.message());
  q.limit = kPageRows;
  MachinePage page;
  if (auto s = store.FindMachines(q, page); !s.ok())
    return Failed(s);
  const std::string link = QueryLink(q);
  std::string out =
      PageStart("Machines", Assets::kLinked) + "<h1>Machines</h1>\n" +
      "<form class=\"search\" method=\"get\" action=\"/machines\">" +
      Input("q", "Name or address", q.text) + Input("os", "OS", q.os) +
      Input("product", "Product", q.product) +
      Input("version", "Version", q.version) +
      "<button type=\"submit\">Search</button></form>\n" +
      "<p><a href=\"/machines.csv" + link +
      "\" download=\"machines.csv\">Export CSV</a> (the whole "
      "selection)</p>\n" +
      "<table><thead><tr>" + SortHeading(q, "machine", Sort::kName) +
      SortHeading(q, "documents", Sort::kDocuments) +
      SortHeading(q, "last seen", Sort::kLastSeen) +
      SortHeading(q, "operating system", Sort::kOs) +
      SortHeading(q, "processor", std::nullopt) +
      SortHeading(q, "logical processors", std::nullopt) +
      SortHeading(q, "RAM", Sort::kRam) + "</tr></thead><tbody>\n" +
      MachineRows(page.machines) + "</tbody></table>\n<p class=\"pager\">";
  if (page.machines.empty())
    out += "No machine matches. ";
  if (!page.previous.empty())
    out += "<a rel=\"prev\" href=\"/machines" +
           Arg(link, "before", page.previous) + "\">previous</a> ";
  if (!page.next.empty())
    out += "<a rel=\"next\" href=\"/machines" + Arg(link, "after", page.next) +
           "\">next</a>";
  return Html(200, out + "</p>\n" + PageEnd());
}

// Every machine of the selection, a store page at a time.
Response MachinesCsv(Store &store, const QueryArgs &args) {
  MachineQuery q;
  if (auto s = ReadMachineQuery(args, q); !s.ok())
    return ErrorPage(400, s.message());
  q.after.clear();
  q.backward = false;
  q.limit = kMaxLimit;
  Response csv{200, "text/csv",
               "name,documents,last_seen,os_caption,os_version,processor,"
               "logical_processors,ram_bytes\r\n"};
  auto number = [](const std::optional<int64_t> &n) {
    return n ? std::to_string(*n) : std::string();
  };
  for (;;) {
    MachinePage page;
    if (auto s = store.FindMachines(q, page); !s.ok())
      return Failed(s);
    for (const MachineInfo &m : page.machines) {
      const MachineFacts &f = m.facts;
      csv.body += CsvCell(m.name) + "," + std::to_string(m.documents) + "," +
                  FormatUtc(m.lastReceivedMs) + "," + CsvCell(f.osCaption) +
                  "," + CsvCell(f.osVersion) + "," + CsvCell(f.processor) +
                  "," + number(f.logicalProcessors) + "," + number(f.ramBytes) +
                  "\r\n";
    }
    if (page.next.empty() || page.next == q.after)
      return csv;
    q.after = page.next;
  }
}

Response ProductsPage(Store &store, const QueryArgs &args) {
  ProductQuery q;
  if (auto it = args.find("q"); it != args.end())
    q.text = it->second;
  if (auto it = args.find("after"); it != args.end())
    q.after = it->second;
  q.limit = kPageRows;
  collector::ProductPage page;
  if (auto s = store.Products(q, page); !s.ok())
    return Failed(s);
  std::string out =
      PageStart("Products", Assets::kLinked) + "<h1>Products</h1>\n" +
      "<form class=\"search\" method=\"get\" action=\"/products\">" +
      Input("q", "Name", q.text) +
      "<button type=\"submit\">Search</button></form>\n" +
      "<table><thead><tr><th>product</th><th>machines</th><th>versions</th></"
      "tr></thead><tbody>\n";
  for (const ProductCount &p : page.products) {
    out += "<tr><td><a href=\"/products/" + UrlEncode(p.name) + "\">" +
           Escape(p.name) + "</a></td>" + NumberCell(p.machines) + "<td>" +
           VersionBar(p) + "</td></tr>\n";
  }
  out += "</tbody></table>\n<p class=\"pager\">";
  if (!page.next.empty()) {
    std::string link = q.text.empty() ? "" : "?q=" + UrlEncode(q.text);
    out += "<a rel=\"next\" href=\"/products" + Arg(link, "after", page.next) +
           "\">next</a>";
  }
  return Html(200, out + "</p>\n" + PageEnd());
}

Response ProductPage(Store &store, std::string_view name,
                     const QueryArgs &args) {
  std::string after;
  if (auto it = args.find("after"); it != args.end())
    after = it->second;
  ProductMachinesPage page;
  if (auto s = store.ProductMachines(std::string(name), after, kPageRows, page);
      !s.ok())
    return Failed(s);
  if (!page.product)
    return ErrorPage(404,
                     "no machine has a product named " + std::string(name));
  const ProductCount &p = *page.product;
  std::string out = PageStart("Product " + p.name, Assets::kLinked) +
                    "<h1>Product " + Escape(p.name) + "</h1>\n" + "<p>On " +
                    std::to_string(p.machines) + " machines.</p>\n" +
                    VersionBar(p) +
                    "\n<table><thead><tr><th>version</th><th>machines</th></"
                    "tr></thead><tbody>\n";
  for (const VersionCount &v : p.versions) {
    out += "<tr><td><a href=\"/machines?product=" + UrlEncode(p.name) +
           "&amp;version=" + UrlEncode(v.version) + "\">" +
           Escape(v.version.empty() ? "(none)" : v.version) + "</a></td>" +
           NumberCell(v.machines) + "</tr>\n";
  }
  out += "</tbody></table>\n<h2>Machines by "
         "version</h2>\n<table><thead><tr><th>version</th><th>machine</th></tr>"
         "</thead><tbody>\n";
  for (const auto &[version, machine] : page.machines) {
    out += "<tr><td>" + Escape(version) + "</td><td><a href=\"/machines/" +
           UrlEncode(machine) + "\">" + Escape(machine) + "</a></td></tr>\n";
  }
  out += "</tbody></table>\n<p class=\"pager\">";
  if (!page.next.empty()) {
    out += "<a rel=\"next\" href=\"/products/" + UrlEncode(p.name) +
           "?after=" + UrlEncode(page.next) + "\">next</a>";
  }
  return Html(200, out + "</p>\n" + PageEnd());
}

} // namespace collector::pages
