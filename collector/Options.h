// The collector's command line.
#pragma once
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "collector/base/Status.h"

namespace collector {

// The port a collector listens on unless told otherwise.
constexpr uint16_t kDefaultPort = 8470;
constexpr const char* kDefaultStore = "sqlite:dromika.db";
constexpr size_t kDefaultMaxBody = 256u << 20;

struct Options {
  std::string command;  // "serve", "import", "render", "diff", "prune" or "backup"
  std::string listen = "127.0.0.1:" + std::to_string(kDefaultPort);
  std::string store = kDefaultStore;
  std::string tokensFile;
  size_t maxBody = kDefaultMaxBody;
  std::string tlsCert, tlsKey;
  int timeoutSeconds = 30;
  std::vector<std::string> files;  // import; render takes one
  std::string output;              // render, diff: the HTML file, empty for standard output
  bool json = false;               // diff: the changes as JSON on standard output
  bool all = false;                // diff: also values that change on every run
  int64_t retainDays = 0;          // serve: 0 keeps everything
  std::optional<int64_t> beforeMs; // prune
  std::optional<std::string> machine;  // prune
};

// A failing status carries the message to print before the usage text.
Status ParseOptions(const std::vector<std::string>& args, Options& options);

// "64M", "512K", "1G" or a byte count; binary multiples. Under 2 GiB.
std::optional<size_t> ParseSize(const std::string& text);

// "ADDR:PORT" or "[ADDR]:PORT" with a numeric address, or "localhost:PORT".
Status ParseListen(const std::string& text, sockaddr_storage& address);
bool IsLoopback(const sockaddr_storage& address);

extern const char* const kUsage;

}  // namespace collector
