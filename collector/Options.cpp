#include "collector/Options.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

#include "collector/base/Status.h"
#include "collector/base/WholeNumber.h"
#include "collector/document/TimeText.h"

namespace collector {

const char* const kUsage =
    "Usage: dromika-collector serve [--listen ADDR:PORT] [--store URL] [--tokens FILE] [--max-body SIZE]\n"
    "                               [--tls-cert FILE --tls-key FILE] [--timeout SECONDS] [--retain-days N]\n"
    "       dromika-collector import [--store URL] FILE...\n"
    "       dromika-collector render FILE [-o OUT.html]\n"
    "       dromika-collector prune --before DATE [--machine NAME] [--store URL]\n"
    "       dromika-collector backup [--store URL] OUT.db\n"
    "       dromika-collector diff OLD NEW [-o OUT.html] [--json] [--all]\n"
    "The store is sqlite:FILE (default sqlite:dromika.db) or a postgresql:// URI.\n";

std::optional<size_t> ParseSize(const std::string& text) {
  constexpr int64_t kLimit = int64_t{1} << 31;
  const size_t digits = text.find_first_not_of("0123456789");
  const std::string suffix = digits == std::string::npos ? "" : text.substr(digits);
  const int shift = suffix.empty() ? 0 : suffix == "K" || suffix == "k" ? 10 : suffix == "M" || suffix == "m" ? 20
                  : suffix == "G" || suffix == "g"                      ? 30 : -1;
  const auto count = ParseWholeNumber(std::string_view(text).substr(0, digits));
  if (shift < 0 || !count || *count <= 0 || *count >= (kLimit >> shift)) return std::nullopt;
  return static_cast<size_t>(*count << shift);
}

Status ParseListen(const std::string& text, sockaddr_storage& address) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return Invalid("--listen wants ADDR:PORT, not " + text);
  std::string host = text.substr(0, colon);
  const std::string portText = text.substr(colon + 1);
  const auto port = ParseWholeNumber(portText);
  if (!port || *port < 0 || *port > 65535) return Invalid("--listen: not a port: " + portText);
  if (host == "localhost") host = "127.0.0.1";
  address = sockaddr_storage{};
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<uint16_t>(*port));
    if (inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &v6->sin6_addr) == 1) return {};
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<uint16_t>(*port));
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) return {};
  }
  return Invalid("--listen: not a numeric address: " + host);
}

bool IsLoopback(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    return (ntohl(reinterpret_cast<const sockaddr_in*>(&address)->sin_addr.s_addr) >> 24) == 127;
  }
  const auto& v6 = reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr;
  return address.ss_family == AF_INET6 && std::memcmp(&v6, &in6addr_loopback, sizeof v6) == 0;
}

Status ParseOptions(const std::vector<std::string>& args, Options& options) {
  if (args.empty()) return Invalid("no command given");
  options.command = args[0];
  if (options.command != "serve" && options.command != "import" && options.command != "render" &&
      options.command != "prune" && options.command != "backup" && options.command != "diff") {
    return Invalid("unknown command " + args[0]);
  }
  const bool serve = options.command == "serve", diff = options.command == "diff";
  const bool render = options.command == "render" || diff;
  const bool prune = options.command == "prune";
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (render && arg == "-o" && i + 1 < args.size()) {
      options.output = args[++i];
      continue;
    }
    if (diff && (arg == "--json" || arg == "--all")) {
      (arg == "--json" ? options.json : options.all) = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) {
      if (serve || prune) return Invalid(options.command + " takes no file names: " + arg);
      options.files.push_back(arg);
      continue;
    }
    if (i + 1 >= args.size()) return Invalid(arg + " needs a value");
    const std::string& value = args[++i];
    if (!render && arg == "--store") {
      options.store = value;
    } else if (serve && arg == "--listen") {
      options.listen = value;
    } else if (serve && arg == "--tokens") {
      options.tokensFile = value;
    } else if (serve && arg == "--max-body") {
      auto size = ParseSize(value);
      if (!size) return Invalid("--max-body wants a size under 2G such as 64M, not " + value);
      options.maxBody = *size;
    } else if (serve && arg == "--tls-cert") {
      options.tlsCert = value;
    } else if (serve && arg == "--tls-key") {
      options.tlsKey = value;
    } else if (serve && arg == "--timeout") {
      const auto seconds = ParseWholeNumber(value);
      if (!seconds || *seconds < 1 || *seconds > 3600) return Invalid("--timeout wants 1 to 3600 seconds, not " + value);
      options.timeoutSeconds = static_cast<int>(*seconds);
    } else if (serve && arg == "--retain-days") {
      const auto days = ParseWholeNumber(value);
      if (!days || *days < 1 || *days > 36500) return Invalid("--retain-days wants 1 to 36500 days, not " + value);
      options.retainDays = *days;
    } else if (prune && arg == "--before") {
      options.beforeMs = ParseUtc(value);
      if (!options.beforeMs) return Invalid("--before wants a UTC date such as 2026-01-31, not " + value);
    } else if (prune && arg == "--machine") {
      options.machine = value;
    } else {
      return Invalid("unknown option " + arg);
    }
  }
  if (options.tlsCert.empty() != options.tlsKey.empty()) return Invalid("--tls-cert and --tls-key go together");
  if (options.command == "import" && options.files.empty()) return Invalid("import needs at least one file");
  if (diff && options.files.size() != 2) return Invalid("diff takes two files, the older first");
  if (diff && options.json && !options.output.empty()) return Invalid("diff writes either --json or -o OUT.html");
  if (render && !diff && options.files.size() != 1) return Invalid("render takes one file");
  if (prune && !options.beforeMs) return Invalid("prune needs --before DATE");
  if (options.command == "backup" && options.files.size() != 1) return Invalid("backup takes one file to write");
  return {};
}

}  // namespace collector
