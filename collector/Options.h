// The collector's command line: one table of commands and one of options,
// read by both the parser and the help text, so a command or an option is
// added as one row.
#pragma once
#include <sys/socket.h>

#include <cstdint>
#include <functional>
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
  std::string command;    // a row of kCommands, or "help" / "version"
  std::string helpTopic;  // help: the command asked about, empty for all
  std::string listen = "127.0.0.1:" + std::to_string(kDefaultPort);
  std::string store = kDefaultStore;
  std::string tokensFile;
  size_t maxBody = kDefaultMaxBody;
  std::string tlsCert, tlsKey;
  int timeoutSeconds = 30;
  std::vector<std::string> files;  // import; render and backup take one, diff two
  std::string output;              // render, diff: the HTML file, empty for standard output
  bool json = false;               // diff: the changes as JSON on standard output
  bool all = false;                // diff: also values that change on every run
  int64_t retainDays = 0;          // serve: 0 keeps everything
  std::string logFormat;           // serve: "text", "json", or empty for the default
  std::string metricsListen;       // serve: a second address for /metrics alone
  std::optional<int64_t> beforeMs;     // prune
  std::optional<std::string> machine;  // prune
};

struct CommandRow {
  const char* name;
  const char* operands;  // "FILE...", or "" when it takes none
  const char* summary;
  const char* exitCodes;
};

struct OptionRow {
  const char* commands;  // the commands that take it, separated by spaces
  const char* name;      // "--listen"; a long option can also come from the environment
  const char* value;     // what the value is, as the usage line shows it; "" for a switch
  const char* defaultText;
  const char* help;
  // Checks and stores the value; a failure names what was wrong with it.
  Status (*set)(const std::string& value, Options& options);
};

extern const std::vector<CommandRow> kCommands;
extern const std::vector<OptionRow> kOptions;

// The environment variable that can give a long option: --max-body is
// DROMIKA_COLLECTOR_MAX_BODY.
std::string EnvironmentName(const std::string& option);

// Looks a variable up; std::nullopt when it is not set.
using Environment = std::function<std::optional<std::string>(const std::string& name)>;
// The process's own environment.
std::optional<std::string> ProcessEnvironment(const std::string& name);

// A failing status carries the message to print before the usage text.
// The command's long options are read from `environment` first, so the
// command line wins; "--help", "-h" and "help" ask for help, "--version"
// for the version.
Status ParseOptions(const std::vector<std::string>& args, Options& options, const Environment& environment = nullptr);

// The synopsis of every command, printed after a usage error.
std::string UsageText();
// What each option of `command` (every command when empty) does, its
// default, its environment variable and the exit codes.
std::string HelpText(const std::string& command);

// "64M", "512K", "1G" or a byte count; binary multiples. Under 2 GiB.
std::optional<size_t> ParseSize(const std::string& text);

// "ADDR:PORT" or "[ADDR]:PORT" with a numeric address, or "localhost:PORT".
Status ParseListen(const std::string& text, sockaddr_storage& address);
bool IsLoopback(const sockaddr_storage& address);

}  // namespace collector
