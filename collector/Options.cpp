#include "collector/Options.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "collector/base/Status.h"
#include "collector/base/WholeNumber.h"

namespace collector {

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

namespace {

constexpr const char* kProgram = "dromika-collector";
constexpr size_t kWidth = 100;
constexpr size_t kOptionColumn = 26;

bool IsHelpWord(const std::string& word) { return word == "--help" || word == "-h" || word == "help"; }

const CommandRow* FindCommand(const std::string& name) {
  for (const auto& row : kCommands) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

bool Takes(const OptionRow& row, const std::string& command) {
  const std::string list = std::string(" ") + row.commands + " ";
  return list.find(" " + command + " ") != std::string::npos;
}

const OptionRow* FindOption(const std::string& command, const std::string& name) {
  for (const auto& row : kOptions) {
    if (name == row.name && Takes(row, command)) return &row;
  }
  return nullptr;
}

bool IsSwitch(const OptionRow& row) { return !*row.value; }
bool HasEnvironment(const OptionRow& row) { return std::string(row.name).rfind("--", 0) == 0 && !IsSwitch(row); }

// Appends `text` word by word from where `out` ends, each further line
// starting at `indent` columns.
void AppendWrapped(std::string& out, const std::string& text, size_t indent) {
  const size_t lineStart = out.rfind('\n');
  size_t column = out.size() - (lineStart == std::string::npos ? 0 : lineStart + 1);
  bool first = true;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find(' ', at), text.size());
    const std::string word = text.substr(at, end - at);
    if (!first && column + 1 + word.size() > kWidth) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (!first) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    first = false;
    at = end + 1;
  }
  out += '\n';
}

std::string Synopsis(const CommandRow& command) {
  std::string words;
  for (const auto& row : kOptions) {
    if (Takes(row, command.name)) words += std::string(" [") + row.name + (IsSwitch(row) ? "" : " ") + row.value + "]";
  }
  if (*command.operands) words += std::string(" ") + command.operands;
  std::string out = "  " + std::string(kProgram) + " " + command.name;
  if (words.empty()) return out + "\n";
  out += ' ';
  AppendWrapped(out, words.substr(1), out.size());
  return out;
}

std::string CommandHelp(const CommandRow& command) {
  std::string out = Synopsis(command);
  AppendWrapped(out.append(4, ' '), command.summary, 4);
  for (const auto& row : kOptions) {
    if (!Takes(row, command.name)) continue;
    std::string line = std::string("    ") + row.name + (IsSwitch(row) ? "" : " ") + row.value;
    line.resize(std::max(line.size() + 1, kOptionColumn), ' ');
    std::string help = row.help;
    if (*row.defaultText) help += std::string(" Default: ") + row.defaultText + ".";
    if (HasEnvironment(row)) help += " Environment: " + EnvironmentName(row.name) + ".";
    AppendWrapped(out += line, help, kOptionColumn);
  }
  AppendWrapped(out += "    Exit codes: ", command.exitCodes, 6);
  return out;
}

std::string HelpSynopsis() {
  return "  " + std::string(kProgram) + " [COMMAND] --help | -h | help [COMMAND]\n  " + kProgram + " --version\n";
}

}  // namespace

std::string EnvironmentName(const std::string& option) {
  std::string name = "DROMIKA_COLLECTOR_";
  for (const char c : option.substr(option.find_first_not_of('-'))) {
    name += c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return name;
}

std::optional<std::string> ProcessEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value ? std::optional<std::string>(value) : std::nullopt;
}

std::string UsageText() {
  std::string out = "Usage:\n";
  for (const auto& command : kCommands) out += Synopsis(command);
  return out + HelpSynopsis();
}

std::string HelpText(const std::string& command) {
  if (const CommandRow* row = FindCommand(command)) return "Usage:\n" + CommandHelp(*row);
  std::string out = "Usage: " + std::string(kProgram) + " COMMAND [OPTION VALUE]... [FILE]...\n" + HelpSynopsis();
  for (const auto& row : kCommands) out += "\n" + CommandHelp(row);
  return out + "\nAn option on the command line wins over its environment variable.\n";
}

Status ParseOptions(const std::vector<std::string>& args, Options& options, const Environment& environment) {
  if (args.empty()) return Invalid("no command given");
  if (IsHelpWord(args[0]) || args[0] == "--version") {
    options.command = args[0] == "--version" ? "version" : "help";
    if (args.size() > 1 && (args[0] == "--version" || !FindCommand(args[1]) || args.size() > 2)) {
      return Invalid("unexpected " + args[1]);
    }
    options.helpTopic = args.size() > 1 ? args[1] : "";
    return {};
  }
  const CommandRow* command = FindCommand(args[0]);
  if (!command) return Invalid("unknown command " + args[0]);
  options.command = command->name;
  for (const auto& row : kOptions) {
    if (!environment || !HasEnvironment(row) || !Takes(row, command->name)) continue;
    const auto value = environment(EnvironmentName(row.name));
    if (!value) continue;
    if (auto s = row.set(*value, options); !s.ok()) return Invalid(EnvironmentName(row.name) + ": " + s.message());
  }
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.command = "help";
      options.helpTopic = command->name;
      return {};
    }
    if (const OptionRow* row = FindOption(command->name, arg); row && IsSwitch(*row)) {
      if (auto s = row->set("", options); !s.ok()) return s;
    } else if (row) {
      if (i + 1 >= args.size()) return Invalid(arg + " needs a value");
      if (auto s = row->set(args[++i], options); !s.ok()) return s;
    } else if (arg.rfind("--", 0) == 0) {
      return Invalid("unknown option " + arg);
    } else if (!*command->operands) {
      return Invalid(options.command + " takes no file names: " + arg);
    } else {
      options.files.push_back(arg);
    }
  }
  if (options.tlsCert.empty() != options.tlsKey.empty()) return Invalid("--tls-cert and --tls-key go together");
  if (options.command == "import" && options.files.empty()) return Invalid("import needs at least one file");
  if (options.command == "render" && options.files.size() != 1) return Invalid("render takes one file");
  if (options.command == "diff" && options.files.size() != 2) return Invalid("diff takes two files, the older first");
  if (options.json && !options.output.empty()) return Invalid("diff writes either --json or -o OUT.html");
  if (options.command == "prune" && !options.beforeMs) return Invalid("prune needs --before DATE");
  if (options.command == "backup" && options.files.size() != 1) return Invalid("backup takes one file to write");
  return {};
}

}  // namespace collector
