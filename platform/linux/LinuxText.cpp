#include "platform/linux/LinuxText.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace platform::linux_text {
namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t start = text.find_first_not_of(blanks);
  if (start == std::string::npos) return std::string();
  return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::optional<std::string> Unquote(const std::string& value) {
  if (value.empty() || (value[0] != '"' && value[0] != '\'')) return value;
  const char quote = value[0];
  std::string out;
  for (size_t i = 1; i < value.size(); ++i) {
    if (value[i] == quote) return i + 1 == value.size() ? std::optional<std::string>(out) : std::nullopt;
    if (quote == '"' && value[i] == '\\' && i + 1 < value.size()) ++i;
    out += value[i];
  }
  return std::nullopt;  // no closing quote
}

}  // namespace

std::map<std::string, std::string> ParseOsRelease(const std::string& text) {
  std::map<std::string, std::string> values;
  for (const auto& raw : Lines(text)) {
    const std::string line = Trim(raw);
    const size_t equals = line.find('=');
    if (line.empty() || line[0] == '#' || equals == std::string::npos || equals == 0) continue;
    if (auto value = Unquote(line.substr(equals + 1))) values.emplace(line.substr(0, equals), *value);
  }
  return values;
}

std::map<std::string, uint64_t> ParseMeminfo(const std::string& text) {
  std::map<std::string, uint64_t> values;
  for (const auto& line : Lines(text)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::istringstream rest(line.substr(colon + 1));
    uint64_t number = 0;
    if (rest >> number) values.emplace(line.substr(0, colon), number);
  }
  return values;
}

std::vector<std::map<std::string, std::string>> ParseCpuinfo(const std::string& text) {
  std::vector<std::map<std::string, std::string>> blocks(1);
  for (const auto& line : Lines(text)) {
    const size_t colon = line.find(':');
    if (Trim(line).empty()) {
      if (!blocks.back().empty()) blocks.emplace_back();
    } else if (colon != std::string::npos) {
      blocks.back().emplace(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
  }
  if (blocks.back().empty()) blocks.pop_back();
  return blocks;
}

std::optional<ProcessStat> ParseProcessStat(const std::string& line) {
  const size_t open = line.find('(');
  const size_t close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
  ProcessStat stat;
  stat.name = line.substr(open + 1, close - open - 1);
  std::istringstream fields(line.substr(close + 1));
  std::vector<std::string> f;  // f[0] is field 3 (state)
  for (std::string field; fields >> field;) f.push_back(field);
  if (f.size() < 22 || f[0].size() != 1) return std::nullopt;
  auto number = [&](size_t field) -> uint64_t { return std::strtoull(f[field - 3].c_str(), nullptr, 10); };
  auto signedNumber = [&](size_t field) -> int64_t { return std::strtoll(f[field - 3].c_str(), nullptr, 10); };
  stat.parentId = signedNumber(4);
  stat.minorFaults = number(10);
  stat.majorFaults = number(12);
  stat.userTicks = number(14);
  stat.kernelTicks = number(15);
  stat.nice = signedNumber(19);
  stat.threads = signedNumber(20);
  stat.startTicks = number(22);
  stat.virtualBytes = number(23);
  stat.residentPages = number(24);
  if (f.size() >= 39) stat.policy = signedNumber(41);
  return stat;
}

std::optional<int64_t> ParseBootTime(const std::string& text) {
  for (const auto& line : Lines(text)) {
    long long seconds = 0;
    if (std::sscanf(line.c_str(), "btime %lld", &seconds) == 1) return seconds;
  }
  return std::nullopt;
}

std::string CommandLineOf(const std::string& cmdline) {
  std::string text = cmdline;
  while (!text.empty() && text.back() == '\0') text.pop_back();
  for (char& c : text) {
    if (c == '\0') c = ' ';
  }
  return text;
}

std::optional<uint64_t> ParseCacheSizeKb(const std::string& text) {
  unsigned long long size = 0;
  char unit = 0, extra = 0;
  const int got = std::sscanf(Trim(text).c_str(), "%llu%c%c", &size, &unit, &extra);
  if (got == 1) return size / 1024;  // plain bytes
  if (got != 2) return std::nullopt;
  if (unit == 'K') return size;
  if (unit == 'M') return size * 1024;
  if (unit == 'G') return size * 1024 * 1024;
  return std::nullopt;
}

std::optional<uint64_t> ParseNumber(const std::string& text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty() || trimmed.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::strtoull(trimmed.c_str(), nullptr, 10);
}

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) line.pop_back();
  return line;
}

std::string CimDateTime(const CivilTime& t) {
  char text[40];
  const int offset = t.offsetMinutes;
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d.%06d%c%03d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.microsecond, offset < 0 ? '-' : '+', offset < 0 ? -offset : offset);
  return text;
}

uint64_t TicksTo100ns(uint64_t ticks, long ticksPerSecond) {
  if (ticksPerSecond <= 0) return 0;
  const uint64_t hz = static_cast<uint64_t>(ticksPerSecond);
  return ticks / hz * 10000000ull + ticks % hz * 10000000ull / hz;
}

int WindowsPriority(int64_t nice, int64_t policy) {
  if (policy == 1 || policy == 2) return 24;  // SCHED_FIFO, SCHED_RR
  if (policy == 5) return 4;                  // SCHED_IDLE
  if (nice <= -11) return 13;
  if (nice < 0) return 10;
  if (nice == 0) return 8;
  if (nice < 10) return 6;
  return 4;
}

}  // namespace platform::linux_text
