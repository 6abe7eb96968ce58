#include "client/ClientScript.h"

#include <charconv>
#include <map>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "runtime/PathBytes.h"
#include "runtime/Sequence.h"
#include "runtime/Str.h"

namespace tally::script {
namespace {

namespace calls = qrn::analytics::calls;
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

Outcome Plain(qtl::status status) { return {std::move(status), std::string()}; }

// One field's text as the value of the type a call takes.
qtl::status ReadField(const std::string& text, std::wstring& value) {
  value = Wide(text);
  return qtl::ok_status();
}
qtl::status ReadField(const std::string& text, uint32_t& value) { return Number(text, value); }
qtl::status ReadField(const std::string& text, bool& value) { return Flag(text, value); }
// A path given as the host's bytes, sent as TallyClient::SaveTo sends one.
qtl::status ReadField(const std::string& text, std::string& value) {
  value = sys::path::ToHostBytes(sys::path::FromHostBytes(text));
  return qtl::ok_status();
}

// Reads the argument fields (after the name) in order; the first that does not fit answers.
template <class Tuple, size_t... I>
qtl::status ReadFields(const Fields& fields, Tuple& values, std::index_sequence<I...>) {
  qtl::status status = qtl::ok_status();
  ((status = status.ok() ? ReadField(fields[I + 1], std::get<I>(values)) : status), ...);
  return status;
}

Outcome WithValue(qtl::status status, uint32_t id) { return {std::move(status), std::to_string(id)}; }
Outcome WithValue(qtl::status status, const qtl::status& processed) {
  return {std::move(status), StatusField(processed), !processed.ok()};
}

template <class Call>
Outcome Run(TallyClient& client, const Fields& fields) {
  using Arguments = calls::ArgumentsOf<Call>;
  using Result = calls::ResultOf<Call>;
  Arguments values;
  qtl::status read = ReadFields(fields, values, std::make_index_sequence<std::tuple_size_v<Arguments>>{});
  if (!read.ok()) return Plain(read);
  if constexpr (std::is_void_v<Result>) {
    return Plain(client.Invoke<Call>(values));
  } else {
    Result result{};
    qtl::status status = client.Invoke<Call>(values, &result);
    return WithValue(std::move(status), result);
  }
}

struct TypedCall {
  size_t arguments;
  Outcome (*run)(TallyClient&, const Fields&);
};

template <class... Call>
std::map<std::string, TypedCall> MakeCalls(const std::tuple<Call...>*) {
  return {{Call::kName, {std::tuple_size_v<calls::ArgumentsOf<Call>>, &Run<Call>}}...};
}

// The calls by name: how many argument fields each takes and how it is made.
const std::map<std::string, TypedCall>& Calls() {
  static const std::map<std::string, TypedCall> table = MakeCalls(static_cast<const calls::All*>(nullptr));
  return table;
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
