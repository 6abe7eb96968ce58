#include "client/ClientScript.h"

#include <charconv>
#include <functional>
#include <map>
#include <vector>

#include "runtime/PathBytes.h"
#include "runtime/Sequence.h"
#include "runtime/Str.h"

namespace tally::script {
namespace {

using Fields = std::vector<std::string>;

// What a typed line gives back: the call's status, the value field, and
// whether the value itself reports a failure (Process's returned status).
struct Outcome {
  qtl::status status;
  std::string value;
  bool valueFailed = false;
};

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

std::string StatusField(const qtl::status& status) {
  return status.ok() ? std::string("ok") : OneLine(str::as_u8string(status.text()));
}

std::wstring Wide(const std::string& text) { return str::as_wstring(text); }

qtl::status BadField(const std::string& what, const std::string& text) {
  return qtl::status::error(L"Not " + Wide(what) + L": \"" + Wide(text) + L"\"");
}

qtl::status Number(const std::string& text, uint32_t& value) {
  return ParseNumber(text, value) ? qtl::ok_status() : BadField("a 32-bit number", text);
}

qtl::status Flag(const std::string& text, bool& value) {
  if (text != "t" && text != "f") return BadField("a flag (t or f)", text);
  value = text == "t";
  return qtl::ok_status();
}

struct TypedCall {
  size_t arguments;
  std::function<Outcome(TallyClient&, const Fields&)> run;
};

Outcome Plain(qtl::status status) { return {std::move(status), std::string()}; }

// The calls by name: how many argument fields each takes and how it is made.
const std::map<std::string, TypedCall>& Calls() {
  static const std::map<std::string, TypedCall> calls = {
      {"TrackEvent", {1, [](TallyClient& c, const Fields& f) { return Plain(c.TrackEvent(Wide(f[1]))); }}},
      {"TrackValueEvent", {2, [](TallyClient& c, const Fields& f) {
         uint32_t value = 0;
         qtl::status parsed = Number(f[2], value);
         return Plain(parsed.ok() ? c.TrackValueEvent(Wide(f[1]), value) : parsed);
       }}},
      {"TrackTimedEventStart", {1, [](TallyClient& c, const Fields& f) {
         uint32_t id = 0;
         qtl::status status = c.TrackTimedEventStart(Wide(f[1]), id);
         return Outcome{status, std::to_string(id)};
       }}},
      {"TrackTimedEventEnd", {1, [](TallyClient& c, const Fields& f) {
         uint32_t id = 0;
         qtl::status parsed = Number(f[1], id);
         return Plain(parsed.ok() ? c.TrackTimedEventEnd(id) : parsed);
       }}},
      {"SetExcludePII", {1, [](TallyClient& c, const Fields& f) {
         bool flag = false;
         qtl::status parsed = Flag(f[1], flag);
         return Plain(parsed.ok() ? c.SetExcludePII(flag) : parsed);
       }}},
      {"AddStandardGroup", {1, [](TallyClient& c, const Fields& f) {
         uint32_t group = 0;
         qtl::status parsed = Number(f[1], group);
         return Plain(parsed.ok() ? c.AddStandardGroup(group) : parsed);
       }}},
      {"StartGroup", {1, [](TallyClient& c, const Fields& f) { return Plain(c.StartGroup(Wide(f[1]))); }}},
      {"SetDataPoint", {2, [](TallyClient& c, const Fields& f) { return Plain(c.SetDataPoint(Wide(f[1]), Wide(f[2]))); }}},
      {"EndGroup", {0, [](TallyClient& c, const Fields&) { return Plain(c.EndGroup()); }}},
      {"SaveTo", {1, [](TallyClient& c, const Fields& f) { return Plain(c.SaveTo(sys::path::FromHostBytes(f[1]))); }}},
      {"Process", {0, [](TallyClient& c, const Fields&) {
         qtl::status processed;
         qtl::status status = c.Process(processed);
         return Outcome{status, StatusField(processed), !processed.ok()};
       }}},
  };
  return calls;
}

std::string Join(const std::string& status, const std::string& value) { return status + "\t" + OneLine(value); }

qtl::status RunRaw(TallyClient& client, const std::string& line, std::string& output, bool& failed) {
  const size_t tab = line.find('\t');
  const std::string name = line.substr(0, tab);
  const std::string arguments = tab == std::string::npos ? std::string() : line.substr(tab + 1);
  std::string result, value;
  qtl::status sent = client.Call(name, arguments, result);
  if (!sent.ok()) return sent;
  qtl::status status;
  if (!tally::wire::DecodeResult(result, status, value)) {
    status = qtl::status::error(L"Malformed reply");
    value = result;
  }
  output = Join(StatusField(status), value);
  // Process's value is the text of the status it returned, empty for success.
  failed = !status.ok() || (name == "Process" && !value.empty());
  return qtl::ok_status();
}

Outcome RunUnknown(TallyClient& client, const Fields& fields) {
  qrn::grammar::Sequence items{Fields(fields.begin() + 1, fields.end())};
  std::string arguments, result;
  items.Encode(arguments);
  Outcome outcome;
  outcome.status = client.Call(fields[0], arguments, result);
  if (outcome.status.ok() && !tally::wire::DecodeResult(result, outcome.status, outcome.value)) {
    outcome.status = qtl::status::error(L"Malformed reply");
  }
  return outcome;
}

}  // namespace

bool ParseNumber(const std::string& text, uint32_t& value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* begin = text.data() + (hex ? 2 : 0);
  const char* end = text.data() + text.size();
  if (begin == end || *begin == '-' || *begin == '+') return false;
  uint32_t parsed = 0;
  const auto result = std::from_chars(begin, end, parsed, hex ? 16 : 10);
  if (result.ec != std::errc() || result.ptr != end) return false;
  value = parsed;
  return true;
}

qtl::status RunLine(TallyClient& client, const std::string& input, bool raw, std::string& output, bool& failed) {
  output.clear();
  failed = false;
  std::string line = input;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return qtl::ok_status();
  if (raw) return RunRaw(client, line, output, failed);
  const Fields fields = str::split(line, '\t');
  const auto call = Calls().find(fields[0]);
  Outcome outcome;
  if (call == Calls().end()) {
    outcome = RunUnknown(client, fields);
  } else if (fields.size() != call->second.arguments + 1) {
    outcome.status = qtl::status::error(L"Wrong number of fields for " + Wide(fields[0]) + L": " +
                                        std::to_wstring(call->second.arguments) + L" arguments expected, " +
                                        std::to_wstring(fields.size() - 1) + L" given");
  } else {
    outcome = call->second.run(client, fields);
  }
  if (!client.Connected()) return outcome.status.ok() ? qtl::status::error(L"Not connected to the server") : outcome.status;
  output = Join(StatusField(outcome.status), outcome.value);
  failed = !outcome.status.ok() || outcome.valueFailed;
  return qtl::ok_status();
}

}  // namespace tally::script
