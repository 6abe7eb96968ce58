// The collector's commands and options. Adding one is adding a row here; the
// parser, the usage line, the help text and the environment variables all
// follow from the rows.
#include "collector/Options.h"
#include "collector/base/WholeNumber.h"
#include "collector/document/TimeText.h"

namespace collector {
namespace {

Status SetListen(const std::string& value, Options& options) {
  sockaddr_storage address;
  if (auto s = ParseListen(value, address); !s.ok()) return s;
  options.listen = value;
  return {};
}

Status SetStore(const std::string& value, Options& options) {
  options.store = value;
  return {};
}

Status SetTokens(const std::string& value, Options& options) {
  options.tokensFile = value;
  return {};
}

Status SetMaxBody(const std::string& value, Options& options) {
  const auto size = ParseSize(value);
  if (!size) return Invalid("--max-body wants a size under 2G such as 64M, not " + value);
  options.maxBody = *size;
  return {};
}

Status SetTlsCert(const std::string& value, Options& options) {
  options.tlsCert = value;
  return {};
}

Status SetTlsKey(const std::string& value, Options& options) {
  options.tlsKey = value;
  return {};
}

Status SetTimeout(const std::string& value, Options& options) {
  const auto seconds = ParseWholeNumber(value);
  if (!seconds || *seconds < 1 || *seconds > 3600) return Invalid("--timeout wants 1 to 3600 seconds, not " + value);
  options.timeoutSeconds = static_cast<int>(*seconds);
  return {};
}

Status SetOutput(const std::string& value, Options& options) {
  options.output = value;
  return {};
}

Status SetRetainDays(const std::string& value, Options& options) {
  const auto days = ParseWholeNumber(value);
  if (!days || *days < 1 || *days > 36500) return Invalid("--retain-days wants 1 to 36500 days, not " + value);
  options.retainDays = *days;
  return {};
}

Status SetLogFormat(const std::string& value, Options& options) {
  if (value != "text" && value != "json") return Invalid("--log-format wants text or json, not " + value);
  options.logFormat = value;
  return {};
}

Status SetMetricsListen(const std::string& value, Options& options) {
  sockaddr_storage address;
  if (auto s = ParseListen(value, address); !s.ok()) return Invalid("--metrics-listen: " + s.message());
  options.metricsListen = value;
  return {};
}

Status SetBefore(const std::string& value, Options& options) {
  options.beforeMs = ParseUtc(value);
  if (!options.beforeMs) return Invalid("--before wants a UTC date such as 2026-01-31, not " + value);
  return {};
}

Status SetMachine(const std::string& value, Options& options) {
  options.machine = value;
  return {};
}

Status SetJson(const std::string&, Options& options) {
  options.json = true;
  return {};
}

Status SetAll(const std::string&, Options& options) {
  options.all = true;
  return {};
}

}  // namespace

const std::vector<CommandRow> kCommands = {
    {"serve", "",
     "Receives uploaded documents over HTTP, stores them and serves the pages and the API. SIGHUP reloads the "
     "tokens file and the TLS certificate and key.",
     "0 stopped by SIGINT or SIGTERM; 1 the store could not be opened or the address could not be bound; "
     "2 a usage error or a refused setup (a missing --tokens, an unreadable tokens or TLS file)"},
    {"import", "FILE...", "Stores saved report files and analytics documents, or .gz of either.",
     "0 every file stored; 1 a file could not be stored or the store could not be opened; 2 a usage error"},
    {"render", "FILE", "Writes the page of one saved document (or .gz) as one HTML file; no store needed.",
     "0 written; 1 the file could not be read or the page not written; 2 a usage error"},
    {"diff", "OLD NEW", "Compares two saved reports (or .gz): a page, JSON, or on a terminal a short summary.",
     "0 nothing changed; 1 something changed; 2 an error (a file that cannot be read, a usage error)"},
    {"prune", "", "Removes the documents received before a date, with every row of theirs, in small batches.",
     "0 done; 1 the store could not be opened or a removal failed; 2 a usage error"},
    {"backup", "OUT.db", "Writes a consistent copy of a SQLite store, also while a collector serves from it.",
     "0 written; 1 the store could not be read or the copy not written; 2 a usage error"},
};

const std::vector<OptionRow> kOptions = {
    {"serve", "--listen", "ADDR:PORT", "127.0.0.1:8470",
     "The address to accept requests on: IPv4, [IPv6] or localhost. An address that is not loopback needs --tokens.",
     SetListen},
    {"serve import prune backup", "--store", "URL", kDefaultStore,
     "sqlite:FILE, or a postgresql:// URI (the PG* environment variables fill in what it leaves out).", SetStore},
    {"serve", "--tokens", "FILE", "none (loopback only)",
     "Bearer tokens, one per line (# starts a comment); uploads and queries then need one.", SetTokens},
    {"serve", "--max-body", "SIZE", "256M",
     "The largest document, as sent and decompressed (K, M, G; under 2G). Documents in flight may hold four times "
     "that in memory, one client address once that.",
     SetMaxBody},
    {"serve", "--tls-cert", "FILE", "none (plain HTTP)",
     "The PEM certificate chain to serve HTTPS with; needs --tls-key.", SetTlsCert},
    {"serve", "--tls-key", "FILE", "none", "The PEM private key of --tls-cert.", SetTlsKey},
    {"serve", "--timeout", "SECONDS", "30",
     "The time a sender has for a body (one more second per 64 KiB received) and a reader for an answer; 1 to 3600.",
     SetTimeout},
    {"serve", "--retain-days", "N", "none (keep everything)",
     "Removes documents received more than N days ago, in small batches in the background; 1 to 36500.",
     SetRetainDays},
    {"serve", "--log-format", "text|json", "json, text on a terminal",
     "One line per request on standard output, and one per refusal, store error, start, reload and stop.",
     SetLogFormat},
    {"serve", "--metrics-listen", "ADDR:PORT", "none (/metrics on --listen)",
     "Also answers GET /metrics, and only that, on this address, to anyone who reaches it.", SetMetricsListen},
    {"prune", "--before", "DATE", "", "Removes documents received before this UTC date or time.", SetBefore},
    {"prune", "--machine", "NAME", "every machine", "Removes only the documents of this machine.", SetMachine},
    {"render diff", "-o", "OUT.html", "standard output", "The HTML file to write.", SetOutput},
    {"diff", "--json", "", "", "Writes the changes as JSON on standard output instead of a page.", SetJson},
    {"diff", "--all", "", "",
     "Also reports the values that change on every run (free memory, clocks, uptime, process ids and times).",
     SetAll},
};

}  // namespace collector
