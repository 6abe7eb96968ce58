// Parsers of the text files in which Linux keeps the facts the report reads
// (/proc, /sys, /etc/os-release), and the text forms WMI gives those facts.
// Pure functions over captured contents, so they build and run on every host.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform::linux_text {

// KEY=value lines; values may be single- or double-quoted (double quotes
// allow backslash escapes); comments and malformed lines are skipped.
std::map<std::string, std::string> ParseOsRelease(const std::string& text);

// "Name:  123 kB" lines of /proc/meminfo: the number as written (kB for sizes).
std::map<std::string, uint64_t> ParseMeminfo(const std::string& text);

// /proc/cpuinfo: one "key : value" map per processor, blocks split at blank lines.
std::vector<std::map<std::string, std::string>> ParseCpuinfo(const std::string& text);

// The fields of /proc/<pid>/stat that the report uses.
struct ProcessStat {
  std::string name;  // between the first '(' and the last ')': names may hold ')'
  int64_t parentId = 0;
  uint64_t minorFaults = 0;
  uint64_t majorFaults = 0;
  uint64_t userTicks = 0;
  uint64_t kernelTicks = 0;
  int64_t nice = 0;
  int64_t threads = 0;
  uint64_t startTicks = 0;  // since boot
  uint64_t virtualBytes = 0;
  uint64_t residentPages = 0;
  int64_t policy = 0;       // 0 when the line is too old to carry it
};
std::optional<ProcessStat> ParseProcessStat(const std::string& line);

// "btime" of /proc/stat: boot time in seconds since 1970.
std::optional<int64_t> ParseBootTime(const std::string& text);

// /proc/<pid>/cmdline: arguments joined with blanks, trailing NULs dropped.
std::string CommandLineOf(const std::string& cmdline);

// Cache sizes such as "32K" or "2M" in kilobytes.
std::optional<uint64_t> ParseCacheSizeKb(const std::string& text);

// A non-negative decimal number with blanks and a line end around it.
std::optional<uint64_t> ParseNumber(const std::string& text);

// The first line of a file without its line end or trailing blanks.
std::string FirstLine(const std::string& text);

// A moment in local time with its offset from UTC.
struct CivilTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int microsecond = 0;
  int offsetMinutes = 0;  // east of UTC
};

// WMI's datetime text: "yyyymmddHHMMSS.mmmmmm+UUU", UUU the offset in minutes.
std::string CimDateTime(const CivilTime& time);

// Clock ticks to the 100-nanosecond units WMI counts processor time in.
uint64_t TicksTo100ns(uint64_t ticks, long ticksPerSecond);

// Windows' base priority for a nice value and scheduling policy: realtime
// policies 24, SCHED_IDLE 4, then high 13, above normal 10, normal 8, below normal 6, idle 4.
int WindowsPriority(int64_t nice, int64_t policy);

}  // namespace platform::linux_text
