#include "collector/http/Api.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "collector/base/Log.h"
#include "collector/base/Status.h"
#include "collector/base/Text.h"
#include "collector/document/Compression.h"
#include "collector/http/ChangesJson.h"
#include "collector/http/Json.h"
#include "collector/http/Metrics.h"
#include "collector/pages/ChangesData.h"
#include "collector/pages/SitePages.h"
#include "collector/pages/FleetPages.h"
#include "collector/document/TimeText.h"
#include "collector/base/WholeNumber.h"

namespace collector {
namespace {

// A refusal's kind by its status; a few callers name a narrower one.
const char* CauseOf(int code) {
  switch (code) {
    case 400: return "bad_request";
    case 401: return "unauthorized";
    case 403: return "forbidden";
    case 404: return "not_found";
    case 405: return "method_not_allowed";
    case 413: return "too_large";
    case 414: return "request_line_too_long";
    case 415: return "unsupported_media_type";
    case 422: return "document_refused";
    case 429: return "too_many_sign_ins";
    case 431: return "headers_too_large";
    case 503: return "unavailable";
    default: return code >= 400 ? "error" : "";
  }
}

constexpr int64_t kDefaultLimit = 100;
constexpr int64_t kMaxLimit = 1000;

Status ReadLimit(const QueryArgs& args, int64_t& limit, int64_t fallback = kDefaultLimit) {
  limit = fallback;
  auto it = args.find("limit");
  if (it == args.end()) return {};
  auto value = ParseWholeNumber(it->second);
  if (!value || *value < 1 || *value > kMaxLimit) {
    return Invalid("limit: a whole number from 1 to " + std::to_string(kMaxLimit) + ": " + it->second);
  }
  limit = *value;
  return {};
}

// Fills `filter` from the arguments; fails when one cannot be read.
Status ReadFilter(const QueryArgs& args, Filter& filter) {
  for (const auto& [key, value] : args) {
    if (key == "since" || key == "until") {
      auto time = ParseUtc(value);
      if (!time) return Invalid(key + ": not a UTC time or Unix milliseconds: " + value);
      (key == "since" ? filter.sinceMs : filter.untilMs) = time;
    } else if (key == "machine") {
      filter.machine = value;
    } else if (key == "name") {
      filter.name = value;
    }
  }
  return ReadLimit(args, filter.limit, filter.limit);
}

void WriteDocument(JsonWriter& json, const DocumentInfo& d) {
  json.Open()
      .Field("id", d.id)
      .Field("received", FormatUtc(d.receivedMs))
      .Field("sender", d.sender)
      .Field("machine", d.machine)
      .Field("kind", d.kind)
      .Field("size", d.size)
      .Field("sha256", d.sha256)
      .Field("state", d.state)
      .Field("message", d.message)
      .Close();
}

Response Remove(Store& store, const Selection& selection, const std::string& what, const std::string& caller) {
  Removed removed;
  if (auto s = store.RemoveDocuments(selection, removed); !s.ok()) return StoreFailure(s);
  if (removed.documents == 0) return ErrorResponse(404, "no documents of " + what);
  LogLine("removed")
      .Text("token", caller)
      .Text("what", what)
      .Number("documents", removed.documents)
      .Number("events", removed.events)
      .Write();
  return {200, "application/json", RemovedJson(removed)};
}


// "next": the cursor of the following page, or null on the last.
JsonWriter& NextField(JsonWriter& json, const std::string& next) {
  return next.empty() ? json.Field("next", std::optional<int64_t>()) : json.Field("next", next);
}

JsonWriter& VersionsJson(JsonWriter& json, const ProductCount& product) {
  json.OpenArray("versions");
  for (const VersionCount& v : product.versions) json.Open().Field("version", v.version).Field("machines", v.machines).Close();
  return json.CloseArray();
}

}  // namespace

Response ApiDocuments(Store& store, const QueryArgs& args) {
  Filter filter;
  filter.limit = kDefaultLimit;
  if (auto s = ReadFilter(args, filter); !s.ok()) return ErrorResponse(400, s.message());
  std::vector<DocumentInfo> documents;
  if (auto s = store.ListDocuments(filter, documents); !s.ok()) return StoreFailure(s);
  JsonWriter json;
  json.Open().OpenArray("documents");
  for (const auto& d : documents) WriteDocument(json, d);
  return {200, "application/json", json.CloseArray().Close().Text()};
}

Response ApiDocument(Store& store, std::string_view idText) {
  const auto id = ParseWholeNumber(idText);
  std::optional<DocumentInfo> document;
  if (id) {
    if (auto s = store.Document(*id, document); !s.ok()) return StoreFailure(s);
  }
  if (!document) return ErrorResponse(404, "no such document: " + std::string(idText));
  JsonWriter json;
  WriteDocument(json, *document);
  return {200, "application/json", json.Text()};
}

Response ApiRemoveDocument(Store& store, std::string_view idText, const std::string& caller) {
  const auto id = ParseWholeNumber(idText);
  if (!id) return ErrorResponse(404, "no such document: " + std::string(idText));
  Selection selection;
  selection.id = *id;
  return Remove(store, selection, "document " + std::to_string(*id), caller);
}

Response ApiRemoveMachine(Store& store, std::string_view name, const std::string& caller) {
  Selection selection;
  selection.machine = std::string(name);
  selection.limit = INT64_MAX;  // all of them, in the one transaction
  return Remove(store, selection, "machine " + std::string(name), caller);
}

Response ApiRawDocument(Store& store, std::string_view idText) {
  const auto id = ParseWholeNumber(idText);
  if (!id) return ErrorResponse(404, "no such document: " + std::string(idText));
  std::string packed;
  bool found = false;
  if (auto s = store.PackedBody(*id, packed, found); !s.ok()) return StoreFailure(s);
  if (!found) return ErrorResponse(404, "no such document: " + std::string(idText));
  Response response{200, "application/xml", {}};
  if (auto s = Unpack(packed, response.body); !s.ok()) return ErrorResponse(500, s.message());
  return response;
}

Response ApiEventSummary(Store& store, const QueryArgs& args) {
  if (args.count("by")) return ApiEventBreakdown(store, args);
  Filter filter;
  if (auto s = ReadFilter(args, filter); !s.ok()) return ErrorResponse(400, s.message());
  std::vector<EventSummary> events;
  if (auto s = store.SummarizeEvents(filter, events); !s.ok()) return StoreFailure(s);
  JsonWriter json;
  json.Open().OpenArray("events");
  for (const auto& e : events) {
    json.Open()
        .Field("name", e.name)
        .Field("count", e.count)
        .Field("documents", e.documents)
        .Field("machines", e.machines)
        .Field("value_sum", e.valueSum)
        .OpenObject("elapsed_ms")
        .Field("p50", e.p50)
        .Field("p90", e.p90)
        .Field("p99", e.p99)
        .Close()
        .Close();
  }
  return {200, "application/json", json.CloseArray().Close().Text()};
}

Response ApiMachines(Store& store, const QueryArgs& args) {
  MachineQuery query;
  if (auto s = pages::ReadMachineQuery(args, query); !s.ok()) return ErrorResponse(400, s.message());
  MachinePage page;
  if (auto s = store.FindMachines(query, page); !s.ok()) {
    return s.code() == StatusCode::kInvalid ? ErrorResponse(400, s.message()) : StoreFailure(s);
  }
  const std::vector<MachineInfo>& machines = page.machines;
  JsonWriter json;
  json.Open().OpenArray("machines");
  for (const auto& m : machines) {
    json.Open()
        .Field("name", m.name)
        .Field("documents", m.documents)
        .Field("last_received", FormatUtc(m.lastReceivedMs))
        .Field("os_caption", m.facts.osCaption)
        .Field("os_version", m.facts.osVersion)
        .Field("processor", m.facts.processor)
        .Field("logical_processors", m.facts.logicalProcessors)
        .Field("ram_bytes", m.facts.ramBytes)
        .OpenArray("disks");
    for (const auto& d : m.facts.disks) {
      json.Open().Field("drive", d.drive).Field("free_bytes", d.freeBytes).Field("available_bytes", d.availableBytes);
      json.Close();
    }
    json.CloseArray().Close();
  }
  json.CloseArray();
  return {200, "application/json", NextField(json, page.next).Close().Text()};
}

Response ApiProducts(Store& store, const QueryArgs& args) {
  ProductQuery query;
  if (auto it = args.find("q"); it != args.end()) query.text = it->second;
  if (auto it = args.find("after"); it != args.end()) query.after = it->second;
  if (auto s = ReadLimit(args, query.limit); !s.ok()) return ErrorResponse(400, s.message());
  ProductPage page;
  if (auto s = store.Products(query, page); !s.ok()) {
    return s.code() == StatusCode::kInvalid ? ErrorResponse(400, s.message()) : StoreFailure(s);
  }
  JsonWriter json;
  json.Open().OpenArray("products");
  for (const ProductCount& p : page.products) VersionsJson(json.Open().Field("name", p.name).Field("machines", p.machines), p).Close();
  json.CloseArray();
  return {200, "application/json", NextField(json, page.next).Close().Text()};
}

Response ApiProduct(Store& store, std::string_view name, const QueryArgs& args) {
  int64_t limit = kMaxLimit;
  std::string after;
  if (auto it = args.find("after"); it != args.end()) after = it->second;
  if (auto s = ReadLimit(args, limit, kMaxLimit); !s.ok()) return ErrorResponse(400, s.message());
  ProductMachinesPage page;
  if (auto s = store.ProductMachines(std::string(name), after, limit, page); !s.ok()) {
    return s.code() == StatusCode::kInvalid ? ErrorResponse(400, s.message()) : StoreFailure(s);
  }
  if (!page.product) return ErrorResponse(404, "no machine has a product named " + std::string(name));
  JsonWriter json;
  json.Open().Field("name", page.product->name).Field("machines", page.product->machines).OpenArray("versions");
  for (const VersionCount& v : page.product->versions) {
    json.Open().Field("version", v.version).Field("machines", v.machines).OpenArray("names");
    for (const auto& [version, machine] : page.machines) {
      if (version == v.version) json.Value(machine);
    }
    json.CloseArray().Close();
  }
  json.CloseArray();
  return {200, "application/json", NextField(json, page.next).Close().Text()};
}

Response ApiChanges(Store& store, std::string_view machine, const QueryArgs& args) {
  pages::ChangesData data;
  if (auto s = pages::GatherChanges(store, std::string(machine), args, data); !s.ok()) {
    return ErrorResponse(pages::ChangesErrorCode(s), s.message());
  }
  return {200, "application/json", ChangesJson(data.machine, data.from, data.to, data.changes)};
}

Response ApiHealth(Store& store, int64_t receivingBytes) {
  int64_t schema = 0;
  if (auto s = store.Health(schema); !s.ok()) {
    return {503, "application/json",
            JsonWriter().Open().Field("status", "unavailable").Field("error", s.message()).Close().Text()};
  }
  return {200, "application/json",
          JsonWriter()
              .Open()
              .Field("status", "ok")
              .Field("store", store.Backend())
              .Field("schema", schema)
              .Field("receiving_bytes", receivingBytes)
              .Close()
              .Text()};
}

std::string RemovedJson(const Removed& removed) {
  return JsonWriter()
      .Open()
      .Field("documents", removed.documents)
      .Field("events", removed.events)
      .Field("groups", removed.groups)
      .Field("data_points", removed.dataPoints)
      .Field("machine_facts", removed.machineFacts)
      .Field("disks", removed.disks)
      .Close()
      .Text();
}

Response ErrorResponse(int code, std::string_view message) {
  Response response{code, "application/json", ErrorJson(message)};
  response.cause = CauseOf(code);
  response.reason = message;
  return response;
}

Response StoreFailure(const Status& s) {
  TheMetrics().StoreError();
  LogLine("store_error").Text("message", s.message()).Write();
  Response response = ErrorResponse(503, "the store failed: " + s.message());
  response.cause = "store";
  return response;
}

Response AnswerIngest(const Status& stored, const IngestResult& result) {
  if (stored.code() == StatusCode::kInvalid) return ErrorResponse(422, "document refused: " + stored.message());
  if (!stored.ok()) return StoreFailure(stored);
  const bool unparsed = result.rows.state == ParseState::kUnparsed;
  const int code = !result.put.created ? 200 : unparsed ? 202 : 201;
  JsonWriter json;
  json.Open()
      .Field("id", result.put.id)
      .Field("events", result.rows.events)
      .Field("groups", result.rows.groups)
      .Field("blocks", result.rows.blocks);
  if (unparsed) json.Field("state", "unparsed").Field("message", result.rows.message);
  return {code, "application/json", json.Close().Text()};
}

bool IsXmlContentType(std::string_view value) {
  std::string type = AsciiLower(value.substr(0, value.find(';')));
  type.erase(std::remove_if(type.begin(), type.end(), [](unsigned char c) { return std::isspace(c); }), type.end());
  return type == "application/xml" || type == "text/xml";
}

}  // namespace collector
