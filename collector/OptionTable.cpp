// The collector's commands and options. Adding one is adding a row here; the
// parser, the usage line, the help text and the environment variables all
// follow from the rows.
#include "collector/Options.h"
#include "collector/base/WholeNumber.h"

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

}  // namespace

const std::vector<CommandRow> kCommands = {
    {"serve", "", "Receives uploaded documents over HTTP, stores them and serves the pages and the API.",
     "0 stopped by SIGINT or SIGTERM; 1 the store could not be opened or the address could not be bound; "
     "2 a usage error or a refused setup (a missing --tokens, an unreadable tokens or TLS file)"},
    {"import", "FILE...", "Stores saved report files and analytics documents, or .gz of either.",
     "0 every file stored; 1 a file could not be stored or the store could not be opened; 2 a usage error"},
    {"render", "FILE", "Writes the page of one saved document (or .gz) as one HTML file; no store needed.",
     "0 written; 1 the file could not be read or the page not written; 2 a usage error"},
};

const std::vector<OptionRow> kOptions = {
    {"serve", "--listen", "ADDR:PORT", "127.0.0.1:8470",
     "The address to accept requests on: IPv4, [IPv6] or localhost. An address that is not loopback needs --tokens.",
     SetListen},
    {"serve import", "--store", "URL", kDefaultStore,
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
    {"render", "-o", "OUT.html", "standard output", "The HTML file to write.", SetOutput},
};

}  // namespace collector
