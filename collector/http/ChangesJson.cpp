#include "collector/http/ChangesJson.h"

#include "collector/document/TimeText.h"
#include "collector/http/Json.h"

namespace collector {
namespace {

void Side(JsonWriter& json, std::string_view name, const ReportRef& ref) {
  json.OpenObject(name).Field("id", ref.id);
  if (ref.receivedMs) json.Field("received", FormatUtc(*ref.receivedMs));
  else json.Field("received", std::optional<int64_t>());
  if (!ref.file.empty()) json.Field("file", ref.file);
  json.Close();
}

void Entries(JsonWriter& json, std::string_view name, const std::vector<RowEntry>& entries) {
  json.OpenArray(name);
  for (const RowEntry& e : entries) {
    json.Open().Field("key", e.key).OpenObject("fields");
    for (const auto& [field, value] : e.fields) json.Field(field, value);
    json.Close().Close();
  }
  json.CloseArray();
}

void Changed(JsonWriter& json, const std::vector<FieldChange>& changes) {
  json.OpenArray("changed");
  for (const FieldChange& c : changes) {
    json.Open().Field("key", c.key).Field("field", c.field).Field("from", c.from).Field("to", c.to);
    if (c.delta) json.Field("delta", c.delta).Decimal("percent", c.percent);
    if (!c.lines.empty()) {
      json.OpenArray("lines");
      for (const std::string& line : c.lines) json.Field("", line);
      json.CloseArray();
    }
    json.Close();
  }
  json.CloseArray();
}

}  // namespace

std::string ChangesJson(const std::string& machine, const ReportRef& from, const ReportRef& to,
                        const ReportChanges& changes) {
  JsonWriter json;
  json.Open().Field("machine", machine);
  Side(json, "from", from);
  Side(json, "to", to);
  json.OpenArray("sections");
  for (const SectionChanges& s : changes.sections) {
    json.Open().Field("section", s.section);
    if (!s.note.empty()) json.Field("note", s.note);
    Entries(json, "added", s.added);
    Entries(json, "removed", s.removed);
    Changed(json, s.changed);
    if (s.omitted) json.Field("omitted", static_cast<int64_t>(s.omitted));
    json.Close();
  }
  return json.CloseArray().Close().Text() + "\n";
}

}  // namespace collector
