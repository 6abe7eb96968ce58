// Records N events (default 1,000,000), writes their events group and builds
// the document, and prints the time of each step and the peak resident
// memory against the size of the text produced.
//   bench_events_group [N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "analytics/AnalyticsService.h"
#include "Common/EventNames.h"
#include "testing/MemoryMachine.h"

namespace {

using Clock = std::chrono::steady_clock;

// The process's peak resident set in KiB (VmHWM), or -1.
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Starts a new peak from the present resident set.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

long CurrentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Plain, valued and timed events in turn; every timed event is ended.
void RecordEvents(qrn::analytics::impl::AnalyticsService& service, unsigned int count) {
  namespace names = qrn::analytics::events;
  for (unsigned int i = 0; i < count; ++i) {
    switch (i % 3) {
      case 0: service.TrackEvent(names::kSessionRun); break;
      case 1: service.TrackValueEvent(names::kFileOpen, i); break;
      default: service.TrackTimedEventEnd(service.TrackTimedEventStart(names::kMeshGenerate)); break;
    }
  }
}

// The reference: the same text appended line by line to a fresh string,
// which is the least any writer of it has to do.
Clock::duration AppendLines(const std::string& text) {
  const auto start = Clock::now();
  std::string copy;
  for (size_t from = 0, end; from < text.size(); from = end + 1) {
    end = text.find('\n', from);
    if (end == std::string::npos) end = text.size() - 1;
    copy.append(text, from, end + 1 - from);
  }
  const auto stop = Clock::now();
  if (copy.size() != text.size()) std::abort();
  return stop - start;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned int count = argc > 1 ? static_cast<unsigned int>(std::stoul(argv[1])) : 1000000u;
  platform::MemoryMachine memory;
  size_t documentBytes = 0;
  qrn::analytics::impl::AnalyticsService service(
      memory.machine(), qrn::analytics::impl::AnalyticsService::SteadyClock(), [&](const std::string& document) {
        documentBytes = document.size();
        return qtl::status();
      });
  service.SaveTo(L"web service");

  const long baseKiB = CurrentKiB();
  ResetPeak();
  const auto t0 = Clock::now();
  RecordEvents(service, count);
  const auto t1 = Clock::now();
  const long recordPeakKiB = PeakKiB();
  service.AddStandardGroup(qrn::analytics::EventsGroup);
  const auto t2 = Clock::now();
  const long groupPeakKiB = PeakKiB();
  (void)service.Process();
  const auto t3 = Clock::now();
  const long processPeakKiB = PeakKiB();
  const auto reference = AppendLines(service.Builder().GroupText());

  const double groupBytes = static_cast<double>(service.Builder().GroupText().size());
  std::printf("events                 %u (%zu records of %zu bytes)\n", count, service.Events().size(),
              sizeof(qrn::analytics::EventRecord));
  std::printf("record events          %.1f ms (%.1f ns per event)\n", Ms(t1 - t0), Ms(t1 - t0) * 1e6 / count);
  std::printf("write events group     %.1f ms (%.1f ns per event)\n", Ms(t2 - t1), Ms(t2 - t1) * 1e6 / count);
  std::printf("reference: append the same lines %.1f ms; writing the group takes %.2f times that   (aim <= 1.5)\n",
              Ms(reference), Ms(t2 - t1) / Ms(reference));
  std::printf("build document         %.1f ms\n", Ms(t3 - t2));
  std::printf("events group text      %.1f MiB of UTF-8, held as such\n", groupBytes / 1048576);
  std::printf("document               %.1f MiB\n", documentBytes / 1048576.0);
  std::printf("resident before        %.1f MiB\n", baseKiB / 1024.0);
  std::printf("peak after recording   %.1f MiB\n", recordPeakKiB / 1024.0);
  std::printf("peak after group       %.1f MiB\n", groupPeakKiB / 1024.0);
  std::printf("peak after document    %.1f MiB (the document made whole for an upload)\n", processPeakKiB / 1024.0);
  std::printf("peak / document size   %.2f   (aim <= 3)\n", processPeakKiB * 1024.0 / documentBytes);
  return 0;
}
