// Eight threads recording events through one client and the real server:
// how long the threads spend in the library, and how long until the server
// has every event, with each call waiting for its answer and queued.
//   bench_client_threads [--server PATH] [--events N]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "client/TallyClient.h"
#include "runtime/Str.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kThreads = 8;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The threads' time in the library, then the time until Process answered.
std::pair<double, double> Run(const std::wstring& server, int events, bool queued) {
  std::unique_ptr<tally::TallyClient> client;
  const qtl::status started = tally::TallyClient::Start({server, {}}, client, {queued, tally::kQueuedCallLimit});
  if (!started.ok()) {
    std::fprintf(stderr, "starting the server: %s\n", str::as_u8string(started.text()).c_str());
    std::exit(1);
  }
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&client, events, t] {
      const std::wstring name = L"thread" + std::to_wstring(t);
      for (int n = 0; n < events; ++n) (void)client->TrackEvent(name);
    });
  }
  for (std::thread& thread : threads) thread.join();
  const auto recorded = Clock::now();
  qtl::status processed;
  (void)client->SaveTo(L"");  // an empty path: Process only fails to save, after every event
  (void)client->Process(processed);
  const auto answered = Clock::now();
  int exitCode = 0;
  (void)client->Close(exitCode);
  return {Seconds(recorded - start), Seconds(answered - start)};
}

}  // namespace

int main(int argc, char** argv) {
  std::wstring server = tally::client::ProgramBesideSelf(L"../DromikaCmd");
  int events = 10000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--server")) server = str::as_wstring(argv[i + 1]);
    if (!std::strcmp(argv[i], "--events")) events = std::stoi(argv[i + 1]);
  }
  const auto [directIn, directAll] = Run(server, events, false);
  const auto [queuedIn, queuedAll] = Run(server, events, true);
  std::printf("events                 %d threads x %d\n", kThreads, events);
  std::printf("in the library         waiting %.3f s, queued %.3f s (ratio %.1f)\n", directIn, queuedIn,
              directIn / queuedIn);
  std::printf("until all answered     waiting %.3f s, queued %.3f s (ratio %.2f)\n", directAll, queuedAll,
              queuedAll / directAll);
  return 0;
}
